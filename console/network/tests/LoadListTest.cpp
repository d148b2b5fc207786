#include "ConsoleState.h"
#include "Enumeration.h"
#include "NetworkResource.h"
#include "NetworkTestSupport.h"
#include "RegistryFixture.h"
#include "Settings.h"
#include "SimulatedNetwork.h"
#include "TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using namespace console_test;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

namespace {

struct UiProbe {
    HWND owner = nullptr;
    int posted = 0;
    bool postQuit = false;
    std::string text;
    bool centred = false;
    int viewUpdates = 0;
    int steps = 0;
    int lastPosition = -1;
    int rangeHigh = -1;
    int activeAtLastStep = 0;
    bool refusedDuringBatch = true;
};

void CountUpdate(void* context) { ++static_cast<UiProbe*>(context)->viewUpdates; }

void CountStep(HWND window, void* context)
{
    auto* probe = static_cast<UiProbe*>(context);
    HWND bar = GetDlgItem(window, IDC_LOADING_PROGRESS);
    ++probe->steps;
    probe->lastPosition = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    probe->rangeHigh = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    probe->activeAtLastStep = ActiveLookupThreads();
    char text[64] = {};
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetClassNameA(child, text, sizeof(text));
        if (lstrcmpiA(text, "Static") == 0 && GetWindowTextA(child, text, sizeof(text)) > 0) probe->text = text;
    }
    if (probe->owner) {
        RECT box{}, area{};
        GetWindowRect(window, &box);
        GetWindowRect(probe->owner, &area);
        probe->centred = std::abs((box.left + box.right) - (area.left + area.right)) <= 2 &&
                         std::abs((box.top + box.bottom) - (area.top + area.bottom)) <= 2;
        // Messages that arrive during the batch are served one per wait.
        PostMessageA(probe->owner, WM_APP, 0, 0);
        ++probe->posted;
        if (probe->postQuit && probe->steps == 2) PostQuitMessage(3);
    }
    // Commands that change the list are refused while the batch runs.
    if (probe->steps == 1) {
        ComputerList& list = TheComputerList();
        probe->refusedDuringBatch = !list.Clear() && !list.Append(EntryFromName("X")) && !list.RemoveAt(0) &&
                                    !RefreshFromDomain("ANY") && !LoadComputerList("whatever.txt") &&
                                    list.IsBatchRunning();
    }
}

class LoadListTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        ForgetLookupSlotCount();
        SetUnattended(false);
        ComputerListUi ui;
        ui.updateViews = CountUpdate;
        ui.progressStepped = CountStep;
        ui.context = &probe;
        SetComputerListUi(ui);
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitForLookups());
        EXPECT_EQ(network.OutstandingBuffers(), 0u);
        SetComputerListUi(ComputerListUi{});
        SetUnattended(false);
        TheComputerList().Clear();
        ForgetLookupSlotCount();
        RegistryTest::TearDown();
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : TheComputerList().Entries()) names.push_back(entry->name);
        return names;
    }

    SimulatedNetwork network;
    TempFolder folder{"lst"};
    UiProbe probe;
};

TEST_F(LoadListTest, ReadsTheFirstWordOfEachLine)
{
    network.Add({L"SERVER01", kSimNtServer, 4, 0, L"Files"});
    network.Add({L"WIN95", kSimWindows95, 4, 0, L"Old"});
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, "\\\\SERVER01 trailing words\n"
                                     "\n"
                                     "   \t  \n"
                                     "  WIN95\n"
                                     "ABCDEFGHIJKLMNOPQRST\n"
                                     "NOSUCHPC"));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    EXPECT_EQ(CurrentListFilePath(), path);
    EXPECT_EQ(Names(), (std::vector<std::string>{"SERVER01", "WIN95", "ABCDEFGHIJKLMNO", "NOSUCHPC"}));
    EXPECT_EQ(ActiveLookupThreads(), 0) << "every lookup has ended when the load returns";
    const ComputerList& list = TheComputerList();
    EXPECT_EQ(list.At(0)->TypeText(), "Windows NT Server (4.0)");
    EXPECT_EQ(list.At(0)->Description(), "Files");
    EXPECT_EQ(list.At(1)->TypeText(), "Unknown") << "non-NT from a file stays Unknown";
    EXPECT_EQ(list.At(1)->Description(), "");
    EXPECT_EQ(list.At(3)->Role(), kRoleUndetermined);
    EXPECT_EQ(network.LookupCount(L"ABCDEFGHIJKLMNO"), 1);
    EXPECT_EQ(probe.viewUpdates, 1);
    EXPECT_EQ(probe.steps, 4);
    EXPECT_EQ(probe.lastPosition, 4) << "the bar reaches its end at the last start";
    EXPECT_EQ(probe.rangeHigh, 4);
    EXPECT_TRUE(probe.refusedDuringBatch);
    EXPECT_FALSE(TheComputerList().IsBatchRunning());
}

