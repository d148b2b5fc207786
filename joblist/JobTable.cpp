#include "JobTable.h"

#include <cstdlib>

namespace rostery {

NET_API_STATUS JobTable::EnumerateJobs()
{
    rows_.clear();
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        NET_API_STATUS status = jobs_.Enumerate(&buffer, &read, &total, &resume);

        if (status == kServiceNotStarted) {
            if (buffer) jobs_.FreeBuffer(buffer);
            if (!jobs_.StartService()) return kServiceNotStarted;
            // The enumeration starts over from the beginning of the table.
            rows_.clear();
            resume = 0;
            continue;
        }
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer) jobs_.FreeBuffer(buffer);
            return status;
        }
        if (total == 0) {
            if (buffer) jobs_.FreeBuffer(buffer);
            MarkNewJob();
            return status;
        }
        const auto* records = reinterpret_cast<const AT_ENUM*>(buffer);
        for (DWORD i = 0; records && i < read; ++i) rows_.push_back(FormatJob(records[i]));
        if (buffer) jobs_.FreeBuffer(buffer);

        if (status == NERR_Success) break;
        // More data that delivers nothing would ask again for ever.
        if (read == 0) return status;
    }
    MarkNewJob();
    return NERR_Success;
}

void JobTable::MarkNewJob()
{
    for (auto& row : rows_) row.isNewJob = row.jobId == newJobId_;
}

void JobTable::DeleteSelected(HWND owner)
{
    for (const auto& row : rows_) {
        if (!row.selected) continue;
        NET_API_STATUS status = jobs_.Delete(static_cast<DWORD>(row.jobId));
        if (status != NERR_Success) {
            boxes_.Show(owner,
                        status == kServiceNotStarted ? "The service has not been started"
                                                     : "Task could not be deleted.",
                        nullptr, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    EnumerateJobs();
    MarkNewJob();
}

LONG NewJobIdFromCommandLine(const char* commandLine)
{
    if (!commandLine) return -1;
    while (*commandLine == ' ' || *commandLine == '\t') ++commandLine;
    if (!*commandLine) return -1;
    return static_cast<LONG>(std::atoi(commandLine));
}

} // namespace rostery
