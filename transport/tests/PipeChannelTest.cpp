#include <gtest/gtest.h>

#include <aclapi.h>

#include <chrono>

#include "Handle.h"
#include "PipeTestSupport.h"
#include "TestSupport.h"

using pipe_test::PipePair;
using testing_support::TempFolder;

namespace {

struct Seen {
    int32_t sequence;
    int32_t length;
    int32_t status;
    std::string payload;
};

// Reads framed messages the way the console does, answering each, until a terminator
// name or `limit` messages; records what crossed the pipe.
std::vector<Seen> RecordMessages(PipeChannel& client, size_t limit = 1000)
{
    std::vector<Seen> seen;
    std::vector<char> buffer(kMaxPayload);
    while (seen.size() < limit) {
        MessageHeader header = {};
        if (!client.ReadExact(&header, sizeof(header), true)) break;
        Seen item{header.sequence, header.length, header.status, {}};
        if (header.status == 0 && header.length > 0) {
            if (!client.ReadExact(buffer.data(), static_cast<DWORD>(header.length), true)) break;
            item.payload.assign(buffer.data(), static_cast<size_t>(header.length));
        }
        client.WriteExact(&header, sizeof(header), true);
        seen.push_back(item);
        if (item.sequence == 0 && (item.payload == std::string(kFinishName, sizeof(kFinishName)) ||
                                   item.payload == std::string(kErrorName, sizeof(kErrorName))))
            break;
    }
    return seen;
}

std::string Name(const char* text)
{
    return std::string(text, std::strlen(text) + 1);
}

} // namespace

TEST(PipeChannel, FileStreamFramesEmptyAndTwoBlockFilesAsTheProtocolSays)
{
    TempFolder folder;
    ASSERT_TRUE(testing_support::WriteWholeFile(folder / "empty.bin", ""));
    std::string big = testing_support::PatternBytes(40000, 1);
    ASSERT_TRUE(testing_support::WriteWholeFile(folder / "big.bin", big));

    std::vector<bool> sent;
    PipePair pair([&](PipeChannel& server) {
        sent.push_back(server.SendFile("empty.bin", folder.Path().c_str()));
        sent.push_back(server.SendFile("big.bin", folder.Path().c_str()));
        sent.push_back(server.SendFile(kFinishName, folder.Path().c_str()));
    });
    ASSERT_TRUE(pair.opened);
    std::vector<Seen> seen = RecordMessages(pair.client);
    pair.Join();

    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[0].sequence, 0);
    EXPECT_EQ(seen[0].payload, Name("empty.bin"));
    EXPECT_EQ(seen[0].length, 10);
    EXPECT_EQ(seen[1].sequence, 1);
    EXPECT_EQ(seen[1].status, MessageStatus::EndOfFile);
    EXPECT_EQ(seen[1].length, -2);
    EXPECT_EQ(seen[2].payload, Name("big.bin"));
    EXPECT_EQ(seen[3].sequence, 1);
    EXPECT_EQ(seen[3].length, 20000);
    EXPECT_EQ(seen[4].sequence, 2);
    EXPECT_EQ(seen[3].payload + seen[4].payload, big);
    EXPECT_EQ(seen[5].sequence, 3);
    EXPECT_EQ(seen[5].status, MessageStatus::EndOfFile);
    EXPECT_EQ(seen[6].sequence, 0);
    EXPECT_EQ(seen[6].payload, Name(kFinishName));
    EXPECT_EQ(sent, std::vector<bool>({true, true, true}));
}

TEST(PipeChannel, EmptyFolderListingIsOneFinishNameMessage)
{
    PipePair pair([](PipeChannel& server) { server.SendFile(kFinishName, "C:\\nowhere"); });
    ASSERT_TRUE(pair.opened);
    std::vector<Seen> seen = RecordMessages(pair.client);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].sequence, 0);
    EXPECT_EQ(seen[0].payload, Name(kFinishName));
}

