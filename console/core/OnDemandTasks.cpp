#include "OnDemandTasks.h"

#include "ConsoleStrings.h"
#include "Messages.h"
#include "ResultLog.h"
#include "Settings.h"

#include <windows.h>

#include <string>

namespace {

// Puts LogOverwrite and LogWriteAnnalix back as they were, on every path.
class LogSwitchesKeeper {
public:
    explicit LogSwitchesKeeper(LogSettings& settings)
        : settings_(settings), overwrite_(settings.LogOverwrite), annalix_(settings.LogWriteAnnalix)
    {
        settings_.LogOverwrite = 0;
        settings_.LogWriteAnnalix = 0;
    }
    ~LogSwitchesKeeper()
    {
        settings_.LogOverwrite = overwrite_;
        settings_.LogWriteAnnalix = annalix_;
    }
    LogSwitchesKeeper(const LogSwitchesKeeper&) = delete;
    LogSwitchesKeeper& operator=(const LogSwitchesKeeper&) = delete;

private:
    LogSettings& settings_;
    uint32_t overwrite_;
    uint32_t annalix_;
};

class ModuleOwner {
public:
    explicit ModuleOwner(HMODULE module) : module_(module) {}
    ~ModuleOwner()
    {
        if (module_) FreeLibrary(module_);
    }
    ModuleOwner(const ModuleOwner&) = delete;
    ModuleOwner& operator=(const ModuleOwner&) = delete;
    HMODULE Get() const noexcept { return module_; }

private:
    HMODULE module_;
};

} // namespace

bool RunOnDemandTasks()
{
    ResultLog& log = TheResultLog();
    LogSwitchesKeeper keeper(log.Settings());
    if (!log.BeginSession(nullptr, kSessionOnDemandTasks)) return false;

    bool outcome = false;
    ModuleOwner annalix(LoadAnnalixLibrary(TheConsoleSettings().AnnalixInstallPath));
    auto execute = annalix.Get() ? reinterpret_cast<AnnalixExecuteOnDemandTasksProc>(
                                       reinterpret_cast<void*>(GetProcAddress(annalix.Get(), "ExecuteOnDemandTasks")))
                                 : nullptr;
    if (execute) {
        AnnalixError error{};
        if (execute(kOnDemandApplication, &error) != 0) {
            outcome = true;
        } else {
            error.message[sizeof(error.message) - 1] = '\0';
            std::string message = error.message;
            if (error.code == kRpcServerUnavailable) LoadConsoleString(IDS_ANNALIX_UNAVAILABLE, message);
            log.LogItem(true, nullptr, nullptr, kSessionOnDemandTasks, message.c_str(),
                        static_cast<int32_t>(error.code));
        }
    } else {
        DWORD code = GetLastError();
        std::string text = SystemMessageText(code);
        log.LogItem(true, nullptr, nullptr, kSessionOnDemandTasks, text.c_str(), static_cast<int32_t>(code));
    }
    std::string finalText = kOnDemandAborted;
    if (outcome) LoadConsoleString(IDS_OPERATION_COMPLETED, finalText);
    log.EndSession(finalText.c_str(), outcome);
    return outcome;
}
