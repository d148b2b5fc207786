// Rostery against Wine's real Schedule service: jobs added with NetScheduleJobAdd are
// listed, marked and deleted through the list.
#include "JobListWindow.h"
#include "JobTable.h"
#include "ProgramProcess.h"
#include "SchedulerJob.h"
#include "TestSupport.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <lmapibuf.h>

#include <algorithm>
#include <optional>

namespace rostery {
namespace {

class RecordedBoxes : public MessageBoxes {
public:
    std::vector<std::string> shown;
    int Show(HWND, const char* text, const char*, UINT) override
    {
        shown.push_back(text ? text : "");
        return IDOK;
    }
};

// Starts the Schedule service (the job functions need it running) and waits, bounded.
// Wine ends its service processes once no program of the session runs, so every test
// program finds the service stopped again. In a fresh prefix the first start can stay
// pending until the manager gives up on it (30 s); it is then started again.
::testing::AssertionResult EnsureScheduleRunning()
{
    win::ServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!scm) return ::testing::AssertionFailure() << "OpenSCManagerA " << GetLastError();
    win::ServiceHandle service(OpenServiceA(scm.Get(), "Schedule", SERVICE_ALL_ACCESS));
    if (!service) return ::testing::AssertionFailure() << "OpenServiceA " << GetLastError();
    DWORD lastState = 0, lastError = 0;
    for (int attempt = 0; attempt < 600; ++attempt) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service.Get(), &status))
            return ::testing::AssertionFailure() << "QueryServiceStatus " << GetLastError();
        lastState = status.dwCurrentState;
        if (lastState == SERVICE_RUNNING) return ::testing::AssertionSuccess();
        if (lastState == SERVICE_STOPPED && !StartServiceA(service.Get(), 0, nullptr)) {
            lastError = GetLastError();
            if (lastError != ERROR_SERVICE_DATABASE_LOCKED && lastError != ERROR_SERVICE_ALREADY_RUNNING)
                return ::testing::AssertionFailure() << "StartServiceA " << lastError;
        }
        Sleep(100);
    }
    return ::testing::AssertionFailure() << "state " << lastState << " error " << lastError;
}

// A job far from now, so the service never runs it during the test.
std::optional<DWORD> AddJob(const wchar_t* command, UCHAR weekDays = 0, UCHAR flags = 0)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    AT_INFO info = {};
    info.JobTime = static_cast<DWORD_PTR>(((now.wHour + 12) % 24) * 3600000u + 17 * 60000u);
    info.DaysOfWeek = weekDays;
    info.Flags = flags;
    info.Command = const_cast<LPWSTR>(command);
    DWORD id = 0;
    if (NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id) != NERR_Success) return std::nullopt;
    return id;
}

std::vector<DWORD> ServiceJobIds()
{
    std::vector<DWORD> ids;
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    if (NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume) == NERR_Success) {
        const auto* jobs = reinterpret_cast<const AT_ENUM*>(buffer);
        for (DWORD i = 0; i < read; ++i) ids.push_back(jobs[i].JobId);
    }
    if (buffer) NetApiBufferFree(buffer);
    return ids;
}

bool Contains(const std::vector<DWORD>& ids, DWORD id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

class ServiceJobsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        CJobListWindow::RegisterWindowClass(GetModuleHandleA(nullptr));
        running = new ::testing::AssertionResult(EnsureScheduleRunning());
    }

    static void TearDownTestSuite()
    {
        delete running;
        running = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(*running); }

    static ::testing::AssertionResult* running;

    void TearDown() override
    {
        for (DWORD id : added) NetScheduleJobDel(nullptr, id, id);
    }

    DWORD Add(const wchar_t* command, UCHAR weekDays = 0, UCHAR flags = 0)
    {
        // Wine's service lists a new job once its file watcher has loaded the job's file,
        // and now and then it misses one: wait for the job, and add it again if it never
        // comes.
        for (int tries = 0; tries < 4; ++tries) {
            auto id = AddJob(command, weekDays, flags);
            if (!id) break;
            added.push_back(*id);
            for (int attempt = 0; attempt < 50; ++attempt) {
                if (Contains(ServiceJobIds(), *id)) return *id;
                Sleep(100);
            }
        }
        ADD_FAILURE() << "the job could not be added";
        return 0xFFFFFFFF;
    }

    const JobRow* Row(const JobTable& table, DWORD id)
    {
        for (const auto& row : table.Rows())
            if (static_cast<DWORD>(row.jobId) == id) return &row;
        return nullptr;
    }

    std::vector<DWORD> added;
    int starts = 0;
    ServiceScheduleJobs jobs{[this] { ++starts; return false; }};
    RecordedBoxes boxes;
};

::testing::AssertionResult* ServiceJobsTest::running = nullptr;

