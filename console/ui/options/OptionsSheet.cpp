#include "OptionsSheet.h"

#include <cstdlib>

#include "ChooseFile.h"
#include "ConsoleStrings.h"
#include "Messages.h"
#include "ResultLog.h"
#include "SystemText.h"

namespace {

constexpr int32_t kMinutesWhenNone = 20;
constexpr long kMaxMinutes = 999;
const char* const kInitialMinutes[] = {"10", "20", "30", "40", "50"};

} // namespace

TimeoutChoice TimeoutChoiceFromSeconds(int32_t erdTimeout)
{
    int32_t minutes = erdTimeout / 60;
    if (minutes == 0) minutes = -kMinutesWhenNone;
    return TimeoutChoice{minutes >= 1, minutes < 0 ? -minutes : minutes};
}

std::optional<int32_t> SecondsFromTimeoutChoice(bool terminate, const std::string& minutesText)
{
    size_t first = minutesText.find_first_not_of(" \t");
    size_t last = minutesText.find_last_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    std::string digits = minutesText.substr(first, last - first + 1);
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    long minutes = std::strtol(digits.c_str(), nullptr, 10);
    if (minutes < 1 || minutes > kMaxMinutes) return std::nullopt;
    return static_cast<int32_t>((terminate ? minutes : -minutes) * 60);
}

// ---- "Create ERD" page ----------------------------------------------------------------------

BOOL CPageCommon::OnInitDialog()
{
    CHelpSupportPage::OnInitDialog();
    SendDlgItemMessageA(Handle(), IDC_OUTPUT_FOLDER, EM_LIMITTEXT, kPathBufferSize - 1, 0);
    SetItemText(IDC_OUTPUT_FOLDER, settings_.OutDir.c_str());
    for (const char* minutes : kInitialMinutes)
        SendDlgItemMessageA(Handle(), IDC_TIMEOUT_MINUTES, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(minutes));
    TimeoutChoice timeout = TimeoutChoiceFromSeconds(settings_.ERDtimeout);
    SetChecked(IDC_TERMINATE_AGENT, timeout.terminate);
    EnableItem(IDC_TIMEOUT_MINUTES, timeout.terminate);
    SetItemText(IDC_TIMEOUT_MINUTES, win::Format("%ld", static_cast<long>(timeout.minutes)).c_str());
    SetChecked(IDC_ALWAYS_COPY, settings_.AlwaysCopyFiles != 0);
    SetChecked(IDC_PLATFORM_ALPHA, settings_.AlphaSupport != 0);
    SetChecked(IDC_LEAVE_AGENT, settings_.LeaveAgent != 0);
    SetChecked(IDC_CHECK_QUOTA, settings_.CheckRegQuota != 0);
    SetChecked(IDC_SAVE_WITHOUT_RDISK, settings_.SaveHivesWithoutRdisk != 0);
    SetChecked(IDC_PLATFORM_INTEL, true);
    return TRUE;
}

bool CPageCommon::OnCommand(WORD id, WORD code, HWND)
{
    switch (id) {
    case IDC_TERMINATE_AGENT:
        if (code == BN_CLICKED) EnableItem(IDC_TIMEOUT_MINUTES, IsChecked(IDC_TERMINATE_AGENT));
        return true;
    case IDC_PLATFORM_INTEL:
        // Intel targets are always supported.
        SetChecked(IDC_PLATFORM_INTEL, true);
        return true;
    case IDC_BROWSE_OUTPUT: {
        char folder[kPathBufferSize] = {};
        win::CopyText(folder, sizeof(folder), ItemText(IDC_OUTPUT_FOLDER).c_str());
        if (ChooseFile(Handle(), "Select directory for ERD storage", folder, kChooseOutputFolder))
            SetItemText(IDC_OUTPUT_FOLDER, folder);
        return true;
    }
    default:
        return false;
    }
}

bool CPageCommon::OnApply()
{
    std::optional<int32_t> seconds =
        SecondsFromTimeoutChoice(IsChecked(IDC_TERMINATE_AGENT), ItemText(IDC_TIMEOUT_MINUTES));
    if (!seconds) {
        ShowMessage(kMessageExclamation, Handle(), TEXT_APP_TITLE, IDS_INVALID_TIMEOUT);
        SetFocus(Item(IDC_TIMEOUT_MINUTES));
        return false;
    }
    std::string folder = ItemText(IDC_OUTPUT_FOLDER);
    if (folder.size() > kPathBufferSize - 1) folder.resize(kPathBufferSize - 1);
    settings_.OutDir = folder;
    settings_.AlwaysCopyFiles = IsChecked(IDC_ALWAYS_COPY) ? 1 : 0;
    settings_.AlphaSupport = IsChecked(IDC_PLATFORM_ALPHA) ? 1 : 0;
    settings_.LeaveAgent = IsChecked(IDC_LEAVE_AGENT) ? 1 : 0;
    settings_.CheckRegQuota = IsChecked(IDC_CHECK_QUOTA) ? 1 : 0;
    settings_.SaveHivesWithoutRdisk = IsChecked(IDC_SAVE_WITHOUT_RDISK) ? 1 : 0;
    settings_.ERDtimeout = *seconds;
    return true;
}

