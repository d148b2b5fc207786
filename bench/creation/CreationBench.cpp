// CreationBench: the creation run over simulated targets whose agents each work T = 2 s and
// send 1 MiB, for N = 16, 64 and 256 in flight, against a baseline that deploys, waits and
// fetches one target after another; then how late the wait loop notices a completion in
// each group of handles while 256 are in flight.
#include "ConsoleState.h"
#include "CreationRun.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "TestSupport.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr DWORD kAgentWorkMs = 2000;
constexpr size_t kFileBytes = 1 << 20;

int ProcessThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

size_t PeakWorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    return memory.PeakWorkingSetSize >> 20;
}

void FillList(size_t count, size_t first = 0)
{
    TheComputerList().Clear();
    for (size_t i = first; i < first + count; ++i) {
        auto entry = std::make_shared<ComputerEntry>("SIM" + std::to_string(i));
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", ""); // no lookup
        entry->selected = 1;
        TheComputerList().Append(entry);
    }
}

simagents::Script AgentScript(DWORD workMs, size_t bytes)
{
    simagents::Script script;
    script.workMs = workMs;
    script.fileBytes = bytes;
    script.fileCount = 1;
    return script;
}

struct Figures {
    double wallOverT = 0;
    DWORD tailMs = 0;
    int runThreads = 0;
    int peakThreads = 0;
    size_t succeeded = 0;
};

// One run over `count` targets at once, on a worker thread as the console runs it.
Figures ParallelRun(const std::string& root, size_t count)
{
    simagents::SimulatedDeployer deployer(root + "\\par" + std::to_string(count));
    deployer.defaultScript = AgentScript(kAgentWorkMs, kFileBytes);
    SetDeployer(&deployer);
    FillList(count);
    PrepareRunState(nullptr);
    int before = ProcessThreads();
    std::atomic<bool> running{true};
    std::atomic<int> peak{0};
    std::thread sampler([&] {
        while (running) {
            int now = ProcessThreads();
            if (now > peak) peak = now;
            Sleep(20);
        }
    });
    DWORD start = GetTickCount();
    HANDLE worker = CreateThread(nullptr, 0, RunJobsThread, &TheComputerList(), 0, nullptr);
    WaitForSingleObject(worker, 600000);
    CloseHandle(worker);
    DWORD end = GetTickCount();
    running = false;
    sampler.join();
    deployer.WaitForAgents(60000);
    SetDeployer(nullptr);

    Figures figures;
    figures.wallOverT = double(end - start) / kAgentWorkMs;
    figures.tailMs = end - deployer.LastStatusTick();
    figures.peakThreads = peak;
    // Beside the bench's own threads (and its sampler) only the simulated agents and the
    // run's worker live during the run.
    figures.runThreads = peak - (before + 1) - static_cast<int>(count);
    for (const ComputerEntryPtr& entry : TheComputerList().Entries())
        if (entry->result == kJobSucceeded) ++figures.succeeded;
    return figures;
}

// Deploy, wait, fetch: one target after another, as a one-at-a-time remote-execution tool.
double SequentialPerTarget(const std::string& root, size_t count, size_t& succeeded)
{
    simagents::SimulatedDeployer deployer(root + "\\seq");
    deployer.defaultScript = AgentScript(kAgentWorkMs, kFileBytes);
    SetDeployer(&deployer);
    succeeded = 0;
    DWORD start = GetTickCount();
    for (size_t i = 0; i < count; ++i) {
        FillList(1, i);
        PrepareRunState(nullptr);
        RunJobs(TheComputerList());
        if (TheComputerList().At(0)->result == kJobSucceeded) ++succeeded;
    }
    DWORD spent = GetTickCount() - start;
    deployer.WaitForAgents(60000);
    SetDeployer(nullptr);
    return double(spent) / count;
}

