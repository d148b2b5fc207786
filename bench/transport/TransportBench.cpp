// Sends a 64 MiB folder of assorted files from an agent-side process to this process over
// a real pipe, copies the same folder with CopyFileA, and prints both rates, their ratio
// and the receiving process's peak working set.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Handle.h"
#include "PipeChannel.h"
#include "SystemText.h"
#include "TestSupport.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

std::vector<std::string> FilesOf(const std::string& folder)
{
    return testing_support::ListFiles(folder);
}

// The agent's side: serve the folder, then the terminator name.
int Send(const char* folder, const char* pipeName)
{
    PipeChannel channel;
    channel.name = pipeName;
    if (!channel.Listen(nullptr)) return 2;
    for (const std::string& name : FilesOf(folder))
        if (!channel.SendFile(name.c_str(), folder)) return 3;
    if (!channel.SendFile(kFinishName, folder)) return 4;
    char byte;
    channel.ReadExact(&byte, 1, true); // the console closes when it has everything
    channel.Disconnect();
    return 0;
}

// The pipe alone: the same number of 20028-byte exchanges with plain synchronous calls and
// nothing of the transport, for comparison.
int SendRaw(const char* pipeName, int exchanges)
{
    win::Handle pipe(CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                      1, kMaxMessage, kMaxMessage, 0, nullptr));
    if (!pipe || (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)) return 2;
    std::vector<char> message(kMaxMessage, 'm');
    char reply[sizeof(MessageHeader)];
    for (int i = 0; i < exchanges; ++i) {
        DWORD got = 0;
        if (!TransactNamedPipe(pipe.Get(), message.data(), kMaxMessage, reply, sizeof(reply), &got, nullptr)) return 3;
    }
    char byte;
    DWORD got = 0;
    ReadFile(pipe.Get(), &byte, 1, &got, nullptr);
    return 0;
}

double ReceiveRaw(const char* self, const std::string& pipeName, int exchanges)
{
    std::string command = win::Format("\"%s\" --raw %s %d", self, pipeName.c_str(), exchanges);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    win::Handle process(info.hProcess), thread(info.hThread);
    win::Handle pipe;
    for (int i = 0; i < 500 && !pipe; ++i) {
        pipe.Reset(CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!pipe) Sleep(20);
    }
    if (!pipe) return -1;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
    std::vector<char> message(kMaxMessage);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < exchanges; ++i) {
        DWORD got = 0, written = 0;
        if (!ReadFile(pipe.Get(), message.data(), kMaxMessage, &got, nullptr)) return -1;
        WriteFile(pipe.Get(), message.data(), sizeof(MessageHeader), &written, nullptr);
    }
    QueryPerformanceCounter(&end);
    pipe.Reset();
    WaitForSingleObject(process.Get(), 30000);
    return Seconds(start, end);
}

unsigned long long MakeFolder(const std::string& folder)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    // Assorted sizes: a few large files, some medium, many small; 64 MiB in all.
    std::vector<DWORD> sizes = {9u << 20, 7u << 20, 5u << 20, 3u << 20, 2u << 20, 1300000, 1100000};
    unsigned long long total = 0;
    for (DWORD size : sizes) total += size;
    for (unsigned i = 0; total < (64ull << 20); ++i) {
        DWORD size = (i % 7 == 0) ? 300000 + i * 1000 : 100 + (i * 7919) % 40000;
        if (total + size > (64ull << 20)) size = DWORD((64ull << 20) - total);
        sizes.push_back(size);
        total += size;
    }
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 31 + i / 977);
    for (size_t n = 0; n < sizes.size(); ++n) {
        std::string path = win::Format("%s\\f%04zu.bin", folder.c_str(), n);
        win::Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD left = sizes[n];
        while (left) {
            DWORD part = left < block.size() ? left : DWORD(block.size());
            DWORD written = 0;
            WriteFile(file.Get(), block.data(), part, &written, nullptr);
            left -= part;
        }
    }
    std::printf("folder: %zu files, %.1f MiB\n", sizes.size(), double(total) / (1 << 20));
    return total;
}

void RemoveFolder(const std::string& folder)
{
    for (const std::string& name : FilesOf(folder)) DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--send") return Send(argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--raw") return SendRaw(argv[2], std::atoi(argv[3]));

    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    std::string base = win::Format("%sTransportBench%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(base.c_str(), nullptr);
    std::string source = base + "\\source", received = base + "\\received", copied = base + "\\copied";
    unsigned long long total = MakeFolder(source);
    CreateDirectoryA(received.c_str(), nullptr);
    CreateDirectoryA(copied.c_str(), nullptr);

    std::string pipeName = win::Format("\\\\.\\pipe\\SalvoraBench%lu", GetCurrentProcessId());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string command = win::Format("\"%s\" --send \"%s\" %s", self, source.c_str(), pipeName.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::printf("cannot start the sender: %lu\n", GetLastError());
        return 1;
    }
    win::Handle process(info.hProcess), thread(info.hThread);

    PipeChannel channel;
    channel.name = pipeName;
    channel.openRetryDelay = 20;
    channel.openAttempts = 500;
    if (!channel.Open()) {
        std::printf("cannot open the pipe: %lu\n", GetLastError());
        return 1;
    }
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::string name;
    int files = 0;
    for (;;) {
        int result = channel.ReceiveFile(name, received.c_str());
        if (result != 0) {
            std::printf("transfer failed: %d (%lu)\n", result, GetLastError());
            return 1;
        }
        if (name == kFinishName) break;
        ++files;
    }
    QueryPerformanceCounter(&end);
    channel.Close();
    WaitForSingleObject(process.Get(), 30000);
    double pipeSeconds = Seconds(start, end);

    QueryPerformanceCounter(&start);
    for (const std::string& file : FilesOf(source))
        CopyFileA((source + "\\" + file).c_str(), (copied + "\\" + file).c_str(), FALSE);
    QueryPerformanceCounter(&end);
    double copySeconds = Seconds(start, end);

    // As many full-message exchanges as the transfer needed, with nothing of the transport.
    int exchanges = int(total / kMaxPayload) + 3 * files;
    std::string rawName = pipeName + "raw";
    double rawSeconds = ReceiveRaw(self, rawName, exchanges);

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));

    double mib = double(total) / (1 << 20);
    std::printf("pipe transfer: %d files, %.3f s, %.1f MB/s\n", files, pipeSeconds, mib / pipeSeconds);
    std::printf("CopyFileA:     %.3f s, %.1f MB/s\n", copySeconds, mib / copySeconds);
    std::printf("ratio pipe/copy: %.2f\n", copySeconds / pipeSeconds);
    std::printf("bare pipe, %d exchanges of 20028 bytes and a reply: %.3f s, %.1f MB/s\n", exchanges, rawSeconds,
                mib / rawSeconds);
    std::printf("transport cost over the bare pipe: %.1f%%\n", 100.0 * (pipeSeconds - rawSeconds) / rawSeconds);
    std::printf("receiver peak working set: %.1f MiB\n", double(memory.PeakWorkingSetSize) / (1 << 20));

    RemoveFolder(source);
    RemoveFolder(received);
    RemoveFolder(copied);
    RemoveDirectoryA(base.c_str());
    return 0;
}
