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
            if (SendRaw(server, FramedMessage(1, 4, 0, "good"), &reply)) replies.push_back(reply.status);
        });
        ASSERT_TRUE(pair.opened);
        std::vector<char> buffer(kMaxPayload + 64, '#');
        int32_t length = -99;
        MessageOutcome outcome = pair.client.ReceiveMessage(buffer.data(), length, 1);
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

namespace {

// One file the sender attempts: the raw messages it puts on the pipe, each answered, and
// what the receiver's ReceiveFile must make of them.
struct Round {
    std::vector<std::string> messages;
    int result = 0;
    std::string name;    // checked when the result is 0
    std::string content; // the received file's bytes, for a result of 0
    bool wrongNumber = false;
};

// Makes rounds of well-formed and malformed transfers whose outcome follows from the
// protocol: a message that cannot be read is answered -1 and read again (three times in
// all), a message numbered out of order fails the file at once.
class RoundMaker {
public:
    explicit RoundMaker(unsigned seed) : random_(seed), seed_(seed) {}

    Round Make(int index)
    {
        Round round;
        const std::string name = "r" + std::to_string(seed_) + "_" + std::to_string(index) + ".bin";
        switch (Pick(8)) {
        case 0: { // a whole file, one of its messages unreadable once and resent with its number
            round.name = name;
            round.messages.push_back(NameMessage(name));
            const int blocks = Pick(4);
            const int broken = 1 + Pick(blocks + 1);
            for (int sequence = 1; sequence <= blocks + 1; ++sequence) {
                if (sequence == broken) round.messages.push_back(Unreadable(sequence));
                if (sequence <= blocks) round.messages.push_back(Data(sequence, round.content));
                else round.messages.push_back(FramedMessage(sequence, kEndOfFileLength, MessageStatus::EndOfFile, ""));
            }
            round.result = 0;
            break;
        }
        case 1: { // a name the output folder must not take, or one without its terminator
            const char* unsafe[] = {"..\\up.bin", "CON", "b/c", "<finish>", "x:y", "lpt3.txt"};
            round.messages.push_back(Pick(2) ? NameMessage(unsafe[Pick(6)])
                                             : FramedMessage(0, 13, 0, "no-terminator"));
            round.result = -1;
            break;
        }
        case 2: { // three unreadable copies of one message
            std::string content;
            const int sequence = Pick(3);
            if (sequence > 0) round.messages.push_back(NameMessage(name));
            for (int s = 1; s < sequence; ++s) round.messages.push_back(Data(s, content));
            for (int attempt = 0; attempt < 3; ++attempt) round.messages.push_back(Unreadable(sequence));
            round.result = -1;
            break;
        }
        case 3: { // a message skipped, repeated or numbered as a name inside the file
            round.messages.push_back(NameMessage(name));
            const int good = Pick(3);
            std::string content;
            for (int s = 1; s <= good; ++s) round.messages.push_back(Data(s, content));
            const int expected = good + 1;
            const int wrong[] = {expected + 1, expected + 1 + Pick(5), expected - 1, 0, -1};
            round.messages.push_back(AnyKind(wrong[Pick(5)]));
            round.result = -1;
            round.wrongNumber = true;
            break;
        }
        case 4: { // an unreadable message answered not by its resend but by the next one
            round.messages.push_back(NameMessage(name));
            const int good = Pick(3);
            std::string content;
            for (int s = 1; s <= good; ++s) round.messages.push_back(Data(s, content));
            round.messages.push_back(Unreadable(good + 1));
            round.messages.push_back(AnyKind(good + 2));
            round.result = -1;
            round.wrongNumber = true;
            break;
        }
        case 5: { // cancelled by the sender in its place
            const int sequence = Pick(3);
            std::string content;
            if (sequence > 0) round.messages.push_back(NameMessage(name));
            for (int s = 1; s < sequence; ++s) round.messages.push_back(Data(s, content));
            round.messages.push_back(FramedMessage(sequence, Pick(20001), MessageStatus::Cancelled, ""));
            round.result = -3;
            break;
        }
        case 6: // an end of file where the name belongs
            round.messages.push_back(FramedMessage(0, kEndOfFileLength, MessageStatus::EndOfFile, ""));
            round.result = -1;
            break;
        default: // the listing's error name, not a file
            round.messages.push_back(NameMessage(kErrorName));
            round.name = kErrorName;
            round.result = 0;
            break;
        }
        return round;
    }

private:
    int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    std::string Data(int sequence, std::string& content)
    {
        std::string data = testing_support::PatternBytes(size_t(1 + Pick(20000)), random_());
        content += data;
        return FramedMessage(sequence, int32_t(data.size()), MessageStatus::Payload, data);
    }

