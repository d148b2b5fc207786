// rdisk.exe: writes the emergency repair data on "-s". Like the platform's utility it
// starts with one thread, does its work on a second thread, and then stays alive with
// its one thread until it is ended from outside.
//
// The same source builds the fixture programs that tests install under the name
// rdisk.exe; RDISK_BEHAVIOUR picks what the work thread does.
#include <windows.h>

#include <cstring>
#include <string>

#include "RepairData.h"

#define RDISK_STANDIN 0  // the repair data (rdisk.exe)
#define RDISK_GONE 1     // ends at once, before any work
#define RDISK_SLOW 2     // works for ten minutes
#define RDISK_LEFTOVER 3 // leaves only "$$hive$$.tmp" and a subfolder in the repair folder
#define RDISK_IDLE 4     // works for the shortest time and leaves the repair folder as it is

#ifndef RDISK_BEHAVIOUR
#define RDISK_BEHAVIOUR RDISK_STANDIN
#endif

namespace {

// Empties the repair folder of its plain files and leaves the temporary hive and a
// subfolder (with a file of its own) behind, as an interrupted run would.
void LeaveLeftovers(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + "\\" + data.cFileName).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    auto write = [](const std::string& path, const char* text) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
        CloseHandle(file);
    };
    write(folder + "\\" + rdisk::kTemporaryHive, "partial hive");
    CreateDirectoryA((folder + "\\Sub").c_str(), nullptr);
    write(folder + "\\Sub\\inner.txt", "inside a subfolder");
}

// The agent samples the thread count every half second, so the work thread lives for
// at least this long even when the work itself is quicker.
constexpr DWORD kShortestWork = 1500;

DWORD WINAPI WorkThread(void*)
{
    const DWORD begin = GetTickCount();
    switch (RDISK_BEHAVIOUR) {
    case RDISK_SLOW:
        Sleep(600000);
        break;
    case RDISK_LEFTOVER:
        LeaveLeftovers(rdisk::RepairFolder());
        break;
    case RDISK_IDLE:
        break;
    default:
        rdisk::WriteRepairData(rdisk::RepairFolder());
        break;
    }
    const DWORD spent = GetTickCount() - begin;
    if (spent < kShortestWork) Sleep(kShortestWork - spent);
    return 0;
}

bool HasSaveSwitch(const char* commandLine)
{
    std::string line = commandLine ? commandLine : "";
    for (size_t at = line.find_first_of("-/"); at != std::string::npos; at = line.find_first_of("-/", at + 1)) {
        if (at + 1 < line.size() && (line[at + 1] == 's' || line[at + 1] == 'S')) return true;
    }
    return false;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (RDISK_BEHAVIOUR == RDISK_GONE) return 0;
    if (!HasSaveSwitch(commandLine)) return 1; // only the unattended "-s" run exists here

    Sleep(300); // the one-thread start
    HANDLE worker = CreateThread(nullptr, 0, WorkThread, nullptr, 0, nullptr);
    if (!worker) return 2;
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    for (;;) Sleep(INFINITE); // finished: one thread, alive until terminated
}
