#include "UnicenterStatus.h"

#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "Handle.h"
#include "Messages.h"
#include "Settings.h"
#include "SystemText.h"

#include <ctime>

namespace {

bool UnicenterInstalled()
{
    win::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUnicenterKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    char path[kPathBufferSize] = {};
    DWORD size = sizeof(path);
    return RegQueryValueExA(key.Get(), "Install Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) ==
           ERROR_SUCCESS;
}

void Write(const char* section, const char* keyFormat, unsigned index, const std::string& value,
           const std::string& file)
{
    std::string key = win::Format(keyFormat, index);
    WritePrivateProfileStringA(section, key.c_str(), value.c_str(), file.c_str());
}

void RaiseStamp()
{
    win::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    DWORD stamp = 0;
    DWORD size = sizeof(stamp);
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), kUnicenterStampValue, nullptr, &type, reinterpret_cast<BYTE*>(&stamp), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(stamp))
        stamp = 0;
    ++stamp;
    RegSetValueExA(key.Get(), kUnicenterStampValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stamp),
                   sizeof(stamp));
}

} // namespace

std::string UnicenterErrorText(uint32_t result, uint32_t errorCode)
{
    std::string suffix = win::Format(" (%d)", static_cast<int>(errorCode));
    std::string text = TEXT_UNKNOWN_ERROR;
    std::string message;
    if (LoadConsoleString(result, message)) {
        text = message;
        if (errorCode != 0 && errorCode != 0xFFFFFFFFu) text += " - " + NetErrorText(errorCode);
    }
    // The whole text fits the 260-byte buffer, and the code's suffix is never cut off.
    size_t room = kPathBufferSize - 1 - suffix.size();
    if (text.size() > room) text.resize(room);
    return text + suffix;
}

void WriteUnicenterStatus(const ComputerList& list, bool cancelled)
{
    if (!UnicenterInstalled()) return;
    std::string file = TheConsoleSettings().InstallPath + "\\" + kUnicenterFileName;
    DeleteFileA(file.c_str());

    unsigned succeeded = 0;
    unsigned failed = 0;
    size_t items = 0;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry || !entry->selected) continue;
        ++items;
        if (entry->result == kJobSucceeded) {
            Write("Success", "Host_%u", succeeded, entry->name, file);
            Write("Success", "Description_%u", succeeded, entry->Description(), file);
            Write("Success", "Type_%u", succeeded, entry->TypeText(), file);
            ++succeeded;
        } else {
            Write("Failure", "Host_%u", failed, entry->name, file);
            Write("Failure", "Description_%u", failed, entry->Description(), file);
            Write("Failure", "ErrorDescription_%u", failed, UnicenterErrorText(entry->result, entry->errorCode), file);
            Write("Failure", "Severity_%u", failed, "Error", file);
            ++failed;
        }
    }

    const char* state = "OK";
    if (failed > 0) state = "Warning";
    if (items == 0) state = "Critical";
    time_t now = ConsoleTime();
    char when[32] = {};
    if (const struct tm* local = localtime(&now)) strftime(when, sizeof(when), "%Y/%m/%d %H:%M", local);
    std::string outcome;
    if (!LoadConsoleString(cancelled ? IDS_CANCELLED_BY_USER : IDS_OPERATION_COMPLETED, outcome))
        outcome = cancelled ? TEXT_CANCELLED_BY_USER : TEXT_OPERATION_COMPLETED;

    const char* configuration = "Configuration";
    WritePrivateProfileStringA(configuration, "State", state, file.c_str());
    WritePrivateProfileStringA(configuration, "Version", "3.01", file.c_str());
    WritePrivateProfileStringA(configuration, "Description", TEXT_APP_TITLE, file.c_str());
    WritePrivateProfileStringA(configuration, "OperationTime", when, file.c_str());
    WritePrivateProfileStringA(configuration, "OperationResult", outcome.c_str(), file.c_str());
    WritePrivateProfileStringA(configuration, "Scheduling", IsUnattended() ? "Schedule" : "Manual", file.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()); // flush the profile cache

    RaiseStamp();
}
