#include "ProgramProcess.h"

#include <cstring>
#include <map>

#include "TestSupport.h"

namespace testing_support {

namespace {

std::string TextOf(HWND window)
{
    char text[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    return text;
}

struct Listing {
    DWORD id;
    std::vector<HWND> windows;
};

BOOL CALLBACK ListWindow(HWND window, LPARAM data)
{
    auto* listing = reinterpret_cast<Listing*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == listing->id && IsWindowVisible(window)) listing->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD id)
{
    Listing listing{id, {}};
    EnumWindows(&ListWindow, reinterpret_cast<LPARAM>(&listing));
    return listing.windows;
}

BOOL CALLBACK ReadControl(HWND control, LPARAM data)
{
    auto* shown = reinterpret_cast<ShownWindow*>(data);
    shown->controls.emplace_back(GetDlgCtrlID(control), TextOf(control));
    return TRUE;
}

ShownWindow Record(HWND window)
{
    ShownWindow shown;
    shown.title = TextOf(window);
    char name[128] = {};
    GetClassNameA(window, name, sizeof(name));
    shown.className = name;
    EnumChildWindows(window, &ReadControl, reinterpret_cast<LPARAM>(&shown));
    return shown;
}

void Answer(HWND window)
{
    for (int button : {IDCANCEL, IDNO, IDOK}) {
        HWND control = GetDlgItem(window, button);
        if (control && IsWindowEnabled(control)) {
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
            return;
        }
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
}

} // namespace

std::string ControlText(HWND window, int id) { return TextOf(GetDlgItem(window, id)); }

void Press(HWND window, int id)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(window, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

std::string ShownWindow::Text(int id) const
{
    for (const auto& control : controls)
        if (control.first == id) return control.second;
    return {};
}

bool ShownWindow::IsMessageBox() const
{
    if (className != "#32770") return false;
    for (const auto& control : controls)
        if (control.first == 0xFFFF && !control.second.empty()) return true;
    return false;
}

ProgramProcess::ProgramProcess(const std::string& program, const std::string& arguments)
{
    std::string line = "\"" + BinFolder() + "\\" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        process_.Reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
}

ProgramProcess::~ProgramProcess()
{
    if (!process_) return;
    if (WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) RunAnswering(10000, 0);
}

HWND ProgramProcess::FindWindowOf(const char* title, const std::function<bool(HWND)>& accept, DWORD waitMs) const
{
    DWORD start = GetTickCount();
    do {
        for (HWND window : VisibleWindows(id_))
            if (TextOf(window) == title && accept(window)) return window;
        Sleep(50);
    } while (GetTickCount() - start < waitMs);
    return nullptr;
}

int ProgramProcess::WaitForExit(DWORD waitMs)
{
    if (!process_) return -1;
    if (WaitForSingleObject(process_.Get(), waitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 5000);
        process_.Reset();
        return -1;
    }
    DWORD code = 1;
    GetExitCodeProcess(process_.Get(), &code);
    process_.Reset();
    return static_cast<int>(code);
}

ProgramOutcome ProgramProcess::RunAnswering(DWORD limitMs, DWORD settleMs,
                                            const std::function<void(HWND)>& beforeAnswer)
{
    ProgramOutcome outcome;
    outcome.started = Started();
    if (!outcome.started) return outcome;
    std::map<HWND, DWORD> due; // when each window is answered (again, if it stays)
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process_.Get(), 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - start >= limitMs) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
            process_.Reset();
            return outcome;
        }
        DWORD now = GetTickCount();
        for (HWND window : VisibleWindows(id_)) {
            auto entry = due.emplace(window, now + settleMs).first;
            if (static_cast<LONG>(now - entry->second) < 0) continue;
            if (beforeAnswer) beforeAnswer(window);
            ShownWindow shown = Record(window);
            if (outcome.shown.empty() || outcome.shown.back().title != shown.title ||
                outcome.shown.back().controls != shown.controls)
                outcome.shown.push_back(std::move(shown));
            Answer(window);
            entry->second = now + 1000;
        }
    }
    outcome.ended = true;
    GetExitCodeProcess(process_.Get(), &outcome.exitCode);
    process_.Reset();
    return outcome;
}

ProgramOutcome RunAnswering(const std::string& program, const std::string& arguments, DWORD limitMs,
                            const std::function<void(HWND)>& beforeAnswer)
{
    ProgramProcess process(program, arguments);
    return process.RunAnswering(limitMs, 400, beforeAnswer);
}

} // namespace testing_support