TEST(PipeChannel, HeaderOfAFullMessageIsReadAloneAndThePayloadFollows)
{
    std::string payload = testing_support::PatternBytes(kMaxPayload, 7);
    PipePair pair([&](PipeChannel& server) {
        std::string message = pipe_test::FramedMessage(1, kMaxPayload, 0, payload);
        ASSERT_EQ(message.size(), kMaxMessage);
        server.WriteExact(message.data(), static_cast<DWORD>(message.size()), true);
    });
    ASSERT_TRUE(pair.opened);
    MessageHeader header = {};
    ASSERT_TRUE(pair.client.ReadExact(&header, sizeof(header), true));
    EXPECT_EQ(header.length, 20000);
    std::string rest(kMaxPayload, '\0');
    ASSERT_TRUE(pair.client.ReadExact(rest.data(), kMaxPayload, true));
    EXPECT_EQ(rest, payload);
}

TEST(PipeChannel, FilesCrossByteForByteAndReplaceExistingFiles)
{
    TempFolder source;
    TempFolder target;
    const size_t sizes[] = {0, 1, 19999, 20000, 20001, 40000, 100003};
    std::vector<std::string> names;
    for (size_t size : sizes) {
        names.push_back(win::Format("file%zu.dat", size));
        ASSERT_TRUE(testing_support::WriteWholeFile(source / names.back(),
                                                    testing_support::PatternBytes(size, unsigned(size))));
    }
    ASSERT_TRUE(testing_support::WriteWholeFile(target / "file40000.dat", std::string(99999, 'z')));

    PipePair pair([&](PipeChannel& server) {
        for (const std::string& name : names) server.SendFile(name.c_str(), source.Path().c_str());
        server.SendFile(kFinishName, source.Path().c_str());
    });
    ASSERT_TRUE(pair.opened);
    std::string received;
    for (size_t i = 0; i <= names.size(); ++i) {
        ASSERT_EQ(pair.client.ReceiveFile(received, target.Path().c_str()), 0) << i;
        if (i < names.size()) {
            EXPECT_EQ(received, names[i]);
        }
    }
    EXPECT_EQ(received, kFinishName);
    pair.Join();

    for (const std::string& name : names) {
        std::string expected, actual;
        ASSERT_TRUE(testing_support::ReadWholeFile(source / name, expected));
        ASSERT_TRUE(testing_support::ReadWholeFile(target / name, actual)) << name;
        EXPECT_EQ(actual, expected) << name;
    }
    EXPECT_EQ(testing_support::ListFiles(target.Path()).size(), names.size()); // no "<Finish>" file
}

TEST(PipeChannel, TerminatorNamesCreateNoFileAndOtherLetterCaseIsNoTerminator)
{
    TempFolder target;
    PipePair pair([](PipeChannel& server) {
        pipe_test::SendRaw(server, pipe_test::NameMessage("<ERROR>"));
        pipe_test::SendRaw(server, pipe_test::NameMessage(kErrorName));
    });
    ASSERT_TRUE(pair.opened);
    std::string name;
    // Not a terminator: taken as a file name, which the output folder cannot hold.
    EXPECT_EQ(pair.client.ReceiveFile(name, target.Path().c_str()), -1);
    EXPECT_EQ(name, "<ERROR>");
    EXPECT_EQ(pair.client.ReceiveFile(name, target.Path().c_str()), 0);
    EXPECT_EQ(name, kErrorName);
    EXPECT_TRUE(testing_support::ListFiles(target.Path()).empty());
}

TEST(PipeChannel, AbortFlagTurnsTheNextMessageIntoACancelledOne)
{
    TempFolder source;
    TempFolder target;
    ASSERT_TRUE(testing_support::WriteWholeFile(source / "a.bin", testing_support::PatternBytes(50000, 3)));
    volatile LONG abort = 0;
    bool sentFirst = false, sentSecond = false;
    PipePair pair([&](PipeChannel& server) {
        server.abortFlag = &abort;
        sentFirst = server.SendFile("a.bin", source.Path().c_str());
        InterlockedExchange(&abort, 1);
        sentSecond = server.SendFile("a.bin", source.Path().c_str());
    });
    ASSERT_TRUE(pair.opened);
    std::string name;
    EXPECT_EQ(pair.client.ReceiveFile(name, target.Path().c_str()), 0);
    std::vector<Seen> seen = RecordMessages(pair.client, 1);
    pair.Join();
    EXPECT_TRUE(sentFirst);
    EXPECT_TRUE(sentSecond);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].status, MessageStatus::Cancelled);
    EXPECT_EQ(seen[0].length, 6); // the count that was not sent
    EXPECT_TRUE(seen[0].payload.empty());
}

