// A fresh settings key of the console in the test prefix's registry for each test, and the
// Annalix and Unicenter TNG keys that some tests add; all removed again afterwards.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace console_test {

constexpr char kSalvoraKey[] = "SOFTWARE\\Ostrel\\Salvora";
constexpr char kSettingsKeyPath[] = "SOFTWARE\\Ostrel\\Salvora\\CurrentVersion";
constexpr char kAnnalixKey[] = "SOFTWARE\\Ostrel\\Annalix";

inline void DeleteKeyTree(const char* path) { RegDeleteTreeA(HKEY_LOCAL_MACHINE, path), RegDeleteKeyA(HKEY_LOCAL_MACHINE, path); }

inline bool SetValue(const char* keyPath, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline bool SetString(const char* name, const std::string& text, const char* keyPath = kSettingsKeyPath)
{
    return SetValue(keyPath, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline bool SetDword(const char* name, uint32_t value, const char* keyPath = kSettingsKeyPath)
{
    return SetValue(keyPath, name, REG_DWORD, &value, sizeof(value));
}

// Reads a value back: its type and bytes; false when absent.
inline bool GetValue(const char* name, DWORD& type, std::string& bytes, const char* keyPath = kSettingsKeyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        bytes.resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline bool GetDword(const char* name, uint32_t& value, const char* keyPath = kSettingsKeyPath)
{
    DWORD type = 0;
    std::string bytes;
    if (!GetValue(name, type, bytes, keyPath) || type != REG_DWORD || bytes.size() != 4) return false;
    std::memcpy(&value, bytes.data(), 4);
    return true;
}

inline bool KeyExists(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteKeyTree(kSalvoraKey);
        DeleteKeyTree(kAnnalixKey);
        ASSERT_TRUE(SetString("InstallPath", "C:\\Prog"));
    }
    void TearDown() override
    {
        DeleteKeyTree(kSalvoraKey);
        DeleteKeyTree(kAnnalixKey);
    }
};

} // namespace console_test
