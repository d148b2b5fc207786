// Vantoro.exe: the emergency repair data agent. It runs only as a service of its own
// process, started by the console with four arguments: the time limit in seconds,
// AlwaysCopyFiles, CheckRegQuota and SaveHivesWithoutRdisk (an older console passes only
// the first three).
#include <cstdio>

#include "Service.h"

int main()
{
    std::printf("Vantoro - emergency repair data agent service\n");
    std::fflush(stdout);
    char name[sizeof(kAgentServiceName)];
    std::snprintf(name, sizeof(name), "%s", kAgentServiceName);
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        LogAgentError("Error Installing Vantoro");
        return 1;
    }
    // No control handler runs once the dispatcher has returned.
    TheServiceEvents().Close();
    return 0;
}