TEST_F(ServiceJobsTest, AddedJobsAreListedWithTheirTexts)
{
    const DWORD first = Add(L"cmd /c rem rostery first", 0x01 | 0x10, JOB_RUN_PERIODICALLY);
    const DWORD second = Add(L"cmd /c rem rostery second && rem done");
    JobTable table(jobs, boxes);
    table.SetNewJobId(static_cast<LONG>(second));
    ASSERT_EQ(0u, table.EnumerateJobs());
    EXPECT_EQ(0, starts);
    const JobRow* a = Row(table, first);
    const JobRow* b = Row(table, second);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    // Wine's service keeps only the command of a job: its time, days and flags come
    // back as zero, so the texts are those of such a job.
    EXPECT_EQ("cmd /c rem rostery first", a->commandText);
    EXPECT_EQ(7u, a->timeText.size());
    EXPECT_FALSE(a->dayText.empty());
    EXPECT_EQ("cmd /c rem rostery second && rem done", b->commandText);
    EXPECT_FALSE(a->isNewJob);
    EXPECT_TRUE(b->isNewJob);
}

TEST_F(ServiceJobsTest, DeletingThroughTheListRemovesTheJobFromTheService)
{
    const DWORD keep = Add(L"cmd /c rem rostery keep");
    const DWORD gone = Add(L"cmd /c rem rostery gone");
    JobTable table(jobs, boxes);
    table.SetNewJobId(static_cast<LONG>(gone));
    CJobListWindow window(table, boxes, SystemMajorVersion(), "Scheduler.chm");
    window.SetQuitOnDestroy(false);
    ASSERT_NE(nullptr, window.CreateMain(GetModuleHandleA(nullptr)));

    int item = -1;
    for (size_t i = 0; i < table.Rows().size(); ++i)
        if (static_cast<DWORD>(table.Rows()[i].jobId) == gone) item = static_cast<int>(i);
    ASSERT_GE(item, 0);
    EXPECT_EQ(1, window.PictureIndex(static_cast<size_t>(item)));
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(window.List(), LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    SendMessageA(window.Handle(), WM_COMMAND, MAKEWPARAM(ID_JOB_DELETE, 0), 0);

    EXPECT_TRUE(boxes.shown.empty());
    const auto ids = ServiceJobIds();
    EXPECT_FALSE(Contains(ids, gone));
    EXPECT_TRUE(Contains(ids, keep));
    EXPECT_EQ(nullptr, Row(table, gone));
    EXPECT_NE(nullptr, Row(table, keep));
    EXPECT_EQ(static_cast<int>(table.Rows().size()),
              static_cast<int>(SendMessageA(window.List(), LVM_GETITEMCOUNT, 0, 0)));
}

TEST_F(ServiceJobsTest, DeletingAJobThatIsAlreadyGoneWarns)
{
    const DWORD id = Add(L"cmd /c rem rostery vanishing");
    JobTable table(jobs, boxes);
    ASSERT_EQ(0u, table.EnumerateJobs());
    ASSERT_EQ(NERR_Success, NetScheduleJobDel(nullptr, id, id));
    for (auto& row : table.Rows()) row.selected = static_cast<DWORD>(row.jobId) == id;
    table.DeleteSelected(nullptr);
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ("Task could not be deleted.", boxes.shown[0]);
    EXPECT_EQ(nullptr, Row(table, id));
}

// A service that is certainly stopped (Windows Installer, demand start) stands for a
// Schedule service that has gone: the job functions are then not called at all.
TEST_F(ServiceJobsTest, StoppedServiceAnswers2184AndWarnsPerJob)
{
    const DWORD first = Add(L"cmd /c rem rostery stopped one");
    const DWORD second = Add(L"cmd /c rem rostery stopped two");
    win::ServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(scm);
    win::ServiceHandle stopped(OpenServiceA(scm.Get(), "MSIServer", SERVICE_QUERY_STATUS));
    ASSERT_TRUE(stopped);
    SERVICE_STATUS status = {};
    ASSERT_TRUE(QueryServiceStatus(stopped.Get(), &status));
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);

    JobTable live(jobs, boxes);
    ASSERT_EQ(0u, live.EnumerateJobs());
    int gone = 0;
    ServiceScheduleJobs goneJobs([&gone] { ++gone; return false; }, stopped.Get());
    JobTable table(goneJobs, boxes);
    table.Rows() = live.Rows();
    for (auto& row : table.Rows())
        row.selected = static_cast<DWORD>(row.jobId) == first || static_cast<DWORD>(row.jobId) == second;
    table.DeleteSelected(nullptr);
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ("The service has not been started", boxes.shown[0]);
    EXPECT_EQ("The service has not been started", boxes.shown[1]);
    EXPECT_EQ(1, gone); // the read afterwards offered a start, declined
    EXPECT_TRUE(table.Rows().empty());
    // Nothing was deleted at the real service.
    EXPECT_TRUE(Contains(ServiceJobIds(), first));
    EXPECT_TRUE(Contains(ServiceJobIds(), second));
}

