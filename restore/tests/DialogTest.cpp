// The dialogs run in this process: created modeless, driven through their controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <dlgs.h>

#include "Browse.h"
#include "ConfirmDialog.h"
#include "Handle.h"
#include "SystemText.h"
#include "MainDialog.h"
#include "Messages.h"
#include "Resource.h"
#include "RestoreFixtures.h"
#include "Startup.h"
#include "Szdd.h"
#include "TestSupport.h"

using namespace restavo;
using namespace restavo_test;
using testing_support::TempFolder;

namespace {

// Message boxes answered by the test: each is recorded, and answered from `answers` in turn.
struct Box {
    std::string text, caption;
    UINT type;
};
std::vector<Box> g_boxes;
std::vector<int> g_answers;

int RecordBox(HWND, const char* text, const char* caption, UINT type)
{
    g_boxes.push_back({text, caption, type});
    if (g_answers.empty()) return IDOK;
    int answer = g_answers.front();
    g_answers.erase(g_answers.begin());
    return answer;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        g_boxes.clear();
        g_answers.clear();
        previous_ = SetMessageBoxHandler(&RecordBox);
        DeleteTestKeys();
        RemoveLocalExpandedFiles();
    }
    void TearDown() override
    {
        SetMessageBoxHandler(previous_);
        DeleteTestKeys();
        RemoveLocalExpandedFiles();
    }
    MessageBoxHandler previous_ = nullptr;
};

std::string LocalName()
{
    char name[256] = {};
    DWORD size = sizeof(name);
    GetComputerNameA(name, &size);
    return name;
}

