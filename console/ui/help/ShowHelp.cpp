#include "ShowHelp.h"

#include "ConsoleStrings.h"
#include "CreationDialogs.h"
#include "HelpViewer.h"
#include "Messages.h"
#include "Settings.h"
#include "SystemText.h"

namespace {

constexpr char kHelpSwitchKey[] = "SOFTWARE\\Ostrel\\Salvora";
constexpr char kHelpSwitchValue[] = "DisplayHelpID";

bool ShowInViewer(HWND owner, const HelpRequest& request)
{
    switch (request.command) {
    case kHelpFinder:
        return help::ShowContents(owner, request.file) != nullptr;
    case kHelpContextPopup:
        return help::ShowPopup(owner, request.file, request.id, request.at) != nullptr;
    default:
        return help::ShowTopic(owner, request.file, request.id) != nullptr;
    }
}

HelpViewerFunction g_viewer = &ShowInViewer;

void CreationDialogHelp(HWND owner, DWORD topic)
{
    ShowHelp(topic, kHelpContext, owner);
}

} // namespace

bool IsHelpIdDisplayOn()
{
    char value[2] = {'0', '\0'};
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kHelpSwitchKey, &key) != ERROR_SUCCESS) return false;
    DWORD size = sizeof(value);
    LONG status = RegQueryValueExA(key, kHelpSwitchValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && value[0] == '1';
}

void ShowHelp(DWORD helpId, UINT command, HWND owner, const POINT* at)
{
    HelpRequest request;
    request.file = TheConsoleSettings().HelpFilePath;
    request.command = command;
    request.id = helpId;
    if (helpId == kMainWindowTopic) {
        request.command = kHelpFinder;
        request.id = 0;
    }
    if (at)
        request.at = *at;
    else
        GetCursorPos(&request.at);
    if (IsHelpIdDisplayOn()) {
        std::string text = win::Format("Invoked help ID = %lu (0x%X)", static_cast<unsigned long>(request.id),
                                       static_cast<unsigned>(request.id));
        ShowInfo(owner, TEXT_APP_TITLE, text.c_str());
    }
    g_viewer(owner, request);
}

void SetHelpViewerFunction(HelpViewerFunction viewer)
{
    g_viewer = viewer ? viewer : &ShowInViewer;
}

void InstallCreationDialogHelp()
{
    SetCreationHelpHandler(&CreationDialogHelp);
}
