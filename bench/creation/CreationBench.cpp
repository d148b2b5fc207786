// CreationBench: the creation run over simulated targets whose deployment costs D = 0.5 s,
// of which one in twenty never answers and costs 20 s before it fails, and whose agents
// work T = 2 s and send a whole set of real hives (the first padded to 256 KiB), which the
// console checks before it puts it in place. For N = 64, 256 and 1024 at the default bound of 16, and
// for N = 64 at a bound of 1: wall time against T, the latest delay between an agent's
// status and the console noticing it, and the console's peak working set per computer in
// flight. Ends with one summary line per run, for scripts.
#include "ConsoleState.h"
#include "CreationRun.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "SystemText.h"
#include "Thread.h"
#include "TestSupport.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kAgentWorkMs = 2000;     // T
constexpr DWORD kDeployMs = 500;         // D
constexpr DWORD kUnreachableMs = 20000;  // a computer that is switched off
constexpr size_t kUnreachableEvery = 20; // 5 %
constexpr size_t kFileBytes = 256 << 10;

size_t WorkingSet()
{
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    return memory.WorkingSetSize;
}

// What one idle thread costs the working set here (under Wine about 1 MiB, whatever its
// stack). The simulated agents run as threads of this process, one per computer in flight,
// and the run keeps a fixed set of threads whatever the number of computers: both are taken
// off the figure per computer.
DWORD WINAPI WaitForRelease(void* event)
{
    return WaitForSingleObject(event, INFINITE);
}