TEST(PipeChannel, CancelledTransferEndsReceiveFileWithMinusThree)
{
    TempFolder source;
    TempFolder target;
    ASSERT_TRUE(testing_support::WriteWholeFile(source / "a.bin", testing_support::PatternBytes(70000, 3)));
    volatile LONG abort = 0;
    PipePair pair([&](PipeChannel& server) {
        server.abortFlag = &abort;
        // The flag rises while the file is on its way: after the name and one block.
        ASSERT_TRUE(server.Transact(0, "a.bin", 6));
        char block[100] = {};
        ASSERT_TRUE(server.Transact(1, block, sizeof(block)));
        InterlockedExchange(&abort, 1);
        server.Transact(2, block, sizeof(block));
    });
    ASSERT_TRUE(pair.opened);
    std::string name;
    EXPECT_EQ(pair.client.ReceiveFile(name, target.Path().c_str()), -3);
    EXPECT_EQ(name, "a.bin");
}

TEST(PipeChannel, SenderThatSkipsOrReplacesAMessageFailsTheFile)
{
    using pipe_test::FramedMessage;
    using pipe_test::NameMessage;
    const std::string block1 = testing_support::PatternBytes(20000, 1);
    const std::string block2 = testing_support::PatternBytes(700, 2);
    const std::string unreadable = FramedMessage(2, 30000, 0, std::string(kMaxPayload, 'x'));
    struct Case {
        const char* what;
        std::vector<std::string> messages;
        int result;
        std::vector<int32_t> replies;
    };
    const Case cases[] = {
        {"skips the second block",
         {NameMessage("a.bin"), FramedMessage(1, 20000, 0, block1), FramedMessage(3, -2, -2, "")}, -1, {0, 0, -1}},
        {"answers a failed block with the end of file",
         {NameMessage("a.bin"), FramedMessage(1, 20000, 0, block1), unreadable, FramedMessage(3, -2, -2, "")},
         -1, {0, 0, -1, -1}},
        {"answers a failed block with the next block",
         {NameMessage("a.bin"), FramedMessage(1, 20000, 0, block1), unreadable, FramedMessage(3, 700, 0, block2)},
         -1, {0, 0, -1, -1}},
        {"ends an empty file with the wrong number",
         {NameMessage("a.bin"), FramedMessage(2, -2, -2, "")}, -1, {0, -1}},
        {"numbers its name as data", {FramedMessage(1, 6, 0, std::string("a.bin", 6))}, -1, {-1}},
        {"resends the failed block with its number",
         {NameMessage("a.bin"), FramedMessage(1, 20000, 0, block1), unreadable, FramedMessage(2, 700, 0, block2),
          FramedMessage(3, -2, -2, "")},
         0, {0, 0, -1, 0, -2}},
    };
    for (const Case& c : cases) {
        TempFolder target;
        std::vector<int32_t> replies;
        PipePair pair([&](PipeChannel& server) {
            for (const std::string& message : c.messages) {
                MessageHeader reply = {};
                if (!pipe_test::SendRaw(server, message, &reply)) break;
                replies.push_back(reply.status);
            }
        });
        ASSERT_TRUE(pair.opened);
        std::string name;
        EXPECT_EQ(pair.client.ReceiveFile(name, target.Path().c_str()), c.result) << c.what;
        if (c.result != 0) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << c.what;
        }
        pair.client.Close(); // the console ends the conversation after a failed file
        pair.Join();
        EXPECT_EQ(replies, c.replies) << c.what;
        if (c.result == 0) {
            std::string content;
            ASSERT_TRUE(testing_support::ReadWholeFile(target / "a.bin", content));
            EXPECT_EQ(content, block1 + block2);
        }
    }
}

