// Salvora's start and end: the command line, the application object, and the unattended
// run that a scheduled job starts with -S.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

constexpr size_t kEventTextSize = 1300; // bytes of each text of an unattended-run event
constexpr UINT kCommandRefresh = 57600; // fills the list from the current domain
constexpr char kProfileVendor[] = "Ostrel"; // the per-user profile's vendor key

// What the command line asked for.
struct CommandLineOptions {
    bool unattended = false;    // s: unattended run
    bool onDemandTasks = false; // d: the Annalix on-demand tasks after the run
    std::string logFile;        // l=path: the result log's text file for this run
    std::string outDir;         // o=template: the output folder template for this run
    int retryMinutes = 0;       // r=number: minutes before a retry
    int retries = 0;            // n=number: retries after the first attempt
    std::string importFile;     // the first parameter that is not a switch: the list file
    std::string commandText;    // the whole command line after the program name
};

// One parameter as the command line hands it over: a switch without its leading "-" or
// "/". Every option test is made on every parameter, switch or not; the first parameter
// that is not a switch names the computer-list file, whether or not it is also an option.
void ParseParam(CommandLineOptions& options, const char* parameter, bool isSwitch, bool isLast);

// The parameters of a command line (without the program name), split by the C runtime's
// rules: blanks separate, double quotes group, backslashes before a quote escape it.
std::vector<std::string> SplitArguments(const char* arguments);
// A whole command line's text after the program name and the blanks that follow it.
const char* ArgumentsOf(const char* commandLine);
// ParseParam over every parameter of `arguments` (the text after the program name).
CommandLineOptions ParseCommandLine(const char* arguments);

// The retry interval as the Sleep duration: minutes × 60,000 ms, 0 for negative counts and
// at most just under INFINITE.
DWORD RetryPauseMilliseconds(int minutes) noexcept;

// The scheduled run over the computers of the options' list file, on the calling thread:
// 0 when every computer succeeded, 1 when the list could not be read or was empty, or
// computers still failed after the last retry.
int UnattendedRun(const CommandLineOptions& options);

// How the run passes and pauses; the product uses RunJobsUnattended and Sleep, tests count
// the pauses.
using RetryPauseFunction = void (*)(DWORD milliseconds);
void SetRetryPauseFunction(RetryPauseFunction function); // nullptr puts Sleep back

// The application object: one per process.
class CSalvoraApp {
public:
    // Start-up; false ends the program at once with ExitCode(). `commandLine` is the whole
    // command line, program name first.
    bool InitInstance(const char* commandLine);
    // The end: the settings saved unless the run was unattended (or they never loaded).
    int ExitInstance();

    int ExitCode() const noexcept { return exitCode_; }
    const CommandLineOptions& Options() const noexcept { return options_; }

    // The interactive start: true when the main window is up. Until the console's window
    // exists the program says so and ends.
    using InteractiveStart = bool (*)(CSalvoraApp& app);
    static void SetInteractiveStart(InteractiveStart start); // nullptr: the default

private:
    int exitCode_ = 0;
    bool settingsLoaded_ = false;
    CommandLineOptions options_;
};
