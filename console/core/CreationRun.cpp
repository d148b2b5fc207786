#include "CreationRun.h"

#include "AgentDeployment.h"
#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "Enumeration.h"
#include "Messages.h"
#include "OutputFolder.h"
#include "ResultLog.h"
#include "Settings.h"
#include "UnicenterStatus.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

constexpr DWORD kUnattendedSettlePause = 3000; // ms after an unattended pass, before logging
constexpr DWORD kUnattendedDrainLimit = 60;    // seconds to wait for jobs still counted as running

class TargetDeployer final : public AgentDeployer {
public:
    bool Deploy(CreationJob& job) override { return DeployAgent(job.entry, job.channel); }
    void Remove(CreationJob& job) override
    {
        CloseAgentService(job.entry);
        RemoveAgentFile(job.entry);
    }
};

TargetDeployer g_targetDeployer;
std::atomic<AgentDeployer*> g_deployer{nullptr};
std::atomic<DWORD> g_idleGroupPause{kIdleGroupPause};
RunFigures g_figures;

void Notify(WPARAM what)
{
    HWND window = TheRunState().progressWindow;
    if (window && !IsUnattended()) PostMessageA(window, kProgressMessage, what, 0);
}

void SetOutcome(ComputerEntry& entry, uint32_t result, uint32_t errorCode)
{
    entry.result = result;
    entry.errorCode = errorCode;
}

// The job's finishing steps: pipe closed, agent taken off the target, counted, notified.
void FinishJob(CreationJob& job)
{
    CreationRunState& run = TheRunState();
    job.channel.Close();
    Deployer().Remove(job);
    InterlockedIncrement(&run.completedCount);
    if (job.entry.result != kJobSucceeded) InterlockedIncrement(&run.errorCount);
    Notify(1);
    job.entry.inProgress = 0;
}

// Reads what the agent's outcome record says into the entry.
void TakeOutcome(CreationJob& job)
{
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(job.channel.handle, &job.channel.overlapped, &got, FALSE);
    if (!ok || got < sizeof(AgentStatus)) {
        SetOutcome(job.entry, kJobCommunication, ok ? ERROR_INVALID_DATA : GetLastError());
        return;
    }
    if (job.status.succeeded) return;
    if (job.status.code == kAgentStatusCode_Timeout)
        SetOutcome(job.entry, kJobTimeout, kNoErrorCode);
    else
        SetOutcome(job.entry, kJobCommunication, job.status.code);
}

} // namespace

CreationRunState& TheRunState()
{
    static CreationRunState state;
    return state;
}

bool IsCancelRequested() noexcept { return TheRunState().cancelRequested != 0; }

void RequestCancel() noexcept
{
    CreationRunState& run = TheRunState();
    InterlockedExchange(&run.cancelRequested, 1);
    if (run.abortEvent) SetEvent(run.abortEvent);
}

void PrepareRunState(HWND progressWindow)
{
    CreationRunState& run = TheRunState();
    run.progressWindow = progressWindow;
    InterlockedExchange(&run.cancelRequested, 0);
    if (!run.abortEvent) run.abortEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (run.abortEvent) ResetEvent(run.abortEvent);
    InterlockedExchange(&run.errorCount, 0);
    InterlockedExchange(&run.completedCount, 0);
    InterlockedExchange(&run.startedCount, 0);
    InterlockedExchange(&run.unattendedStartedCount, 0);
}

AgentDeployer& Deployer()
{
    AgentDeployer* deployer = g_deployer.load();
    return deployer ? *deployer : g_targetDeployer;
}

void SetDeployer(AgentDeployer* deployer) { g_deployer.store(deployer); }

void SetIdleGroupPause(DWORD milliseconds) noexcept { g_idleGroupPause.store(milliseconds); }

const RunFigures& LastRunFigures() noexcept { return g_figures; }