TEST(PipeChannel, FailedRepliesCauseResendsAndTheThirdFailureFailsTransact)
{
    for (int failures : {2, 3}) {
        bool result = true;
        PipePair pair([&](PipeChannel& server) { result = server.Transact(4, "abc", 3); });
        ASSERT_TRUE(pair.opened);
        int received = 0;
        for (int i = 0; i < 3; ++i) {
            MessageHeader header = {};
            char payload[3];
            if (!pair.client.ReadExact(&header, sizeof(header), true)) break;
            ASSERT_EQ(header.sequence, 4);
            ASSERT_TRUE(pair.client.ReadExact(payload, 3, true));
            ++received;
            if (received <= failures) header.status = MessageStatus::Failed;
            ASSERT_TRUE(pair.client.WriteExact(&header, sizeof(header), true));
            if (received > failures) break;
        }
        pair.Join();
        EXPECT_EQ(received, 3) << failures;
        EXPECT_EQ(result, failures < 3) << failures;
    }
}

TEST(PipeChannel, SignalledCancelEventFailsAReadEvenWithDataWaiting)
{
    HANDLE cancel = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    win::Handle owner(cancel);
    AgentStatus status = {1, 0, "Success"};
    PipePair pair([&](PipeChannel& server) { server.WriteExact(&status, sizeof(status), true); });
    ASSERT_TRUE(pair.opened);
    pair.client.cancelEvent = cancel;
    AgentStatus got = {};
    EXPECT_FALSE(pair.client.ReadExact(&got, sizeof(got), true));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    pair.client.cancelEvent = nullptr;
    EXPECT_TRUE(pair.client.ReadExact(&got, sizeof(got), true)); // the data is still there
    EXPECT_STREQ(got.text, "Success");
}

TEST(PipeChannel, AReadThatTimedOutIsCancelledSoTheNextReadGetsTheData)
{
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    win::Handle owner(go);
    PipePair pair([&](PipeChannel& server) {
        WaitForSingleObject(go, 10000);
        server.WriteExact("hello", 5, true);
        char ack;
        server.ReadExact(&ack, 1, true);
    });
    ASSERT_TRUE(pair.opened);
    pair.client.timeout = 200;
    char text[5] = {};
    EXPECT_FALSE(pair.client.ReadExact(text, 5, true));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    SetEvent(go);
    pair.client.timeout = 10000;
    ASSERT_TRUE(pair.client.ReadExact(text, 5, true));
    EXPECT_EQ(std::string(text, 5), "hello");
    pair.client.WriteExact("!", 1, true);
}

TEST(PipeChannel, OpenGivesUpAfterItsAttemptsAndKeepsTheError)
{
    PipeChannel client;
    client.name = pipe_test::UniquePipeName();
    client.openRetryDelay = 50;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(9 * 50 - 20)); // nine pauses between ten attempts
    EXPECT_FALSE(client.IsOpen());
}

TEST(PipeChannel, ListenEndsWhenTheStopEventIsSignalled)
{
    HANDLE stop = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    win::Handle owner(stop);
    PipeChannel server;
    server.name = pipe_test::UniquePipeName();
    EXPECT_FALSE(server.Listen(stop));
    EXPECT_FALSE(server.IsOpen());
}

TEST(PipeChannel, UncNameOfThisComputerReachesTheLocalPipe)
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(computer);
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    std::string name = pipe_test::UniquePipeName();
    PipeChannel server;
    server.name = name;
    server.timeout = 10000;
    std::thread thread([&] {
        if (server.Listen(nullptr)) server.WriteExact("x", 1, true);
    });
    PipeChannel client;
    client.name = "\\\\" + std::string(computer) + name.substr(3); // "\\PC\pipe\..."
    client.openRetryDelay = 50;
    client.openAttempts = 100;
    EXPECT_TRUE(client.Open());
    char byte = 0;
    if (client.IsOpen()) {
        EXPECT_TRUE(client.ReadExact(&byte, 1, true));
    }
    EXPECT_EQ(byte, 'x');
    thread.join();
    EXPECT_EQ(PipeChannel::ConsolePipeName("\\\\PC01"), "\\\\PC01\\pipe\\Salvora");
}

