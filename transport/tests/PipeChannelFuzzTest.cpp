// The console's receiving side fed with malformed framed messages: it must fail cleanly,
// never read or write past its buffer, and create files only inside the output folder.
#include <gtest/gtest.h>

#include <random>

#include "PipeTestSupport.h"
#include "TestSupport.h"

using pipe_test::FramedMessage;
using pipe_test::NameMessage;
using pipe_test::PipePair;
using pipe_test::SendRaw;
using testing_support::TempFolder;

TEST(PipeChannelMalformed, LengthsTheBufferCannotHoldFailTheMessageWithoutOverrun)
{
    struct Case {
        int32_t length;
        size_t payloadBytes;
    };
    const Case cases[] = {{30000, kMaxPayload}, {20001, kMaxPayload}, {-5, 10}, {INT32_MIN, 0}, {100, 150}};
    for (const Case& c : cases) {
        std::vector<int32_t> replies;
        PipePair pair([&](PipeChannel& server) {
            MessageHeader reply = {};
            if (SendRaw(server, FramedMessage(1, c.length, 0, std::string(c.payloadBytes, 'q')), &reply))
                replies.push_back(reply.status);
            if (SendRaw(server, FramedMessage(2, 4, 0, "good"), &reply)) replies.push_back(reply.status);
        });
        ASSERT_TRUE(pair.opened);
        std::vector<char> buffer(kMaxPayload + 64, '#');
        int32_t length = -99;
        MessageOutcome outcome = pair.client.ReceiveMessage(buffer.data(), length);
        pair.Join();
        EXPECT_EQ(outcome, MessageOutcome::Payload) << c.length;
        EXPECT_EQ(length, 4);
        EXPECT_EQ(std::string(buffer.data(), 4), "good");
        for (size_t i = kMaxPayload; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << c.length;
        ASSERT_EQ(replies.size(), 2u) << c.length;
        EXPECT_EQ(replies[0], MessageStatus::Failed) << c.length;
        EXPECT_EQ(replies[1], MessageStatus::Payload);
    }
}

TEST(PipeChannelMalformed, UnsafeNamesCreateNothing)
{
    const std::string names[] = {
        "..\\evil.txt", "sub/evil.txt", "C:evil.txt", "evil.txt:stream", "", ".", "..", "...", "CON", "con.txt",
        "Nul", "PRN.log", "aux", "COM1", "com9.bin", "LPT1", "lpt5.txt", "CON .txt", std::string("a\x01b"),
        std::string(260, 'n'), "\\\\server\\share\\x"};
    TempFolder parent;
    std::string output = parent / "out";
    ASSERT_TRUE(CreateDirectoryA(output.c_str(), nullptr));
    for (const std::string& name : names) {
        PipePair pair([&](PipeChannel& server) {
            MessageHeader reply = {};
            SendRaw(server, NameMessage(name), &reply);
        });
        ASSERT_TRUE(pair.opened);
        std::string received;
        EXPECT_EQ(pair.client.ReceiveFile(received, output.c_str()), -1) << name;
    }
    // A name without its terminating NUL inside the payload.
    PipePair pair([&](PipeChannel& server) { SendRaw(server, FramedMessage(0, 4, 0, "abcd")); });
    ASSERT_TRUE(pair.opened);
    std::string received;
    EXPECT_EQ(pair.client.ReceiveFile(received, output.c_str()), -1);
    pair.Join();

    EXPECT_TRUE(testing_support::ListFiles(output).empty());
    EXPECT_EQ(testing_support::ListFiles(parent.Path()).size(), 0u);
    EXPECT_TRUE(PipeChannel::IsSafeFileName("system._"));
    EXPECT_TRUE(PipeChannel::IsSafeFileName("COM10"));
    EXPECT_TRUE(PipeChannel::IsSafeFileName("console.log"));
}

TEST(PipeChannelMalformed, RandomMessagesFailCleanlyAndWriteOnlyInsideTheFolder)
{
    TempFolder parent;
    std::string output = parent / "out";
    ASSERT_TRUE(CreateDirectoryA(output.c_str(), nullptr));
    const char* someNames[] = {"a.bin", "..\\up.bin", "CON", "b/c", "<Error>", "<finish>", "sam._", "x:y"};

    for (unsigned seed = 1; seed <= 12; ++seed) {
        PipePair pair(
            [&](PipeChannel& server) {
                std::mt19937 random(seed);
                auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
                for (int i = 0; i < 60; ++i) {
                    std::string message;
                    switch (pick(6)) {
                    case 0:
                        message = NameMessage(someNames[pick(8)]);
                        break;
                    case 1: { // truncated: shorter than a header
                        message = FramedMessage(pick(4), pick(100), 0, "").substr(0, size_t(pick(28)));
                        if (message.empty()) message = "z";
                        break;
                    }
                    case 2: { // any status and length, payload of another size
                        const int32_t statuses[] = {0, -1, -2, -3, 7, INT32_MIN};
                        const int32_t lengths[] = {0, 1, -1, -2, 20000, 20001, INT32_MAX, pick(30000)};
                        message = FramedMessage(pick(5), lengths[pick(8)], statuses[pick(6)],
                                                testing_support::PatternBytes(size_t(pick(20000)), seed + unsigned(i)));
                        break;
                    }
                    case 3: { // a consistent data message
                        std::string data = testing_support::PatternBytes(size_t(pick(20001)), unsigned(i));
                        message = FramedMessage(1 + pick(3), int32_t(data.size()), 0, data);
                        break;
                    }
                    case 4:
                        message = FramedMessage(2, -2, -2, "");
                        break;
                    default: // a name with bytes after its terminator, or none at all
                        message = FramedMessage(0, 12, 0, pick(2) ? std::string("ok.txt\0junk!", 12) : "no-terminator");
                        break;
                    }
                    if (!SendRaw(server, message)) break;
                }
                SendRaw(server, NameMessage(kFinishName));
            },
            3000);
        ASSERT_TRUE(pair.opened);
        pair.client.timeout = 3000;
        for (int call = 0; call < 200; ++call) {
            std::string name;
            int result = pair.client.ReceiveFile(name, output.c_str());
            ASSERT_TRUE(result == 0 || result == -1 || result == -3) << result;
            if (result == 0 && name == kFinishName) break;
            DWORD error = GetLastError();
            if (result == -1 && (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)) break;
        }
        pair.Join();
        // Only the output folder is in the parent, and only safe names are in it.
        std::vector<std::string> outside = testing_support::ListFiles(parent.Path());
        EXPECT_TRUE(outside.empty()) << seed;
        for (const std::string& file : testing_support::ListFiles(output))
            EXPECT_TRUE(PipeChannel::IsSafeFileName(file.c_str())) << file;
    }
}