// 256 in flight; the agent at `position` reports after 3 s, every other one after 8 s.
// Returns how long after its status the run finished that job.
DWORD NoticeDelay(const std::string& root, size_t position)
{
    const size_t count = 256;
    simagents::SimulatedDeployer deployer(root + "\\late" + std::to_string(position));
    deployer.defaultScript = AgentScript(8000, 1000);
    const std::string early = "SIM" + std::to_string(position);
    deployer.SetScript(early, AgentScript(3000, 1000));
    std::atomic<DWORD> statusTick{0};
    deployer.onStatusSent = [&](const std::string& computer) {
        if (computer == early) statusTick = GetTickCount();
    };
    SetDeployer(&deployer);
    FillList(count);
    PrepareRunState(nullptr);
    ComputerEntry& target = *TheComputerList().At(position);
    HANDLE worker = CreateThread(nullptr, 0, RunJobsThread, &TheComputerList(), 0, nullptr);
    DWORD noticed = 0;
    for (DWORD waited = 0; waited < 60000; ++waited) {
        if (statusTick != 0 && target.inProgress == 0) {
            noticed = GetTickCount();
            break;
        }
        Sleep(1);
    }
    WaitForSingleObject(worker, 600000);
    CloseHandle(worker);
    deployer.WaitForAgents(60000);
    SetDeployer(nullptr);
    return noticed && statusTick ? noticed - statusTick : 0xFFFFFFFF;
}

} // namespace

int main()
{
    SetUnattended(true);
    testing_support::TempFolder folder("cbench");
    ConsoleSettings& settings = TheConsoleSettings();
    settings.InstallPath = folder.Path();
    settings.OutDir = folder.Path() + "\\out\\%COMPUTERNAME%";
    settings.ERDtimeout = 0;
    settings.MaxThreadNum = 1000;

    std::printf("Creation run over simulated targets: each agent works T = %lu ms and sends %zu KiB\n",
                static_cast<unsigned long>(kAgentWorkMs), kFileBytes >> 10);
    std::printf("%6s %10s %14s %10s %14s %12s %10s\n", "N", "wall / T", "tail after", "worker", "process peak",
                "peak WS", "succeeded");
    std::printf("%6s %10s %14s %10s %14s %12s %10s\n", "", "", "last status", "threads", "threads", "MiB", "");
    for (size_t count : {16, 64, 256}) {
        Figures f = ParallelRun(folder.Path(), count);
        std::printf("%6zu %10.2f %11lu ms %10d %14d %12zu %7zu/%zu\n", count, f.wallOverT,
                    static_cast<unsigned long>(f.tailMs), f.runThreads, f.peakThreads, PeakWorkingSetMiB(),
                    f.succeeded, count);
    }
    std::printf("(process peak threads include one simulated agent thread per target)\n\n");

    size_t succeeded = 0;
    const size_t measured = 16;
    double perTarget = SequentialPerTarget(folder.Path(), measured, succeeded);
    std::printf("Sequential baseline (deploy, wait, fetch one target after another), measured over %zu targets "
                "(%zu succeeded): %.0f ms per target = %.2f T\n",
                measured, succeeded, perTarget, perTarget / kAgentWorkMs);
    for (size_t count : {16, 64, 256})
        std::printf("%6zu targets: wall / T = %.1f%s\n", count, perTarget * count / kAgentWorkMs,
                    count == measured ? "" : " (per-target time x N)");

    std::printf("\nHow late a completion is noticed with 256 in flight (4 groups of 64 handles, %lu ms per idle "
                "group):\n",
                static_cast<unsigned long>(kIdleGroupPause));
    for (size_t position : {0, 100, 150, 255}) {
        DWORD delay = NoticeDelay(folder.Path(), position);
        std::printf("  job %3zu (group %zu): finished %lu ms after its status\n", position,
                    static_cast<size_t>(position / kWaitGroupSize + 1), static_cast<unsigned long>(delay));
    }
    return 0;
}
