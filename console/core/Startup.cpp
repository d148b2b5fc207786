#include "Startup.h"

#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "CreationRun.h"
#include "Enumeration.h"
#include "Messages.h"
#include "OnDemandTasks.h"
#include "Profile.h"
#include "ResultLog.h"
#include "Settings.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace {

RetryPauseFunction g_retryPause = nullptr;
CSalvoraApp::InteractiveStart g_interactiveStart = nullptr;

// "x=" at the start of `parameter`, ignoring case.
bool HasPrefix(const char* parameter, char letter)
{
    return parameter[0] != '\0' && (parameter[0] | 0x20) == letter && parameter[1] == '=';
}

// A number the way "%i" reads it: decimal, or octal and hexadecimal with the C prefixes;
// 0 when there is none.
int ReadNumber(const char* text)
{
    int value = 0;
    if (std::sscanf(text, "%i", &value) != 1) return 0;
    return value;
}

bool DefaultInteractiveStart(CSalvoraApp&)
{
    ShowInfo(nullptr, TEXT_APP_TITLE,
             "The interactive console is not part of this build yet. Start Salvora with -S and a "
             "computer-list file for an unattended run.");
    return false;
}

void PauseBeforeRetry(DWORD milliseconds)
{
    if (g_retryPause)
        g_retryPause(milliseconds);
    else
        Sleep(milliseconds);
}

void ReportRunEvent(WORD type, const char* first, const char* second)
{
    const char* texts[2] = {first, second};
    ReportResultEvent(kEventUnattendedRun, type, 2, texts);
}

} // namespace

void ParseParam(CommandLineOptions& options, const char* parameter, bool isSwitch, bool)
{
    if (!parameter) return;
    if (lstrcmpiA(parameter, "s") == 0) {
        options.unattended = true;
    } else if (lstrcmpiA(parameter, "d") == 0) {
        options.onDemandTasks = true;
    } else if (HasPrefix(parameter, 'l')) {
        options.logFile.assign(parameter + 2, strnlen(parameter + 2, kPathBufferSize - 1));
    } else if (HasPrefix(parameter, 'o')) {
        options.outDir.assign(parameter + 2, strnlen(parameter + 2, kPathBufferSize - 1));
    } else if (HasPrefix(parameter, 'r')) {
        options.retryMinutes = ReadNumber(parameter + 2);
    } else if (HasPrefix(parameter, 'n')) {
        options.retries = ReadNumber(parameter + 2);
    }
    // Then the standard handling, on every parameter alike: the first one that is not a
    // switch names the computer-list file, even when it also reads as one of the options
    // above ("Salvora d list.txt" turns on the tasks and opens the file "d").
    if (!isSwitch && options.importFile.empty()) options.importFile = parameter;
}

std::vector<std::string> SplitArguments(const char* arguments)
{
    std::vector<std::string> result;
    if (!arguments) return result;
    const char* p = arguments;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string current;
        bool quoted = false;
        while (*p != '\0' && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                size_t backslashes = 0;
                while (*p == '\\') ++backslashes, ++p;
                if (*p == '"') {
                    current.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        current += '"';
                        ++p;
                    }
                } else {
                    current.append(backslashes, '\\');
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') { // "" inside quotes: one literal quote
                    current += '"';
                    p += 2;
                    continue;
                }
                quoted = !quoted;
                ++p;
            } else {
                current += *p++;
            }
        }
        result.push_back(current);
    }
    return result;
}

