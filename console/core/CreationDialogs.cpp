#include "CreationDialogs.h"

#include "CreationRun.h"
#include "SystemText.h"
#include "UnicenterStatus.h"

#include <commctrl.h>

#include <atomic>
#include <ctime>

namespace {

constexpr UINT_PTR kClockTimer = 1;
constexpr UINT kClockPeriod = 1000;
constexpr int kBarStep = 10;
constexpr DWORD kHelpTopicBase = 0x20000;

std::atomic<CreationHelpHandler> g_helpHandler{nullptr};

LONG SelectedCount(const ComputerList& list)
{
    LONG count = 0;
    for (const ComputerEntryPtr& entry : list.Entries())
        if (entry->selected) ++count;
    return count;
}

} // namespace

std::string ElapsedTimeText(long long seconds)
{
    time_t elapsed = static_cast<time_t>(seconds < 0 ? 0 : seconds);
    struct tm parts {};
    if (gmtime_s(&parts, &elapsed) != 0) return "00:00:00";
    char text[32] = "";
    strftime(text, sizeof(text), "%H:%M:%S", &parts);
    return text;
}

void SetCreationHelpHandler(CreationHelpHandler handler) noexcept { g_helpHandler = handler; }

// ---- Create ERD ----------------------------------------------------------------------------

BOOL CreateErdDialog::OnInitDialog()
{
    LONG count = 0;
    for (const ComputerEntryPtr& entry : list_.Entries()) {
        if (!entry->selected) continue;
        SendDlgItemMessageA(Handle(), IDC_ERD_COMPUTERS, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(entry->name.c_str()));
        ++count;
    }
    SetItemText(IDC_ERD_SUMMARY, win::Format("Create ERD on %d computers", static_cast<int>(count)).c_str());
    EnableItem(IDOK, count != 0);
    return TRUE;
}

bool CreateErdDialog::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
        result_ = id;
        End(id);
        return true;
    case IDC_ERD_OPTIONS: {
        HWND focus = GetFocus();
        HWND owner = GetWindow(Handle(), GW_OWNER);
        EnableWindow(Handle(), FALSE);
        if (owner) SendMessageA(owner, WM_COMMAND, MAKEWPARAM(ID_ERD_OPTIONS_COMMAND, 0), 0);
        EnableWindow(Handle(), TRUE);
        if (focus) SetFocus(focus);
        return true;
    }
    case IDC_ERD_HELP:
        if (CreationHelpHandler handler = g_helpHandler.load())
            handler(Handle(), kHelpTopicBase + IDD_CREATE_ERD);
        return true;
    default:
        return false;
    }
}

// ---- Progress ------------------------------------------------------------------------------

CreationProgressDialog::~CreationProgressDialog()
{
    if (boldFont_) DeleteObject(boldFont_);
}

bool CreationProgressDialog::OpenAnimation()
{
    HWND animation = Item(IDC_PROGRESS_ANIMATION);
    if (!animation) return false;
    // The file is looked up in the current folder; it ships beside the program, so the
    // program's folder is tried as well when the current folder is another.
    std::string nearProgram = win::ModuleFolder() + "\\" + kClockAnimationFile;
    for (const char* path : {kClockAnimationFile, nearProgram.c_str()}) {
        if (SendMessageA(animation, ACM_OPENA, 0, reinterpret_cast<LPARAM>(path))) {
            SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
            return true;
        }
    }
    return false;
}

BOOL CreationProgressDialog::OnInitDialog()
{
    SetTimer(Handle(), kClockTimer, kClockPeriod, nullptr);
    SetItemText(IDC_PROGRESS_ELAPSED, "00:00:00");
    startTime_ = time(nullptr);

    for (int bar : {IDC_PROGRESS_STARTED_BAR, IDC_PROGRESS_FINISHED_BAR}) {
        SendDlgItemMessageA(Handle(), bar, PBM_SETRANGE32, 0, total_ * kBarStep);
        SendDlgItemMessageA(Handle(), bar, PBM_SETSTEP, kBarStep, 0);
    }
    animated_ = OpenAnimation();

    PrepareRunState(Handle());
    EnableItem(IDOK, false);

    CreationRunState& run = TheRunState();
    run.workerThread = CreateThread(nullptr, 0, &RunJobsThread, &list_, 0, nullptr);
    if (!run.workerThread) {
        run.progressWindow = nullptr;
        KillTimer(Handle(), kClockTimer);
        Finish(1);
    }
    return TRUE;
}

void CreationProgressDialog::ShowCount(int id, LONG value) const
{
    SetItemText(id, win::Format("%li", static_cast<long>(value)).c_str());
}

void CreationProgressDialog::OnJobStarted()
{
    ShowCount(IDC_PROGRESS_STARTED, TheRunState().startedCount);
    SendDlgItemMessageA(Handle(), IDC_PROGRESS_STARTED_BAR, PBM_STEPIT, 0, 0);
}

void CreationProgressDialog::ShowErrorsInBold()
{
    if (!boldFont_) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
        LOGFONTA description{};
        if (!font || !GetObjectA(font, sizeof(description), &description)) return;
        description.lfWeight = FW_BOLD;
        boldFont_ = CreateFontIndirectA(&description);
        if (!boldFont_) return;
    }
    for (int id : {IDC_PROGRESS_ERRORS, IDC_PROGRESS_ERRORS_LABEL})
        SendDlgItemMessageA(Handle(), id, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), TRUE);
}