// The control's own visibility (the modeless dialogs of these tests are not shown).
bool Shown(HWND control)
{
    return (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::string ListText(HWND list, int row, int column)
{
    char text[64] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

ConfirmationFacts Facts(bool old, bool different, bool mixed = false)
{
    ConfirmationFacts facts;
    facts.source = different ? "PC01" : "PC02";
    facts.destination = "PC02";
    facts.old = old;
    facts.different = different;
    facts.mixed = mixed;
    facts.selection = {1, 0, 1, 1, 0};
    for (int i = 0; i < kHiveCount; ++i) win::CopyText(facts.times[i].data(), kHiveSlot, ("0" + std::to_string(i + 1) + "/02/99 10:00").c_str());
    return facts;
}

} // namespace

TEST_F(DialogTest, StartupValuesComeFromTheConsolesSettings)
{
    const char* key = "SOFTWARE\\OstrelRestoreTest\\Settings\\";
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OstrelRestoreTest");

    // No settings key: the repair folder of this computer, and its name.
    StartupValues values = LoadStartupValues(key);
    EXPECT_TRUE(values.windowsNt);
    EXPECT_GE(values.majorVersion, 4u);
    EXPECT_EQ(values.helpFile, "Salvora.chm");
    char systemRoot[MAX_PATH] = {};
    DWORD size = sizeof(systemRoot);
    ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "SystemRoot", REG_SZ, kWindowsNtKey, systemRoot, &size));
    EXPECT_EQ(values.defaultFolder, std::string(systemRoot) + "\\Repair");
    EXPECT_EQ(values.defaultComputer, LocalName());

    // With the console installed: its help file, and its output template up to the first "%".
    HKEY settings = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    win::RegKey owner(settings);
    const char install[] = "C:\\Prog";
    const char outDir[] = "C:\\Prog\\ERD\\%COMPUTERNAME%\\%DATE%";
    RegSetValueExA(settings, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(install), sizeof(install));
    RegSetValueExA(settings, "OutDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(outDir), sizeof(outDir));
    values = LoadStartupValues(key);
    EXPECT_EQ(values.helpFile, "C:\\Prog\\Salvora.chm");
    EXPECT_EQ(values.defaultFolder, "C:\\Prog\\ERD\\");
    EXPECT_EQ(values.defaultComputer, "");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OstrelRestoreTest");
}

TEST_F(DialogTest, CommandLineArgumentsFillTheFields)
{
    TempFolder erd("erd");
    EXPECT_EQ(ParseArgument("-c=PC01").kind, CommandLineValue::Computer);
    EXPECT_EQ(ParseArgument("/C=pc02").text, "pc02");
    EXPECT_EQ(ParseArgument(("-d=" + erd.Path()).c_str()).kind, CommandLineValue::Folder);
    EXPECT_EQ(ParseArgument(("/D=" + erd.Path()).c_str()).text, erd.Path());
    EXPECT_EQ(ParseArgument("/D=C:\\NoSuchFolder\\Here").kind, CommandLineValue::None);
    EXPECT_EQ(ParseArgument("c=PC01").kind, CommandLineValue::None);
    EXPECT_EQ(ParseArgument("-x=PC01").kind, CommandLineValue::None);
    EXPECT_EQ(ParseArgument("-c").kind, CommandLineValue::None);
    EXPECT_EQ(ParseArgument("-cPC01").kind, CommandLineValue::None);
    EXPECT_EQ(ParseArgument("-c=a=b").text, "a=b");

    StartupValues startup;
    startup.defaultFolder = "C:\\Default";
    startup.defaultComputer = "HOME";
    CRestoreDialog dialog(startup);
    HWND window = dialog.CreateMain(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dialog.ItemText(IDC_ERD_FOLDER), "C:\\Default");
    EXPECT_EQ(dialog.ItemText(IDC_COMPUTER), "HOME");
    for (const auto& hive : HiveTable) EXPECT_FALSE(dialog.IsChecked(hive.checkBox)) << hive.name;
    EXPECT_FALSE(dialog.IsChecked(IDC_REBOOT));

    std::string folderArgument = "-d=" + erd.Path();
    char* argv[] = {const_cast<char*>("Restavo.exe"), const_cast<char*>("-c=PC01"), folderArgument.data(),
                    const_cast<char*>("/D=C:\\NoSuchFolder"), const_cast<char*>("other"),
                    const_cast<char*>("/c=PC03")};
    ApplyCommandLine(window, 6, argv);
    EXPECT_EQ(dialog.ItemText(IDC_ERD_FOLDER), erd.Path());
    EXPECT_EQ(dialog.ItemText(IDC_COMPUTER), "PC03") << "later arguments override earlier ones";

    // The system menu carries the About item; Size and Maximize are greyed.
    HMENU menu = GetSystemMenu(window, FALSE);
    char text[32] = {};
    EXPECT_GT(GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof(text), MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, "&About");
    EXPECT_TRUE(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    dialog.Destroy();
}

TEST_F(DialogTest, BrowseResultsFillTheFields)
{
    std::string computer;
    EXPECT_TRUE(ComputerFromFolder("C:\\ERD\\PC01", computer));
    EXPECT_EQ(computer, "PC01");
    EXPECT_FALSE(ComputerFromFolder("PC01", computer));
    EXPECT_FALSE(ComputerFromFolder("\\PC01", computer));

    CRestoreDialog dialog(StartupValues{});
    HWND window = dialog.CreateMain(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    dialog.ApplyChosenFolder("C:\\ERD\\PC01");
    EXPECT_EQ(dialog.ItemText(IDC_ERD_FOLDER), "C:\\ERD\\PC01");
    EXPECT_EQ(dialog.ItemText(IDC_COMPUTER), "PC01");
    dialog.ApplyChosenComputer("\\\\PC07");
    EXPECT_EQ(dialog.ItemText(IDC_COMPUTER), "PC07");
    dialog.Destroy();

    // The folder browse starts in the nearest folder that exists.
    TempFolder erd("erd");
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);
    EXPECT_EQ(EnterStartingFolder(erd / "PC01\\deeper"), erd.Path());
    SetCurrentDirectoryA(saved);
}

TEST_F(DialogTest, OurComputerChooserReturnsTheNameWithTwoBackslashes)
{
    CComputerChooser chooser;
    HWND window = chooser.Create(GetModuleHandleA(nullptr), IDD_CHOOSE_COMPUTER, nullptr);
    ASSERT_NE(window, nullptr);
    HWND list = GetDlgItem(window, IDC_COMPUTER_LIST);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1) << "this computer is offered";

    Click(window, IDOK);
    EXPECT_TRUE(IsWindow(window)) << "no name yet: the chooser stays open";
    chooser.SetItemText(IDC_CHOSEN_NAME, "\\\\pc05");
    Click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(chooser.Result(), "\\\\PC05") << "the name box writes upper case";
}

namespace {

BOOL CALLBACK FindChooser(HWND window, LPARAM result)
{
    if (!GetDlgItem(window, IDC_CHOSEN_NAME)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// Picks this computer in our chooser, shown modally by the computer browse.
void CALLBACK PickFromChooser(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindChooser, reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    KillTimer(nullptr, timer);
    SendDlgItemMessageA(found, IDC_COMPUTER_LIST, LB_SETCURSEL, 0, 0);
    SendMessageA(found, WM_COMMAND, MAKEWPARAM(IDC_COMPUTER_LIST, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(GetDlgItem(found, IDC_COMPUTER_LIST)));
}

} // namespace

TEST_F(DialogTest, WithoutTheSystemsComputerBrowseOurChooserIsShown)
{
    // Wine has no NTLANMAN.DLL: the browse falls back to our chooser. Where the system has
    // it, its own browse is shown instead and this case cannot be seen.
    win::Library systemBrowse(win::LoadSystemLibrary("NTLANMAN.DLL"));
    if (systemBrowse) GTEST_SKIP() << "NTLANMAN.DLL is present: the system's computer browse is used";
    // An NTLANMAN.DLL in the current folder (a folder of files from a target) is not loaded.
    TempFolder planted("planted");
    ASSERT_TRUE(CopyFileA(PlantedLibrary().c_str(), (planted / "NTLANMAN.DLL").c_str(), FALSE));
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);
    ASSERT_TRUE(SetCurrentDirectoryA(planted.Path().c_str()));
    std::string name;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &PickFromChooser);
    bool browsed = BrowseComputerName(nullptr, name);
    KillTimer(nullptr, timer);
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(browsed);
    EXPECT_EQ(name, "\\\\" + LocalName());
    EXPECT_FALSE(testing_support::FileExists(planted / "planted-ran.txt"));
}

namespace {

struct OpenDialogScript {
    const char* title = nullptr;
    std::string seenFileName;
    std::string seenPath;
    const char* typeName = nullptr; // typed into the file-name box before OK; null: Cancel
    bool acted = false;
    // Classic style: the file-name box after the path box lost the focus holding a text,
    // and holding none; the path box after the file-name box was cleared.
    std::string afterTypedPath, afterEmptyPath, pathAfterClear;
};
OpenDialogScript g_openScript;

BOOL CALLBACK FindOpenDialog(HWND window, LPARAM result)
{
    if (win::WindowText(window) != g_openScript.title) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// Acts once on the dialog, and cancels it should it still be open two seconds later.
void CALLBACK DriveOpenDialog(HWND, UINT, UINT_PTR, DWORD)
{
    static int ticksSinceAction = 0;
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindOpenDialog, reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    if (g_openScript.acted) {
        if (++ticksSinceAction > 40) PostMessageA(found, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    g_openScript.acted = true;
    ticksSinceAction = 0;
    HWND fileName = GetDlgItem(found, edt1);
    if (!fileName) fileName = GetDlgItem(found, cmb13);
    g_openScript.seenFileName = win::WindowText(fileName);
    HWND path = GetDlgItem(found, IDC_CLASSIC_PATH);
    g_openScript.seenPath = win::WindowText(path);
    if (path) {
        SetFocus(path);
        SetWindowTextA(path, "C:\\ERD\\*._");
        SetFocus(GetDlgItem(found, lst1));
        g_openScript.afterTypedPath = win::WindowText(fileName);
        SetFocus(path);
        SetWindowTextA(path, "");
        SetFocus(GetDlgItem(found, lst1));
        g_openScript.afterEmptyPath = win::WindowText(fileName);
        SetWindowTextA(path, "C:\\ERD");
        SetWindowTextA(fileName, "");
        g_openScript.pathAfterClear = win::WindowText(path);
    }
    if (g_openScript.typeName) {
        SetWindowTextA(fileName, g_openScript.typeName);
        PostMessageA(found, WM_COMMAND, IDOK, 0);
    } else {
        PostMessageA(found, WM_COMMAND, IDCANCEL, 0);
    }
}

} // namespace

TEST_F(DialogTest, FolderBrowseReturnsTheFolderTheUserEndedIn)
{
    TempFolder erd("erd");
    WriteRepairFiles(erd.Path(), {"SYSTEM"});
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);

    // Explorer style: the hook shows the folder in the file-name box; choosing a file there
    // makes its folder the answer.
    g_openScript = OpenDialogScript{};
    g_openScript.title = "ERD files";
    g_openScript.typeName = "SYSTEM._";
    std::string path = erd.Path() + "\\missing";
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &DriveOpenDialog);
    EXPECT_TRUE(BrowseErdFolder("ERD files", nullptr, path, 6));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_openScript.acted);
    EXPECT_EQ(g_openScript.seenFileName, erd.Path());
    EXPECT_EQ(path, erd.Path());
    // The current folder is put back: the chosen folder holds files copied from a target.
    char after[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(after), after);
    EXPECT_STREQ(after, saved);

    // Classic style, our template: the path box stands in for the file-name box; Cancel
    // leaves the path alone.
    g_openScript = OpenDialogScript{};
    g_openScript.title = "ERD files";
    path = erd.Path();
    timer = SetTimer(nullptr, 0, 50, &DriveOpenDialog);
    EXPECT_FALSE(BrowseErdFolder("ERD files", nullptr, path, 3));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_openScript.acted);
    EXPECT_EQ(path, erd.Path());
    EXPECT_EQ(g_openScript.seenPath, g_openScript.seenFileName);
    EXPECT_EQ(g_openScript.afterTypedPath, "C:\\ERD\\*._");
    EXPECT_EQ(g_openScript.afterEmptyPath, "*.");
    EXPECT_EQ(g_openScript.pathAfterClear, "");
    GetCurrentDirectoryA(sizeof(after), after);
    EXPECT_STREQ(after, saved) << "also after a cancelled browse";
    SetCurrentDirectoryA(saved);
}


TEST_F(DialogTest, ConfirmationListsTheHivesInReverseOrder)
{
    CConfirmDialog confirm(Facts(false, false));
    HWND window = confirm.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    ASSERT_NE(window, nullptr);
    HWND list = GetDlgItem(window, IDC_HIVE_LIST);
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(ListText(list, 0, 0), "SYSTEM");
    EXPECT_EQ(ListText(list, 0, 1), "04/02/99 10:00");
    EXPECT_EQ(ListText(list, 1, 0), "SOFTWARE");
    EXPECT_EQ(ListText(list, 2, 0), "SAM");
    EXPECT_EQ(ListText(list, 2, 1), "01/02/99 10:00");
    EXPECT_EQ(confirm.ItemText(IDC_SOURCE_COMPUTER), "PC02");
    EXPECT_EQ(confirm.ItemText(IDC_DESTINATION_COMPUTER), "PC02");

    // Same computer, fresh data: no guard, OK goes ahead without questions.
    EXPECT_FALSE(Shown(GetDlgItem(window, IDC_IGNORE_WARNING)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    EXPECT_EQ(confirm.StateIcon(), IDI_ACCEPTED);
    Click(window, IDOK);
    EXPECT_EQ(confirm.Result(), 1);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(DialogTest, ForeignOldAndMixedDataNeedTheBoxTickedAndEveryAnswer)
{
    CConfirmDialog mixed(Facts(false, false, true)); // a mixed set alone raises the guard
    HWND mixedWindow = mixed.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    EXPECT_TRUE(Shown(GetDlgItem(mixedWindow, IDC_IGNORE_WARNING)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(mixedWindow, IDOK)));
    mixed.Destroy();
    CConfirmDialog confirm(Facts(true, true, true));
    HWND window = confirm.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    ASSERT_NE(window, nullptr);
    HWND guard = GetDlgItem(window, IDC_IGNORE_WARNING);
    EXPECT_TRUE(Shown(guard));
    EXPECT_FALSE(confirm.IsChecked(IDC_IGNORE_WARNING));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    EXPECT_EQ(confirm.StateIcon(), IDI_WARNING_STATE);

    Click(window, IDC_IGNORE_WARNING);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    EXPECT_EQ(confirm.StateIcon(), IDI_ACCEPTED);
    Click(window, IDC_IGNORE_WARNING);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDOK)));
    EXPECT_EQ(confirm.StateIcon(), IDI_WARNING_STATE);
    Click(window, IDC_IGNORE_WARNING);

    g_answers = {IDYES, IDYES, IDYES};
    Click(window, IDOK);
    EXPECT_EQ(confirm.Result(), 1);
    ASSERT_EQ(g_boxes.size(), 3u);
    EXPECT_EQ(g_boxes[0].text, kOldQuestion) << "the age question comes first";
    EXPECT_EQ(g_boxes[1].text,
              "The hive(s) was created on computer PC01.\nBut you going to apply it on computer PC02.\n"
              "Continue anyway ?\n");
    EXPECT_EQ(g_boxes[2].text, kMixedQuestion);
    for (const auto& box : g_boxes) {
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    }
    EXPECT_EQ(confirm.StateIcon(), IDI_GOING_AHEAD);
}

TEST_F(DialogTest, NoToAQuestionGivesUp)
{
    CConfirmDialog confirm(Facts(true, true));
    HWND window = confirm.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    ASSERT_NE(window, nullptr);
    Click(window, IDC_IGNORE_WARNING);
    g_answers = {IDNO};
    Click(window, IDOK);
    EXPECT_EQ(confirm.Result(), 0);
    EXPECT_EQ(g_boxes.size(), 1u) << "the computer question is not asked after a No";

    CConfirmDialog foreign(Facts(false, true));
    window = foreign.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    ASSERT_NE(window, nullptr);
    Click(window, IDC_IGNORE_WARNING);
    g_boxes.clear();
    g_answers = {IDNO};
    Click(window, IDOK);
    EXPECT_EQ(foreign.Result(), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].text.find("created on computer PC01"), std::string::npos);

    CConfirmDialog cancelled(Facts(false, false));
    window = cancelled.Create(GetModuleHandleA(nullptr), IDD_CONFIRM, nullptr);
    ASSERT_NE(window, nullptr);
    Click(window, IDCANCEL);
    EXPECT_EQ(cancelled.Result(), 0);
}