size_t ThreadCost()
{
    constexpr int kThreads = 32;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    size_t before = WorkingSet();
    HANDLE threads[kThreads];
    for (HANDLE& thread : threads)
        thread = CreateThread(nullptr, simagents::SimulatedDeployer::kAgentStack, WaitForRelease, release,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    Sleep(300);
    size_t during = WorkingSet();
    SetEvent(release);
    WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(release);
    return during > before ? (during - before) / kThreads : 0;
}

std::string TargetName(size_t index) { return win::Format("SIM%04zu", index); }
bool IsUnreachable(size_t index) { return index % kUnreachableEvery == kUnreachableEvery - 1; }

struct Figures {
    size_t count = 0;
    DWORD bound = 0;
    double wallOverT = 0;
    DWORD noticeMs = 0; // latest, over every computer
    double kbPerComputer = 0;
    RunFigures run;
    size_t succeeded = 0;
    size_t expected = 0;
};

// One run over `count` targets on a worker thread, as the console runs it.
Figures Run(const std::string& root, size_t count, DWORD bound, size_t threadCost)
{
    simagents::SimulatedDeployer deployer(root + win::Format("\\n%zub%lu", count, static_cast<unsigned long>(bound)));
    simagents::Script script;
    script.workMs = kAgentWorkMs;
    script.deployMs = kDeployMs;
    script.fileBytes = kFileBytes; // the first hive of a whole, real set: the set check runs on each
    deployer.defaultScript = script;
    deployer.prepareFolders = false; // made here, so that their making is not measured

    Figures figures;
    figures.count = count;
    figures.bound = bound;
    TheComputerList().Clear();
    for (size_t i = 0; i < count; ++i) {
        std::string name = TargetName(i);
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", ""); // no lookup
        entry->selected = 1;
        TheComputerList().Append(entry);
        if (IsUnreachable(i)) {
            simagents::Script off;
            off.behaviour = simagents::Behaviour::Unreachable;
            off.deployMs = kUnreachableMs;
            deployer.SetScript(name, off);
        } else {
            deployer.MakeRepairFolder(name, script);
            ++figures.expected;
        }
    }
    TheConsoleSettings().MaxDeployThread = bound;
    SetDeployer(&deployer);
    PrepareRunState(nullptr);

    // What the computers in flight cost: the working set but for the simulated agents'
    // threads and the run's own threads (a fixed set: the worker, the step and waiting
    // threads), each at what a thread costs here.
    auto perComputerShare = [&deployer, threadCost] {
        LONG threads = std::max<LONG>(deployer.AliveAgents(), 0) + HelperThreadsAlive() + 1;
        size_t fixed = static_cast<size_t>(threads) * threadCost;
        size_t now = WorkingSet();
        return now > fixed ? now - fixed : 0;
    };
    size_t before = perComputerShare();
    // A simulated agent thread is counted out as it returns, a moment before the system has
    // taken its memory back: a burst of ending agents would read as the console's. A level
    // counts only once it has held for three samples in a row.
    struct Sampler {
        decltype(perComputerShare)* share;
        size_t before;
        volatile LONG running = 1;
        size_t peak = 0; // read once the sampler has ended
        static DWORD WINAPI Main(void* parameter)
        {
            auto& self = *static_cast<Sampler*>(parameter);
            size_t recent[3] = {self.before, self.before, self.before};
            self.peak = self.before;
            for (unsigned sample = 0; self.running; ++sample) {
                recent[sample % 3] = (*self.share)();
                size_t held = std::min({recent[0], recent[1], recent[2]});
                if (held > self.peak) self.peak = held;
                Sleep(10);
            }
            return 0;
        }
    } sampler{&perComputerShare, before};
    win::Thread sampling;
    sampling.Create(Sampler::Main, &sampler);
    DWORD start = GetTickCount();
    HANDLE worker = CreateThread(nullptr, 0, RunJobsThread, &TheComputerList(), 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    DWORD end = GetTickCount();
    InterlockedExchange(&sampler.running, 0);
    sampling.Wait();
    size_t peak = sampler.peak;
    deployer.WaitForAgents(60000);
    SetDeployer(nullptr);

    figures.run = LastRunFigures();
    figures.wallOverT = double(end - start) / kAgentWorkMs;
    for (size_t i = 0; i < count; ++i) {
        const ComputerEntry& entry = *TheComputerList().At(i);
        if (entry.result == kJobSucceeded) ++figures.succeeded;
        DWORD sent = deployer.StatusTick(entry.name);
        DWORD noticed = i < figures.run.noticeTicks.size() ? figures.run.noticeTicks[i] : 0;
        if (sent && noticed && static_cast<LONG>(noticed - sent) > 0)
            figures.noticeMs = std::max(figures.noticeMs, noticed - sent);
    }
    DWORD inFlight = std::max<DWORD>(figures.run.peakInFlight, 1);
    figures.kbPerComputer = double(peak - std::min<size_t>(peak, before)) / 1024.0 / inFlight;
    return figures;
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

    std::printf("Creation run over simulated targets: deployment D = %lu ms (1 in %zu never answers and fails "
                "after %lu ms), agents work T = %lu ms and send %zu KiB\n",
                static_cast<unsigned long>(kDeployMs), kUnreachableEvery, static_cast<unsigned long>(kUnreachableMs),
                static_cast<unsigned long>(kAgentWorkMs), kFileBytes >> 10);
    std::printf("%6s %6s %9s %10s %10s %10s %10s %10s %8s %8s %10s %11s\n", "N", "bound", "wall / T",
                "notice ms", "in flight", "deploys", "set aside", "fetches", "step", "waiting", "KB per", "succeeded");
    std::printf("%6s %6s %9s %10s %10s %10s %10s %10s %8s %8s %10s %11s\n", "", "", "", "(latest)", "(peak)",
                "(peak)", "(peak)", "(peak)", "threads", "threads", "computer", "");

    size_t threadCost = ThreadCost();
    std::vector<Figures> runs;
    const std::pair<size_t, DWORD> plan[] = {{64, 16}, {64, 1}, {256, 16}, {1024, 16}};
    for (const auto& [count, bound] : plan) {
        Figures f = Run(folder.Path(), count, bound, threadCost);
        std::printf("%6zu %6lu %9.2f %10lu %10lu %10lu %10lu %10lu %8lu %8lu %10.1f %7zu/%zu\n", f.count,
                    static_cast<unsigned long>(f.bound), f.wallOverT, static_cast<unsigned long>(f.noticeMs),
                    static_cast<unsigned long>(f.run.peakInFlight), static_cast<unsigned long>(f.run.peakDeploying),
                    static_cast<unsigned long>(f.run.peakSetAside), static_cast<unsigned long>(f.run.peakFetching), static_cast<unsigned long>(f.run.stepThreads),
                    static_cast<unsigned long>(f.run.groups), f.kbPerComputer, f.succeeded, f.expected);
        std::fflush(stdout);
        runs.push_back(f);
    }
    std::printf("(deploys, fetches: the most under way at once; step threads deploy, fetch and finish; one waiting "
                "thread per %lu computers; KB per computer: the peak working set over the run's start per computer "
                "in flight, threads taken off at %zu KB each: the simulated agents' and the run's own fixed set)\n",
                static_cast<unsigned long>(kWaitGroupSize), threadCost >> 10);
    for (const Figures& f : runs)
        std::printf("summary N=%zu bound=%lu wall/T=%.1f notice_ms=%lu kb_per_computer=%.0f\n", f.count,
                    static_cast<unsigned long>(f.bound), f.wallOverT, static_cast<unsigned long>(f.noticeMs),
                    f.kbPerComputer);
    return 0;
}
