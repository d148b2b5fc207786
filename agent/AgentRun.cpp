#include "AgentRun.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Handle.h"
#include "HiveSet.h"
#include "Quota.h"
#include "RepairTool.h"
#include "Service.h"

namespace {
// How long a stopped or timed-out run waits for the console to take its outcome record.
constexpr DWORD kOutcomeReadTimeout = 30000;
} // namespace

long ParseStartArgument(const char* text)
{
    if (!text) return 0;
    const char* digits = text;
    if (*digits == '+' || *digits == '-') ++digits;
    if (*digits < '0' || *digits > '9') return 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
    }
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<long>(value);
}

StartArguments ReadStartArguments(DWORD argc, char** argv)
{
    StartArguments arguments;
    if (argc > 1) arguments.timeLimitSeconds = ParseStartArgument(argv[1]);
    if (argc > 2) arguments.alwaysCopyFiles = ParseStartArgument(argv[2]);
    if (argc > 3) arguments.checkRegQuota = ParseStartArgument(argv[3]);
    if (argc > 4) arguments.saveHivesWithoutRdisk = ParseStartArgument(argv[4]);
    return arguments;
}

DWORD TimeLimitMilliseconds(long seconds)
{
    if (seconds <= 0) return INFINITE;
    const unsigned long long ms = static_cast<unsigned long long>(seconds) * 1000u;
    // A limit that does not fit stays the longest finite one rather than wrapping short.
    return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

std::string RepairFolderPath()
{
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) windows[0] = '\0';
    return std::string(windows) + "\\Repair";
}

DWORD WINAPI AgentRun::TimeLimitThread(void* parameter)
{
    auto* limit = static_cast<TimeLimit*>(parameter);
    if (WaitForSingleObject(limit->run->stopEvent_, limit->milliseconds) == WAIT_TIMEOUT) {
        // The flag first: whoever sees the stop event may read the flag.
        InterlockedExchange(&limit->run->timedOut_, 1);
        SetEvent(limit->run->stopEvent_);
    }
    return 0;
}

void AgentRun::SendStatus(uint32_t succeeded, uint32_t code, const char* text, PipeChannel& channel)
{
    if (!statusPending_) return;
    statusPending_ = 0;
    AgentStatus status{};
    status.succeeded = succeeded;
    status.code = code;
    std::strncpy(status.text, text, sizeof(status.text) - 1);
    channel.WriteExact(&status, sizeof(status), true); // a failed write is not reported further
}

bool AgentRun::MakeOwnRepairSet(const std::string& folder, PipeChannel& channel)
{
    const hives::HiveSetResult result = hives::MakeHiveSet(folder, stopEvent_);
    if (timedOut_)
        SendStatus(0, kAgentStatusCode_Timeout, "Timeout", channel);
    else if (!result.Made())
        SendStatus(0, result.error, hives::HiveSetOutcomeText(result).c_str(), channel);
    else
        SendStatus(1, 0, hives::kHiveSetMadeText, channel);
    return result.Made() && !timedOut_;
}

void ReportRefusal(PipeRefusal refusal)
{
    switch (refusal) {
    case PipeRefusal::None:
        return;
    case PipeRefusal::NotOwnPipe:
        LogAgentError(kRefusedPipeText);
        return;
    case PipeRefusal::ClientNotAdministrator:
        LogAgentError(kRefusedClientText);
        return;
    }
}

void AgentRun::LetConsoleReadOutcome(PipeChannel& channel)
{
    // Disconnecting at once would throw the outcome record away if the console has not
    // read it yet: give the console a bounded time to read it and answer or close its end.
    unsigned char ignored = 0;
    channel.timeout = kOutcomeReadTimeout;
    channel.ReadExact(&ignored, 1, true);
}

