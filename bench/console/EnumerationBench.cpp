// Loads a computer-list file of 1,000 names against a simulated network whose computers
// each take 200 ms to answer, with the lookup slots the settings give (100 by default),
// and prints the wall time, the most lookup threads alive at once and the peak working set.
//   console_enum_bench [names] [delay-ms]
#include "ConsoleState.h"
#include "Enumeration.h"
#include "Settings.h"
#include "SimulatedNetwork.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Threads of this process right now.
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

} // namespace

int main(int argc, char** argv)
{
    int names = argc > 1 ? std::atoi(argv[1]) : 1000;
    DWORD delay = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 200;
    SetUnattended(true); // no window: the figures are the lookups' own

    SimulatedNetwork network;
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof(folder), folder);
    std::string path = std::string(folder) + "enum_bench_list.txt";
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return 1;
    for (int i = 0; i < names; ++i) {
        std::string name = "BENCH" + std::to_string(i);
        network.Add({std::wstring(name.begin(), name.end()), kSimNtWorkstation, 4, 0, L"Benchmark", 0, false, delay});
        std::fprintf(file, "%s\n", name.c_str());
    }
    std::fclose(file);

    std::atomic<bool> stop{false};
    std::atomic<int> peakThreads{0};
    std::thread sampler([&] {
        while (!stop.load()) {
            int now = ProcessThreads();
            if (now > peakThreads.load()) peakThreads.store(now);
            Sleep(20);
        }
    });
    int threadsBefore = ProcessThreads();
    ResetPeakLookupThreads();
    auto start = std::chrono::steady_clock::now();
    LoadComputerList(path.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop.store(true);
    sampler.join();
    DeleteFileA(path.c_str());

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("LoadComputerList: %d names, %lu ms per lookup, %ld lookup slots\n", names,
                static_cast<unsigned long>(delay), LookupSlotCount());
    std::printf("wall time: %.2f s (ideal about %.1f s)\n", seconds,
                static_cast<double>(names) / static_cast<double>(LookupSlotCount()) * delay / 1000.0);
    std::printf("peak lookup threads alive at once: %ld\n", PeakLookupThreads());
    std::printf("peak lookups in the network at once: %d\n", network.PeakConcurrentLookups());
    std::printf("peak process threads (sampled every 20 ms): %d (before the load: %d)\n", peakThreads.load(),
                threadsBefore);
    std::printf("peak working set: %.1f MB\n", static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
    std::printf("entries: %zu\n", TheComputerList().Size());
    return 0;
}
