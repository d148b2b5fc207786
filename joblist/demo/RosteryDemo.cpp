// Adds a few jobs to the local Schedule service and opens Rostery on the last one, as
// Scheduler does after its Finish; used to show the window (screenshot.sh).
//   rostery_demo [ROSTERY.EXE]
#include "Handle.h"
#include "SystemText.h"

#include <windows.h>
#include <lmcons.h>
#include <lmat.h>
#include <lmerr.h>

#include <cstdio>
#include <string>

namespace {

bool StartSchedule()
{
    win::ServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!scm) return false;
    win::ServiceHandle service(OpenServiceA(scm.Get(), "Schedule", SERVICE_ALL_ACCESS));
    if (!service) return false;
    for (int attempt = 0; attempt < 600; ++attempt) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service.Get(), &status)) return false;
        if (status.dwCurrentState == SERVICE_RUNNING) return true;
        if (status.dwCurrentState == SERVICE_STOPPED) StartServiceA(service.Get(), 0, nullptr);
        Sleep(100);
    }
    return false;
}

DWORD AddJob(unsigned hour, unsigned minute, UCHAR weekDays, DWORD monthDays, UCHAR flags, const wchar_t* command)
{
    AT_INFO info = {};
    info.JobTime = (hour * 60u + minute) * 60000u;
    info.DaysOfWeek = weekDays;
    info.DaysOfMonth = monthDays;
    info.Flags = flags;
    info.Command = const_cast<LPWSTR>(command);
    DWORD id = 0;
    NET_API_STATUS status = NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id);
    if (status != NERR_Success) std::fprintf(stderr, "NetScheduleJobAdd: %lu\n", status);
    return id;
}

} // namespace

int main(int argc, char** argv)
{
    if (!StartSchedule()) {
        std::fprintf(stderr, "The Schedule service could not be started.\n");
        return 1;
    }
    AddJob(22, 15, 0x01 | 0x10, 0, JOB_RUN_PERIODICALLY,
           L"C:\\Program Files\\Ostrel\\Salvora\\Salvora.exe -S -R=3 -N=15 C:\\Lists\\servers.txt");
    AddJob(9, 30, 0, (1u << 0) | (1u << 14), 0, L"notepad C:\\Lists\\report.txt");
    AddJob(0, 5, 0x40, 1u << 30, JOB_RUN_PERIODICALLY, L"cmd /c backup.cmd");
    const DWORD newJob = AddJob(13, 7, 0x01 | 0x04 | 0x10, 0, JOB_RUN_PERIODICALLY,
                                L"C:\\Program Files\\Ostrel\\Salvora\\Salvora.exe -S -D C:\\Lists\\domain.txt");
    Sleep(1500); // Wine's service lists new jobs once it has noticed their files

    const std::string program = argc > 1 ? argv[1] : win::ModuleFolder() + "\\Rostery.exe";
    std::string command = "\"" + program + "\" " + std::to_string(newJob);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "Rostery could not be started: %lu\n", GetLastError());
        return 1;
    }
    win::Handle processHandle(process.hProcess);
    win::Handle threadHandle(process.hThread);
    std::printf("Rostery started with job %lu\n", newJob);
    std::fflush(stdout);
    WaitForSingleObject(processHandle.Get(), INFINITE);
    return 0;
}
