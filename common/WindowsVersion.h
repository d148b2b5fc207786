// Which Windows the programs run on, for the values only later versions know: the system's
// version, and the version a system DLL reports of itself.
#pragma once
#include <windows.h>

namespace win {

// True on a Windows NT-family system of version major.minor with at least `servicePack`, or
// a later version. The extended record is asked for first (Windows NT 4.0 SP6 and later);
// an older system answers only the short one, whose service pack is then taken as 0.
bool IsNtVersionAtLeast(DWORD major, DWORD minor, WORD servicePack = 0) noexcept;

constexpr DWORD PackedVersion(WORD major, WORD minor) noexcept
{
    return (static_cast<DWORD>(major) << 16) | minor;
}

// The version a loaded system DLL reports through DllGetVersion (comctl32 and shell32 4.71
// and later), as PackedVersion(major, minor); 0 when the DLL has no such export (comctl32
// 4.70 and older, shell32 4.00) or is not loaded.
DWORD LoadedDllVersion(const char* dll) noexcept;

} // namespace win
