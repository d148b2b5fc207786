#include "Startup.h"

#include "Resource.h"
#include "RestoreEngine.h"

namespace restavo {

StartupValues LoadStartupValues(const char* settingsKey)
{
    StartupValues values;
    char buffer[kPathSize] = {};
    DWORD size = sizeof(buffer);
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, "InstallPath", REG_SZ, settingsKey, buffer, &size))
        values.helpFile = std::string(buffer) + "\\Salvora.chm";
    else
        values.helpFile = "Salvora.chm";

    char outDir[kPathSize] = {};
    size = sizeof(outDir);
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, "OutDir", REG_SZ, settingsKey, outDir, &size)) {
        // The fixed part of the console's output-folder template.
        std::string folder = outDir;
        values.defaultFolder = folder.substr(0, folder.find('%'));
    } else {
        char systemRoot[kPathSize - 7] = {};
        size = sizeof(systemRoot);
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, "SystemRoot", REG_SZ, kWindowsNtKey, systemRoot, &size)) {
            values.defaultFolder = std::string(systemRoot) + "\\Repair";
            char name[256] = {};
            DWORD length = sizeof(name);
            if (GetComputerNameA(name, &length)) values.defaultComputer = name;
        }
    }

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version)) {
        values.windowsNt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        values.majorVersion = version.dwMajorVersion;
    }
    return values;
}

CommandLineValue ParseArgument(const char* argument)
{
    CommandLineValue value;
    if (!argument || (argument[0] != '/' && argument[0] != '-')) return value;
    char letter = argument[1];
    if (letter == '\0' || argument[2] != '=') return value;
    const char* text = argument + 3;
    if (letter == 'c' || letter == 'C') {
        value.kind = CommandLineValue::Computer;
        value.text = text;
    } else if (letter == 'd' || letter == 'D') {
        DWORD attributes = GetFileAttributesA(text);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            value.kind = CommandLineValue::Folder;
            value.text = text;
        }
    }
    return value;
}

void ApplyCommandLine(HWND dialog, int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        CommandLineValue value = ParseArgument(argv[i]);
        if (value.kind == CommandLineValue::Computer)
            SetDlgItemTextA(dialog, IDC_COMPUTER, value.text.c_str());
        else if (value.kind == CommandLineValue::Folder)
            SetDlgItemTextA(dialog, IDC_ERD_FOLDER, value.text.c_str());
    }
}

} // namespace restavo
