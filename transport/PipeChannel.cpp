#include "PipeChannel.h"

#include <cstring>

#include "Handle.h"
#include "Security.h"
#include "SystemText.h"
#include "WindowsVersion.h"

namespace {

// CancelPending: how long a cancelled operation may take to end before the pipe is closed
// under it (Wine leaves some cancelled pipe operations pending), how long another thread's
// operation may take once the pipe is closed under it, and the step of the look.
constexpr DWORD kCancelGrace = 1000;
constexpr DWORD kCloseGrace = 200;
constexpr DWORD kCancelPoll = 10;

// FILE_FLAG_FIRST_PIPE_INSTANCE: the creation fails when a pipe of that name exists
// already. Windows 2000 Service Pack 2 and later know the flag; Windows NT 4.0 rejects it.
constexpr DWORD kFirstPipeInstance = 0x00080000;

bool SystemKnowsFirstPipeInstance()
{
    return win::IsNtVersionAtLeast(5, 0, 2);
}

bool IsTerminatorName(const char* name)
{
    return std::strcmp(name, kFinishName) == 0 || std::strcmp(name, kErrorName) == 0;
}

bool IsPipeGone(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_BAD_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

// For "\\COMPUTER\pipe\NAME" naming this computer: the local form "\\.\pipe\NAME".
std::string LocalFormOfOwnPipe(const std::string& name)
{
    if (name.size() < 3 || name[0] != '\\' || name[1] != '\\') return {};
    size_t end = name.find('\\', 2);
    if (end == std::string::npos) return {};
    std::string computer = name.substr(2, end - 2);
    char own[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(own);
    if (!GetComputerNameA(own, &size)) return {};
    if (computer == "." || lstrcmpiA(computer.c_str(), own) != 0) return {};
    return "\\\\." + name.substr(end);
}

} // namespace

PipeChannel::PipeChannel() = default;

PipeChannel::~PipeChannel()
{
    Close();
}

std::string PipeChannel::ConsolePipeName(const char* uncComputer)
{
    return win::Format(kConsolePipeFormat, uncComputer ? uncComputer : "");
}

void PipeChannel::CancelPending()
{
    if (!IsOpen() || HasOverlappedIoCompleted(&overlapped)) return;
    DWORD saved = GetLastError();
    if (issuer_ == GetCurrentThreadId()) {
        // Windows NT 4.0 has only CancelIo, which cancels the calling thread's own I/O on
        // the handle: here the operation's own, which then ends.
        CancelIo(handle);
        for (DWORD waited = 0; !HasOverlappedIoCompleted(&overlapped) && waited < kCancelGrace; waited += kCancelPoll)
            WaitForSingleObject(handle, kCancelPoll);
    }
    if (HasOverlappedIoCompleted(&overlapped)) {
        DWORD transferred = 0;
        GetOverlappedResult(handle, &overlapped, &transferred, FALSE);
    } else {
        // Another thread started it, and CancelIo cannot reach it. Closing the pipe ends every
        // operation on it (the pipe driver completes them as the last handle goes); the thread
        // that waits for the operation then sees it fail.
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        for (DWORD waited = 0; !HasOverlappedIoCompleted(&overlapped) && waited < kCloseGrace; waited += kCancelPoll)
            Sleep(kCancelPoll);
    }
    SetLastError(saved);
}

bool PipeChannel::IsCancelled() const
{
    return cancelEvent && WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0;
}

bool PipeChannel::WaitForPipe()
{
    DWORD result;
    if (cancelEvent) {
        HANDLE handles[2] = {cancelEvent, handle};
        result = WaitForMultipleObjects(2, handles, FALSE, timeout);
        if (result == WAIT_OBJECT_0 + 1) return true;
    } else {
        result = WaitForSingleObject(handle, timeout);
        if (result == WAIT_OBJECT_0) return true;
    }
    DWORD error = result == WAIT_TIMEOUT ? ERROR_TIMEOUT
                  : result == WAIT_OBJECT_0 ? ERROR_OPERATION_ABORTED
                                            : GetLastError();
    // The one OVERLAPPED record must be free again before the next operation.
    CancelPending();
    SetLastError(error);
    return false;
}

bool PipeChannel::Listen(HANDLE stopEvent)
{
    refusal = PipeRefusal::None;
    if (name.empty()) name = kAgentPipeName;
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::File, FILE_ALL_ACCESS);
    if (!security.IsValid()) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), security.Descriptor(), TRUE};
    // A pipe of this name made by anyone else first is never joined: the creation fails.
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (SystemKnowsFirstPipeInstance()) openMode |= kFirstPipeInstance; // NT 4.0 guard: 2000 SP2 and later
    bool ownerSet = security.SetAdministratorsOwner();
    handle = CreateNamedPipeA(name.c_str(), openMode, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                              kMaxMessage, kMaxMessage, timeout, &attributes);
    if (handle == INVALID_HANDLE_VALUE && ownerSet && GetLastError() == ERROR_INVALID_OWNER) {
        // A token that may not name the group: its own default owner (LocalSystem's is the
        // system or the group).
        security.ClearOwner();
        handle = CreateNamedPipeA(name.c_str(), openMode, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                  kMaxMessage, kMaxMessage, timeout, &attributes);
    }
    if (handle == INVALID_HANDLE_VALUE) return false;
    // Where the system cannot refuse to join a pipe made first by someone else (Windows NT
    // 4.0, Windows 2000 before SP2), the instance keeps that pipe's security: its owner
    // tells the two apart, before any client can be served.
    if (!win::IsOwnedByAdministrators(handle)) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        refusal = PipeRefusal::NotOwnPipe;
        SetLastError(ERROR_INVALID_OWNER);
        return false;
    }

    overlapped = OVERLAPPED{};
    issuer_ = GetCurrentThreadId();
    if (ConnectNamedPipe(handle, &overlapped)) return AcceptClient(true);
    DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) return AcceptClient(true); // the console was quicker than the call
    if (error == ERROR_IO_PENDING) {
        HANDLE handles[2] = {handle, stopEvent};
        DWORD result = WaitForMultipleObjects(stopEvent ? 2 : 1, handles, FALSE, timeout);
        DWORD ignored = 0;
        if (result == WAIT_OBJECT_0 && GetOverlappedResult(handle, &overlapped, &ignored, FALSE))
            return AcceptClient(true);
        error = result == WAIT_TIMEOUT ? ERROR_TIMEOUT : result == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED
                                                                                     : GetLastError();
        CancelPending();
    }
    Disconnect();
    SetLastError(error);
    return false;
}

