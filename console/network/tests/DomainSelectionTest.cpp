// The Select Domain dialog and Add Computer, driven through their windows over a simulated
// network (Wine's browser knows no domains and no other computers).
#include "ComputerChooserIds.h"
#include "DomainSelection.h"
#include "DomainSelectionIds.h"
#include "Enumeration.h"
#include "LogTestSupport.h"
#include "NetworkTestSupport.h"
#include "SimulatedNetwork.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <string>

using namespace console_test;

namespace {

// What the test does in the next modal dialog of this thread that holds `control`.
int g_control = 0;
std::function<void(HWND)> g_act;

BOOL CALLBACK FindDialog(HWND window, LPARAM result)
{
    if (!GetDlgItem(window, g_control) || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

void CALLBACK ActOnDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    KillTimer(nullptr, timer);
    g_act(found);
}

// Runs `show` (which opens a modal dialog) while `act` drives that dialog.
template <class Show>
auto Drive(int control, std::function<void(HWND)> act, Show show)
{
    g_control = control;
    g_act = std::move(act);
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &ActOnDialog);
    auto result = show();
    KillTimer(nullptr, timer);
    return result;
}

// A control's notification to its dialog (BN_CLICKED is 0: Notify(dialog, IDOK) presses OK).
void Notify(HWND dialog, int id, WORD code = BN_CLICKED)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Pick(HWND dialog, int list, int index, WORD code)
{
    SendDlgItemMessageA(dialog, list, LB_SETCURSEL, index, 0);
    Notify(dialog, list, code);
}

std::vector<DWORD> g_helpContexts;
void RecordHelp(HWND, DWORD context) { g_helpContexts.push_back(context); }

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        SetNetwork(&network);
        TheComputerList().Clear();
        g_helpContexts.clear();
    }
    void TearDown() override
    {
        TheComputerList().Clear();
        SetNetwork(nullptr);
        SetSelectDomainHelpHandler(nullptr);
    }

    SimulatedNetwork network;
};

TEST_F(SelectionTest, TheBrowsersDomainsInItsOrderAndADoubleClickChoosesOne)
{
    network.Add({L"ZETA", kDomainEnumType | 0x1000});
    network.Add({L"ALPHA", kDomainEnumType | 0x1000});
    network.Add({L"PC01", kSimNtWorkstation}); // a computer, not a domain
    char domain[16] = "OLD";
    std::string shown;
    INT_PTR result = Drive(IDC_DOMAIN_LIST, [&](HWND dialog) {
        EXPECT_EQ(2, SendDlgItemMessageA(dialog, IDC_DOMAIN_LIST, LB_GETCOUNT, 0, 0));
        Pick(dialog, IDC_DOMAIN_LIST, 0, LBN_SELCHANGE);
        char text[16] = {};
        GetDlgItemTextA(dialog, IDC_DOMAIN_NAME, text, sizeof(text));
        shown = text;
        Pick(dialog, IDC_DOMAIN_LIST, 1, LBN_DBLCLK);
    }, [&] { return SelectDomainDialog(nullptr, domain, 15); });
    EXPECT_EQ(1, result);
    EXPECT_EQ("ZETA", shown) << "the browser's first domain, copied into the name box when selected";
    EXPECT_STREQ("ALPHA", domain);
    EXPECT_EQ(kDomainEnumType, network.EnumTypeMasks().back());
}

TEST_F(SelectionTest, WithoutABrowserAnEmptyOkWaitsAndATypedNameIsCutTo15)
{
    network.FailEnumeration(6118); // no browse servers, as under Wine
    SetSelectDomainHelpHandler(RecordHelp);
    char domain[16] = "KEEP";
    bool stayedOpen = false;
    INT_PTR result = Drive(IDC_DOMAIN_NAME, [&](HWND dialog) {
        EXPECT_EQ(0, SendDlgItemMessageA(dialog, IDC_DOMAIN_LIST, LB_GETCOUNT, 0, 0));
        Notify(dialog, IDOK);
        stayedOpen = IsWindow(dialog) != FALSE;
        Notify(dialog, IDC_DOMAIN_HELP);
        HWND edit = GetDlgItem(dialog, IDC_DOMAIN_NAME);
        for (const char* p = "abcdefghijklmnopqrst"; *p; ++p) SendMessageA(edit, WM_CHAR, *p, 0);
        Notify(dialog, IDOK);
    }, [&] { return SelectDomainDialog(nullptr, domain, 15); });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(1, result);
    EXPECT_STREQ("ABCDEFGHIJKLMNO", domain);
    EXPECT_EQ(std::vector<DWORD>{kSelectDomainHelpContext}, g_helpContexts);
    EXPECT_TRUE(DomainList().empty());
    EXPECT_EQ(0u, network.OutstandingBuffers());
}

TEST_F(SelectionTest, AddComputerLooksTheChosenComputerUpAndCancelAddsNothing)
{
    // No NTLANMAN.DLL here: the browse is our chooser, which offers this computer.
    ASSERT_EQ(nullptr, LoadLibraryA("NTLANMAN.DLL"));
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    network.Add({Wide(local), kSimNtWorkstation, 4, 0, L"Admin desk"});

    auto browse = [] { return BrowseForComputer(nullptr); };
    EXPECT_EQ(1, Drive(IDC_CHOSEN_NAME, [](HWND chooser) { Pick(chooser, IDC_COMPUTER_LIST, 0, LBN_DBLCLK); }, browse));
    EXPECT_EQ(0, Drive(IDC_CHOSEN_NAME, [](HWND chooser) { Notify(chooser, IDCANCEL); }, browse));

    ASSERT_EQ(1u, TheComputerList().Size());
    const ComputerEntryPtr& entry = TheComputerList().Entries().front();
    EXPECT_EQ(local, entry->name);
    EXPECT_EQ(kRoleWorkstation, entry->Role()) << "looked up before it is shown";
    EXPECT_EQ("Admin desk", entry->Description());
    EXPECT_EQ(0, entry->selected);
}

} // namespace
