// The per-user profile of a program: values under
// HKEY_CURRENT_USER\Software\<vendor>\<application>\<section>, set up once at start-up.
#pragma once
#include <windows.h>

#include <string>

namespace win {

// Names the profile's key; until then every read gives its default and writes fail.
void SetProfileKey(const char* vendor, const char* application);
// "Software\<vendor>\<application>", empty until SetProfileKey.
const std::string& ProfileKeyPath();

// A text value; `fallback` when absent or not a string.
std::string GetProfileString(const char* section, const char* name, const char* fallback);
// A number stored as REG_DWORD; `fallback` when absent or of another type.
int GetProfileInt(const char* section, const char* name, int fallback);
// False (last error kept) when the value cannot be written.
bool WriteProfileString(const char* section, const char* name, const char* value);
bool WriteProfileInt(const char* section, const char* name, int value);

} // namespace win
