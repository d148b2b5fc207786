// The main dialog's two browse commands: the folder of saved repair files (through the
// system's open-file dialog) and the computer to restore (through the system's computer
// browse, or our own chooser where the system has none).
#pragma once
#include <windows.h>
#include <string>

#include "ComputerChooser.h"

namespace restavo {

// Makes the nearest existing folder of `path` the current directory (cutting it back at its
// backslashes) and returns the current directory then.
std::string EnterStartingFolder(const std::string& path);

// Lets the user pick a folder; on success `path` is the chosen folder. `majorVersion` picks
// the dialog's style: 4 and later the Explorer style, earlier ones the classic template.
bool BrowseErdFolder(const char* title, HWND owner, std::string& path, DWORD majorVersion);

// Lets the user pick a computer; on success `name` is two backslashes and the name.
bool BrowseComputerName(HWND owner, std::string& name);

// Our own computer chooser, shared with the console.
using win::CComputerChooser;

} // namespace restavo