TEST_F(DialogTest, ConfirmationFactsComeFromTheSavedData)
{
    TempFolder erd("erd");
    HiveSelection selection = {0, 0, 0, 1, 0};
    HiveTimes times{};
    ConfirmationFacts facts = GatherConfirmationFacts("PC01", selection, erd.Path().c_str(), times);
    EXPECT_EQ(facts.source, "N/A");
    EXPECT_TRUE(facts.different) << "an unknown source counts as different";
    EXPECT_TRUE(facts.old) << "no SYSTEM file: its age is unknown";

    WriteSystemHive(erd.Path(), "PC01");
    facts = GatherConfirmationFacts("pc01", selection, erd.Path().c_str(), times);
    EXPECT_EQ(facts.source, "PC01");
    EXPECT_FALSE(facts.different);
    EXPECT_FALSE(facts.old);
    EXPECT_FALSE(facts.mixed);
    SetAge(erd / "system._", 40 * kDay);
    facts = GatherConfirmationFacts("PC09", selection, erd.Path().c_str(), times);
    EXPECT_TRUE(facts.different);
    EXPECT_TRUE(facts.old);

    // SAM saved two hours before SYSTEM belongs to its set; a minute more makes it mixed.
    WriteRepairFiles(erd.Path(), {"SAM"});
    SetAge(erd / "system._", 0);
    SetAge(erd / "SAM._", 2 * kHour);
    EXPECT_FALSE(GatherConfirmationFacts("pc01", {1, 0, 0, 1, 0}, erd.Path().c_str(), times).mixed);
    SetAge(erd / "SAM._", 2 * kHour + kHour / 60);
    EXPECT_TRUE(GatherConfirmationFacts("pc01", {1, 0, 0, 1, 0}, erd.Path().c_str(), times).mixed);
    EXPECT_FALSE(GatherConfirmationFacts("pc01", {1, 0, 0, 0, 0}, erd.Path().c_str(), times).mixed);
}

