#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "AgentRun.h"
#include "Handle.h"
#include "PipeTestSupport.h"
#include "Service.h"
#include "TestSupport.h"

using namespace testing_support;

TEST(StartArguments, DecimalNumbersOnlyAndAbsentAsZero)
{
    EXPECT_EQ(30, ParseStartArgument("30"));
    EXPECT_EQ(-3600, ParseStartArgument("-3600"));
    EXPECT_EQ(1, ParseStartArgument("+1"));
    for (const char* notDecimal : {"", "-", "abc", "12abc", " 5", "0x10", "1.5"}) {
        EXPECT_EQ(0, ParseStartArgument(notDecimal)) << notDecimal;
    }
    EXPECT_EQ(0, ParseStartArgument(nullptr));
    EXPECT_EQ(INT32_MAX, ParseStartArgument("99999999999999999999"));

    char service[] = "Vantoro", limit[] = "600", always[] = "1", quota[] = "x";
    char* argv[] = {service, limit, always, quota};
    StartArguments all = ReadStartArguments(4, argv);
    EXPECT_EQ(600, all.timeLimitSeconds);
    EXPECT_EQ(1, all.alwaysCopyFiles);
    EXPECT_EQ(0, all.checkRegQuota);
    StartArguments none = ReadStartArguments(1, argv);
    EXPECT_EQ(0, none.timeLimitSeconds);
    EXPECT_EQ(0, none.alwaysCopyFiles);
    EXPECT_EQ(0, none.checkRegQuota);
}

TEST(StartArguments, TimeLimitInMillisecondsOrNone)
{
    EXPECT_EQ(INFINITE, TimeLimitMilliseconds(0));
    EXPECT_EQ(INFINITE, TimeLimitMilliseconds(-3600));
    EXPECT_EQ(30000u, TimeLimitMilliseconds(30));
    // Seconds whose milliseconds do not fit 32 bits stay a long limit, not a wrapped short one.
    EXPECT_EQ(INFINITE - 1, TimeLimitMilliseconds(5000000));
    EXPECT_EQ(INFINITE - 1, TimeLimitMilliseconds(INT32_MAX));
}

TEST(AgentRun, SecondSendStatusWritesNothing)
{
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    AgentRun run(stop.Get());
    pipe_test::PipePair pair([&](PipeChannel& server) {
        run.SendStatus(1, 0, "Success", server);
        run.SendStatus(0, 0xC0000001, "Rdisk disappeared", server);
    });
    ASSERT_TRUE(pair.opened);
    AgentStatus status{};
    ASSERT_TRUE(pair.client.ReadExact(&status, sizeof(status), true));
    EXPECT_EQ(1u, status.succeeded);
    EXPECT_EQ(0u, status.code);
    EXPECT_STREQ("Success", status.text);
    pair.client.timeout = 1000;
    AgentStatus second{};
    EXPECT_FALSE(pair.client.ReadExact(&second, sizeof(second), true));
    pair.client.CancelPending();
}

namespace {

struct ReceivedFolder {
    std::vector<std::string> names; // in arrival order, terminator included
    int lastResult = 0;
};

ReceivedFolder ReceiveAll(PipeChannel& client, const std::string& folder)
{
    ReceivedFolder received;
    for (int i = 0; i < 100; ++i) {
        std::string name;
        received.lastResult = client.ReceiveFile(name, folder.c_str());
        if (received.lastResult != 0) break;
        received.names.push_back(name);
        if (name == kFinishName || name == kErrorName) break;
    }
    return received;
}

} // namespace

