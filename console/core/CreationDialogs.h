// The two dialogs of an interactive creation run: the Create ERD confirmation (106) and the
// progress dialog (107) that runs the worker and shows its counts.
#pragma once
#include "ComputerList.h"
#include "CreationDialogIds.h"
#include "Window.h"

#include <windows.h>

#include <string>

constexpr char kClockAnimationFile[] = "clock2.avi";

// Shows the help topic of a dialog (template id + 0x20000, HELP_CONTEXT). The context-help
// module installs the product's; without one the Help button does nothing.
using CreationHelpHandler = void (*)(HWND owner, DWORD topic);
void SetCreationHelpHandler(CreationHelpHandler handler) noexcept;

// The progress dialog's elapsed-time text, "%H:%M:%S" of whole seconds: hours wrap after a day.
std::string ElapsedTimeText(long long seconds);

// Confirms the selection: the selected computers' names, sorted, and their number.
// Ends with IDOK or IDCANCEL.
class CreateErdDialog final : public win::Dialog {
public:
    explicit CreateErdDialog(const ComputerList& list) : list_(list) {}
    INT_PTR Run(HINSTANCE instance, HWND mainWindow) { return DoModal(instance, IDD_CREATE_ERD, mainWindow); }
    INT_PTR Result() const noexcept { return result_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    const ComputerList& list_;
    INT_PTR result_ = -1;
};

// Runs RunJobs over the list on a worker thread and shows its progress. Ends with 1 when the
// run ended and was closed with OK (or the worker could not be started), 0 when cancelled.
class CreationProgressDialog final : public win::Dialog {
public:
    CreationProgressDialog(ComputerList& list, LONG selectedCount) : list_(list), total_(selectedCount) {}
    ~CreationProgressDialog() override;
    INT_PTR Run(HINSTANCE instance, HWND mainWindow) { return DoModal(instance, IDD_CREATION_PROGRESS, mainWindow); }
    INT_PTR Result() const noexcept { return result_; }
    bool HasAnimation() const noexcept { return animated_; }
    bool ErrorsInBold() const noexcept { return boldFont_ != nullptr; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDestroy() override;

private:
    void OnJobStarted();
    void OnJobFinished();
    void OnTimer();
    void OnOk();
    void OnCancel();
    void Finish(INT_PTR result);
    void ShowCount(int id, LONG value) const;
    void ShowErrorsInBold();
    bool OpenAnimation();

    ComputerList& list_;
    LONG total_;
    time_t startTime_ = 0;
    bool animated_ = false;
    bool ended_ = false;
    HFONT boldFont_ = nullptr;
    INT_PTR result_ = -1;
};

// The Create ERD command: the confirmation, then (on OK) the progress dialog over the
// selected computers. Returns the progress dialog's result, -1 when it could not be shown,
// or IDCANCEL (2) when the confirmation was cancelled.
INT_PTR RunCreateErdCommand(HINSTANCE instance, HWND mainWindow, ComputerList& list);
