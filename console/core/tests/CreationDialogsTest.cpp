// The Create ERD dialog and the progress dialog, made from their real templates and driven
// by messages; the progress dialog runs the real worker over simulated targets.
#include <gtest/gtest.h>

#include "CreationDialogs.h"
#include "CreationRun.h"
#include "Messages.h"
#include "RegistryFixture.h"
#include "ResultLog.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "SimulatedRunTest.h"
#include "TestSupport.h"
#include "Window.h"

#include <commctrl.h>

#include <memory>
#include <vector>

using namespace testing_support;
using simagents::Behaviour;
using simagents::Script;

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Pumps messages until `condition` holds or `milliseconds` pass; true when it held.
template <class Condition>
bool PumpUntil(Condition condition, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) return false;
        win::PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void Click(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Stands in for the main window: counts the commands it is sent and whether the sender was
// disabled meanwhile.
class OwnerWindow final : public win::Window {
public:
    OwnerWindow()
    {
        win::Window::RegisterClass(Instance(), "CreationDialogsTestOwner");
        Create(Instance(), "CreationDialogsTestOwner", "owner", WS_OVERLAPPEDWINDOW);
    }
    std::vector<WORD> commands;
    HWND dialog = nullptr;
    bool dialogWasDisabled = false;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) override
    {
        if (message != WM_COMMAND) return 0;
        commands.push_back(LOWORD(wParam));
        dialogWasDisabled = dialog && !IsWindowEnabled(dialog);
        handled = true;
        return 0;
    }
};

std::vector<DWORD> g_helpTopics;
void RecordHelp(HWND, DWORD topic) { g_helpTopics.push_back(topic); }

class CreationDialogsTest : public SimulatedRunTest {
protected:
    void SetUp() override
    {
        SimulatedRunTest::SetUp();
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    }

    ComputerEntry& Add(const std::string& name, bool selected = true)
    {
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
        entry->selected = selected ? 1 : 0;
        TheComputerList().Append(entry);
        return *entry;
    }
    ComputerEntry& At(size_t index) { return *TheComputerList().At(index); }

    std::string LogText()
    {
        std::string text;
        ReadWholeFile(TheResultLog().Settings().LogFileName, text);
        return text;
    }

    // Opens the progress dialog modelessly over the selected computers.
    HWND OpenProgress(CreationProgressDialog& dialog)
    {
        HWND window = dialog.Create(Instance(), IDD_CREATION_PROGRESS, nullptr);
        EXPECT_NE(nullptr, window);
        return window;
    }
    static bool RunEnded(HWND window) { return IsWindowEnabled(GetDlgItem(window, IDOK)) != FALSE; }
    static int BarPosition(HWND window, int id)
    {
        return static_cast<int>(SendDlgItemMessageA(window, id, PBM_GETPOS, 0, 0));
    }

};

TEST(ElapsedTimeTextTest, CountsHoursWithinADay)
{
    EXPECT_EQ("00:00:00", ElapsedTimeText(0));
    EXPECT_EQ("00:01:05", ElapsedTimeText(65));
    EXPECT_EQ("23:59:59", ElapsedTimeText(86399));
    EXPECT_EQ("00:00:00", ElapsedTimeText(86400)); // a run longer than a day wraps
    EXPECT_EQ("01:00:01", ElapsedTimeText(90001));
    EXPECT_EQ("00:00:00", ElapsedTimeText(-5));    // the clock was set back
}