// Whether the first column of a list window shows the new job's star (its yellow), read
// back from the screen.
bool ShowsNewJobPicture(HWND list)
{
    RECT area = {};
    GetWindowRect(list, &area);
    const int width = 40;
    const int height = area.bottom - area.top;
    if (height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    bool found = false;
    for (int y = 0; y < height && !found; ++y)
        for (int x = 0; x < width && !found; ++x) found = GetPixel(memory, x, y) == RGB(255, 230, 0);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return found;
}

// What Rostery.exe showed when started with `arguments`: its list window, read and ended
// with the Exit command, and any other window it showed (answered).
struct ProgramView {
    bool opened = false;
    int items = -1;
    bool newJobPicture = false;
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<testing_support::ShownWindow> shown;
};

ProgramView RunRostery(const std::string& arguments)
{
    ProgramView view;
    auto readList = [&view](HWND window) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        if (view.opened || strcmp(name, kWindowClass) != 0) return;
        view.opened = GetDlgItem(window, IDC_TOOL_BAR) && GetDlgItem(window, IDC_STATUS_BAR);
        HWND list = GetDlgItem(window, IDC_JOB_LIST);
        view.items = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        // Read the screen a few times: the window may not be painted yet.
        for (int attempt = 0; attempt < 20 && !view.newJobPicture; ++attempt) {
            Sleep(100);
            view.newJobPicture = ShowsNewJobPicture(list);
        }
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT_ROSTERY, 0), 0);
    };
    testing_support::ProgramOutcome outcome = testing_support::RunAnswering("Rostery.exe", arguments, 30000, readList);
    view.ended = outcome.ended;
    view.exitCode = outcome.exitCode;
    view.shown = std::move(outcome.shown);
    return view;
}

TEST_F(ServiceJobsTest, RosteryProgramMarksTheNewJobOnlyWhenGivenOne)
{
    const DWORD id = Add(L"cmd /c rem rostery program");
    const int jobCount = static_cast<int>(ServiceJobIds().size());

    ProgramView marked = RunRostery(std::to_string(id));
    EXPECT_TRUE(marked.opened);
    EXPECT_EQ(jobCount, marked.items);
    EXPECT_TRUE(marked.newJobPicture);
    EXPECT_TRUE(marked.ended); // Exit ends the program

    ProgramView plain = RunRostery("");
    EXPECT_TRUE(plain.opened);
    EXPECT_EQ(jobCount, plain.items);
    EXPECT_FALSE(plain.newJobPicture);
    EXPECT_TRUE(plain.ended);
}

// Scheduler's Finish starts Rostery with the new job's identifier, the way Scheduler's own
// launcher does it: the window opens with that job marked.
TEST_F(ServiceJobsTest, SchedulersLaunchOpensRosteryWithTheNewJobMarked)
{
    const DWORD id = Add(L"cmd /c rem rostery from scheduler");
    ASSERT_EQ(nullptr, FindWindowA(kWindowClass, nullptr));
    // The command line Scheduler composes: Rostery is found beside the starting program.
    ASSERT_TRUE(schedule::LaunchProgram("\"Rostery.exe\" " + std::to_string(id)));

    HWND window = nullptr;
    for (int attempt = 0; attempt < 300 && !window; ++attempt) {
        window = FindWindowA(kWindowClass, nullptr);
        if (!window || !IsWindowVisible(window)) {
            window = nullptr;
            Sleep(100);
        }
    }
    ASSERT_NE(nullptr, window);
    bool shown = false;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        Sleep(100);
        shown = ShowsNewJobPicture(GetDlgItem(window, IDC_JOB_LIST));
    }
    EXPECT_TRUE(shown);
    PostMessageA(window, WM_CLOSE, 0, 0);
    for (int attempt = 0; attempt < 200 && IsWindow(window); ++attempt) Sleep(100);
    EXPECT_FALSE(IsWindow(window));
}

// Hostile command lines: each opens the list window alone (no message, no crash) with every
// job of the service; a line that is no job identifier marks no job; Exit ends with 0.
TEST_F(ServiceJobsTest, HostileCommandLinesOpenTheListWithEveryJob)
{
    Add(L"cmd /c rem rostery hostile line");
    const int jobCount = static_cast<int>(ServiceJobIds().size());
    const std::string lines[] = {
        std::string(30000, '9'), "-4294967297", "\"12", "-Q /Z --help -? /",
        "\x01\x02\x1b\x7f",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 60));
        ProgramView view = RunRostery(line);
        ASSERT_TRUE(view.ended) << "still running after the time limit";
        EXPECT_EQ(0u, view.exitCode);
        EXPECT_TRUE(view.opened);
        EXPECT_EQ(jobCount, view.items);
        EXPECT_FALSE(view.newJobPicture);
        ASSERT_EQ(1u, view.shown.size()) << view.shown.back().title << ": " << view.shown.back().Text(0xFFFF);
    }
}

} // namespace
} // namespace rostery
