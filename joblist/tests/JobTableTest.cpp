#include "FakeScheduleJobs.h"
#include "JobTable.h"

#include <gtest/gtest.h>

namespace rostery {
namespace {

using testing::FakeScheduleJobs;
using testing::RecordedMessageBoxes;

std::vector<LONG> Ids(const JobTable& table)
{
    std::vector<LONG> ids;
    for (const auto& row : table.Rows()) ids.push_back(row.jobId);
    return ids;
}

class JobTableTest : public ::testing::Test {
protected:
    FakeScheduleJobs service;
    RecordedMessageBoxes boxes;
    JobTable table{service, boxes};
};

TEST_F(JobTableTest, EmptyTableGivesNoRowsAndNoMessage)
{
    table.Rows().push_back(JobRow{}); // a leftover of an earlier read goes
    EXPECT_EQ(0u, table.EnumerateJobs());
    EXPECT_TRUE(table.Rows().empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(0, service.outstandingBuffers);
}

TEST_F(JobTableTest, RowsInTheServicesOrderAcrossSeveralCalls)
{
    service.Add(9, L"one");
    service.Add(2, L"two");
    service.Add(5, L"three");
    service.Add(1, L"four");
    service.Add(7, L"five");
    service.pageSize = 2;
    EXPECT_EQ(0u, table.EnumerateJobs());
    EXPECT_EQ((std::vector<LONG>{9, 2, 5, 1, 7}), Ids(table));
    EXPECT_EQ("three", table.Rows()[2].commandText);
    EXPECT_EQ(3, service.enumerateCalls);
    EXPECT_EQ(0, service.outstandingBuffers);
}

TEST_F(JobTableTest, NewJobIsMarkedOnlyWhenGiven)
{
    service.Add(11, L"a");
    service.Add(12, L"b");
    service.Add(13, L"c");
    ASSERT_EQ(0u, table.EnumerateJobs());
    for (const auto& row : table.Rows()) EXPECT_FALSE(row.isNewJob);

    table.SetNewJobId(NewJobIdFromCommandLine("12"));
    ASSERT_EQ(0u, table.EnumerateJobs());
    EXPECT_FALSE(table.Rows()[0].isNewJob);
    EXPECT_TRUE(table.Rows()[1].isNewJob);
    EXPECT_FALSE(table.Rows()[2].isNewJob);
}

TEST(NewJobIdFromCommandLine, DecimalOrMinusOne)
{
    EXPECT_EQ(-1, NewJobIdFromCommandLine(""));
    EXPECT_EQ(-1, NewJobIdFromCommandLine(nullptr));
    EXPECT_EQ(-1, NewJobIdFromCommandLine("   "));
    EXPECT_EQ(12, NewJobIdFromCommandLine("12"));
    EXPECT_EQ(12, NewJobIdFromCommandLine(" 12"));
    EXPECT_EQ(0, NewJobIdFromCommandLine("abc"));
}

TEST_F(JobTableTest, StoppedServiceIsStartedOnRequestAndReadAgain)
{
    service.Add(4, L"job");
    service.running = false;
    EXPECT_EQ(0u, table.EnumerateJobs());
    EXPECT_EQ(1, service.startCalls);
    EXPECT_EQ((std::vector<LONG>{4}), Ids(table));
}

TEST_F(JobTableTest, DeclinedOrFailedStartGives2184)
{
    service.Add(4, L"job");
    service.running = false;
    service.startSucceeds = false;
    EXPECT_EQ(kServiceNotStarted, table.EnumerateJobs());
    EXPECT_EQ(1, service.startCalls);
    EXPECT_TRUE(table.Rows().empty());
}

TEST_F(JobTableTest, ServiceStoppingMidwayDoesNotRepeatRows)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    service.Add(3, L"c");
    service.pageSize = 2;
    // The first page arrives, then the service is found stopped and is started again:
    // the read starts over, so no row may appear twice.
    struct Stopping : FakeScheduleJobs {
        int call = 0;
        NET_API_STATUS Enumerate(LPBYTE* b, DWORD* r, DWORD* t, DWORD* resume) override
        {
            if (++call == 2) running = false;
            return FakeScheduleJobs::Enumerate(b, r, t, resume);
        }
    } stopping;
    stopping.jobs = service.jobs;
    stopping.pageSize = 2;
    JobTable other(stopping, boxes);
    EXPECT_EQ(0u, other.EnumerateJobs());
    EXPECT_EQ((std::vector<LONG>{1, 2, 3}), Ids(other));
    EXPECT_EQ(1, stopping.startCalls);
    EXPECT_EQ(0, stopping.outstandingBuffers);
}

TEST_F(JobTableTest, OtherFailuresAreReturned)
{
    service.Add(1, L"a");
    service.enumerateFailures.push_back(ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<NET_API_STATUS>(ERROR_ACCESS_DENIED), table.EnumerateJobs());
    EXPECT_EQ(0, service.startCalls);
    EXPECT_TRUE(table.Rows().empty());
}

TEST_F(JobTableTest, MoreDataThatDeliversNothingEnds)
{
    struct Stuck : FakeScheduleJobs {
        NET_API_STATUS Enumerate(LPBYTE* b, DWORD* r, DWORD* t, DWORD*) override
        {
            ++enumerateCalls;
            *b = nullptr;
            *r = 0;
            *t = 5;
            return ERROR_MORE_DATA;
        }
    } stuck;
    JobTable other(stuck, boxes);
    EXPECT_EQ(static_cast<NET_API_STATUS>(ERROR_MORE_DATA), other.EnumerateJobs());
    EXPECT_EQ(1, stuck.enumerateCalls);
}

TEST_F(JobTableTest, DeletesExactlyTheSelectedJobsAndReadsAgain)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    service.Add(3, L"c");
    table.SetNewJobId(3);
    ASSERT_EQ(0u, table.EnumerateJobs());
    table.Rows()[0].selected = true;
    table.Rows()[2].selected = true;
    table.DeleteSelected(nullptr);
    EXPECT_EQ((std::vector<DWORD>{1, 3}), service.deleteCalls);
    EXPECT_EQ((std::vector<LONG>{2}), Ids(table));
    EXPECT_FALSE(table.Rows()[0].selected);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JobTableTest, ServiceGoneWarnsOncePerSelectedJob)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    ASSERT_EQ(0u, table.EnumerateJobs());
    for (auto& row : table.Rows()) row.selected = true;
    service.running = false;
    service.startSucceeds = false;
    table.DeleteSelected(reinterpret_cast<HWND>(0x1234));
    ASSERT_EQ(2u, boxes.shown.size());
    for (const auto& box : boxes.shown) {
        EXPECT_EQ("The service has not been started", box.text);
        EXPECT_TRUE(box.defaultCaption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), box.type);
        EXPECT_EQ(reinterpret_cast<HWND>(0x1234), box.owner);
    }
    EXPECT_EQ((std::vector<DWORD>{1, 2}), service.deleteCalls);
}

TEST_F(JobTableTest, OneFailedDeletionDoesNotStopTheRest)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    service.Add(3, L"c");
    ASSERT_EQ(0u, table.EnumerateJobs());
    for (auto& row : table.Rows()) row.selected = true;
    service.deleteFailures.push_back(ERROR_ACCESS_DENIED);
    table.DeleteSelected(nullptr);
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ("Task could not be deleted.", boxes.shown[0].text);
    EXPECT_EQ((std::vector<LONG>{1}), Ids(table));
}

TEST_F(JobTableTest, NothingSelectedDeletesNothing)
{
    service.Add(1, L"a");
    ASSERT_EQ(0u, table.EnumerateJobs());
    const int before = service.enumerateCalls;
    table.DeleteSelected(nullptr);
    EXPECT_TRUE(service.deleteCalls.empty());
    EXPECT_EQ(before + 1, service.enumerateCalls);
    EXPECT_EQ((std::vector<LONG>{1}), Ids(table));
}

} // namespace
} // namespace rostery