    // A message with the right number that the receiver cannot take.
    std::string Unreadable(int sequence)
    {
        switch (Pick(6)) {
        case 0:
            return FramedMessage(sequence, 20001 + Pick(100000), 0, std::string(kMaxPayload, 'q'));
        case 1:
            return FramedMessage(sequence, -1 - Pick(1000), 0, "abc");
        case 2: // more payload than announced
            return FramedMessage(sequence, 10, 0, std::string(size_t(11 + Pick(1000)), 'm'));
        case 3: // less payload than announced
            return FramedMessage(sequence, 500, 0, std::string(size_t(Pick(500)), 'l'));
        case 4: // shorter than a header
            return FramedMessage(sequence, 0, 0, "").substr(0, size_t(1 + Pick(27)));
        default: {
            const int32_t unknown[] = {MessageStatus::Failed, 7, INT32_MIN};
            return FramedMessage(sequence, 4, unknown[Pick(3)], "");
        }
        }
    }

    // A data, end-of-file or cancelled message numbered `sequence`.
    std::string AnyKind(int sequence)
    {
        std::string ignored;
        switch (Pick(3)) {
        case 0:
            return Data(sequence, ignored);
        case 1:
            return FramedMessage(sequence, kEndOfFileLength, MessageStatus::EndOfFile, "");
        default:
            return FramedMessage(sequence, 0, MessageStatus::Cancelled, "");
        }
    }

    std::mt19937 random_;
    unsigned seed_;
};

} // namespace

TEST(PipeChannelMalformed, RandomTransfersGiveWhatTheProtocolSaysAndWriteOnlyInsideTheFolder)
{
    TempFolder parent;
    std::string output = parent / "out";
    ASSERT_TRUE(CreateDirectoryA(output.c_str(), nullptr));

    for (unsigned seed = 1; seed <= 12; ++seed) {
        RoundMaker maker(seed);
        std::vector<Round> rounds;
        for (int i = 0; i < 30; ++i) rounds.push_back(maker.Make(i));
        PipePair pair(
            [&](PipeChannel& server) {
                for (const Round& round : rounds)
                    for (const std::string& message : round.messages)
                        if (!SendRaw(server, message)) return;
                SendRaw(server, NameMessage(kFinishName));
            },
            5000);
        ASSERT_TRUE(pair.opened);
        pair.client.timeout = 5000;
        for (size_t i = 0; i < rounds.size(); ++i) {
            const Round& round = rounds[i];
            std::string name;
            const int result = pair.client.ReceiveFile(name, output.c_str());
            const DWORD error = GetLastError();
            ASSERT_EQ(result, round.result) << "seed " << seed << " round " << i;
            if (round.wrongNumber) {
                EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
            }
            if (result != 0) continue;
            EXPECT_EQ(name, round.name);
            if (name == kErrorName) continue;
            std::string content;
            ASSERT_TRUE(testing_support::ReadWholeFile(output + "\\" + name, content)) << name;
            EXPECT_EQ(content, round.content) << name;
        }
        std::string last;
        EXPECT_EQ(pair.client.ReceiveFile(last, output.c_str()), 0);
        EXPECT_EQ(last, kFinishName);
        pair.Join();

        // Only the output folder is in the parent, and only safe names are in it.
        EXPECT_TRUE(testing_support::ListFiles(parent.Path()).empty()) << seed;
        for (const std::string& file : testing_support::ListFiles(output))
            EXPECT_TRUE(PipeChannel::IsSafeFileName(file.c_str())) << file;
    }
}