bool AgentRun::AwaitGoAhead(PipeChannel& channel)
{
    if (WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0) {
        LetConsoleReadOutcome(channel); // stopped or out of time
        return false;
    }
    unsigned char goAhead = 0;
    channel.timeout = INFINITE;
    const bool goAheadRead = channel.ReadExact(&goAhead, 1, true);
    channel.timeout = kChannelTimeout;
    if (!goAheadRead) return false;
    if (!channel.ConfirmClient()) {
        ReportRefusal(channel.refusal); // nothing but the outcome record has crossed
        return false;
    }
    return true;
}

bool AgentRun::SendRepairFiles(PipeChannel& channel, HANDLE stopEvent)
{
    return SendFolderFiles(channel, stopEvent, RepairFolderPath());
}

void AgentRun::RunAgent(DWORD argc, char** argv)
{
    const StartArguments arguments = ReadStartArguments(argc, argv);
    // What an agent killed before the end of its run left in the temporary folder goes now.
    hives::PrivateFolder::RemoveStale();
    limit_.milliseconds = TimeLimitMilliseconds(arguments.timeLimitSeconds);
    win::Handle limitThread(CreateThread(nullptr, 0, TimeLimitThread, &limit_, 0, nullptr));

    PipeChannel channel;
    channel.name = kAgentPipeName;
    channel.timeout = kChannelTimeout;
    channel.retryCount = kChannelRetryCount;
    channel.abortFlag = &timedOut_;

    [&] {
        if (!channel.Listen(stopEvent_)) {
            ReportRefusal(channel.refusal);
            return;
        }
        RepairToolWatch watch;
        if (!watch.FindProcessQuery()) return;

        DWORD processId = 0;
        win::Handle process(StartRepairTool(processId));
        if (!process) {
            const DWORD error = GetLastError();
            if (arguments.saveHivesWithoutRdisk == 0 || !RepairToolMissing(error)) {
                SendStatus(0, error, "Unable to load rdisk.exe", channel);
                LetConsoleReadOutcome(channel); // a disconnect at once could lose the record
                return;
            }
            // No rdisk.exe on this system (Windows 2000 and later): the agent makes the set
            // itself, in a private folder that goes with the end of this block on every path.
            hives::PrivateFolder ownSet;
            if (!ownSet.Create()) {
                SendStatus(0, GetLastError(), "Unable to make a temporary folder without rdisk.exe", channel);
                LetConsoleReadOutcome(channel);
                return;
            }
            if (!MakeOwnRepairSet(ownSet.Path(), channel)) {
                LetConsoleReadOutcome(channel); // nothing half-made is sent
                return;
            }
            if (!AwaitGoAhead(channel)) return;
            if (!SendFolderFiles(channel, stopEvent_, ownSet.Path())) return;
            if (WaitForSingleObject(stopEvent_, 100) == WAIT_TIMEOUT && arguments.checkRegQuota != 0)
                CorrectRegistryQuota();
            return;
        }
        const bool finished = watch.WatchRepairTool(processId, process.Get(), stopEvent_);
        if (!finished)
            SendStatus(0, kAgentStatusCode_RdiskEnded, "Rdisk disappeared", channel);
        else if (timedOut_)
            SendStatus(0, kAgentStatusCode_Timeout, "Timeout", channel);
        else
            SendStatus(1, 0, "Success", channel);

        if (WaitForSingleObject(process.Get(), 0) != WAIT_OBJECT_0) TerminateProcess(process.Get(), 0);
        process.Reset();

        if (!AwaitGoAhead(channel)) return;

        if (finished || arguments.alwaysCopyFiles != 0) {
            if (!SendRepairFiles(channel, stopEvent_)) return;
        }
        if (WaitForSingleObject(stopEvent_, 100) == WAIT_TIMEOUT && finished && arguments.checkRegQuota != 0)
            CorrectRegistryQuota();
    }();

    channel.Disconnect();
    channel.name.clear();

    // The time-limit thread must not outlive the stop event it waits on: the service
    // closes that event once the run is over.
    if (limitThread) {
        SetEvent(stopEvent_);
        WaitForSingleObject(limitThread.Get(), 5000);
    }
}