TEST(PipeChannel, AgentPipeAdmitsOnlyAdministratorsAndLocalSystem)
{
    PipePair pair([](PipeChannel& server) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(server.handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &descriptor),
                  static_cast<DWORD>(ERROR_SUCCESS));
        win::LocalMemory owner(descriptor);
        ASSERT_NE(dacl, nullptr); // never a NULL DACL
        ASSERT_EQ(dacl->AceCount, 2);
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID admins = nullptr, system = nullptr;
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins);
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
        for (WORD i = 0; i < 2; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            PSID sid = &ace->SidStart;
            EXPECT_TRUE(EqualSid(sid, i == 0 ? admins : system));
        }
        FreeSid(admins);
        FreeSid(system);
    });
    EXPECT_TRUE(pair.opened);
}

TEST(PipeChannel, AbortRaisedWhileAMessageAwaitsItsReplyStillSendsACancelledMessage)
{
    TempFolder source;
    ASSERT_TRUE(testing_support::WriteWholeFile(source / "a.bin", testing_support::PatternBytes(50000, 5)));
    volatile LONG abort = 0;
    bool sent = false;
    PipePair pair([&](PipeChannel& server) {
        server.abortFlag = &abort;
        sent = server.SendFile("a.bin", source.Path().c_str());
    });
    ASSERT_TRUE(pair.opened);
    std::vector<char> buffer(kMaxPayload);
    int32_t length = 0;
    ASSERT_EQ(pair.client.ReceiveMessage(buffer.data(), length, 0), MessageOutcome::Payload); // the name
    // Read the first data message, and raise the flag before answering it.
    MessageHeader header = {};
    ASSERT_TRUE(pair.client.ReadExact(&header, sizeof(header), true));
    ASSERT_TRUE(pair.client.ReadExact(buffer.data(), static_cast<DWORD>(header.length), true));
    InterlockedExchange(&abort, 1);
    ASSERT_TRUE(pair.client.WriteExact(&header, sizeof(header), true));
    std::vector<Seen> seen = RecordMessages(pair.client, 1);
    pair.Join();
    EXPECT_TRUE(sent);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].sequence, 2);
    EXPECT_EQ(seen[0].status, MessageStatus::Cancelled);
}

// Windows NT 4.0's CancelIo reaches only the calling thread's own I/O: a cancel asked for
// by another thread goes through the cancel event to the thread that issued the read.
TEST(PipeChannel, ReadInFlightEndsWhenAnotherThreadSignalsTheCancelEventAndTheDataStaysForTheNextRead)
{
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    win::Handle goOwner(go);
    HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    win::Handle cancelOwner(cancel);
    PipePair pair([&](PipeChannel& server) {
        WaitForSingleObject(go, 10000);
        server.WriteExact("hello", 5, true);
    });
    ASSERT_TRUE(pair.opened);
    pair.client.cancelEvent = cancel;
    std::thread canceller([&] {
        Sleep(300);
        SetEvent(cancel);
    });
    const DWORD begin = GetTickCount();
    char text[6] = {};
    EXPECT_FALSE(pair.client.ReadExact(text, 5, true));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_LT(GetTickCount() - begin, 5000u); // the pipe's own time-out is 10 s
    canceller.join();
    EXPECT_TRUE(HasOverlappedIoCompleted(&pair.client.overlapped)); // the record is free again
    pair.client.cancelEvent = nullptr;
    SetEvent(go);
    EXPECT_TRUE(pair.client.ReadExact(text, 5, true));
    EXPECT_STREQ(text, "hello");
}