TEST_F(CreationDialogsTest, ConfirmationListsTheSelectedNamesSortedAndCountsThem)
{
    Add("ZULU");
    Add("ALPHA");
    Add("SKIPPED", false);
    Add("MIKE");
    OwnerWindow owner;
    CreateErdDialog dialog(TheComputerList());
    HWND window = dialog.Create(Instance(), IDD_CREATE_ERD, owner.Handle());
    ASSERT_NE(nullptr, window);
    owner.dialog = window;
    ShowWindow(window, SW_SHOW);

    EXPECT_EQ("Create ERD", win::WindowText(window));
    EXPECT_EQ("Create ERD on 3 computers", dialog.ItemText(IDC_ERD_SUMMARY));
    HWND names = dialog.Item(IDC_ERD_COMPUTERS);
    ASSERT_EQ(3, SendMessageA(names, LB_GETCOUNT, 0, 0));
    std::vector<std::string> shown;
    for (int i = 0; i < 3; ++i) {
        char text[64] = "";
        SendMessageA(names, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        shown.push_back(text);
    }
    EXPECT_EQ((std::vector<std::string>{"ALPHA", "MIKE", "ZULU"}), shown);
    EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDOK)));
    EXPECT_EQ("&Options...", dialog.ItemText(IDC_ERD_OPTIONS));

    // Options goes to the main window while the dialog is disabled, then the dialog is back.
    SetFocus(names);
    Click(window, IDC_ERD_OPTIONS);
    EXPECT_EQ((std::vector<WORD>{ID_ERD_OPTIONS_COMMAND}), owner.commands);
    EXPECT_TRUE(owner.dialogWasDisabled);
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(names, GetFocus());

    g_helpTopics.clear();
    SetCreationHelpHandler(&RecordHelp);
    Click(window, IDC_ERD_HELP);
    SetCreationHelpHandler(nullptr);
    EXPECT_EQ((std::vector<DWORD>{0x20000 + 106}), g_helpTopics);

    Click(window, IDOK);
    EXPECT_EQ(IDOK, dialog.Result());
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(CreationDialogsTest, ConfirmationWithNothingSelectedCannotBeConfirmed)
{
    Add("ONE", false);
    CreateErdDialog dialog(TheComputerList());
    HWND window = dialog.Create(Instance(), IDD_CREATE_ERD, nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("Create ERD on 0 computers", dialog.ItemText(IDC_ERD_SUMMARY));
    EXPECT_EQ(0, SendMessageA(dialog.Item(IDC_ERD_COMPUTERS), LB_GETCOUNT, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDOK)));
    Click(window, IDCANCEL);
    EXPECT_EQ(IDCANCEL, dialog.Result());
}

TEST_F(CreationDialogsTest, RunWithOneFailureShowsTheCountsAndTheErrorsInBold)
{
    deployer->SetScript("PC02", [] {
        Script script;
        script.behaviour = Behaviour::FailureStatus;
        script.workMs = 300;
        return script;
    }());
    for (const char* name : {"PC01", "PC02", "PC03", "PC04"}) Add(name);
    Add("IDLE", false);

    CreationProgressDialog dialog(TheComputerList(), 4);
    HWND window = OpenProgress(dialog);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ("Creating ERD", win::WindowText(window));
    EXPECT_EQ("00:00:00", dialog.ItemText(IDC_PROGRESS_ELAPSED));
    EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDOK)));
    EXPECT_TRUE(dialog.HasAnimation()) << "clock2.avi beside the program";
    PBRANGE range{};
    SendDlgItemMessageA(window, IDC_PROGRESS_STARTED_BAR, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(0, range.iLow);
    EXPECT_EQ(40, range.iHigh);

    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(PumpUntil([&] { return RunEnded(window); }, 60000));
    EXPECT_EQ("4", dialog.ItemText(IDC_PROGRESS_STARTED));
    EXPECT_EQ("4", dialog.ItemText(IDC_PROGRESS_COMPLETED));
    EXPECT_EQ("1", dialog.ItemText(IDC_PROGRESS_ERRORS));
    EXPECT_EQ(40, BarPosition(window, IDC_PROGRESS_STARTED_BAR));
    EXPECT_EQ(40, BarPosition(window, IDC_PROGRESS_FINISHED_BAR));
    EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDCANCEL)));
    EXPECT_EQ(dialog.Item(IDOK), GetFocus());

    // The error count and its label are bold; the other counts keep the dialog's font.
    ASSERT_TRUE(dialog.ErrorsInBold());
    for (int id : {IDC_PROGRESS_ERRORS, IDC_PROGRESS_ERRORS_LABEL, IDC_PROGRESS_COMPLETED}) {
        HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageA(window, id, WM_GETFONT, 0, 0));
        LOGFONTA description{};
        ASSERT_NE(0, GetObjectA(font, sizeof(description), &description)) << id;
        if (id == IDC_PROGRESS_COMPLETED)
            EXPECT_LT(description.lfWeight, FW_BOLD) << id;
        else
            EXPECT_EQ(FW_BOLD, description.lfWeight) << id;
    }

    // The clock runs while the run is shown.
    ASSERT_TRUE(PumpUntil([&] { return dialog.ItemText(IDC_PROGRESS_ELAPSED) != "00:00:00"; }, 3000));
    EXPECT_EQ("00:00:0", dialog.ItemText(IDC_PROGRESS_ELAPSED).substr(0, 7));

    Click(window, IDOK);
    EXPECT_EQ(1, dialog.Result());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, TheRunState().workerThread);
    EXPECT_EQ(static_cast<uint32_t>(kJobCommunication), At(1).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(3).result);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("PC02")) << log;
    EXPECT_NE(std::string::npos, log.find("COMMUNICATION")) << log;
    EXPECT_NE(std::string::npos, log.find("Operation Completed")) << log;
    EXPECT_EQ(std::string::npos, log.find("IDLE")) << log;
}

