// The program of a job made from the Scheduler wizard's pre-filled fields, installed as
// "Scheduler.old" beside the console. The Schedule service runs it with the console's path,
// the job's own list file and the options of an unattended run:
//     "C:\Program\Scheduler.old" "C:\Program\Salvora.exe" "C:\Lists\a.txt" "-S -n=0 -r=30"
// It starts the console's unattended run with those options on the list file, waits for
// it and ends with the console's exit code. A job made before the list travelled with it
// names the options right after the console (and perhaps a list file after them); without a
// list file it runs on the one the settings keep under ScheduledListFile.
#pragma once
#include <windows.h>

#include <string>

namespace scheduledjob {

struct JobCommand {
    std::string console;  // the console program
    std::string options;  // the unattended run's options, unquoted
    std::string listFile; // empty: none on the command line
};

// The job's arguments (the command line after this program's own name). The console's
// path comes first, in double quotes or bare; bare, it may hold blanks and ends after
// ".exe" (or at the first double quote). Then, read as the wizard reads its tokens (one
// quoted run or one word each), the list file and the options, or the options and the list
// file: the first of the two that is not a switch is the list. False when no console is named.
bool ParseJobArguments(const char* arguments, JobCommand& command);

// The console's command line: the console in double quotes, the options as they are,
// the list file in double quotes when there is one.
std::string ConsoleCommandLine(const JobCommand& command);

// Starts the console's run and waits for its end: its exit code, or 1 when the console
// could not be started (reported to the Application log as an unattended-run error).
int RunScheduledJob(const char* arguments);

} // namespace scheduledjob