bool FetchRepairFiles(CreationJob& job)
{
    ComputerEntry& entry = job.entry;
    std::string folder;
    if (!ExpandOutputFolder(entry.name.c_str(), folder)) {
        SetOutcome(entry, kJobOutputFolderError, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = CreateFolderPath(folder);
        attributes = GetFileAttributesA(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            SetOutcome(entry, kJobOutputFolderError, error ? error : GetLastError());
            return false;
        }
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetOutcome(entry, kJobOutputFolderError, ERROR_DIRECTORY);
        return false;
    }

    // The go-ahead; its value means nothing.
    unsigned char goAhead = static_cast<unsigned char>(attributes & 0xFF);
    if (!job.channel.WriteExact(&goAhead, 1, true)) {
        if (IsCancelRequested())
            SetOutcome(entry, kJobCancelled, kNoErrorCode);
        else
            SetOutcome(entry, kJobCommunication, GetLastError());
        return false;
    }

    std::string fileName;
    for (;;) {
        if (IsCancelRequested()) {
            SetOutcome(entry, kJobCancelled, kNoErrorCode);
            return false;
        }
        int received = job.channel.ReceiveFile(fileName, folder.c_str());
        if (received == -3) {
            SetOutcome(entry, kJobTimeout, kNoErrorCode);
            return false;
        }
        if (received != 0) {
            DWORD error = GetLastError();
            if (IsCancelRequested())
                SetOutcome(entry, kJobCancelled, kNoErrorCode);
            else
                SetOutcome(entry, kJobCopyError, error);
            return false;
        }
        if (fileName == kFinishName) return true;
        if (fileName == kErrorName) {
            SetOutcome(entry, kJobCopyError, kNoErrorCode);
            return false;
        }
    }
}

DWORD RunJobs(ComputerList& list)
{
    CreationRunState& run = TheRunState();
    const ConsoleSettings& settings = TheConsoleSettings();
    run.localAgentPath = settings.InstallPath + "\\" + kAgentFileName;
    run.localAlphaAgentPath = settings.InstallPath + "\\" + kAlphaAgentFileName;
    g_figures = RunFigures{};

    std::vector<std::unique_ptr<CreationJob>> jobs;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        entry->inProgress = 0;
        entry->errorCode = 0;
        entry->result = kJobSucceeded;
        entry->scmHandle = nullptr;
        entry->serviceHandle = nullptr;
        entry->agentPath.clear(); // a file of an earlier run is not this run's to delete
        auto job = std::make_unique<CreationJob>(*entry);
        job->channel.timeout = kChannelTimeout;
        job->channel.retryCount = kChannelRetryCount;
        job->channel.cancelEvent = run.abortEvent;
        jobs.push_back(std::move(job));
    }

    // Deployments, one target after another.
    size_t inFlight = 0;
    for (auto& job : jobs) {
        ++inFlight;
        InterlockedIncrement(&run.startedCount);
        InterlockedIncrement(&run.unattendedStartedCount);
        Notify(0);
        job->entry.inProgress = 1;
        if (!IsCancelRequested()) {
            if (job->entry.Role() == kRoleUndetermined) LookupComputer(job->entry);
            bool deployed = !IsCancelRequested() && Deployer().Deploy(*job);
            if (deployed && !IsCancelRequested()) continue;
        }
        --inFlight;
        if (IsCancelRequested()) SetOutcome(job->entry, kJobCancelled, kNoErrorCode);
        FinishJob(*job);
    }

    bool timedOut = false;
    bool waitFailed = false;
    DWORD waitError = 0;
    if (!IsCancelRequested()) {
        // The outcome records, read overlapped: one slot per job in flight.
        std::vector<HANDLE> handles;
        std::vector<CreationJob*> slots;
        handles.reserve(inFlight);
        slots.reserve(inFlight);
        for (auto& job : jobs) {
            if (!job->entry.inProgress) continue;
            if (IsCancelRequested()) break;
            std::memset(&job->status, 0, sizeof(job->status));
            if (!job->channel.ReadExact(&job->status, sizeof(job->status), false) &&
                GetLastError() != ERROR_IO_PENDING) {
                // Nothing will ever signal this job: it is finished now.
                SetOutcome(job->entry, kJobCommunication, GetLastError());
                --inFlight;
                FinishJob(*job);
                continue;
            }
            handles.push_back(job->channel.handle);
            slots.push_back(job.get());
        }
        g_figures.groups = static_cast<DWORD>((handles.size() + kWaitGroupSize - 1) / kWaitGroupSize);

        DWORD startTick = GetTickCount();
        DWORD limit = settings.TimeoutMilliseconds();
        while (!slots.empty() && !IsCancelRequested()) {
            // Groups of at most 64 handles in slot order; an idle group costs one pause,
            // during which a completion in that group is noticed at once.
            size_t found = handles.size();
            for (size_t first = 0; first < handles.size(); first += kWaitGroupSize) {
                DWORD count = static_cast<DWORD>(std::min<size_t>(kWaitGroupSize, handles.size() - first));
                DWORD result = WaitForMultipleObjects(count, &handles[first], FALSE, g_idleGroupPause.load());
                if (result < WAIT_OBJECT_0 + count) {
                    found = first + (result - WAIT_OBJECT_0);
                    break;
                }
                if (result != WAIT_TIMEOUT) {
                    waitFailed = true;
                    waitError = GetLastError();
                    break;
                }
                if (IsCancelRequested()) break;
            }
            if (waitFailed || IsCancelRequested()) break;
            if (found == handles.size()) {
                if (limit && GetTickCount() - startTick > limit) {
                    timedOut = true;
                    break;
                }
                continue;
            }

            CreationJob& job = *slots[found];
            TakeOutcome(job);
            if (IsCancelRequested()) break;
            if (job.entry.result == kJobSucceeded || settings.AlwaysCopyFiles) {
                if (FetchRepairFiles(job) && IsCancelRequested()) break;
            }
            FinishJob(job);
            handles.erase(handles.begin() + static_cast<ptrdiff_t>(found));
            slots.erase(slots.begin() + static_cast<ptrdiff_t>(found));
            --inFlight;
            g_figures.lastFinishTick = GetTickCount();
        }
    }

    // The end of the run: whatever is still in flight is finished with the run's reason.
    for (auto& job : jobs) {
        if (!job->entry.inProgress) continue;
        if (IsCancelRequested())
            SetOutcome(job->entry, kJobCancelled, kNoErrorCode);
        else if (waitFailed)
            SetOutcome(job->entry, kJobCommunication, waitError);
        else if (timedOut)
            SetOutcome(job->entry, kJobTimeout, kNoErrorCode);
        FinishJob(*job);
    }
    if (!g_figures.lastFinishTick) g_figures.lastFinishTick = GetTickCount();
    return 0;
}