bool PipeChannel::AcceptClient(bool mayWait)
{
    clientUnchecked_ = false;
    if (win::IsPipeClientAdministrator(handle)) return true;
    if (mayWait && GetLastError() == ERROR_CANNOT_IMPERSONATE) {
        // Nothing has been read yet: the check follows the client's first message.
        clientUnchecked_ = true;
        return true;
    }
    // Anyone who may open the pipe could otherwise read the hives: the client goes before
    // anything is written.
    refusal = PipeRefusal::ClientNotAdministrator;
    Disconnect();
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool PipeChannel::ConfirmClient()
{
    if (!clientUnchecked_) return true;
    return AcceptClient(false);
}

bool PipeChannel::Open()
{
    // READ_CONTROL: the server's owner is read before anything crosses. The server may
    // identify the console but never act as it.
    constexpr DWORD kClientAccess = GENERIC_READ | GENERIC_WRITE | READ_CONTROL;
    constexpr DWORD kClientFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
    std::string localForm;
    for (DWORD attempt = 1; attempt <= openAttempts; ++attempt) {
        handle = CreateFileA(name.c_str(), kClientAccess, 0, &attributes, OPEN_EXISTING, kClientFlags, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            // Wine cannot open a pipe by the UNC name of its own computer.
            DWORD error = GetLastError();
            if (error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH) {
                if (localForm.empty()) localForm = LocalFormOfOwnPipe(name);
                if (!localForm.empty())
                    handle = CreateFileA(localForm.c_str(), kClientAccess, 0, &attributes, OPEN_EXISTING,
                                         kClientFlags, nullptr);
            }
        }
        if (handle != INVALID_HANDLE_VALUE) {
            // A pipe someone else made under the agent's name before the agent could: its
            // answers and files are not the computer's. Refused at once, never retried.
            if (!win::IsOwnedByAdministrators(handle)) {
                CloseHandle(handle);
                handle = INVALID_HANDLE_VALUE;
                SetLastError(ERROR_INVALID_OWNER);
                return false;
            }
            overlapped = OVERLAPPED{};
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
            return true;
        }
        if (attempt == openAttempts) break;
        DWORD error = GetLastError();
        if (cancelEvent) {
            if (WaitForSingleObject(cancelEvent, openRetryDelay) == WAIT_OBJECT_0) {
                SetLastError(ERROR_OPERATION_ABORTED);
                return false;
            }
        } else {
            Sleep(openRetryDelay);
        }
        SetLastError(error);
    }
    return false;
}

void PipeChannel::Disconnect()
{
    if (!IsOpen()) return;
    CancelPending();
    if (!IsOpen()) return; // closed by the cancel
    DisconnectNamedPipe(handle);
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void PipeChannel::Close()
{
    if (!IsOpen()) return;
    CancelPending();
    if (!IsOpen()) return; // closed by the cancel
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

bool PipeChannel::ReadExact(void* buffer, DWORD count, bool wait)
{
    moreData_ = false;
    if (wait && IsCancelled()) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    char* cursor = static_cast<char*>(buffer);
    DWORD remaining = count;
    DWORD got = 0;
    issuer_ = GetCurrentThreadId();
    BOOL ok = ReadFile(handle, cursor, remaining, &got, &overlapped);
    if (!wait) return ok != FALSE;
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    for (;;) {
        if (!ok && error == ERROR_MORE_DATA) {
            // Completed at once but failed: the count is only in the OVERLAPPED record.
            GetOverlappedResult(handle, &overlapped, &got, FALSE);
        }
        if (ok || error == ERROR_MORE_DATA) {
            // Completed at once: a longer message leaves the rest in the pipe.
            if (got >= remaining) {
                moreData_ = error == ERROR_MORE_DATA;
                return got == remaining;
            }
            if (ok) {
                SetLastError(ERROR_INVALID_DATA); // the message was shorter than asked for
                return false;
            }
        }
        if (error != ERROR_IO_PENDING) return false;
        if (!WaitForPipe()) return false;
        got = 0;
        if (GetOverlappedResult(handle, &overlapped, &got, FALSE)) {
            if (got == remaining) return true;
            SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        if (GetLastError() != ERROR_MORE_DATA) return false;
        if (got >= remaining) {
            moreData_ = true;
            return true;
        }
        cursor += got;
        remaining -= got;
        got = 0;
        issuer_ = GetCurrentThreadId();
        ok = ReadFile(handle, cursor, remaining, &got, &overlapped);
        error = ok ? ERROR_SUCCESS : GetLastError();
    }
}

bool PipeChannel::WriteExact(const void* buffer, DWORD count, bool wait)
{
    if (wait && IsCancelled()) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    DWORD written = 0;
    issuer_ = GetCurrentThreadId();
    BOOL ok = WriteFile(handle, buffer, count, &written, &overlapped);
    if (!wait) return ok != FALSE;
    if (!ok) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (!WaitForPipe()) return false;
        if (!GetOverlappedResult(handle, &overlapped, &written, FALSE)) return false;
    }
    if (written != count) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

char* PipeChannel::MessageBuffer()
{
    if (!messageBuffer_) messageBuffer_.reset(new char[kMaxMessage]);
    return messageBuffer_.get();
}

char* PipeChannel::PayloadBuffer()
{
    return MessageBuffer() + sizeof(MessageHeader);
}

bool PipeChannel::Transact(int32_t sequence, const void* payload, int32_t length)
{
    MessageHeader header = {};
    header.sequence = sequence;
    header.length = length;
    header.status = MessageStatus::Payload;
    DWORD payloadBytes = 0;
    lastSentCancelled_ = abortFlag && *abortFlag;
    if (lastSentCancelled_) {
        header.status = MessageStatus::Cancelled;
    } else if (length == kEndOfFileLength) {
        header.status = MessageStatus::EndOfFile;
    } else {
        if (length < 0 || static_cast<DWORD>(length) > kMaxPayload || (length > 0 && !payload)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        payloadBytes = static_cast<DWORD>(length);
    }

    char* message = MessageBuffer();
    std::memcpy(message, &header, sizeof(header));
    if (payloadBytes && payload != message + sizeof(header))
        std::memcpy(message + sizeof(header), payload, payloadBytes);

    MessageHeader reply = {};
    bool replied = false;
    for (DWORD attempt = 0; attempt < retryCount; ++attempt) {
        reply = MessageHeader{};
        DWORD got = 0;
        issuer_ = GetCurrentThreadId();
        if (TransactNamedPipe(handle, message, sizeof(header) + payloadBytes, &reply, sizeof(reply), &got,
                              &overlapped)) {
            replied = got == sizeof(reply);
            break;
        }
        if (GetLastError() != ERROR_IO_PENDING) continue;

        HANDLE handles[2] = {handle, cancelEvent};
        DWORD result = WaitForMultipleObjects(cancelEvent ? 2 : 1, handles, FALSE, timeout);
        if (result == WAIT_OBJECT_0) {
            if (!GetOverlappedResult(handle, &overlapped, &got, FALSE)) break;
            if (reply.status == MessageStatus::Failed) continue;
            replied = got == sizeof(reply);
            break;
        }
        DWORD error = result == WAIT_TIMEOUT ? ERROR_TIMEOUT
                      : result == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED
                                                    : GetLastError();
        CancelPending();
        SetLastError(error);
        if (result == WAIT_OBJECT_0 + 1) break; // cancelled
    }
    if (replied && reply.status == MessageStatus::Failed) replied = false;
    if (!replied && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return replied;
}

void PipeChannel::DiscardRestOfMessage()
{
    char scratch[1024];
    while (moreData_) {
        if (!ReadExact(scratch, sizeof(scratch), true)) break;
    }
    moreData_ = false;
}

MessageOutcome PipeChannel::ReceiveMessage(void* buffer, int32_t& length, int32_t sequence)
{
    length = 0;
    for (DWORD attempt = 0; attempt < retryCount; ++attempt) {
        MessageHeader header = {};
        header.status = MessageStatus::Failed;
        if (!ReadExact(&header, sizeof(header), true)) {
            if (IsPipeGone(GetLastError())) return MessageOutcome::Failed;
        } else if (header.sequence != sequence) {
            // A message skipped, or one put in place of a resend: what arrives no longer
            // adds up to the sender's file.
            if (moreData_) DiscardRestOfMessage();
            header.status = MessageStatus::Failed;
            WriteExact(&header, sizeof(header), true);
            SetLastError(ERROR_INVALID_DATA);
            return MessageOutcome::Failed;
        }
        bool extra = moreData_;
        if (header.status == MessageStatus::Payload) {
            // A length the buffer cannot hold fails the message; nothing is read past it.
            if (header.length < 0 || static_cast<DWORD>(header.length) > kMaxPayload) {
                header.status = MessageStatus::Failed;
            } else if (header.length > 0) {
                if (!extra || !ReadExact(buffer, static_cast<DWORD>(header.length), true)) {
                    header.status = MessageStatus::Failed;
                    extra = false;
                    if (IsPipeGone(GetLastError())) return MessageOutcome::Failed;
                } else if (moreData_) {
                    header.status = MessageStatus::Failed; // more bytes than the header announced
                    extra = true;
                } else {
                    extra = false;
                }
            }
        }
        if (extra) {
            moreData_ = true;
            DiscardRestOfMessage();
        }
        WriteExact(&header, sizeof(header), true);
        switch (header.status) {
        case MessageStatus::Payload:
            length = header.length;
            return MessageOutcome::Payload;
        case MessageStatus::EndOfFile:
            return MessageOutcome::EndOfFile;
        case MessageStatus::Cancelled:
            return MessageOutcome::Cancelled;
        default:
            break;
        }
    }
    return MessageOutcome::Failed;
}

bool PipeChannel::SendFile(const char* fileName, const char* folder)
{
    size_t nameLength = std::strlen(fileName);
    if (nameLength >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!Transact(0, fileName, static_cast<int32_t>(nameLength + 1))) return false;
    if (IsTerminatorName(fileName)) return true;
    if (abortFlag && *abortFlag) return EndWithCancelledMessage(1);

    std::string path = win::Format("%s\\%s", folder, fileName);
    win::Handle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                 nullptr));
    if (!file) return false;

    // Blocks are read straight into the message buffer behind its header: no extra copy.
    char* block = PayloadBuffer();
    for (int32_t sequence = 1;; ++sequence) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), block, kMaxPayload, &got, nullptr)) return false;
        int32_t length = got ? static_cast<int32_t>(got) : kEndOfFileLength;
        if (!Transact(sequence, block, length)) return false;
        if (abortFlag && *abortFlag) return EndWithCancelledMessage(sequence + 1);
        if (length == kEndOfFileLength) return true;
    }
}

