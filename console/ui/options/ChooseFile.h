// The console's one open, save and folder chooser.
#pragma once
#include <windows.h>

#include <string>

enum ChooseFileKind : int {
    kChooseListToOpen = 1,  // a computer list to open
    kChooseListToSave = 2,  // a computer list to save
    kChooseLogFile = 3,     // the result log's text file
    kChooseOutputFolder = 4 // the folder for created ERD
};

// Shows the chooser of `kind` titled `title`. `buffer` (260 characters) holds the starting
// path and receives the chosen one; true when the user chose one. For the folder kind a
// chosen file gives the folder that holds it.
bool ChooseFile(HWND owner, const char* title, char* buffer, int kind);

// The folder a folder-chooser choice stands for: the path itself when it is a folder, else
// the path without its last component.
std::string FolderOfChoice(const std::string& path);