// ---- "Log" page -----------------------------------------------------------------------------

void CPageLog::EnableFileControls(bool on) const
{
    EnableItem(IDC_LOG_FILE_NAME, on);
    EnableItem(IDC_LOG_APPEND, on);
    EnableItem(IDC_LOG_OVERWRITE, on);
}

BOOL CPageLog::OnInitDialog()
{
    CHelpSupportPage::OnInitDialog();
    log_.Load();
    SendDlgItemMessageA(Handle(), IDC_LOG_FILE_NAME, EM_LIMITTEXT, kPathBufferSize - 1, 0);
    SetItemText(IDC_LOG_FILE_NAME, log_.LogFileName);
    int detail = log_.LogFullErrorNo == kLogFull ? IDC_DETAIL_FULL
                 : log_.LogFullErrorNo == kLogErrorsOnly ? IDC_DETAIL_ERRORS
                                                         : IDC_DETAIL_NONE;
    CheckRadioButton(Handle(), IDC_DETAIL_FULL, IDC_DETAIL_NONE, detail);
    CheckRadioButton(Handle(), IDC_LOG_APPEND, IDC_LOG_OVERWRITE, log_.LogOverwrite ? IDC_LOG_OVERWRITE : IDC_LOG_APPEND);
    SetChecked(IDC_LOG_TO_FILE, log_.LogWriteFile != 0);
    SetChecked(IDC_LOG_TO_ANNALIX, log_.LogWriteAnnalix != 0);
    SetChecked(IDC_LOG_TO_NT_LOG, log_.NTAppLog != 0);
    SetChecked(IDC_DEMAND_TASKS, log_.DemandTaskExec && log_.LogWriteAnnalix);
    if (TheConsoleSettings().AnnalixInstallPath.empty()) EnableItem(IDC_LOG_TO_ANNALIX, false);
    EnableItem(IDC_DEMAND_TASKS, log_.LogWriteAnnalix != 0);
    EnableFileControls(log_.LogWriteFile != 0);
    return TRUE;
}

bool CPageLog::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_LOG_TO_FILE:
        EnableFileControls(IsChecked(IDC_LOG_TO_FILE));
        return true;
    case IDC_LOG_TO_ANNALIX: {
        bool on = IsChecked(IDC_LOG_TO_ANNALIX);
        EnableItem(IDC_DEMAND_TASKS, on);
        SetChecked(IDC_DEMAND_TASKS, on);
        return true;
    }
    case IDC_VIEW_LOG: {
        std::string command = win::NotepadCommand(ItemText(IDC_LOG_FILE_NAME));
        WinExec(command.c_str(), SW_SHOWDEFAULT);
        return true;
    }
    case IDC_BROWSE_LOG: {
        char file[kPathBufferSize] = {};
        if (ChooseFile(Handle(), "Open Log File", file, kChooseLogFile)) SetItemText(IDC_LOG_FILE_NAME, file);
        return true;
    }
    default:
        return false;
    }
}

bool CPageLog::OnApply()
{
    win::CopyText(log_.LogFileName, sizeof(log_.LogFileName), ItemText(IDC_LOG_FILE_NAME).c_str());
    log_.LogFullErrorNo = IsChecked(IDC_DETAIL_FULL) ? kLogFull : IsChecked(IDC_DETAIL_ERRORS) ? kLogErrorsOnly : kLogNone;
    log_.LogOverwrite = IsChecked(IDC_LOG_OVERWRITE) ? 1 : 0;
    log_.LogWriteFile = IsChecked(IDC_LOG_TO_FILE) ? 1 : 0;
    log_.LogWriteAnnalix = IsChecked(IDC_LOG_TO_ANNALIX) ? 1 : 0;
    log_.NTAppLog = IsChecked(IDC_LOG_TO_NT_LOG) ? 1 : 0;
    log_.DemandTaskExec = IsChecked(IDC_DEMAND_TASKS) ? 1 : 0;
    log_.Save();
    TheResultLog().Settings().Load();
    return true;
}

// ---- the sheet ------------------------------------------------------------------------------

void OptionsSheet::AddPages(win::PropertySheetDialog& sheet)
{
    sheet.AddPage(common_, CHelpSupportPage::kPageFlags);
    sheet.AddPage(log_, CHelpSupportPage::kPageFlags);
}

INT_PTR OptionsSheet::Run(HWND owner)
{
    win::PropertySheetDialog sheet(instance_, "Options", PSH_NOAPPLYNOW | PSH_HASHELP);
    AddPages(sheet);
    return sheet.Run(owner);
}

HWND OptionsSheet::CreateModeless(HWND owner)
{
    win::PropertySheetDialog sheet(instance_, "Options", PSH_NOAPPLYNOW | PSH_HASHELP);
    AddPages(sheet);
    return sheet.CreateModeless(owner);
}

void RunOptionsCommand(HINSTANCE instance, HWND mainWindow)
{
    OptionsSheet sheet(instance);
    sheet.Run(mainWindow);
}
