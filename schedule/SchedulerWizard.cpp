#include "SchedulerWizard.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "HelpViewer.h"
#include "PropertySheet.h"
#include "ScheduleMessages.h"
#include "SystemText.h"
#include "Window.h"
#include "resource.h"

namespace schedule {
namespace {

constexpr size_t kAccountLength = 254;
constexpr size_t kPasswordLength = 254;
constexpr const char* kLocalSystem = "LocalSystem";
constexpr const char* kLogonRight = "SeServiceLogonRight";

void Result(HWND page, LONG_PTR value)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, value);
}

std::string ItemText(HWND page, int id)
{
    return win::WindowText(GetDlgItem(page, id));
}

void LimitText(HWND page, int id, size_t length)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, static_cast<WPARAM>(length), 0);
}

// The pages' templates, in order.
constexpr UINT kTemplates[] = {IDD_SERVICE_PAGE, IDD_PROGRAM_PAGE, IDD_SCHEDULE_PAGE};

int Clamp(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

} // namespace

SchedulerWizard::SchedulerWizard(HINSTANCE instance, ScheduleServiceLink& link, const StartupValues& startup)
    : instance_(instance), link_(link), startup_(startup), submission_(link)
{
    clock_ = [] {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        return now;
    };
}

void SchedulerWizard::SetClock(std::function<SYSTEMTIME()> clock)
{
    clock_ = clock;
    submission_.SetClock(std::move(clock));
}

INT_PTR SchedulerWizard::Run()
{
    return Sheet(false);
}

HWND SchedulerWizard::CreateModeless()
{
    INT_PTR result = Sheet(true);
    return result == -1 || result == 0 ? nullptr : reinterpret_cast<HWND>(result);
}

INT_PTR SchedulerWizard::Sheet(bool modeless)
{
    win::PropertySheetDialog sheet(instance_, "Ostrel Scheduler", PSH_WIZARD | PSH_HASHELP);
    for (int i = 0; i < kPageCount; ++i)
        sheet.AddPage(kTemplates[i], PageProc, reinterpret_cast<LPARAM>(this), PSP_HASHELP, "Ostrel Scheduler");
    if (!modeless) return sheet.Run(nullptr);
    return reinterpret_cast<INT_PTR>(sheet.CreateModeless(nullptr));
}

INT_PTR CALLBACK SchedulerWizard::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrA(page, DWLP_USER, sheetPage->lParam);
    }
    auto* self = reinterpret_cast<SchedulerWizard*>(GetWindowLongPtrA(page, DWLP_USER));
    if (!self) return FALSE;
    for (int i = 0; i < kPageCount; ++i) {
        if (self->pages_[i] == page || (message == WM_INITDIALOG && !self->pages_[i] &&
                                        reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->pszTemplate ==
                                            MAKEINTRESOURCEA(kTemplates[i]))) {
            self->pages_[i] = page;
            switch (i) {
            case kServicePage: return self->ServicePage(page, message, wParam, lParam);
            case kProgramPage: return self->ProgramPage(page, message, wParam, lParam);
            default: return self->SchedulePage(page, message, wParam, lParam);
            }
        }
    }
    return FALSE;
}

void SchedulerWizard::ShowHelp()
{
    help::ShowTopic(frame_, helpFile_, HELP_CONTEXT_WIZARD);
}

// ---- Schedule Service page ----

