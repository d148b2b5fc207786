// The named-pipe channel between the console (client) and the agent (server), and the
// records that cross it. Every integer on the wire is 32 bits, little-endian.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The agent's outcome record: one plain 264-byte message, agent to console.
struct AgentStatus {
    uint32_t succeeded; // 1 = rdisk.exe completed its work
    uint32_t code;      // 0, a Windows error code, 0xC0000001 (rdisk.exe ended by itself) or -3 (time limit)
    char text[256];     // NUL-terminated outcome text
};
static_assert(sizeof(AgentStatus) == 264);
static_assert(offsetof(AgentStatus, succeeded) == 0);
static_assert(offsetof(AgentStatus, code) == 4);
static_assert(offsetof(AgentStatus, text) == 8);

// The head of every framed message, and the whole of a reply.
struct MessageHeader {
    int32_t sequence; // 0 = name message; 1, 2, 3 ... data and end-of-file messages
    int32_t length;   // payload bytes the sender had; -2 in an end-of-file message
    uint8_t reserved[16];
    int32_t status;   // MessageStatus
};
static_assert(sizeof(MessageHeader) == 28);
static_assert(offsetof(MessageHeader, sequence) == 0);
static_assert(offsetof(MessageHeader, length) == 4);
static_assert(offsetof(MessageHeader, reserved) == 8);
static_assert(offsetof(MessageHeader, status) == 24);

namespace MessageStatus {
constexpr int32_t Payload = 0;
constexpr int32_t Failed = -1;    // only in a reply: the receiver could not read the payload
constexpr int32_t EndOfFile = -2;
constexpr int32_t Cancelled = -3;
} // namespace MessageStatus

constexpr int32_t kEndOfFileLength = -2;
constexpr DWORD kMaxPayload = 20000;
constexpr DWORD kMaxMessage = sizeof(MessageHeader) + kMaxPayload; // 20028, also the pipe's buffer size
constexpr DWORD kChannelTimeout = 500000;                          // ms, both programs
constexpr DWORD kChannelRetryCount = 3;
constexpr DWORD kAgentStatusCode_RdiskEnded = 0xC0000001;
constexpr DWORD kAgentStatusCode_Timeout = static_cast<DWORD>(-3);

constexpr const char kFinishName[] = "<Finish>";
constexpr const char kErrorName[] = "<Error>";
constexpr const char kAgentPipeName[] = "\\\\.\\pipe\\Salvora";
constexpr const char kConsolePipeFormat[] = "%s\\pipe\\Salvora"; // filled with "\\COMPUTER"

enum class MessageOutcome { Payload, EndOfFile, Cancelled, Failed };

// Why the agent's Listen refused the pipe it was given.
enum class PipeRefusal {
    None,
    NotOwnPipe,            // the instance made belongs to a pipe someone else made first
    ClientNotAdministrator // the client that connected is not an administrator
};

class PipeChannel {
public:
    PipeChannel();
    ~PipeChannel();
    PipeChannel(const PipeChannel&) = delete;
    PipeChannel& operator=(const PipeChannel&) = delete;

    std::string name;                   // the pipe name
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD timeout = kChannelTimeout;    // pipe default time-out and limit of every wait, ms
    DWORD retryCount = kChannelRetryCount;
    OVERLAPPED overlapped{};            // no event of its own: the pipe handle is waited on
    HANDLE cancelEvent = nullptr;       // optional: a signalled cancel event fails every wait
    volatile LONG* abortFlag = nullptr; // optional: nonzero turns framed messages into cancelled ones
    DWORD openAttempts = 10;            // Open: attempts, and the pause between two of them
    DWORD openRetryDelay = 1000;

    // The console's pipe name for a computer given as "\\NAME".
    static std::string ConsolePipeName(const char* uncComputer);

    // Agent: creates the pipe and waits for the console. Serves only an instance whose owner
    // is the Administrators group or LocalSystem (on Windows NT 4.0 a pipe someone else made
    // first is joined, and keeps that maker's security) and only a client that is an
    // administrator; otherwise false, `refusal` says why, and nothing has crossed.
    bool Listen(HANDLE stopEvent);
    PipeRefusal refusal = PipeRefusal::None;
    // Agent: a system that lets a server impersonate its client only once a message has been
    // read (ERROR_CANNOT_IMPERSONATE) has the client checked here, after the go-ahead and
    // before any file: false (the pipe disconnected, `refusal` set) for a client that is not
    // an administrator. True at once when Listen could check it.
    bool ConfirmClient();
    bool Open();                   // console: connect to the agent's pipe
    void Disconnect();             // agent
    void Close();                  // console
    bool IsOpen() const noexcept { return handle != INVALID_HANDLE_VALUE; }
    // Cancels an operation still pending on `overlapped` and waits until it has ended, so
    // that the record can carry the next one. Keeps the last-error code. On the thread that
    // started the operation it cancels it (CancelIo, as Windows NT 4.0 has it); on any other
    // thread it closes the pipe, which ends the operation, and the channel is closed.
    void CancelPending();

    // One overlapped read or write of exactly `count` bytes. With `wait` false only starts
    // the operation and returns what ReadFile/WriteFile returned.
    bool ReadExact(void* buffer, DWORD count, bool wait);
    bool WriteExact(const void* buffer, DWORD count, bool wait);

    // Agent: one framed message (payload unless length is -2) and its reply.
    bool Transact(int32_t sequence, const void* payload, int32_t length);
    // Console: one framed message into a buffer of kMaxPayload bytes, and its reply. The
    // message, and every resend of it, must carry `sequence`; a message with another
    // number is refused (reply -1) and fails at once, last error ERROR_INVALID_DATA.
    MessageOutcome ReceiveMessage(void* buffer, int32_t& length, int32_t sequence);

    // Agent: sends "<folder>\<fileName>" as a run of framed messages (or only the name
    // when it is a terminator name).
    bool SendFile(const char* fileName, const char* folder);
    // Console: 0 = a file or a terminator name received whole, -1 = error, -3 = cancelled.
    // The name message is number 0, the data messages 1, 2, 3 ... and the end-of-file
    // message the next number; a message out of that order fails the file.
    int ReceiveFile(std::string& fileName, const char* folder);

    // True when a received name may become a file in the output folder.
    static bool IsSafeFileName(const char* name);

private:
    bool WaitForPipe();
    bool AcceptClient(bool mayWait);
    bool clientUnchecked_ = false; // the client's check waits for its first message
    bool IsCancelled() const;
    void DiscardRestOfMessage();
    bool EndWithCancelledMessage(int32_t nextSequence);
    char* MessageBuffer();
    char* PayloadBuffer();

    std::unique_ptr<char[]> messageBuffer_; // one framed message, made on first use
    bool moreData_ = false;                 // the last ReadExact left the rest of its message in the pipe
    DWORD issuer_ = 0;                      // the thread that started the last operation on `overlapped`
    bool lastSentCancelled_ = false;        // the last Transact sent a cancelled message
};
