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

#include <cstring>
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

void Type(HWND dialog, int control, const char* text)
{
    HWND edit = GetDlgItem(dialog, control);
    for (const char* p = text; *p; ++p) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*p), 0);
}

void Press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void DoubleClick(HWND dialog, int list, int index)
{
    SendDlgItemMessageA(dialog, list, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, LBN_DBLCLK), reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

std::string ItemText(HWND dialog, int id)
{
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        SetNetwork(&network);
        TheComputerList().Clear();
    }
    void TearDown() override
    {
        TheComputerList().Clear();
        SetNetwork(nullptr);
        SetSelectDomainHelpHandler(nullptr);
    }

    void AddDomain(const wchar_t* name) { network.Add({name, kDomainEnumType | 0x1000}); }

    SimulatedNetwork network;
};

TEST_F(SelectionTest, DomainsComeFromTheBrowserInItsOrder)
{
    AddDomain(L"ZETA");
    AddDomain(L"ALPHA");
    network.Add({L"PC01", kSimNtWorkstation}); // a computer, not a domain
    EnumerateDomains();
    ASSERT_EQ(2u, DomainList().size());
    EXPECT_EQ("ZETA", DomainList()[0]->name);
    EXPECT_EQ("ALPHA", DomainList()[1]->name);
    EXPECT_EQ(kDomainEnumType, network.EnumTypeMasks().back());
    EXPECT_EQ(L"<none>", network.EnumDomains().back());

    network.FailEnumeration(6118); // no browse servers, as under Wine
    EnumerateDomains();
    EXPECT_TRUE(DomainList().empty());
    EXPECT_EQ(0u, network.OutstandingBuffers());
}

TEST_F(SelectionTest, DoubleClickingADomainChoosesIt)
{
    AddDomain(L"ZETA");
    AddDomain(L"ALPHA");
    char domain[16] = "OLD";
    std::string shown;
    INT_PTR result = Drive(IDC_DOMAIN_LIST, [&](HWND dialog) {
        EXPECT_EQ(2, SendDlgItemMessageA(dialog, IDC_DOMAIN_LIST, LB_GETCOUNT, 0, 0));
        SendDlgItemMessageA(dialog, IDC_DOMAIN_LIST, LB_SETCURSEL, 0, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DOMAIN_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DOMAIN_LIST)));
        shown = ItemText(dialog, IDC_DOMAIN_NAME);
        DoubleClick(dialog, IDC_DOMAIN_LIST, 1);
    }, [&] { return SelectDomainDialog(nullptr, domain, 15); });
    EXPECT_EQ(1, result);
    EXPECT_EQ("ZETA", shown) << "a selection is copied into the name box";
    EXPECT_STREQ("ALPHA", domain);
}

TEST_F(SelectionTest, ATypedDomainIsUpperCaseAndCutTo15WithoutAnyBrowser)
{
    network.FailEnumeration(6118);
    char domain[16] = {};
    std::string shown;
    INT_PTR result = Drive(IDC_DOMAIN_NAME, [&](HWND dialog) {
        Type(dialog, IDC_DOMAIN_NAME, "corp");
        shown = ItemText(dialog, IDC_DOMAIN_NAME);
        Press(dialog, IDOK);
    }, [&] { return SelectDomainDialog(nullptr, domain, 15); });
    EXPECT_EQ(1, result);
    EXPECT_EQ("CORP", shown);
    EXPECT_STREQ("CORP", domain);

    char longer[16] = {};
    result = Drive(IDC_DOMAIN_NAME, [&](HWND dialog) {
        Type(dialog, IDC_DOMAIN_NAME, "abcdefghijklmnopqrst");
        Press(dialog, IDOK);
    }, [&] { return SelectDomainDialog(nullptr, longer, 15); });
    EXPECT_EQ(1, result);
    EXPECT_STREQ("ABCDEFGHIJKLMNO", longer);
}

std::vector<DWORD> g_helpContexts;
void RecordHelp(HWND, DWORD context) { g_helpContexts.push_back(context); }

TEST_F(SelectionTest, EmptyOkWaitsAndCancelChangesNothing)
{
    AddDomain(L"CORP");
    SetSelectDomainHelpHandler(RecordHelp);
    g_helpContexts.clear();
    char domain[16] = "KEEP";
    bool stayedOpen = false;
    INT_PTR result = Drive(IDC_DOMAIN_NAME, [&](HWND dialog) {
        Press(dialog, IDOK);
        stayedOpen = IsWindow(dialog) != FALSE;
        Press(dialog, IDC_DOMAIN_HELP);
        Type(dialog, IDC_DOMAIN_NAME, "other");
        Press(dialog, IDCANCEL);
    }, [&] { return SelectDomainDialog(nullptr, domain, 15); });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(0, result);
    EXPECT_STREQ("KEEP", domain);
    EXPECT_EQ(std::vector<DWORD>{kSelectDomainHelpContext}, g_helpContexts);
}

TEST_F(SelectionTest, AddComputerAppendsTheChosenComputerEvenTwice)
{
    // No NTLANMAN.DLL here: the browse is our chooser, which offers this computer.
    ASSERT_EQ(nullptr, LoadLibraryA("NTLANMAN.DLL"));
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    network.Add({Wide(local), kSimNtWorkstation, 4, 0, L"Admin desk"});

    auto pickLocal = [](HWND chooser) { DoubleClick(chooser, IDC_COMPUTER_LIST, 0); };
    auto browse = [] { return BrowseForComputer(nullptr); };
    EXPECT_EQ(1, Drive(IDC_CHOSEN_NAME, pickLocal, browse));
    EXPECT_EQ(1, Drive(IDC_CHOSEN_NAME, pickLocal, browse));
    EXPECT_EQ(0, Drive(IDC_CHOSEN_NAME, [](HWND chooser) { Press(chooser, IDCANCEL); }, browse));

    ComputerList& list = TheComputerList();
    ASSERT_EQ(2u, list.Size());
    for (const ComputerEntryPtr& entry : list.Entries()) {
        EXPECT_EQ(local, entry->name);
        EXPECT_EQ(kRoleWorkstation, entry->Role()) << "looked up before it is shown";
        EXPECT_EQ("Admin desk", entry->Description());
        EXPECT_EQ(0, entry->selected);
    }
}

} // namespace
