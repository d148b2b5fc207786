// AgentBench: the agent's own cost in one real run. Prepares the simulated NT computer,
// runs the rdisk.exe stand-in once on its own (the utility's time), then runs Vantoro as
// a service and times the start to "Success" and to "<Finish>", and reads the agent's
// peak working set. Run it under Wine: wine AgentBench.exe
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "AgentConsole.h"
#include "Handle.h"
#include "NtComputer.h"
#include "RepairTool.h"
#include "TestSupport.h"

using namespace agent_console;

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

} // namespace

int main()
{
    if (!nt_computer::Prepare() || !InstallAgentFile() || !nt_computer::InstallRepairTool("rdisk.exe")) {
        std::printf("AgentBench: the simulated NT computer could not be prepared\n");
        return 1;
    }
    WaitForServicesToSettle(180000);
    EndRepairTools();

    // The utility alone, watched the way the agent watches it.
    RepairToolWatch watch;
    watch.FindProcessQuery();
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    DWORD id = 0;
    LARGE_INTEGER begin = Now();
    win::Handle tool(StartRepairTool(id));
    if (!tool) {
        std::printf("AgentBench: rdisk.exe cannot be started (%lu)\n", GetLastError());
        return 1;
    }
    watch.WatchRepairTool(id, tool.Get(), stop.Get());
    const double toolAlone = Seconds(begin, Now());
    TerminateProcess(tool.Get(), 0);
    WaitForSingleObject(tool.Get(), 5000);

    // The same work through the agent service.
    testing_support::TempFolder output("bench");
    AgentService service;
    if (!service.Create()) return 1;
    Conversation console;
    begin = Now();
    if (!service.Start({"0", "1", "0"}) || !console.Open()) {
        std::printf("AgentBench: the agent did not start (%lu)\n", GetLastError());
        return 1;
    }
    SERVICE_STATUS_PROCESS process{};
    DWORD needed = 0;
    QueryServiceStatusEx(service.Handle(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process), sizeof(process),
                         &needed);
    win::Handle agent(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.dwProcessId));

    AgentStatus status{};
    console.ReadStatus(status);
    const double toSuccess = Seconds(begin, Now());
    console.SendGoAhead();
    int last = 0;
    const auto names = console.ReceiveAll(output.Path(), last);
    const double toFinish = Seconds(begin, Now());

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    const bool measured = agent && GetProcessMemoryInfo(agent.Get(), &memory, sizeof(memory));
    console.Close();
    service.WaitForState(SERVICE_STOPPED, 30000);
    service.Remove();

    unsigned long long bytes = 0;
    for (const std::string& name : testing_support::ListFiles(output.Path())) {
        std::string data;
        testing_support::ReadWholeFile(output / name, data);
        bytes += data.size();
    }
    const size_t files = names.empty() ? 0 : names.size() - 1;
    std::printf("outcome                    %s (%u)\n", status.text, status.succeeded);
    std::printf("rdisk.exe alone, watched   %.3f s\n", toolAlone);
    std::printf("service start to Success   %.3f s (agent's own share %.3f s)\n", toSuccess, toSuccess - toolAlone);
    std::printf("service start to <Finish>  %.3f s\n", toFinish);
    std::printf("transfer                   %.3f s for %zu files, %llu bytes; fixed 100 ms checks %.3f s\n",
                toFinish - toSuccess, files, bytes, 0.1 * double(files + 2));
    if (measured)
        std::printf("agent peak working set     %.1f MiB\n", double(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
    else
        std::printf("agent peak working set     not available (%lu)\n", GetLastError());
    return last == 0 && !names.empty() && names.back() == kFinishName ? 0 : 1;
}