namespace {

BOOL CALLBACK FindConfirmation(HWND window, LPARAM result)
{
    if (!GetDlgItem(window, IDC_IGNORE_WARNING)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

int g_confirmationsSeen = 0;

// Drives the modal confirmation from a timer of this thread: ticks the guard and presses OK.
void CALLBACK AcceptConfirmation(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindConfirmation, reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    KillTimer(nullptr, timer);
    ++g_confirmationsSeen;
    Click(found, IDC_IGNORE_WARNING);
    Click(found, IDOK);
}

} // namespace

TEST_F(DialogTest, AForeignHiveAnsweredNoReturnsWithoutRestoring)
{
    TempFolder erd("erd");
    WriteRepairFiles(erd.Path(), {"SAM"});
    WriteSystemHive(erd.Path(), "PC01");
    // The target planted an expand.exe among its repair files, and the current folder is the
    // folder of those files: it runs neither for the name check nor for the restore.
    ASSERT_TRUE(CopyFileA(PlantedProgram().c_str(), (erd / "expand.exe").c_str(), FALSE));
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(saved), saved);
    ASSERT_TRUE(SetCurrentDirectoryA(erd.Path().c_str()));
    struct PutBack {
        const char* folder;
        ~PutBack() { SetCurrentDirectoryA(folder); }
    } putBack{saved};
    RecordingSystem system;
    CRestoreDialog dialog(StartupValues{}, system);
    HWND window = dialog.CreateMain(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    dialog.SetItemText(IDC_ERD_FOLDER, erd.Path().c_str());
    dialog.SetItemText(IDC_COMPUTER, LocalName().c_str());
    Click(window, IDC_HIVE_SAM);
    Click(window, IDC_HIVE_SYSTEM);

    g_answers = {IDNO};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &AcceptConfirmation);
    EXPECT_EQ(dialog.Restore(), RestoreOutcome::NotConfirmed);
    KillTimer(nullptr, timer);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].text.find("created on computer PC01"), std::string::npos);
    EXPECT_TRUE(system.replaces.empty());

    // Answered Yes, the restore runs and the report is shown.
    g_boxes.clear();
    g_answers = {IDYES, IDOK};
    timer = SetTimer(nullptr, 0, 50, &AcceptConfirmation);
    EXPECT_EQ(dialog.Restore(), RestoreOutcome::Restored);
    KillTimer(nullptr, timer);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[1].caption, "Restore Complete");
    EXPECT_EQ(g_boxes[1].text, "SAM - Success\nSYSTEM - Success\n");
    EXPECT_EQ(g_boxes[1].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(system.replaces.size(), 2u);
    EXPECT_FALSE(testing_support::FileExists(erd / "planted-ran.txt"));
    dialog.Destroy();
}