int g_served = 0;
LRESULT CALLBACK OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) ++g_served;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(LoadListTest, LoadingWindowOverItsOwnerAndMessagesServed)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = OwnerProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LoadListTestOwner";
    RegisterClassA(&windowClass);
    HWND owner = CreateWindowExA(0, "LoadListTestOwner", "Owner", WS_POPUP | WS_VISIBLE, 100, 80, 600, 400, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    ComputerListUi ui;
    ui.owner = owner;
    ui.updateViews = CountUpdate;
    ui.progressStepped = CountStep;
    ui.context = &probe;
    SetComputerListUi(ui);
    probe.owner = owner;
    probe.postQuit = true;
    g_served = 0;
    ASSERT_TRUE(SetDword("MaxEnumThread", 2)); // so that the loop waits for slots

    std::string text;
    for (int i = 0; i < 12; ++i) {
        std::string name = "SLOW" + std::to_string(i);
        network.Add({Wide(name), kSimNtServer, 4, 0, nullptr, 0, false, 150});
        text += name + "\n";
    }
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, text));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    EXPECT_EQ(probe.text, "Loading, please wait...");
    EXPECT_TRUE(probe.centred);
    EXPECT_GT(g_served, 0);

    // A WM_QUIT met while waiting is not lost: it is posted again after the batch.
    MSG message{};
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quit = message.wParam == 3;
        else DispatchMessageA(&message);
    }
    EXPECT_TRUE(quit);
    DestroyWindow(owner);
}

TEST_F(LoadListTest, UnopenableFileLeavesTheListButRecordsThePath)
{
    network.Add({L"KEEP", kSimNtServer, 4, 0});
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, "KEEP\n"));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    std::string missing = folder / "missing.txt";
    EXPECT_FALSE(LoadComputerList(missing.c_str()));
    EXPECT_EQ(CurrentListFilePath(), missing);
    EXPECT_EQ(Names(), std::vector<std::string>{"KEEP"});
}

TEST_F(LoadListTest, BlankOrBinaryFiles)
{
    std::string path = folder / "blank.txt";
    ASSERT_TRUE(WriteWholeFile(path, "\n   \n\t\n\n"));
    TheComputerList().Append(EntryFromName("OLD"));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    EXPECT_TRUE(TheComputerList().Empty());
    EXPECT_EQ(probe.viewUpdates, 1) << "the emptied list is shown";
    EXPECT_EQ(probe.steps, 0) << "no loading window";

    // Binary content and a very long line: words are cut, nothing overflows.
    // (The text mode ends the file at the first Ctrl-Z of the binary part.)
    std::string bytes = std::string(1000, 'W') + "\n" + testing_support::PatternBytes(4000, 7);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    for (const auto& entry : TheComputerList().Entries()) EXPECT_LE(entry->name.size(), 15u);
    EXPECT_GE(TheComputerList().Size(), 4u) << "the 1000-character line gives several pieces";
}