TEST(AgentRun, FolderSendsPlainFilesOnlyThenFinish)
{
    TempFolder source("ars"), target("art");
    const std::string big = PatternBytes(45000, 4);
    ASSERT_TRUE(WriteWholeFile(source / "system._", big));
    ASSERT_TRUE(WriteWholeFile(source / "empty", ""));
    ASSERT_TRUE(WriteWholeFile(source / "setup.log", "[Paths]\r\n"));
    ASSERT_TRUE(WriteWholeFile(source / "$$hive$$.tmp", "partial"));
    ASSERT_TRUE(CreateDirectoryA((source / "Sub").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(source / "Sub\\inner", "x"));
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));

    bool sent = false;
    pipe_test::PipePair pair([&](PipeChannel& server) { sent = SendFolderFiles(server, stop.Get(), source.Path()); });
    ASSERT_TRUE(pair.opened);
    ReceivedFolder received = ReceiveAll(pair.client, target.Path());
    pair.Join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(0, received.lastResult);
    ASSERT_FALSE(received.names.empty());
    EXPECT_EQ(kFinishName, received.names.back());
    EXPECT_EQ((std::vector<std::string>{"empty", "setup.log", "system._"}), ListFiles(target.Path()));
    std::string copy;
    ASSERT_TRUE(ReadWholeFile(target / "system._", copy));
    EXPECT_EQ(big, copy);
}

TEST(AgentRun, FolderWithOnlyLeftoversSendsOnlyFinish)
{
    TempFolder source("arl"), target("arm");
    ASSERT_TRUE(WriteWholeFile(source / "$$hive$$.tmp", "partial"));
    ASSERT_TRUE(CreateDirectoryA((source / "Sub").c_str(), nullptr));
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    pipe_test::PipePair pair([&](PipeChannel& server) { SendFolderFiles(server, stop.Get(), source.Path()); });
    ASSERT_TRUE(pair.opened);
    ReceivedFolder received = ReceiveAll(pair.client, target.Path());
    EXPECT_EQ((std::vector<std::string>{kFinishName}), received.names);
    EXPECT_TRUE(ListFiles(target.Path()).empty());
}

TEST(AgentRun, StopOrMissingFolderEndsWithoutTerminator)
{
    TempFolder source("arx");
    ASSERT_TRUE(WriteWholeFile(source / "a", "a"));
    win::Handle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr)); // already set
    bool stoppedResult = true, missingResult = true;
    pipe_test::PipePair pair([&](PipeChannel& server) {
        stoppedResult = SendFolderFiles(server, stop.Get(), source.Path());
        win::Handle clear(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        missingResult = SendFolderFiles(server, clear.Get(), source / "absent");
        // Anything sent so far would be waiting in the pipe; mark the end with our own message.
        server.SendFile(kErrorName, "");
    });
    ASSERT_TRUE(pair.opened);
    TempFolder target("ary");
    ReceivedFolder received = ReceiveAll(pair.client, target.Path());
    pair.Join();
    EXPECT_FALSE(stoppedResult);
    EXPECT_FALSE(missingResult);
    // Only the marker arrived: neither call sent a file or a terminator of its own.
    EXPECT_EQ((std::vector<std::string>{kErrorName}), received.names);
}

TEST(ServiceEvents, StopsArrivingWhileAndAfterTheRunEndsFindLiveEvents)
{
    ServiceEvents events;
    events.RequestStop(10, [] { ADD_FAILURE() << "no events, nothing to wait for"; });
    ASSERT_TRUE(events.Create());
    HANDLE stop = events.StopEvent();

    // A stop during the run: the handler reports while it waits, and returns at the end.
    std::atomic<int> reports{0};
    std::thread handler([&] { events.RequestStop(20, [&] { ++reports; }); });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stop, 5000));
    for (int i = 0; i < 500 && reports < 2; ++i) Sleep(10);
    EXPECT_GE(reports, 2);
    events.Finish();
    handler.join();

    // A stop after the run's end, before the dispatcher has returned: the same events,
    // still open, and no wait.
    const DWORD begin = GetTickCount();
    events.RequestStop(5000, [] { ADD_FAILURE() << "the run has ended"; });
    EXPECT_LT(GetTickCount() - begin, 1000u);
    EXPECT_EQ(stop, events.StopEvent());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stop, 0));

    events.Close();
    events.RequestStop(10, [] { ADD_FAILURE() << "closed events are not waited on"; });
}
