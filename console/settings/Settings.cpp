#include "Settings.h"

#include "Handle.h"
#include "SystemText.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace {

bool OpenSettingsKey(REGSAM access, win::RegKey& key)
{
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, access, key.Receive());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

// Text of a string value's data: up to its first terminator and never past `size` bytes.
std::string TextOf(const char* data, size_t size)
{
    size_t length = 0;
    while (length < size && data[length] != '\0') ++length;
    return std::string(data, length);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// A string value of an open key that fits a buffer of `capacity` bytes with its terminator.
bool ReadStringFrom(HKEY key, const char* name, std::string& text, DWORD capacity)
{
    std::vector<char> buffer(capacity, '\0');
    DWORD type = 0;
    DWORD size = capacity;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS || !IsStringType(type)) return false;
    std::string value = TextOf(buffer.data(), size);
    if (value.size() >= capacity) return false; // no room left for the terminator
    text = value;
    return true;
}

// An untyped 32-bit read: any value whose data fits in four bytes is taken (a shorter one
// is widened with zeros); a failed read leaves the field alone.
template <class T>
void ReadDwordFrom(HKEY key, const char* name, T& field)
{
    static_assert(sizeof(T) == 4);
    uint8_t data[4] = {};
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) == ERROR_SUCCESS)
        std::memcpy(&field, data, sizeof(field));
}

template <class T>
bool WriteDword(const char* name, const T& value)
{
    static_assert(sizeof(T) == 4);
    return WriteSettingValue(name, REG_DWORD, &value, sizeof(value));
}