TEST_F(LoadListTest, BusyAndSilentComputers)
{
    network.Add({L"BUSY3", kSimNtWorkstation, 4, 0, nullptr, 3});
    network.Add({L"ALWAYSBUSY", kSimNtWorkstation, 4, 0, nullptr, -1});
    network.Add({L"SILENT", kSimNtServer, 4, 0, nullptr, 0, true, 200});
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, "BUSY3\nALWAYSBUSY\nSILENT\n"));
    SetUnattended(true);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const ComputerList& list = TheComputerList();
    EXPECT_EQ(list.At(0)->TypeText(), "Windows NT Workstation (4.0)");
    EXPECT_EQ(network.LookupCount(L"BUSY3"), 4);
    EXPECT_EQ(list.At(1)->TypeText(), "Unknown");
    EXPECT_EQ(network.LookupCount(L"ALWAYSBUSY"), 10) << "gives up after the tenth busy answer";
    EXPECT_EQ(list.At(2)->TypeText(), "Unknown");
    EXPECT_GE(seconds, 4.0) << "nine pauses of 500 ms";
    EXPECT_EQ(probe.viewUpdates, 0) << "unattended: no views";
    EXPECT_EQ(probe.steps, 0) << "unattended: no loading window";
}

TEST_F(LoadListTest, SlotsThrottleASlowNetwork)
{
    std::string text;
    for (int i = 0; i < 250; ++i) {
        std::string name = "PC" + std::to_string(i);
        network.Add({Wide(name), kSimNtWorkstation, 4, 0, nullptr, 0, false, 1000});
        text += name + "\n";
    }
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, text));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    EXPECT_EQ(TheComputerList().Size(), 250u);
    // A wait ended by input starts a lookup without a slot, so the limit is not hard.
    EXPECT_LE(network.PeakConcurrentLookups(), 106);
    EXPECT_GE(network.PeakConcurrentLookups(), 50) << "lookups overlap";
    for (const auto& entry : TheComputerList().Entries())
        EXPECT_EQ(entry->TypeText(), "Windows NT Workstation (4.0)") << entry->name;
    EXPECT_EQ(probe.lastPosition, 250);
    EXPECT_GT(probe.activeAtLastStep, 0) << "the window stays until the last lookup ends";
}

TEST_F(LoadListTest, StoredSlotCountIsUsed)
{
    ASSERT_TRUE(SetDword("MaxEnumThread", 5));
    std::string text;
    for (int i = 0; i < 30; ++i) {
        std::string name = "WS" + std::to_string(i);
        network.Add({Wide(name), kSimNtWorkstation, 4, 0, nullptr, 0, false, 100});
        text += name + "\n";
    }
    std::string path = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(path, text));
    ASSERT_TRUE(LoadComputerList(path.c_str()));
    EXPECT_LE(network.PeakConcurrentLookups(), 9);
    EXPECT_GE(network.PeakConcurrentLookups(), 4);
    EXPECT_EQ(LookupSlotCount(), 5);
}

} // namespace

namespace {

std::string g_growingList;

// Shown the emptied list, the list file is already open: another program appends to it.
void AppendWhileLoading(void*)
{
    HANDLE file = CreateFileA(g_growingList.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "LATE\r\n", 6, &written, nullptr);
    CloseHandle(file);
}

} // namespace

// A file another program appends to while it is loaded: only what it held when it was
// opened is read (a file growing faster than it is read would otherwise never end); the
// next load takes the rest. A Ctrl-Z ends the names, carriage returns are no part of them.
TEST_F(LoadListTest, AFileGrowingWhileItIsReadIsTakenAsItWasOpened)
{
    g_growingList = folder / "growing.txt";
    ASSERT_TRUE(WriteWholeFile(g_growingList, "FIRST\r\n\r\nSECOND\r\n"));
    ComputerListUi ui;
    ui.updateViews = AppendWhileLoading;
    SetComputerListUi(ui);
    ASSERT_TRUE(LoadComputerList(g_growingList.c_str()));
    EXPECT_EQ(Names(), (std::vector<std::string>{"FIRST", "SECOND"}));
    SetComputerListUi(ComputerListUi{});
    ASSERT_TRUE(LoadComputerList(g_growingList.c_str()));
    EXPECT_EQ(Names(), (std::vector<std::string>{"FIRST", "SECOND", "LATE"}));

    ASSERT_TRUE(WriteWholeFile(g_growingList, "A\r\nB\x1A" "C\r\nD\r\n"));
    ASSERT_TRUE(LoadComputerList(g_growingList.c_str()));
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
}
