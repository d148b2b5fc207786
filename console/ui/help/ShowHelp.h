// The console's one help entry. Every help request of Salvora (Help Topics and F1 in the main
// window, Help buttons, the Options pages' popups) passes through ShowHelp, which opens the
// console's help file (ConsoleSettings::HelpFilePath) in the help viewer.
#pragma once
#include <windows.h>

#include <string>

// Help ids as the help file holds them.
constexpr DWORD kHelpTopicBase = 0x20000;   // topic of a dialog or page: template id + this
constexpr DWORD kHelpControlBase = 0x50000; // popup of a control: control id + this
constexpr DWORD kMainWindowTopic = kHelpTopicBase + 128; // replaced by the contents

// The help commands of the requests (as WinHelp numbers them).
constexpr UINT kHelpContext = 0x0001;      // HELP_CONTEXT: a topic
constexpr UINT kHelpContextPopup = 0x0008; // HELP_CONTEXTPOPUP: a control's popup text
constexpr UINT kHelpFinder = 0x000B;       // HELP_FINDER: the contents

// Shows help `helpId` with `command`. The main window's topic (131200) shows the contents
// (kHelpFinder, id 0) instead. With the registry switch "DisplayHelpID" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Ostrel\Salvora starting with "1", the id is first shown in a
// message box ("Invoked help ID = %lu (0x%X)"). A popup appears near `at` (screen
// coordinates), or near the mouse cursor when `at` is NULL.
void ShowHelp(DWORD helpId, UINT command, HWND owner = nullptr, const POINT* at = nullptr);

// Whether "DisplayHelpID" is switched on.
bool IsHelpIdDisplayOn();

// What ShowHelp hands to the help viewer: the file, the command after the main window's
// mapping, the id and the popup position.
struct HelpRequest {
    std::string file;
    UINT command = 0;
    DWORD id = 0;
    POINT at = {};
};
// The viewer in use: the compiled help viewer unless another has been put in its place (the
// tests watch the requests this way). Returns whether something was shown.
using HelpViewerFunction = bool (*)(HWND owner, const HelpRequest& request);
void SetHelpViewerFunction(HelpViewerFunction viewer); // nullptr puts the real viewer back

// Help for the Create ERD dialog's Help button (its handler seam).
void InstallCreationDialogHelp();
