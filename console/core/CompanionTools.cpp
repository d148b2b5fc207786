#include "CompanionTools.h"

#include "CompanionStrings.h"
#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "Messages.h"
#include "OutputFolder.h"
#include "ResultLog.h"
#include "StagedSet.h"

namespace {

ProgramStarter g_starter = nullptr;

// Starts `line`; false (last error kept) when the program could not be started.
bool StartProgram(const std::string& line)
{
    UINT result = g_starter ? g_starter(line.c_str(), SW_SHOWDEFAULT) : WinExec(line.c_str(), SW_SHOWDEFAULT);
    return result > 31;
}

void StartOrReport(HWND owner, const std::string& line, const char* caption)
{
    if (!StartProgram(line)) ShowSystemError(owner, caption, nullptr, 0);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

} // namespace

void SetProgramStarter(ProgramStarter starter) { g_starter = starter; }

std::string ApplyErdCommand(const std::string& installPath, const char* computerName, const std::string& folder)
{
    return Quoted(installPath + "\\Restavo.exe") + " " + Quoted(std::string("-c=") + (computerName ? computerName : "")) +
           " \"-d=" + folder;
}

std::string AnnalixCommand(const ConsoleSettings& settings)
{
    if (settings.AnnalixInstallPath.empty()) return std::string();
    return settings.AnnalixInstallPath + "\\" + TEXT_ANNALIX_PROGRAM + " -app:Salvora";
}

std::string ScheduledConsoleParameters(const std::string& console, const std::string& listFile, bool& listCarried)
{
    listCarried = false;
    if (listFile.empty()) return console;
    std::string both = "<" + console + "> <" + listFile + ">";
    if (both.size() > kWizardParametersLength) {
        char shortConsole[MAX_PATH] = "", shortList[MAX_PATH] = "";
        DWORD consoleLength = GetShortPathNameA(console.c_str(), shortConsole, sizeof(shortConsole));
        DWORD listLength = GetShortPathNameA(listFile.c_str(), shortList, sizeof(shortList));
        if (consoleLength == 0 || consoleLength >= sizeof(shortConsole) || listLength == 0 ||
            listLength >= sizeof(shortList))
            return console;
        both = std::string("<") + shortConsole + "> <" + shortList + ">";
        if (both.size() > kWizardParametersLength) return console;
    }
    listCarried = true;
    return both;
}

std::string ScheduleWizardCommand(const ConsoleSettings& settings, const LogSettings& log, const std::string& listFile)
{
    const std::string& folder = settings.InstallPath;
    bool listCarried = false;
    std::string line = Quoted(folder + "\\Scheduler.exe") + " " + Quoted(folder + "\\" + kScheduledJobProgram) + " " +
                       Quoted(ScheduledConsoleParameters(folder + "\\Salvora.exe", listFile, listCarried)) + " " +
                       Quoted(log.LogWriteAnnalix ? kScheduledRunOptionsWithTasks : kScheduledRunOptions);
    if (!listFile.empty()) line += " " + Quoted(listFile);
    return line;
}

void ApplyErd(HWND owner, const ConsoleSettings& settings, const char* computerName)
{
    const char* name = computerName ? computerName : "";
    std::string folder;
    ExpandOutputFolder(settings.OutDir, name, ConsoleTime(), folder); // an unusable template: empty
    RecoverStagedSet(folder); // a swap the console did not finish: the complete set back under its name
    StartOrReport(owner, ApplyErdCommand(settings.InstallPath, name, folder), "Load Restavo");
}

void OpenAnnalix(HWND owner, const ConsoleSettings& settings)
{
    std::string line = AnnalixCommand(settings);
    if (line.empty()) {
        ShowMessage(kMessageInformation, owner, TEXT_APP_TITLE, IDS_ANNALIX_NOT_INSTALLED);
        return;
    }
    StartOrReport(owner, line, "Open Annalix");
}

void StartScheduleWizard(HWND owner, const ConsoleSettings& settings, const LogSettings& log,
                         const std::string& listFile)
{
    if (!StartProgram(ScheduleWizardCommand(settings, log, listFile))) {
        ShowSystemError(owner, "Load Scheduler", nullptr, 0);
        return;
    }
    bool listCarried = false;
    ScheduledConsoleParameters(settings.InstallPath + "\\Salvora.exe", listFile, listCarried);
    if (!listFile.empty() && !listCarried)
        WriteSettingValue(kScheduledListFileValue, REG_SZ, listFile.c_str(), static_cast<DWORD>(listFile.size() + 1));
}

void ViewLogFile(const ConsoleSettings& settings)
{
    LogSettings fresh;
    fresh.Load(settings);
    StartProgram(ViewLogCommand(fresh)); // as the log's own View Log: the result is not tested
}