DWORD WINAPI RunJobsThread(void* list)
{
    return RunJobs(*static_cast<ComputerList*>(list));
}

void RunJobsUnattended()
{
    CreationRunState& run = TheRunState();
    PrepareRunState(nullptr);
    RunJobs(TheComputerList());
    for (DWORD waited = 0; run.unattendedStartedCount != 0 && run.unattendedStartedCount != run.completedCount &&
                           waited < kUnattendedDrainLimit;
         ++waited)
        Sleep(1000);
    Sleep(kUnattendedSettlePause);
    LogRunResults(TheComputerList(), nullptr, false);
    WriteUnicenterStatus(TheComputerList(), false);
}

void LogRunResults(const ComputerList& list, HWND owner, bool cancelled)
{
    ResultLog& log = TheResultLog();
    if (!log.BeginSession(owner, kSessionCreateErd)) return;
    bool anyFailed = false;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        if (entry->result == kJobSucceeded) {
            log.LogItemById(false, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, nullptr, 0);
            continue;
        }
        anyFailed = true;
        std::string text;
        int32_t code = static_cast<int32_t>(entry->errorCode);
        if (LoadConsoleString(entry->result, text)) {
            if (entry->errorCode != 0 && entry->errorCode != kNoErrorCode)
                text += " - " + NetErrorText(entry->errorCode);
            log.LogItemById(true, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, text.c_str(), code);
        } else {
            log.LogItem(true, entry->name.c_str(), nullptr, TEXT_CREATE_ER_DISK, nullptr, code);
        }
    }
    std::string finalText;
    LoadConsoleString(cancelled ? IDS_CANCELLED_BY_USER : IDS_OPERATION_COMPLETED, finalText);
    log.EndSession(finalText.c_str(), !cancelled && !anyFailed);
}