bool PipeChannel::EndWithCancelledMessage(int32_t nextSequence)
{
    // The flag may have risen while the last message waited for its reply: the console
    // still learns of the cancellation from one cancelled message.
    if (lastSentCancelled_) return true;
    Transact(nextSequence, nullptr, 0);
    return true;
}

bool PipeChannel::IsSafeFileName(const char* name)
{
    size_t length = std::strlen(name);
    if (length == 0 || length >= MAX_PATH) return false;
    bool onlyDotsAndSpaces = true;
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) return false;
        if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces) return false; // ".", "..", and names the system would strip to nothing

    // DOS devices, with or without an extension: the part before the first dot, trailing
    // spaces ignored.
    std::string base(name, std::strcspn(name, "."));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : devices)
        if (lstrcmpiA(base.c_str(), device) == 0) return false;
    // COM1 to COM9 and LPT1 to LPT9, compared in ASCII: no locale is involved (Windows NT
    // 4.0 knows no invariant locale, and a failed comparison would let a port through).
    auto isAsciiPrefix = [&](const char* prefix) {
        for (size_t i = 0; i < 3; ++i) {
            char c = base[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    if (base.size() == 4 && (isAsciiPrefix("COM") || isAsciiPrefix("LPT")) && base[3] >= '1' && base[3] <= '9')
        return false;
    return true;
}

int PipeChannel::ReceiveFile(std::string& fileName, const char* folder)
{
    fileName.clear();
    char* buffer = PayloadBuffer();
    std::memset(buffer, 0, kMaxPayload);
    int32_t length = 0;
    MessageOutcome outcome = ReceiveMessage(buffer, length, 0);
    if (outcome == MessageOutcome::Cancelled) return -3;
    if (outcome != MessageOutcome::Payload) return -1;

    // The name must end inside its own payload.
    const void* end = std::memchr(buffer, '\0', static_cast<size_t>(length));
    if (!end) {
        SetLastError(ERROR_INVALID_NAME);
        return -1;
    }
    fileName.assign(buffer);
    if (IsTerminatorName(fileName.c_str())) return 0;
    if (!IsSafeFileName(fileName.c_str())) {
        SetLastError(ERROR_INVALID_NAME);
        return -1;
    }

    std::string path = win::Format("%s\\%s", folder, fileName.c_str());
    win::Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) return -1;
    for (int32_t sequence = 1;; ++sequence) {
        outcome = ReceiveMessage(buffer, length, sequence);
        switch (outcome) {
        case MessageOutcome::Payload: {
            // A disk that fills may first take part of a block without an error: the rest
            // is written again, so that the failure carries the system's code (112).
            const char* cursor = buffer;
            DWORD left = static_cast<DWORD>(length);
            while (left) {
                DWORD written = 0;
                if (!WriteFile(file.Get(), cursor, left, &written, nullptr)) return -1;
                if (written == 0) {
                    SetLastError(ERROR_DISK_FULL);
                    return -1;
                }
                cursor += written;
                left -= written;
            }
            break;
        }
        case MessageOutcome::EndOfFile:
            return 0;
        case MessageOutcome::Cancelled:
            return -3;
        case MessageOutcome::Failed:
            return -1;
        }
    }
}
