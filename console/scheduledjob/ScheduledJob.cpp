#include "ScheduledJob.h"

#include "CompanionTools.h"
#include "Handle.h"
#include "ResultLog.h"
#include "SchedulerJob.h"
#include "SchedulerStartup.h"
#include "Settings.h"
#include "SystemText.h"

#include <cstring>
#include <vector>

namespace scheduledjob {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const char* SkipBlanks(const char* p)
{
    while (IsBlank(*p)) ++p;
    return p;
}

// A bare console path: up to and including ".exe" before a blank, a quote or the end;
// without one, up to the first double quote, trailing blanks left out.
const char* ReadBareProgram(const char* p, std::string& program)
{
    const char* end = nullptr;
    for (const char* q = p; *q && *q != '"'; ++q) {
        if (_strnicmp(q, ".exe", 4) == 0 && (q[4] == '\0' || q[4] == '"' || IsBlank(q[4]))) {
            end = q + 4;
            break;
        }
    }
    if (!end) {
        end = p;
        while (*end && *end != '"') ++end;
    }
    const char* last = end;
    while (last > p && IsBlank(last[-1])) --last;
    program.assign(p, last);
    return end;
}

static_assert(kWizardParametersLength == schedule::kMaxParameters, "the wizard's Parameters field");

} // namespace

bool ParseJobArguments(const char* arguments, JobCommand& command)
{
    command = JobCommand{};
    const char* p = SkipBlanks(arguments ? arguments : "");
    std::vector<std::string> tokens;
    if (*p == '"') {
        tokens = schedule::CommandTokens(p, 3);
    } else {
        std::string console;
        tokens = schedule::CommandTokens(ReadBareProgram(p, console), 2);
        tokens.insert(tokens.begin(), console);
    }
    tokens.resize(3);
    command.console = tokens[0];
    // The job's own list comes before the options (a switch begins with "-" or "/"); a job
    // made before the list travelled with it names the options first and the list after,
    // if at all.
    const std::string& second = tokens[1];
    const bool secondIsList = !second.empty() && second[0] != '-' && second[0] != '/';
    command.listFile = secondIsList ? tokens[1] : tokens[2];
    command.options = secondIsList ? tokens[2] : tokens[1];
    return !command.console.empty();
}

std::string ConsoleCommandLine(const JobCommand& command)
{
    std::string line = "\"" + command.console + "\"";
    if (!command.options.empty()) line += " " + command.options;
    if (!command.listFile.empty()) line += " \"" + command.listFile + "\"";
    return line;
}

int RunScheduledJob(const char* arguments)
{
    JobCommand command;
    ParseJobArguments(arguments, command);
    if (command.listFile.empty()) ReadSettingString(kScheduledListFileValue, command.listFile);

    std::string line = ConsoleCommandLine(command);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (command.console.empty() ||
        !CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        DWORD code = command.console.empty() ? ERROR_BAD_ARGUMENTS : GetLastError();
        std::string first = "Scheduler.old could not start the console: " + line + "\r\n";
        std::string second = win::SystemMessageText(code);
        const char* texts[2] = {first.c_str(), second.c_str()};
        ReportResultEvent(kEventUnattendedRun, EVENTLOG_ERROR_TYPE, 2, texts);
        return 1;
    }
    win::Handle process(info.hProcess);
    win::Handle thread(info.hThread);
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), &exitCode))
        return 1;
    return static_cast<int>(exitCode);
}

} // namespace scheduledjob