TEST_F(DialogTest, InputAndSourceProblemsEndTheCommandInAnErrorBoxBeforeAnythingChanges)
{
    TempFolder erd("erd");
    TempFolder share("share");
    ASSERT_TRUE(CreateDirectoryA((share / "temp").c_str(), nullptr));
    RecordingSystem system;
    system.shareRoot = share.Path();
    CRestoreDialog dialog(StartupValues{}, system);
    HWND window = dialog.CreateMain(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    dialog.SetItemText(IDC_COMPUTER, "pc01");
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    for (int box : {IDC_HIVE_SAM, IDC_HIVE_SECURITY, IDC_HIVE_SOFTWARE}) Click(window, box);
    dialog.SetItemText(IDC_ERD_FOLDER, erd.Path().c_str());
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(g_boxes.size(), 3u);
    EXPECT_EQ(g_boxes[0].text, kComputerEmpty);
    EXPECT_EQ(g_boxes[1].text, kSelectionEmpty);
    EXPECT_EQ(g_boxes[2].text, kSourceMissing);

    // SECURITY is each broken file in turn: those its header gives away end the command
    // before the confirmation, the others once expanded; all before anything is copied, so
    // the whole SAM and SOFTWARE are not swapped in without it.
    WriteRepairFiles(erd.Path(), {"SAM", "SOFTWARE"});
    WriteSystemHive(erd.Path(), "pc01");
    std::string whole = szdd::Compress(HiveBytes("SECURITY"), 0);
    struct {
        const char* what;
        std::string bytes;
        bool confirmed;
    } broken[] = {
        {"empty", "", false},
        {"plain", HiveBytes("SECURITY"), false},
        {"only a header", whole.substr(0, 14), false},
        {"no declared length", whole.substr(0, 10) + std::string(4, '\0') + whole.substr(14), false},
        {"truncated", whole.substr(0, whole.size() * 2 / 3), true},
        {"not a hive", szdd::Compress("regf but no hive" + std::string(3000, 'q'), 0), true},
    };
    for (const auto& file : broken) {
        ASSERT_TRUE(testing_support::WriteWholeFile(erd / "SECURITY._", file.bytes));
        g_confirmationsSeen = 0;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, &AcceptConfirmation);
        EXPECT_EQ(dialog.Restore(), RestoreOutcome::SourceError) << file.what;
        KillTimer(nullptr, timer);
        EXPECT_EQ(g_confirmationsSeen, file.confirmed ? 1 : 0) << file.what;
        EXPECT_EQ(g_boxes.back().text.rfind("Can not restore the hive SECURITY from its saved file: ", 0), 0u)
            << file.what << ": " << g_boxes.back().text;
        EXPECT_EQ(LocalLeftovers(), std::vector<std::string>{}) << file.what;
    }
    ASSERT_EQ(g_boxes.size(), 3u + std::size(broken));
    for (const auto& box : g_boxes) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
    }
    EXPECT_TRUE(system.connects.empty());
    EXPECT_TRUE(system.copies.empty());
    EXPECT_TRUE(system.replaces.empty());
    EXPECT_TRUE(testing_support::ListFiles(share / "temp").empty());
    dialog.Destroy();
}