bool SchedulerWizard::OpenServicePage(HWND page)
{
    frame_ = GetParent(page);
    link_.SetOwner(frame_);
    // The pictures' light gray background takes the dialog's face colour.
    if (!okBitmap_)
        okBitmap_ = static_cast<HBITMAP>(
            LoadImageA(instance_, MAKEINTRESOURCEA(IDB_OK), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    if (!notOkBitmap_)
        notOkBitmap_ = static_cast<HBITMAP>(
            LoadImageA(instance_, MAKEINTRESOURCEA(IDB_NOT_OK), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    LimitText(page, IDC_ACCOUNT, kAccountLength);
    LimitText(page, IDC_PASSWORD, kPasswordLength);
    LimitText(page, IDC_CONFIRM_PASSWORD, kPasswordLength);

    std::optional<DWORD> state = link_.QueryState();
    std::optional<ServiceConfig> config = state ? link_.QueryConfig() : std::nullopt;
    if (state) running_ = *state == SERVICE_RUNNING;
    if (config) {
        account_.config = *config;
        automatic_ = config->startType == SERVICE_AUTO_START;
    }
    taskScheduler_ = link_.IsTaskScheduler();
    ShowServiceTexts(page);
    if (taskScheduler_) {
        // Task Scheduler's account and startup are the system's: shown, not changed.
        SetDlgItemTextA(page, IDC_ACCOUNT, config && config->account ? config->account->c_str() : kLocalSystem);
        SendDlgItemMessageA(page, IDC_ACCOUNT, EM_SETREADONLY, TRUE, 0);
        EnableWindow(GetDlgItem(page, IDC_BROWSE_ACCOUNT), FALSE);
        for (int id : {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDC_CONFIRM_LABEL, IDC_CONFIRM_PASSWORD})
            ShowWindow(GetDlgItem(page, id), SW_HIDE);
        ShowWindow(GetDlgItem(page, IDC_AT_ACCOUNT_NOTE), SW_SHOW);
        serviceOk_ = state && config;
        RefreshServiceState(page);
        return serviceOk_;
    }
    if (config && config->account && *config->account != kLocalSystem) {
        SetDlgItemTextA(page, IDC_ACCOUNT, config->account->c_str());
        wasLocalSystem_ = false;
    } else {
        SetDlgItemTextA(page, IDC_ACCOUNT, kLocalSystem);
        wasLocalSystem_ = true;
    }
    SetDlgItemTextA(page, IDC_PASSWORD, kPasswordPlaceholder);
    SetDlgItemTextA(page, IDC_CONFIRM_PASSWORD, kConfirmPlaceholder);
    serviceOk_ = state && config;
    RefreshServiceState(page);
    return serviceOk_;
}

void SchedulerWizard::ShowServiceTexts(HWND page)
{
    SetDlgItemTextA(page, IDC_STATUS_TEXT, running_ ? "Started." : "Not Started (Wizard will start service).");
    SetDlgItemTextA(page, IDC_STARTUP_TEXT,
                    automatic_        ? "Automatic."
                    : taskScheduler_ ? "Not Automatic (Wizard leaves it as it is)."
                                     : "Not Automatic (Wizard will change type to automatic)");
}

void SchedulerWizard::RefreshServiceState(HWND page)
{
    SendDlgItemMessageA(page, IDC_STATUS_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(running_ ? okBitmap_ : notOkBitmap_));
    SendDlgItemMessageA(page, IDC_STARTUP_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(automatic_ ? okBitmap_ : notOkBitmap_));
}

bool SchedulerWizard::LeaveServicePage(HWND page)
{
    if (taskScheduler_) return true; // nothing of the service is changed there
    account_.config.startType = SERVICE_AUTO_START;

    std::string account = ItemText(page, IDC_ACCOUNT);
    if (networkNeeded_ != 0 && (account == kLocalSystem || (account.empty() && wasLocalSystem_)) &&
        !ShowMessage(kQuestionNo, frame_, IDS_SYSTEM_ACCOUNT_WARNING))
        return false;
    if (account.empty())
        account_.config.account.reset();
    else
        account_.config.account = account;

    std::string password = ItemText(page, IDC_PASSWORD);
    std::string confirm = ItemText(page, IDC_CONFIRM_PASSWORD);
    if (password == kPasswordPlaceholder && confirm == kConfirmPlaceholder) {
        account_.keepPassword = true;
        account_.password.clear();
    } else {
        account_.keepPassword = false;
        account_.password = password;
        if (password != confirm) {
            ShowMessage(kError, frame_, IDS_PASSWORD_NOT_CONFIRMED);
            return false;
        }
    }

    if (account.empty() || account == kLocalSystem) return true;
    switch (link_.EnsureLogonRight(account.c_str(), {kLogonRight})) {
    case LogonRight::Failed:
        ShowMessage(kError, frame_, IDS_GRANT_FAILED, account.c_str());
        return false;
    case LogonRight::Granted:
        ShowMessage(kInformation, frame_, IDS_GRANT_SUCCEEDED, account.c_str());
        return true;
    case LogonRight::Present:
        return true;
    }
    return true;
}

INT_PTR SchedulerWizard::ServicePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!OpenServicePage(page)) PostMessageA(GetParent(page), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return TRUE;
    case WM_DESTROY:
        if (okBitmap_) DeleteObject(okBitmap_);
        if (notOkBitmap_) DeleteObject(notOkBitmap_);
        okBitmap_ = notOkBitmap_ = nullptr;
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_BROWSE_ACCOUNT && HIWORD(wParam) == BN_CLICKED) {
            std::optional<std::string> chosen = link_.BrowseForUser(frame_);
            if (chosen) SetDlgItemTextA(page, IDC_ACCOUNT, chosen->c_str());
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
        case PSN_SETACTIVE: {
            PropSheet_SetWizButtons(GetParent(page), PSWIZB_NEXT);
            if (serviceOk_) {
                if (std::optional<DWORD> state = link_.QueryState()) running_ = *state == SERVICE_RUNNING;
                if (std::optional<ServiceConfig> config = link_.QueryConfig())
                    automatic_ = config->startType == SERVICE_AUTO_START;
                ShowServiceTexts(page);
                RefreshServiceState(page);
            }
            Result(page, 0);
            return TRUE;
        }
        case PSN_WIZNEXT:
            Result(page, LeaveServicePage(page) ? 0 : -1);
            return TRUE;
        case PSN_HELP:
            ShowHelp();
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

// ---- Program and Parameters page ----

void SchedulerWizard::FillProgramPage(HWND page)
{
    LimitText(page, IDC_PROGRAM, kMaxProgram);
    LimitText(page, IDC_PARAMETERS, kMaxParameters);
    LimitText(page, IDC_IMPORT_FILE, kMaxImportFile);
    SetDlgItemTextA(page, IDC_PROGRAM, ReplaceAngleQuotes(startup_.program).c_str());
    SetDlgItemTextA(page, IDC_PARAMETERS, ReplaceAngleQuotes(startup_.parameters).c_str());
    SetDlgItemTextA(page, IDC_IMPORT_FILE, ReplaceAngleQuotes(startup_.importFile).c_str());
}

void SchedulerWizard::ChooseFile(HWND page, int field, bool programKind)
{
    char file[MAX_PATH] = {};
    GetDlgItemTextA(page, field, file, sizeof(file));
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = frame_;
    dialog.lpstrFilter = programKind ? "Program Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0\0"
                                     : "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof(file);
    dialog.lpstrTitle = programKind ? "Select Program" : "Select Import File";
    dialog.lpstrDefExt = programKind ? "exe" : "txt";
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameA(&dialog)) SetDlgItemTextA(page, field, file);
}

INT_PTR SchedulerWizard::ProgramPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_BROWSE_PROGRAM:
            ChooseFile(page, IDC_PROGRAM, true);
            return TRUE;
        case IDC_BROWSE_IMPORT:
            ChooseFile(page, IDC_IMPORT_FILE, false);
            return TRUE;
        case IDC_EDIT_IMPORT: {
            std::string command = win::NotepadCommand(ItemText(page, IDC_IMPORT_FILE));
            WinExec(command.c_str(), SW_SHOWDEFAULT);
            return TRUE;
        }
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
        case PSN_SETACTIVE:
            if (!programFilled_) {
                programFilled_ = true;
                FillProgramPage(page);
            }
            PropSheet_SetWizButtons(GetParent(page), PSWIZB_BACK | PSWIZB_NEXT);
            Result(page, 0);
            return TRUE;
        case PSN_WIZNEXT:
            Result(page, submission_.ComposeCommand(frame_, ReadValues()) ? 0 : -1);
            return TRUE;
        case PSN_HELP:
            ShowHelp();
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

// ---- Schedule page ----

void SchedulerWizard::FillSchedulePage(HWND page)
{
    CheckRadioButton(page, IDC_NOW, IDC_NEXT, IDC_EVERY);
    HWND list = GetDlgItem(page, IDC_DAYS);
    static const char* const kWeekdays[] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                            "Friday", "Saturday", "Sunday"};
    for (const char* day : kWeekdays) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(day));
    for (int day = 1; day <= 31; ++day) {
        std::string text = std::to_string(day);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    EnableWindow(list, TRUE);
    LimitText(page, IDC_HOURS, 2);
    LimitText(page, IDC_MINUTES, 2);
    SendDlgItemMessageA(page, IDC_HOURS_SPIN, UDM_SETRANGE32, 1, 12);
    SendDlgItemMessageA(page, IDC_HOURS_SPIN, UDM_SETPOS32, 0, 12);
    SendDlgItemMessageA(page, IDC_MINUTES_SPIN, UDM_SETRANGE32, 0, 59);
    SendDlgItemMessageA(page, IDC_MINUTES_SPIN, UDM_SETPOS32, 0, 0);
}

void SchedulerWizard::OnScheduleChoice(HWND page, int id)
{
    HWND list = GetDlgItem(page, IDC_DAYS);
    const int timeControls[] = {IDC_HOURS, IDC_HOURS_SPIN, IDC_MINUTES, IDC_MINUTES_SPIN, IDC_PM};
    if (id == IDC_EVERY || id == IDC_NEXT) {
        EnableWindow(list, TRUE);
        for (int control : timeControls) EnableWindow(GetDlgItem(page, control), TRUE);
        return;
    }
    SYSTEMTIME now = clock_();
    int weekday = now.wDayOfWeek == 0 ? 7 : now.wDayOfWeek;   // Monday 1 ... Sunday 7
    int entry = id == IDC_TOMORROW ? weekday % 7 : weekday - 1;
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    SendMessageA(list, LB_SETSEL, TRUE, entry);
    SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(entry), FALSE);
    EnableWindow(list, FALSE);
    if (id == IDC_NOW) {
        int hour12 = now.wHour % 12 == 0 ? 12 : now.wHour % 12;
        SendDlgItemMessageA(page, IDC_HOURS_SPIN, UDM_SETPOS32, 0, hour12);
        SendDlgItemMessageA(page, IDC_MINUTES_SPIN, UDM_SETPOS32, 0, now.wMinute);
        CheckDlgButton(page, IDC_PM, now.wHour >= 12 ? BST_CHECKED : BST_UNCHECKED);
    }
    for (int control : timeControls) EnableWindow(GetDlgItem(page, control), id == IDC_NOW ? FALSE : TRUE);
}

JobPageValues SchedulerWizard::ReadValues() const
{
    JobPageValues values;
    if (HWND page = pages_[kProgramPage]) {
        values.program = ItemText(page, IDC_PROGRAM);
        values.parameters = ItemText(page, IDC_PARAMETERS);
        values.importFile = ItemText(page, IDC_IMPORT_FILE);
    }
    if (HWND page = pages_[kSchedulePage]) {
        static const struct {
            int id;
            ScheduleChoice choice;
        } kChoices[] = {{IDC_NOW, ScheduleChoice::Now},
                        {IDC_TODAY, ScheduleChoice::Today},
                        {IDC_TOMORROW, ScheduleChoice::Tomorrow},
                        {IDC_EVERY, ScheduleChoice::Every},
                        {IDC_NEXT, ScheduleChoice::Next}};
        for (const auto& choice : kChoices)
            if (IsDlgButtonChecked(page, choice.id) == BST_CHECKED) values.choice = choice.choice;
        BOOL ok = FALSE;
        values.hours = Clamp(static_cast<int>(GetDlgItemInt(page, IDC_HOURS, &ok, FALSE)), 1, 12);
        if (!ok) values.hours = 12;
        values.minutes = Clamp(static_cast<int>(GetDlgItemInt(page, IDC_MINUTES, &ok, FALSE)), 0, 59);
        if (!ok) values.minutes = 0;
        values.pm = IsDlgButtonChecked(page, IDC_PM) == BST_CHECKED;
        int selected[kDayListEntries] = {};
        LRESULT count = SendDlgItemMessageA(page, IDC_DAYS, LB_GETSELITEMS, kDayListEntries,
                                            reinterpret_cast<LPARAM>(selected));
        for (LRESULT i = 0; i < count && i < kDayListEntries; ++i) values.selectedDays.push_back(selected[i]);
    }
    return values;
}

INT_PTR SchedulerWizard::SchedulePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (HIWORD(wParam) == BN_CLICKED && id >= IDC_NOW && id <= IDC_NEXT) {
            OnScheduleChoice(page, id);
            return TRUE;
        }
        return FALSE;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
        case PSN_SETACTIVE:
            if (!scheduleFilled_) {
                scheduleFilled_ = true;
                FillSchedulePage(page);
            }
            PropSheet_SetWizButtons(GetParent(page), PSWIZB_BACK | PSWIZB_FINISH);
            Result(page, 0);
            return TRUE;
        case PSN_WIZFINISH: {
            bool done = submission_.FinishWizard(frame_, ReadValues(), account_, GetDlgItem(page, IDC_DAYS));
            finished_ = done;
            Result(page, done ? FALSE : TRUE);
            return TRUE;
        }
        case PSN_HELP:
            ShowHelp();
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

} // namespace schedule
