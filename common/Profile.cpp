#include "Profile.h"

#include "Handle.h"

namespace win {
namespace {

std::string g_keyPath;

std::string SectionPath(const char* section) { return g_keyPath + "\\" + section; }

// The section's value of `type`, or false.
bool ReadValue(const char* section, const char* name, DWORD wantedType, std::string& bytes)
{
    if (g_keyPath.empty()) return false;
    RegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS && type == wantedType) {
        bytes.assign(size, '\0');
        status = RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
    }
    return status == ERROR_SUCCESS && type == wantedType;
}

bool WriteValue(const char* section, const char* name, DWORD type, const void* data, DWORD size)
{
    if (g_keyPath.empty()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    RegKey key;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, key.Receive(), nullptr);
    if (status == ERROR_SUCCESS) status = RegSetValueExA(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

} // namespace

void SetProfileKey(const char* vendor, const char* application)
{
    g_keyPath = std::string("Software\\") + vendor + "\\" + application;
}

const std::string& ProfileKeyPath() { return g_keyPath; }

std::string GetProfileString(const char* section, const char* name, const char* fallback)
{
    std::string bytes;
    if (!ReadValue(section, name, REG_SZ, bytes)) return fallback;
    // Stored strings may or may not carry their terminator.
    size_t end = bytes.find('\0');
    if (end != std::string::npos) bytes.resize(end);
    return bytes;
}

int GetProfileInt(const char* section, const char* name, int fallback)
{
    std::string bytes;
    if (!ReadValue(section, name, REG_DWORD, bytes) || bytes.size() != sizeof(DWORD)) return fallback;
    DWORD value = 0;
    CopyMemory(&value, bytes.data(), sizeof(value));
    return static_cast<int>(value);
}

bool WriteProfileString(const char* section, const char* name, const char* value)
{
    return WriteValue(section, name, REG_SZ, value, static_cast<DWORD>(lstrlenA(value) + 1));
}

bool WriteProfileInt(const char* section, const char* name, int value)
{
    DWORD data = static_cast<DWORD>(value);
    return WriteValue(section, name, REG_DWORD, &data, sizeof(data));
}

} // namespace win
