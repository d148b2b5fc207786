// The job list's rows: read from the Schedule service and deleted there.
#pragma once
#include "JobRow.h"
#include "ScheduleJobs.h"

#include <vector>

namespace rostery {

class JobTable {
public:
    JobTable(ScheduleJobs& jobs, MessageBoxes& boxes) : jobs_(jobs), boxes_(boxes) {}

    // The job just added by Scheduler (from the command line), or -1.
    void SetNewJobId(LONG id) { newJobId_ = id; }
    LONG NewJobId() const { return newJobId_; }

    // Rebuilds the rows from the service: 0 on success, else the service's status.
    // A stopped service (2184) is offered a start; declined or failed, 2184 is returned.
    NET_API_STATUS EnumerateJobs();

    // Sets isNewJob on the rows of the job just added.
    void MarkNewJob();

    // Deletes every row with `selected` set, one warning per job that could not be
    // deleted, then reads the table again.
    void DeleteSelected(HWND owner);

    std::vector<JobRow>& Rows() { return rows_; }
    const std::vector<JobRow>& Rows() const { return rows_; }

private:
    ScheduleJobs& jobs_;
    MessageBoxes& boxes_;
    std::vector<JobRow> rows_;
    LONG newJobId_ = -1;
};

// The job identifier of Rostery's command line: empty gives -1.
LONG NewJobIdFromCommandLine(const char* commandLine);

} // namespace rostery