const char* ArgumentsOf(const char* commandLine)
{
    if (!commandLine) return "";
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

CommandLineOptions ParseCommandLine(const char* arguments)
{
    CommandLineOptions options;
    options.commandText = arguments ? arguments : "";
    std::vector<std::string> parameters = SplitArguments(arguments);
    for (size_t i = 0; i < parameters.size(); ++i) {
        const char* parameter = parameters[i].c_str();
        bool isSwitch = parameter[0] == '-' || parameter[0] == '/';
        ParseParam(options, isSwitch ? parameter + 1 : parameter, isSwitch, i + 1 == parameters.size());
    }
    return options;
}

DWORD RetryPauseMilliseconds(int minutes) noexcept
{
    if (minutes <= 0) return 0;
    unsigned long long milliseconds = static_cast<unsigned long long>(minutes) * 60000ull;
    return milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
}

void SetRetryPauseFunction(RetryPauseFunction function) { g_retryPause = function; }

int UnattendedRun(const CommandLineOptions& options)
{
    LogSettings& logSettings = TheResultLog().Settings();
    if (!options.logFile.empty())
        lstrcpynA(logSettings.LogFileName, options.logFile.c_str(), sizeof(logSettings.LogFileName));
    if (!options.outDir.empty()) TheConsoleSettings().OutDir = options.outDir.substr(0, kPathBufferSize - 1);

    ComputerList& list = TheComputerList();
    list.Clear();
    SetCurrentListFilePath(options.importFile.c_str());
    LoadComputerList(options.importFile.c_str());
    const char* listPath = CurrentListFilePath().c_str();

    char started[kEventTextSize];
    char detail[kEventTextSize];
    std::snprintf(started, sizeof(started), "Salvora started with parameters: %s\r\n", options.commandText.c_str());

    long failures = 0;
    if (list.Empty()) {
        std::snprintf(detail, sizeof(detail), "Read error or empty import file: %s", listPath);
        ReportRunEvent(EVENTLOG_ERROR_TYPE, started, detail);
        ResultLog& log = TheResultLog();
        if (log.BeginSession(nullptr, kSessionCreateErd)) log.EndSession(detail, false);
        failures = 1;
    } else {
        std::snprintf(detail, sizeof(detail), "import file: %s", listPath);
        ReportRunEvent(EVENTLOG_INFORMATION_TYPE, started, detail);
        for (const ComputerEntryPtr& entry : list.Entries()) InterlockedExchange(&entry->selected, 1);
        logSettings.LogOverwrite = 0;
        // A negative retry count is no retry (it would otherwise never reach its end).
        const int lastAttempt = (options.retries > 0 ? options.retries : 0) + 1;
        for (int attempt = 0;;) {
            RunJobsUnattended();
            failures = 0;
            for (const ComputerEntryPtr& entry : list.Entries()) {
                if (!entry->selected) continue;
                if (entry->result == kJobSucceeded)
                    InterlockedExchange(&entry->selected, 0);
                else
                    ++failures;
            }
            if (failures == 0) break;
            if (++attempt == lastAttempt) break;
            PauseBeforeRetry(RetryPauseMilliseconds(options.retryMinutes));
            std::snprintf(detail, sizeof(detail), "Retry #%d", attempt + 1);
            ReportRunEvent(EVENTLOG_INFORMATION_TYPE, started, detail);
        }
    }
    if (options.onDemandTasks) RunOnDemandTasks();
    return failures > 0 ? 1 : 0;
}

void CSalvoraApp::SetInteractiveStart(InteractiveStart start) { g_interactiveStart = start; }

bool CSalvoraApp::InitInstance(const char* commandLine)
{
    // The per-user profile: HKCU\Software\Ostrel\<application name>.
    std::string applicationName;
    if (!LoadConsoleString(IDS_APP_TITLE, applicationName)) applicationName = TEXT_APP_TITLE;
    win::SetProfileKey(kProfileVendor, applicationName.c_str());

    if (!TheConsoleSettings().Load()) {
        ShowMessage(kMessageStop, nullptr, TEXT_APP_TITLE, IDS_NOT_INSTALLED);
        return false;
    }
    settingsLoaded_ = true;
    TheResultLog().Settings().Load(TheConsoleSettings());

    options_ = ParseCommandLine(ArgumentsOf(commandLine));
    SetUnattended(options_.unattended);

    if (options_.unattended) {
        TheResultLog().Settings().LogOverwrite = 0;
        exitCode_ = UnattendedRun(options_);
        return false;
    }
    try {
        InteractiveStart start = g_interactiveStart ? g_interactiveStart : DefaultInteractiveStart;
        return start(*this);
    } catch (const std::exception&) {
        ShowMessage(kMessageStop, nullptr, TEXT_APP_TITLE, IDS_INIT_FAILED);
        return false;
    }
}

int CSalvoraApp::ExitInstance()
{
    // Settings that never loaded are not written back: that would put defaults over
    // whatever part of the key could not be read.
    if (!IsUnattended() && settingsLoaded_) TheConsoleSettings().Save();
    return exitCode_;
}
