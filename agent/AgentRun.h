// One run of the agent: rdisk.exe under the time limit (or, where there is none and the
// console allows it, the agent's own repair set), the outcome record, the go-ahead, the
// repair folder over the pipe and, when asked to, the registry quota correction.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "FolderSender.h" // SendFolderFiles, the sending side shared with the tests' simulated agents
#include "PipeChannel.h"

// The start arguments after the service name; absent or not decimal counts as 0.
struct StartArguments {
    long timeLimitSeconds = 0; // 0 or less: no limit
    long alwaysCopyFiles = 0;
    long checkRegQuota = 0;
    long saveHivesWithoutRdisk = 0; // the fourth: an agent started with three saves no hives itself
};

// A signed decimal number; anything else (empty, letters, trailing text) counts as 0.
// Numbers beyond 32 bits are held at the nearest 32-bit bound.
long ParseStartArgument(const char* text);
StartArguments ReadStartArguments(DWORD argc, char** argv);
// The limit in milliseconds: INFINITE for no limit, never wrapping to a shorter one.
DWORD TimeLimitMilliseconds(long seconds);

// The event a refused pipe leaves (after "Vantoro error: <code>"); the run then ends and
// nothing has been sent.
constexpr char kRefusedPipeText[] =
    "The pipe \\\\.\\pipe\\Salvora belongs to another program (made before the agent's): refused, nothing sent";
constexpr char kRefusedClientText[] =
    "The program connected to \\\\.\\pipe\\Salvora is not an administrator: refused, nothing sent";
void ReportRefusal(PipeRefusal refusal);

// The repair folder: the Windows folder followed by "\Repair".
std::string RepairFolderPath();

class AgentRun {
public:
    // `stopEvent` is the service's manual-reset stop event (owned by the caller).
    explicit AgentRun(HANDLE stopEvent) : stopEvent_(stopEvent) {}
    AgentRun(const AgentRun&) = delete;
    AgentRun& operator=(const AgentRun&) = delete;

    // The whole run, for the service entry's arguments.
    void RunAgent(DWORD argc, char** argv);

    // Writes the outcome record once per run; later calls write nothing.
    void SendStatus(uint32_t succeeded, uint32_t code, const char* text, PipeChannel& channel);

    // Sends every plain file of the repair folder, then "<Finish>" (or "<Error>").
    bool SendRepairFiles(PipeChannel& channel, HANDLE stopEvent);

    volatile LONG* TimedOutFlag() noexcept { return &timedOut_; }

private:
    // Where rdisk.exe cannot be found: makes the repair set in `folder` and sends the
    // outcome record. True when the set was made.
    bool MakeOwnRepairSet(const std::string& folder, PipeChannel& channel);
    // Waits a bounded time for the console to read the outcome record and answer or close.
    void LetConsoleReadOutcome(PipeChannel& channel);
    // After the outcome record: the console's go-ahead. False when the run was stopped or
    // ran out of time (the console is given a bounded time to read the record) or the
    // console closed instead.
    bool AwaitGoAhead(PipeChannel& channel);

    struct TimeLimit {
        AgentRun* run;
        DWORD milliseconds;
    };
    static DWORD WINAPI TimeLimitThread(void* parameter);

    HANDLE stopEvent_;
    volatile LONG timedOut_ = 0;
    LONG statusPending_ = 1;
    TimeLimit limit_{this, INFINITE};
};
