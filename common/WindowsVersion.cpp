#include "WindowsVersion.h"

#include <shlwapi.h>

namespace win {

bool IsNtVersionAtLeast(DWORD major, DWORD minor, WORD servicePack) noexcept
{
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        version = OSVERSIONINFOEXA{};
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
    }
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
    if (version.dwMajorVersion != major) return version.dwMajorVersion > major;
    if (version.dwMinorVersion != minor) return version.dwMinorVersion > minor;
    return version.wServicePackMajor >= servicePack;
}

DWORD LoadedDllVersion(const char* dll) noexcept
{
    HMODULE module = GetModuleHandleA(dll);
    if (!module) return 0;
    auto getVersion =
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
    if (!getVersion) return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (getVersion(&info) != S_OK) return 0;
    return PackedVersion(static_cast<WORD>(info.dwMajorVersion), static_cast<WORD>(info.dwMinorVersion));
}

} // namespace win
