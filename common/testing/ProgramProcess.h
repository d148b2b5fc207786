// A program of the build run as its own process and driven through its windows: found by
// title, read through messages that cross processes, and answered (closed) one by one.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Handle.h"

namespace testing_support {

// A control's text in another process: WM_GETTEXT crosses, GetWindowText does not.
std::string ControlText(HWND window, int id);
// Clicks a button of another process's window.
void Press(HWND window, int id);

// One window the program showed: its caption, its class and the texts of its controls
// (by control id; a message box's text is the static with id 0xFFFF), read just before it
// was answered.
struct ShownWindow {
    std::string title;
    std::string className;
    std::vector<std::pair<int, std::string>> controls;

    std::string Text(int id) const;
    bool IsMessageBox() const; // a dialog whose only text is a message and its buttons
};

// How a program run driven by ProgramProcess::RunAnswering ended.
struct ProgramOutcome {
    bool started = false;
    bool ended = false;     // false: still running at the time limit (then terminated)
    DWORD exitCode = 0;     // valid when ended
    std::vector<ShownWindow> shown; // in the order they appeared
};

class ProgramProcess {
public:
    // Starts `program` (a file of the build's bin/ folder) with `arguments` after its
    // quoted path, exactly as given.
    ProgramProcess(const std::string& program, const std::string& arguments);
    // Ends the process when a test left it running (terminated after `closeWaitMs`).
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool Started() const { return process_.IsValid(); }
    HANDLE Process() const { return process_.Get(); }

    // A visible top-level window of the process with `title` for which `accept` holds.
    HWND FindWindowOf(const char* title, const std::function<bool(HWND)>& accept, DWORD waitMs) const;

    // Waits up to `waitMs` for the end: the exit code, or -1 (the process then terminated).
    int WaitForExit(DWORD waitMs);

    // Lets the program run, and answers each window it shows once it has stood for
    // `settleMs`: a button Cancel, No or OK in that order of preference, otherwise
    // WM_CLOSE. Each window is recorded (see ShownWindow) just before it is answered.
    // Ends when the process ends, or terminates it after `limitMs`. `beforeAnswer`, when
    // given, is called with each window first (to press on to a page worth recording).
    ProgramOutcome RunAnswering(DWORD limitMs = 20000, DWORD settleMs = 400,
                                const std::function<void(HWND)>& beforeAnswer = {});

private:
    win::Handle process_;
    DWORD id_ = 0;
};

// Starts a program of the build with `arguments` and answers it to its end.
ProgramOutcome RunAnswering(const std::string& program, const std::string& arguments, DWORD limitMs = 20000,
                            const std::function<void(HWND)>& beforeAnswer = {});

} // namespace testing_support