TEST_F(CreationDialogsTest, RunWhereEveryAgentSucceedsKeepsTheErrorsPlain)
{
    Add("PC01");
    Add("PC02");
    CreationProgressDialog dialog(TheComputerList(), 2);
    HWND window = OpenProgress(dialog);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PumpUntil([&] { return RunEnded(window); }, 60000));
    EXPECT_EQ("2", dialog.ItemText(IDC_PROGRESS_COMPLETED));
    EXPECT_EQ("0", dialog.ItemText(IDC_PROGRESS_ERRORS));
    EXPECT_FALSE(dialog.ErrorsInBold());
    Click(window, IDOK);
    EXPECT_EQ(1, dialog.Result());
    EXPECT_NE(std::string::npos, LogText().find("* Result: Success *")) << LogText();
}

TEST_F(CreationDialogsTest, CancelDuringTheWaitsEndsAtOnceAndLogsTheRunAsCancelled)
{
    Script slow;
    slow.workMs = 120000; // far longer than the test may wait
    deployer->SetScript("SLOW1", slow);
    deployer->SetScript("SLOW2", slow);
    Add("FAST");
    Add("SLOW1");
    Add("SLOW2");
    CreationProgressDialog dialog(TheComputerList(), 3);
    HWND window = OpenProgress(dialog);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PumpUntil([&] { return dialog.ItemText(IDC_PROGRESS_COMPLETED) == "1"; }, 60000));
    EXPECT_EQ("3", dialog.ItemText(IDC_PROGRESS_STARTED));
    EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDCANCEL)));

    DWORD start = GetTickCount();
    Click(window, IDCANCEL);
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_EQ(0, dialog.Result());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, TheRunState().workerThread);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result) << i;
        EXPECT_EQ(kNoErrorCode, At(i).errorCode) << i;
        EXPECT_EQ(0, At(i).inProgress) << i;
    }
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Cancelled by user!")) << log;
    EXPECT_NE(std::string::npos, log.find("Operation cancelled by user")) << log;
    EXPECT_EQ(std::string::npos, log.find("* Result: Success *")) << log;
}

TEST_F(CreationDialogsTest, CancelDuringDeploymentFinishesTheRestAsCancelled)
{
    for (const char* name : {"PC01", "PC02", "PC03", "PC04"}) Add(name);
    HWND window = nullptr;
    // The worker cancels as the third deployment starts, as the user's Cancel would in the
    // middle of it; the dialog then still counts every job as started and finished.
    deployer->onDeploy = [&](CreationJob& job) {
        if (job.entry.name == "PC03") RequestCancel();
    };
    CreationProgressDialog dialog(TheComputerList(), 4);
    window = OpenProgress(dialog);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PumpUntil([&] { return dialog.ItemText(IDC_PROGRESS_COMPLETED) == "4"; }, 30000));
    EXPECT_EQ("4", dialog.ItemText(IDC_PROGRESS_STARTED));
    EXPECT_EQ("4", dialog.ItemText(IDC_PROGRESS_ERRORS));
    EXPECT_EQ((std::vector<std::string>{"PC01", "PC02", "PC03"}), deployer->DeployOrder());
    Click(window, IDOK);
    EXPECT_EQ(1, dialog.Result());
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result) << i;
}

TEST_F(CreationDialogsTest, ClosingWhileTheWorkerRunsCancelsTheRunInsteadOfLeavingIt)
{
    Script slow;
    slow.workMs = 120000;
    deployer->SetScript("SLOW", slow);
    Add("SLOW");
    CreationProgressDialog dialog(TheComputerList(), 1);
    HWND window = OpenProgress(dialog);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PumpUntil([&] { return dialog.ItemText(IDC_PROGRESS_STARTED) == "1"; }, 30000));
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, dialog.Result());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, TheRunState().workerThread);
    EXPECT_EQ(nullptr, TheRunState().progressWindow);
    EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(0).result);
    EXPECT_NE(std::string::npos, LogText().find("Cancelled by user!")) << LogText();
}

} // namespace