// A channel closed by a thread that did not issue its pending read: CancelIo cannot reach
// that read, so the pipe is closed under it. The close returns at once (CancelIo and a wait
// for the read would wait as long as the read lasts), and the reader's read fails: on
// Windows as the handle goes, under Wine (which leaves it pending) at its own time-out.
TEST(PipeChannel, CloseOnAnotherThreadClosesThePipeUnderTheReadInFlight)
{
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    win::Handle doneOwner(done);
    PipePair pair([&](PipeChannel&) { WaitForSingleObject(done, 30000); }, 3000);
    ASSERT_TRUE(pair.opened);
    pair.client.timeout = 30000;
    std::atomic<bool> readResult{true};
    std::thread reader([&] {
        char byte = 0;
        pair.client.timeout = 3000;
        readResult = pair.client.ReadExact(&byte, 1, true);
    });
    // The read is in flight once the record says so.
    for (int i = 0; i < 200 && HasOverlappedIoCompleted(&pair.client.overlapped); ++i) Sleep(10);
    ASSERT_FALSE(HasOverlappedIoCompleted(&pair.client.overlapped));
    const DWORD begin = GetTickCount();
    pair.client.Close();
    EXPECT_LT(GetTickCount() - begin, 2000u);
    EXPECT_FALSE(pair.client.IsOpen());
    reader.join();
    EXPECT_FALSE(readResult.load());
    SetEvent(done);
}

// Someone made the agent's pipe first, with the security any program gets. The agent
// cannot make its own under that name, and the console refuses the squatter's pipe at the
// first attempt (its server is not owned by the system or the administrators): no
// answer of the squatter's is ever read.
TEST(PipeChannel, SquattedPipeIsRefusedAndTheAgentCannotJoinIt)
{
    const std::string name = pipe_test::UniquePipeName();
    win::Handle squatter(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kMaxMessage,
                                          kMaxMessage, 1000, nullptr));
    ASSERT_TRUE(squatter);

    PipeChannel agent;
    agent.name = name;
    agent.timeout = 1000;
    EXPECT_FALSE(agent.Listen(nullptr));
    EXPECT_FALSE(agent.IsOpen());

    win::Handle connected(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED connect = {};
    connect.hEvent = connected.Get();
    if (!ConnectNamedPipe(squatter.Get(), &connect)) {
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }

    PipeChannel console;
    console.name = name;
    console.openRetryDelay = 200;
    EXPECT_FALSE(console.Open());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_OWNER));
    EXPECT_FALSE(console.IsOpen());

    // The console came once and went: the squatter finds the pipe broken, and no second
    // attempt follows.
    ASSERT_EQ(WaitForSingleObject(connected.Get(), 5000), WAIT_OBJECT_0);
    char byte = 0;
    DWORD got = 0;
    OVERLAPPED read = {};
    read.hEvent = connected.Get();
    ResetEvent(connected.Get());
    if (!ReadFile(squatter.Get(), &byte, 1, &got, &read) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(squatter.Get(), &read, &got, TRUE);
    EXPECT_EQ(got, 0u);
    DisconnectNamedPipe(squatter.Get());
    ResetEvent(connected.Get());
    connect = OVERLAPPED{};
    connect.hEvent = connected.Get();
    bool again = ConnectNamedPipe(squatter.Get(), &connect) || GetLastError() == ERROR_PIPE_CONNECTED ||
                 WaitForSingleObject(connected.Get(), 1000) == WAIT_OBJECT_0;
    EXPECT_FALSE(again);
    CancelIo(squatter.Get());
}

// The agent's pipe is owned by the Administrators group, which is what the console checks.
TEST(PipeChannel, AgentPipeIsOwnedByTheAdministrators)
{
    PipePair pair([](PipeChannel& server) {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(server.handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                  nullptr, nullptr, &descriptor),
                  static_cast<DWORD>(ERROR_SUCCESS));
        win::LocalMemory hold(descriptor);
        ASSERT_NE(owner, nullptr);
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID admins = nullptr;
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins);
        EXPECT_TRUE(EqualSid(owner, admins));
        FreeSid(admins);
    });
    EXPECT_TRUE(pair.opened);
}
