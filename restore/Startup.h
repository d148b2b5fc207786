// What Restavo takes from its surroundings before any window exists: the console's
// settings key (help file, default folder), this computer's repair folder and name, the
// platform version; and the command line applied to the main dialog.
#pragma once
#include <windows.h>
#include <string>

namespace restavo {

// The console's settings key under HKEY_LOCAL_MACHINE.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Ostrel\\Salvora\\CurrentVersion\\";
inline constexpr const char* kWindowsNtKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct StartupValues {
    std::string helpFile;        // InstallPath + "\Salvora.chm", or "Salvora.chm"
    std::string defaultFolder;   // OutDir up to its first "%", or SystemRoot + "\Repair"
    std::string defaultComputer; // empty with OutDir, else this computer's name
    bool windowsNt = false;
    DWORD majorVersion = 0;
};

// Reads the start-up values; `settingsKey` is the console's key (other keys only in tests).
StartupValues LoadStartupValues(const char* settingsKey = kSettingsKey);

// What one command-line argument sets: "-c=NAME" / "/C=NAME" the computer, "-d=FOLDER" the
// folder (only when it is an existing folder). False for an argument that sets nothing.
struct CommandLineValue {
    enum Kind { None, Computer, Folder } kind = None;
    std::string text;
};
CommandLineValue ParseArgument(const char* argument);

// Applies the arguments after the program name, in order, to the main dialog's fields.
void ApplyCommandLine(HWND dialog, int argc, char** argv);

} // namespace restavo