void CreationProgressDialog::OnJobFinished()
{
    const CreationRunState& run = TheRunState();
    LONG completed = run.completedCount;
    LONG errors = run.errorCount;
    ShowCount(IDC_PROGRESS_COMPLETED, completed);
    ShowCount(IDC_PROGRESS_ERRORS, errors);
    SendDlgItemMessageA(Handle(), IDC_PROGRESS_FINISHED_BAR, PBM_STEPIT, 0, 0);
    if (completed < total_ || ended_) return;

    ended_ = true;
    SendDlgItemMessageA(Handle(), IDC_PROGRESS_ANIMATION, ACM_STOP, 0, 0);
    if (errors != 0) ShowErrorsInBold();
    EnableItem(IDOK, true);
    EnableItem(IDCANCEL, false);
    SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDOK)), TRUE);
    MessageBeep(errors != 0 ? MB_ICONEXCLAMATION : MB_OK);
}

void CreationProgressDialog::OnTimer()
{
    SetItemText(IDC_PROGRESS_ELAPSED, ElapsedTimeText(time(nullptr) - startTime_).c_str());

    HANDLE worker = TheRunState().workerThread;
    if (!worker || WaitForSingleObject(worker, 0) == WAIT_OBJECT_0) KillTimer(Handle(), kClockTimer);
}

void CreationProgressDialog::OnOk()
{
    CreationRunState& run = TheRunState();
    if (run.workerThread) {
        // OK is enabled once every job has been counted; the worker then only returns.
        WaitForSingleObject(run.workerThread, INFINITE);
        CloseHandle(run.workerThread);
        run.workerThread = nullptr;
    }
    run.progressWindow = nullptr;
    LogRunResults(list_, Handle(), false);
    WriteUnicenterStatus(list_, false);
    Finish(1);
}

void CreationProgressDialog::OnCancel()
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    RequestCancel();
    SendDlgItemMessageA(Handle(), IDC_PROGRESS_ANIMATION, ACM_STOP, 0, 0);
    CreationRunState& run = TheRunState();
    if (run.workerThread) {
        WaitForSingleObject(run.workerThread, INFINITE);
        CloseHandle(run.workerThread);
        run.workerThread = nullptr;
        MessageBeep(MB_OK);
    }
    run.progressWindow = nullptr;
    LogRunResults(list_, Handle(), true);
    WriteUnicenterStatus(list_, true);
    Finish(0);
    SetCursor(previous);
}

void CreationProgressDialog::Finish(INT_PTR result)
{
    result_ = result;
    End(result);
}

bool CreationProgressDialog::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDOK:
        if (IsWindowEnabled(Item(IDOK))) OnOk();
        return true;
    case IDCANCEL:
        // Escape reaches here too; once the run has ended Cancel is disabled.
        if (IsWindowEnabled(Item(IDCANCEL))) OnCancel();
        return true;
    default:
        return false;
    }
}

INT_PTR CreationProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, bool& handled)
{
    switch (message) {
    case kProgressMessage:
        handled = true;
        if (wParam == 0)
            OnJobStarted();
        else if (wParam == 1)
            OnJobFinished();
        return TRUE;
    case WM_TIMER:
        if (wParam != kClockTimer) return FALSE;
        handled = true;
        OnTimer();
        return TRUE;
    case WM_CLOSE:
        handled = true;
        KillTimer(Handle(), kClockTimer);
        SendDlgItemMessageA(Handle(), IDC_PROGRESS_ANIMATION, ACM_OPENA, 0, 0);
        if (TheRunState().workerThread && WaitForSingleObject(TheRunState().workerThread, 0) != WAIT_OBJECT_0) {
            // Closed while the worker still runs: ending here would leave it writing to the
            // list and posting to a window that is gone, and the run unlogged; it is
            // cancelled as the Cancel button would.
            OnCancel();
            return TRUE;
        }
        if (HANDLE worker = TheRunState().workerThread) {
            CloseHandle(worker);
            TheRunState().workerThread = nullptr;
        }
        TheRunState().progressWindow = nullptr;
        Finish(0);
        return TRUE;
    default:
        return FALSE;
    }
}

void CreationProgressDialog::OnDestroy()
{
    KillTimer(Handle(), kClockTimer);
    CreationRunState& run = TheRunState();
    if (run.progressWindow == Handle()) run.progressWindow = nullptr;
    if (boldFont_) {
        for (int id : {IDC_PROGRESS_ERRORS, IDC_PROGRESS_ERRORS_LABEL})
            SendDlgItemMessageA(Handle(), id, WM_SETFONT, 0, FALSE);
    }
}

INT_PTR RunCreateErdCommand(HINSTANCE instance, HWND mainWindow, ComputerList& list)
{
    CreateErdDialog confirm(list);
    if (confirm.Run(instance, mainWindow) != IDOK) return IDCANCEL;
    CreationProgressDialog progress(list, SelectedCount(list));
    return progress.Run(instance, mainWindow);
}