TEST_F(DialogTest, AHalfFailedRemoteRestoreIsReportedAsAWarningWithEachHivesOwnText)
{
    TempFolder erd("erd");
    TempFolder share("share");
    ASSERT_TRUE(CreateDirectoryA((share / "temp").c_str(), nullptr));
    RecordingSystem system;
    system.shareRoot = share.Path();
    system.failReplaceKeys = {"SYSTEM"};
    WriteRepairFiles(erd.Path(), {"SAM", "SECURITY"});
    WriteSystemHive(erd.Path(), "pc01");
    CRestoreDialog dialog(StartupValues{}, system);
    HWND window = dialog.CreateMain(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    dialog.SetItemText(IDC_ERD_FOLDER, erd.Path().c_str());
    dialog.SetItemText(IDC_COMPUTER, "pc01");
    for (int box : {IDC_HIVE_SAM, IDC_HIVE_SECURITY, IDC_HIVE_SYSTEM, IDC_REBOOT}) Click(window, box);

    // SECURITY's backup from an earlier restore is still the target's running hive.
    win::Handle held(
        CreateFileA((share / "temp\\SECURITYx").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &AcceptConfirmation);
    EXPECT_EQ(dialog.Restore(), RestoreOutcome::PartlyFailed);
    KillTimer(nullptr, timer);
    held.Reset();

    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, kWarningReportCaption);
    EXPECT_EQ(g_boxes[0].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(g_boxes[0].text,
              "SAM - Success\n"
              "SECURITY - Error an earlier restore of this hive is waiting for a restart: " +
                  win::SystemMessageText(ERROR_SHARING_VIOLATION) +
                  "\n"
                  "SYSTEM - Error during replacing key: " +
                  win::SystemMessageText(ERROR_ACCESS_DENIED) +
                  "\n\nThe hives marked Success are swapped in and take effect at the next restart of pc01.\n"
                  "No restart was started.\n");
    EXPECT_TRUE(system.shutdowns.empty()) << "the reboot box was ticked, but not everything was restored";
    // Only the swapped-in SAM stays on the target (with the earlier backup); nothing stays here.
    std::vector<std::string> onTarget = {"SAM", "SECURITYx"};
    EXPECT_EQ(testing_support::ListFiles(share / "temp"), onTarget);
    EXPECT_EQ(LocalLeftovers(), std::vector<std::string>{});
    dialog.Destroy();
}