bool WriteString(const char* name, const char* text)
{
    return WriteSettingValue(name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

template <class T>
void ReadTypedDword(const char* name, T& field, T fallback)
{
    static_assert(sizeof(T) == 4);
    T value{};
    DWORD size = sizeof(value);
    field = ReadSettingValue(name, REG_DWORD, &value, &size) && size == sizeof(value) ? value : fallback;
}

std::atomic<long> g_lookupSlots{-1};

} // namespace

bool ReadSettingValue(const char* name, DWORD expectedType, void* buffer, DWORD* inOutSize)
{
    win::RegKey key;
    if (!inOutSize || !OpenSettingsKey(KEY_QUERY_VALUE, key)) return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    if (type != expectedType) {
        SetLastError(ERROR_DATATYPE_MISMATCH);
        return false;
    }
    if (size > *inOutSize) {
        *inOutSize = size;
        SetLastError(ERROR_MORE_DATA);
        return false;
    }
    // Read into a buffer of our own first, so that a value that grew in between leaves the
    // caller's buffer untouched.
    std::vector<uint8_t> data(*inOutSize ? *inOutSize : 1);
    DWORD got = *inOutSize;
    status = RegQueryValueExA(key.Get(), name, nullptr, &type, data.data(), &got);
    if (status != ERROR_SUCCESS || type != expectedType || got > *inOutSize) {
        SetLastError(status != ERROR_SUCCESS ? static_cast<DWORD>(status) : ERROR_DATATYPE_MISMATCH);
        return false;
    }
    if (got) std::memcpy(buffer, data.data(), got);
    *inOutSize = got;
    return true;
}

bool ReadSettingString(const char* name, std::string& text, DWORD capacity)
{
    std::vector<char> buffer(capacity, '\0');
    DWORD size = capacity;
    if (!ReadSettingValue(name, REG_SZ, buffer.data(), &size)) return false;
    std::string value = TextOf(buffer.data(), size);
    if (value.size() >= capacity) return false; // unterminated and filling the buffer
    text = value;
    return true;
}

bool WriteSettingValue(const char* name, DWORD type, const void* data, DWORD size)
{
    win::RegKey key;
    if (!OpenSettingsKey(KEY_SET_VALUE, key)) return false;
    LONG status = RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

bool ReadRegistryPathValue(HKEY root, const char* fullPath, std::string& text)
{
    if (!fullPath) return false;
    const char* slash = std::strrchr(fullPath, '\\');
    if (!slash) return false;
    std::string keyPath(fullPath, static_cast<size_t>(slash - fullPath));
    const char* valueName = slash + 1;
    win::RegKey key;
    LONG status = RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Receive());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    std::vector<char> data(size + 1, '\0');
    status = RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    std::string value = TextOf(data.data(), size);
    if (value.size() >= kPathBufferSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    text = value;
    return true;
}

bool ConsoleSettings::Load()
{
    // Step J: the Annalix install folder; any failure leaves it empty.
    AnnalixInstallPath.clear();
    ReadRegistryPathValue(HKEY_LOCAL_MACHINE, kAnnalixInstallPathValue, AnnalixInstallPath);

    win::RegKey key;
    if (!OpenSettingsKey(KEY_QUERY_VALUE, key)) return false;

    // The installer always writes InstallPath; without it the program cannot run.
    if (!ReadStringFrom(key.Get(), "InstallPath", InstallPath, kPathBufferSize)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    HelpFilePath = InstallPath + "\\Salvora.chm";

    ServerFilter = 0;
    AlphaSupport = 0;
    LeaveAgent = 0;
    CheckRegQuota = 0;
    SaveHivesWithoutRdisk = 0;
    ERDtimeout = kDefaultErdTimeout;
    AlwaysCopyFiles = 0;
    MaxThreadNum = kDefaultMaxThreadNum;
    MaxDeployThread = kDefaultMaxDeployThread;
    ReadDwordFrom(key.Get(), "ServerFilter", ServerFilter);
    ReadDwordFrom(key.Get(), "AlphaSupport", AlphaSupport);
    ReadDwordFrom(key.Get(), "LeaveAgent", LeaveAgent);
    ReadDwordFrom(key.Get(), "CheckRegQuota", CheckRegQuota);
    ReadDwordFrom(key.Get(), "SaveHivesWithoutRdisk", SaveHivesWithoutRdisk);
    ReadDwordFrom(key.Get(), "ERDtimeout", ERDtimeout);
    ReadDwordFrom(key.Get(), "AlwaysCopyFiles", AlwaysCopyFiles);
    ReadDwordFrom(key.Get(), "MaxThreadNum", MaxThreadNum);
    ReadDwordFrom(key.Get(), "MaxDeployThread", MaxDeployThread);

    std::string outDir;
    if (!ReadStringFrom(key.Get(), "OutDir", outDir, kPathBufferSize) || outDir.empty())
        outDir = win::Format("%s\\%%COMPUTERNAME%%", InstallPath.c_str());
    if (outDir.size() >= kPathBufferSize) outDir.resize(kPathBufferSize - 1);
    OutDir = outDir;
    return true;
}

bool ConsoleSettings::Save() const
{
    return WriteDword("ServerFilter", ServerFilter) && WriteDword("ERDtimeout", ERDtimeout) &&
           WriteDword("AlwaysCopyFiles", AlwaysCopyFiles) && WriteDword("MaxThreadNum", MaxThreadNum) &&
           WriteDword("AlphaSupport", AlphaSupport) && WriteDword("LeaveAgent", LeaveAgent) &&
           WriteDword("CheckRegQuota", CheckRegQuota) && WriteDword("MaxDeployThread", MaxDeployThread) &&
           WriteDword("SaveHivesWithoutRdisk", SaveHivesWithoutRdisk) && WriteString("OutDir", OutDir.c_str());
}

void LogSettings::Load(const ConsoleSettings& console)
{
    std::string fileName;
    if (!ReadSettingString("LogFileName", fileName, sizeof(LogFileName))) {
        fileName = console.InstallPath + "\\Salvora.log";
        // A default that does not fit is left empty, so that opening it fails clearly
        // instead of writing to a cut path.
        if (fileName.size() >= sizeof(LogFileName)) fileName.clear();
    }
    win::CopyText(LogFileName, sizeof(LogFileName), fileName.c_str());

    ReadTypedDword<uint32_t>("LogOverwrite", LogOverwrite, 1);
    ReadTypedDword<uint32_t>("LogFullErrorNo", LogFullErrorNo, 0);
    ReadTypedDword<uint32_t>("LogWriteFile", LogWriteFile, 1);
    ReadTypedDword<uint32_t>("NTAppLog", NTAppLog, 0);

    LogWriteAnnalix = 0;
    DemandTaskExec = 0;
    if (console.AnnalixInstallPath.empty()) return;
    DemandTaskExec = 1;
    ReadTypedDword<uint32_t>("LogWriteAnnalix", LogWriteAnnalix, 0);
    ReadTypedDword<uint32_t>("DemandTaskExec", DemandTaskExec, 1);
}

bool LogSettings::Save(const ConsoleSettings& console) const
{
    char name[sizeof(LogFileName)];
    win::CopyText(name, sizeof(name), LogFileName);
    if (!WriteString("LogFileName", name) || !WriteDword("LogOverwrite", LogOverwrite) ||
        !WriteDword("LogFullErrorNo", LogFullErrorNo) || !WriteDword("LogWriteFile", LogWriteFile) ||
        !WriteDword("NTAppLog", NTAppLog))
        return false;
    if (console.AnnalixInstallPath.empty()) return true;
    return WriteDword("DemandTaskExec", DemandTaskExec) && WriteDword("LogWriteAnnalix", LogWriteAnnalix);
}

ConsoleSettings& TheConsoleSettings()
{
    static ConsoleSettings settings;
    return settings;
}

long LookupSlotCount()
{
    long slots = g_lookupSlots.load();
    if (slots != -1) return slots;
    int32_t stored = -1;
    DWORD size = sizeof(stored);
    if (!ReadSettingValue("MaxEnumThread", REG_DWORD, &stored, &size) || size != sizeof(stored)) stored = -1;
    slots = stored < 0 ? kDefaultLookupSlots : stored == 0 ? 1 : stored;
    long expected = -1;
    if (!g_lookupSlots.compare_exchange_strong(expected, slots)) return expected;
    return slots;
}

void ForgetLookupSlotCount() { g_lookupSlots.store(-1); }
