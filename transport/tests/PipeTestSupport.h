// A server and a client channel joined over a real named pipe of their own, for tests.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "PipeChannel.h"
#include "SystemText.h"

namespace pipe_test {

inline std::string UniquePipeName()
{
    static std::atomic<unsigned> counter{0};
    return win::Format("\\\\.\\pipe\\SalvoraTest_%lu_%u", GetCurrentProcessId(), counter++);
}

// Runs `serve` on its own thread with a listening server channel; the client channel is
// opened on the calling thread.
class PipePair {
public:
    explicit PipePair(std::function<void(PipeChannel&)> serve, DWORD timeout = 10000)
    {
        server.name = UniquePipeName();
        server.timeout = timeout;
        client.name = server.name;
        client.timeout = timeout;
        client.openRetryDelay = 50;
        client.openAttempts = 100;
        finished_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, serve] {
            if (server.Listen(nullptr)) serve(server);
            // Disconnecting discards what the client has not read yet: wait for it first.
            WaitForSingleObject(finished_, 60000);
            server.Disconnect();
        });
        opened = client.Open();
    }
    ~PipePair()
    {
        Join();
        CloseHandle(finished_);
    }
    // Lets the server side end once `serve` is done, and waits for it.
    void Join()
    {
        SetEvent(finished_);
        if (thread_.joinable()) thread_.join();
    }

    PipeChannel server;
    PipeChannel client;
    bool opened = false;

private:
    HANDLE finished_ = nullptr;
    std::thread thread_;
};

// One framed message as a raw sender puts it on the pipe.
inline std::string FramedMessage(int32_t sequence, int32_t length, int32_t status, const std::string& payload)
{
    MessageHeader header = {};
    header.sequence = sequence;
    header.length = length;
    header.status = status;
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
    return bytes + payload;
}

inline std::string NameMessage(const std::string& name)
{
    return FramedMessage(0, static_cast<int32_t>(name.size() + 1), 0, name + std::string(1, '\0'));
}

// Writes one raw message and reads its 28-byte reply; false when no reply came.
inline bool SendRaw(PipeChannel& channel, const std::string& message, MessageHeader* reply = nullptr)
{
    if (!channel.WriteExact(message.data(), static_cast<DWORD>(message.size()), true)) return false;
    MessageHeader answer = {};
    if (!channel.ReadExact(&answer, sizeof(answer), true)) return false;
    if (reply) *reply = answer;
    return true;
}

} // namespace pipe_test
