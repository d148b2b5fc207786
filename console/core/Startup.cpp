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
#include "SystemText.h"

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

// The first text of every event of the run: the command line it was started with.
void StartText(const CommandLineOptions& options, char (&text)[kEventTextSize])
{
    std::snprintf(text, sizeof(text), "Salvora started with parameters: %s\r\n", options.commandText.c_str());
}

// A text of the string table, or its built-in copy.
std::string ConsoleText(UINT id, const char* fallback)
{
    std::string text;
    return LoadConsoleString(id, text) ? text : std::string(fallback);
}

// `text` cut so that one event's insertion string can carry it.
void BoundEventText(std::string& text)
{
    if (text.size() > kEventTextLimit) text.resize(kEventTextLimit);
}

// The run's end: one result-log session with the start and end, the number of attempts and
// each computer's final result, and one event of its own, an error when a computer still
// fails, naming those computers. `emptyListText`, when given, is why there was nothing to run.
void ReportRunSummary(const ComputerList& list, time_t started, int attempts, const char* emptyListText)
{
    ResultLog& log = TheResultLog();
    int failed = 0;
    std::string names, details;
    const std::string item = ConsoleText(IDS_SUMMARY_ITEM, TEXT_SUMMARY_ITEM);
    const bool opened = log.BeginSession(nullptr, kSessionRunSummary);
    for (const ComputerEntryPtr& entry : list.Entries()) {
        const bool isError = entry->result != kJobSucceeded;
        std::string text;
        if (!JobResultText(*entry, text)) text = TEXT_UNKNOWN_ERROR;
        const int32_t code = isError ? static_cast<int32_t>(entry->errorCode) : 0;
        if (opened) log.LogItem(isError, entry->name.c_str(), nullptr, item.c_str(), text.c_str(), code);
        if (!isError) continue;
        ++failed;
        names += (names.empty() ? "" : ", ") + entry->name;
        details += win::Format("\r\n%s\t%s (%d)", entry->name.c_str(), text.c_str(), static_cast<int>(code));
    }
    const int total = static_cast<int>(list.Size());
    const std::string final =
        win::Format(ConsoleText(IDS_SUMMARY_FINAL, TEXT_SUMMARY_FINAL).c_str(), LogTimeText(started).c_str(),
                    LogTimeText(ConsoleTime()).c_str(), attempts, failed, total);
    if (opened) log.EndSession(emptyListText ? emptyListText : final.c_str(), failed == 0 && !emptyListText);

    const bool runFailed = failed > 0 || emptyListText;
    std::string first = runFailed ? win::Format(ConsoleText(IDS_SUMMARY_FAILED, TEXT_SUMMARY_FAILED).c_str(), failed,
                                                total, attempts, emptyListText ? emptyListText : names.c_str())
                                  : win::Format(ConsoleText(IDS_SUMMARY_SUCCEEDED, TEXT_SUMMARY_SUCCEEDED).c_str(),
                                                total, attempts);
    BoundEventText(first);
    BoundEventText(details);
    const char* strings[2] = {first.c_str(), details.c_str()};
    ReportResultEvent(kEventRunSummary, runFailed ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 2, strings);
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
    const time_t started = ConsoleTime();
    TheResultLog().ClearFileFailure();
    LogSettings& logSettings = TheResultLog().Settings();
    if (!options.logFile.empty())
        lstrcpynA(logSettings.LogFileName, options.logFile.c_str(), sizeof(logSettings.LogFileName));
    if (!options.outDir.empty()) TheConsoleSettings().OutDir = options.outDir.substr(0, kPathBufferSize - 1);

    ComputerList& list = TheComputerList();
    list.Clear();
    SetCurrentListFilePath(options.importFile.c_str());
    LoadComputerList(options.importFile.c_str());
    const char* listPath = CurrentListFilePath().c_str();

    char startText[kEventTextSize];
    char detail[kEventTextSize];
    StartText(options, startText);

    long failures = 0;
    int attempts = 0;
    if (list.Empty()) {
        std::snprintf(detail, sizeof(detail), "Read error or empty import file: %s", listPath);
        ReportRunEvent(EVENTLOG_ERROR_TYPE, startText, detail);
        ResultLog& log = TheResultLog();
        if (log.BeginSession(nullptr, kSessionCreateErd)) log.EndSession(detail, false);
        ReportRunSummary(list, started, attempts, detail);
        failures = 1;
    } else {
        std::snprintf(detail, sizeof(detail), "import file: %s", listPath);
        ReportRunEvent(EVENTLOG_INFORMATION_TYPE, startText, detail);
        for (const ComputerEntryPtr& entry : list.Entries()) InterlockedExchange(&entry->selected, 1);
        logSettings.LogOverwrite = 0;
        // A negative retry count is no retry (it would otherwise never reach its end).
        const int lastAttempt = (options.retries > 0 ? options.retries : 0) + 1;
        for (int attempt = 0;;) {
            RunJobsUnattended();
            ++attempts;
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
            ReportRunEvent(EVENTLOG_INFORMATION_TYPE, startText, detail);
        }
        ReportRunSummary(list, started, attempts, nullptr);
    }
    if (options.onDemandTasks) RunOnDemandTasks();
    // A result log that could not be written is a run nobody can check: not a success.
    return failures > 0 || TheResultLog().FileFailed() ? 1 : 0;
}

void CSalvoraApp::SetInteractiveStart(InteractiveStart start) { g_interactiveStart = start; }

bool CSalvoraApp::InitInstance(const char* commandLine)
{
    // The per-user profile: HKCU\Software\Ostrel\<application name>.
    std::string applicationName;
    if (!LoadConsoleString(IDS_APP_TITLE, applicationName)) applicationName = TEXT_APP_TITLE;
    win::SetProfileKey(kProfileVendor, applicationName.c_str());

    // The command line is read first: a scheduled start on a computer without the
    // settings must not wait unseen behind a box and then report success.
    options_ = ParseCommandLine(ArgumentsOf(commandLine));
    if (!TheConsoleSettings().Load()) {
        exitCode_ = 1;
        if (options_.unattended) {
            SetUnattended(true);
            char startText[kEventTextSize];
            StartText(options_, startText);
            ReportRunEvent(EVENTLOG_ERROR_TYPE, startText, ConsoleText(IDS_NOT_INSTALLED, TEXT_NOT_INSTALLED).c_str());
        } else {
            ShowMessage(kMessageStop, nullptr, TEXT_APP_TITLE, IDS_NOT_INSTALLED);
        }
        return false;
    }
    settingsLoaded_ = true;
    TheResultLog().Settings().Load(TheConsoleSettings());
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
