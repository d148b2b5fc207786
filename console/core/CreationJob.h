// One computer's job in a creation run and the run's state that the user-interface thread
// and the worker share.
#pragma once
#include "ComputerList.h"
#include "PipeChannel.h"

#include <windows.h>

#include <string>

constexpr char kAgentFileName[] = "Vantoro.exe";
constexpr char kAlphaAgentFileName[] = "Vantoro.alp";
constexpr uint32_t kNoErrorCode = 0xFFFFFFFF; // with 0, "no code"

// The per-run companions of a ComputerEntry: the console's end of the agent's pipe and the
// agent's outcome record. They live for one run only.
struct CreationJob {
    explicit CreationJob(ComputerEntry& computer) : entry(computer) {}
    CreationJob(const CreationJob&) = delete;
    CreationJob& operator=(const CreationJob&) = delete;

    ComputerEntry& entry;
    PipeChannel channel;
    AgentStatus status{};
    // The agent's outcome record reported a failure with a code of its own: a fetch made
    // after it (AlwaysCopyFiles) keeps that code when it fails.
    bool agentReportedCode = false;
    // Set by the deployment once the target's service control manager has answered.
    volatile LONG targetAnswered = 0;
    // The computer's output folder, expanded when the job starts: the job holds it (and its
    // computer) until it is counted, and its fetch receives into it. Empty when the
    // template cannot be expanded for this name (the fetch then fails with result 9).
    std::string folder;
};

// Notification posted to the progress window: wParam 0 a job started, 1 a job finished.
constexpr UINT kProgressMessage = WM_USER + 1;

// Shared between the progress dialog (or the unattended pass) and the worker.
struct CreationRunState {
    HWND progressWindow = nullptr;
    volatile LONG cancelRequested = 0;
    // Manual-reset, made once, the cancel event of every channel: set by Cancel, and by the
    // run itself when its time limit has passed (then cleared again at the run's end).
    HANDLE abortEvent = nullptr;
    volatile LONG startedCount = 0;
    volatile LONG unattendedStartedCount = 0;
    volatile LONG completedCount = 0; // written by the worker only
    volatile LONG errorCount = 0;     // written by the worker only
    HANDLE workerThread = nullptr;
    std::string localAgentPath;      // program folder + "\Vantoro.exe"
    std::string localAlphaAgentPath; // program folder + "\Vantoro.alp"
};

CreationRunState& TheRunState();

bool IsCancelRequested() noexcept;
// Sets the cancel flag and signals the abort event, so that pending pipe waits end at once.
void RequestCancel() noexcept;
// Before a run: cancel flag clear, abort event made (once) and clear, all counts 0.
void PrepareRunState(HWND progressWindow);
