#include <gtest/gtest.h>

#include "Handle.h"
#include "NtComputer.h"
#include "RepairTool.h"
#include "TestSupport.h"

using testing_support::BinFolder;
using testing_support::TempFolder;

namespace {

// Sets `event` after `ms` milliseconds: the bound of a watch in a test.
class EventTimer {
public:
    EventTimer(HANDLE event, DWORD ms) : event_(event), ms_(ms)
    {
        thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
    }
    ~EventTimer()
    {
        SetEvent(done_.Get());
        WaitForSingleObject(thread_.Get(), 5000);
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        auto* timer = static_cast<EventTimer*>(self);
        if (WaitForSingleObject(timer->done_.Get(), timer->ms_) == WAIT_TIMEOUT) SetEvent(timer->event_);
        return 0;
    }
    HANDLE event_;
    DWORD ms_;
    win::Handle done_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    win::Handle thread_;
};

// Starts a fixture program of the build under the image name rdisk.exe (or `imageName`).
struct Started {
    win::Handle process;
    DWORD id = 0;
};

Started StartAs(const TempFolder& folder, const char* fixture, const char* imageName = "rdisk.exe")
{
    Started started;
    const std::string image = folder / imageName;
    if (!CopyFileA((BinFolder() + "\\" + fixture).c_str(), image.c_str(), FALSE)) return started;
    std::string commandLine = "\"" + image + "\" -s";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(),
                       &startup, &info)) {
        CloseHandle(info.hThread);
        started.process.Reset(info.hProcess);
        started.id = info.dwProcessId;
    }
    return started;
}

void End(Started& started)
{
    if (started.process) {
        TerminateProcess(started.process.Get(), 0);
        WaitForSingleObject(started.process.Get(), 5000);
    }
}

} // namespace

TEST(RepairTool, CountsThreadsOfRdiskOnly)
{
    TempFolder folder("rtc");
    RepairToolWatch watch;
    ASSERT_TRUE(watch.FindProcessQuery());
    Started slow = StartAs(folder, "rdisk_slow.exe");
    ASSERT_TRUE(slow.process);
    EXPECT_EQ(1, watch.CountRepairToolThreads(slow.id));
    Sleep(1000);
    EXPECT_EQ(2, watch.CountRepairToolThreads(slow.id));
    // Another process's id, and an id of no process, count as no rdisk.exe.
    EXPECT_EQ(0, watch.CountRepairToolThreads(GetCurrentProcessId()));
    EXPECT_EQ(0, watch.CountRepairToolThreads(slow.id + 4000000));
    // The same program under another image name is not rdisk.exe.
    TempFolder other("rto");
    Started renamed = StartAs(other, "rdisk_slow.exe", "notrdisk.exe");
    ASSERT_TRUE(renamed.process);
    EXPECT_EQ(0, watch.CountRepairToolThreads(renamed.id));
    End(slow);
    End(renamed);
    EXPECT_EQ(0, watch.CountRepairToolThreads(slow.id));
    EXPECT_GE(watch.BufferSize(), 65536u);
}

TEST(RepairTool, WithoutProcessQueryTheCountCannotBeRead)
{
    RepairToolWatch watch;
    EXPECT_EQ(-1, watch.CountRepairToolThreads(GetCurrentProcessId()));
}

TEST(RepairTool, WatchJudgesFinishedWorkAndDisappearance)
{
    TempFolder folder("rtw");
    RepairToolWatch watch;
    ASSERT_TRUE(watch.FindProcessQuery());
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EventTimer bound(stop.Get(), 30000);

    Started idle = StartAs(folder, "rdisk_idle.exe");
    ASSERT_TRUE(idle.process);
    DWORD begin = GetTickCount();
    EXPECT_TRUE(watch.WatchRepairTool(idle.id, idle.process.Get(), stop.Get()));
    // One-thread start (0.3 s), work (1.5 s), then the second of grace.
    EXPECT_GE(GetTickCount() - begin, 2500u);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(idle.process.Get(), 0)); // still alive
    End(idle);

    Started gone = StartAs(folder, "rdisk_gone.exe");
    ASSERT_TRUE(gone.process);
    EXPECT_FALSE(watch.WatchRepairTool(gone.id, gone.process.Get(), stop.Get()));
}

TEST(RepairTool, WatchEndsSoonAfterStop)
{
    TempFolder folder("rts");
    RepairToolWatch watch;
    ASSERT_TRUE(watch.FindProcessQuery());
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Started slow = StartAs(folder, "rdisk_slow.exe");
    ASSERT_TRUE(slow.process);
    EventTimer timer(stop.Get(), 1500);
    DWORD begin = GetTickCount();
    EXPECT_TRUE(watch.WatchRepairTool(slow.id, slow.process.Get(), stop.Get()));
    EXPECT_LT(GetTickCount() - begin, 3000u);
    End(slow);
}

// The stand-in itself, found by the ordinary search as the agent starts it.
TEST(RepairTool, StandInWritesCompressedHivesThatExpandByteExactly)
{
    ASSERT_TRUE(nt_computer::Prepare());
    ASSERT_TRUE(nt_computer::ResetRepairFolder());
    RepairToolWatch watch;
    ASSERT_TRUE(watch.FindProcessQuery());
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EventTimer bound(stop.Get(), 60000);
    DWORD id = 0;
    win::Handle process(StartRepairTool(id));
    ASSERT_TRUE(process) << GetLastError();
    EXPECT_TRUE(watch.WatchRepairTool(id, process.Get(), stop.Get()));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(stop.Get(), 0)) << "watch ran out of time";
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);

    const auto files = testing_support::ListFiles(nt_computer::RepairFolder());
    EXPECT_EQ((std::vector<std::string>{"default._", "sam._", "security._", "setup.log", "software._", "system._"}),
              files);
    std::string log;
    ASSERT_TRUE(testing_support::ReadWholeFile(nt_computer::RepairFolder() + "\\setup.log", log));
    TempFolder scratch("rtx");
    for (const char* name : {"sam._", "security._", "software._", "system._", "default._"}) {
        const std::string expanded = scratch / "hive";
        DeleteFileA(expanded.c_str());
        ASSERT_EQ(0, testing_support::RunProgram("expand.exe \"" + nt_computer::RepairFolder() + "\\" + name + "\" \"" +
                                                 expanded + "\""));
        std::string hive;
        ASSERT_TRUE(testing_support::ReadWholeFile(expanded, hive));
        EXPECT_EQ(0u, hive.rfind("WINE REGISTRY Version", 0)) << name;
        // setup.log names each file with the size of the saved hive.
        EXPECT_NE(std::string::npos, log.find(std::string(name) + " = ")) << log;
        EXPECT_NE(std::string::npos, log.find("," + std::to_string(hive.size()) + "\r\n")) << name << "\n" << log;
    }
}
