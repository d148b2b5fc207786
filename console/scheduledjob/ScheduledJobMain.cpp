// Scheduler.old: the program of a job made from the Scheduler wizard's pre-filled fields.
#include "ScheduledJob.h"
#include "Startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return scheduledjob::RunScheduledJob(ArgumentsOf(GetCommandLineA()));
}
