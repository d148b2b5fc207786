// The Tools menu's companion programs: Restavo for the first selected computer, the
// Annalix viewer, the Scheduler wizard with the command of an unattended run pre-filled,
// and the text log in Notepad. Each command line is built by a function of its own; the
// handlers start the programs through one replaceable starter and wait for none of them.
#pragma once
#include "Settings.h"

#include <windows.h>

#include <string>

// Menu commands of the console's Tools menu.
constexpr UINT kCommandApplyErd = 32777;
constexpr UINT kCommandOpenAnnalix = 32775;
constexpr UINT kCommandScheduleWizard = 32776;
constexpr UINT kCommandViewLog = 32780;

// Options of the unattended run a scheduled job passes to the console; with -D the
// Annalix on-demand tasks follow the run.
constexpr char kScheduledRunOptions[] = "-S -n=0 -r=30";
constexpr char kScheduledRunOptionsWithTasks[] = "-S -D -n=0 -r=30";

// The program the wizard's pre-filled job runs: it starts the console's unattended run
// and ends with the console's exit code (console/scheduledjob).
constexpr char kScheduledJobProgram[] = "Scheduler.old";
// Settings value naming a list file for pre-filled jobs whose command names none: jobs made
// before the list travelled in the job's own command, and a list whose path does not fit
// the wizard's Parameters field.
constexpr char kScheduledListFileValue[] = "ScheduledListFile";
// Characters the wizard's Parameters field holds.
constexpr size_t kWizardParametersLength = 254;

// The wizard's second token: the console, and the list file with it when one is open, each
// in the wizard's "<" ">" quotes, so that the job's own command carries its list:
//     <C:\Program\Salvora.exe> <C:\Lists\servers.txt>
// Paths too long for the Parameters field are tried in their short form. Without a list, or
// when even that does not fit, the console's path alone (`listCarried` false).
std::string ScheduledConsoleParameters(const std::string& console, const std::string& listFile, bool& listCarried);

// "Restavo.exe" in the program folder with "-c=NAME" and "-d=FOLDER"; the last argument
// has no closing quote, Restavo takes the rest of the line as the folder.
std::string ApplyErdCommand(const std::string& installPath, const char* computerName, const std::string& folder);
// "Annalix.exe -app:Salvora" in Annalix's folder; empty when Annalix is not installed.
std::string AnnalixCommand(const ConsoleSettings& settings);
// "Scheduler.exe" with four or five quoted arguments: Scheduler.old, the console (with the
// list file, see ScheduledConsoleParameters), the options of the run, and the list file
// again when one was opened.
std::string ScheduleWizardCommand(const ConsoleSettings& settings, const LogSettings& log,
                                  const std::string& listFile);

// The handlers. A program that cannot be started is reported with the system's text under
// "Load Restavo", "Open Annalix" or "Load Scheduler"; nothing else changes.
// `computerName`: the first selected computer's name, or nullptr when none is selected.
void ApplyErd(HWND owner, const ConsoleSettings& settings, const char* computerName);
void OpenAnnalix(HWND owner, const ConsoleSettings& settings);
// A job made from the wizard carries `listFile` in its own command; only a list that cannot
// travel that way is recorded under ScheduledListFile.
void StartScheduleWizard(HWND owner, const ConsoleSettings& settings, const LogSettings& log,
                         const std::string& listFile);
// Notepad on the text log of freshly loaded log settings.
void ViewLogFile(const ConsoleSettings& settings);

// How the programs are started: WinExec unless another starter has been put in its place
// (the tests record the command lines instead of starting programs). A result below 32
// is a failure, with the thread's last error set.
using ProgramStarter = UINT (*)(const char* commandLine, UINT show);
void SetProgramStarter(ProgramStarter starter); // nullptr puts WinExec back
