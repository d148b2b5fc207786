// Helpers of the tests that run the real creation path over this computer (prepared by
// ntsim.exe as a Windows NT computer): its folders and the agent service's end.
#pragma once
#include <windows.h>

#include <string>

#include "CreationJob.h"

namespace console_test {

inline std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, sizeof(folder));
    return folder;
}

inline std::string RepairFolder()
{
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, sizeof(folder));
    return std::string(folder) + "\\Repair";
}

// True once the agent service no longer exists (bounded).
inline bool ServiceGone(DWORD milliseconds)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    bool gone = false;
    for (DWORD waited = 0; !gone && waited <= milliseconds; waited += 250) {
        SC_HANDLE service = OpenServiceA(manager, kAgentFileName, SERVICE_QUERY_STATUS);
        if (!service) {
            gone = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        } else {
            CloseServiceHandle(service);
        }
        if (!gone) Sleep(250);
    }
    CloseServiceHandle(manager);
    return gone;
}

} // namespace console_test
