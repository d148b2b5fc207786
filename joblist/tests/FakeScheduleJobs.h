// A Schedule service of the test's own making, with scripted answers, and message
// boxes that are recorded instead of shown.
#pragma once
#include "ScheduleJobs.h"

#include <deque>
#include <string>
#include <vector>

namespace rostery::testing {

struct FakeJob {
    DWORD id;
    DWORD_PTR time;
    DWORD monthDays;
    UCHAR weekDays;
    UCHAR flags;
    std::wstring command;
};

class FakeScheduleJobs : public ScheduleJobs {
public:
    std::vector<FakeJob> jobs;
    bool running = true;          // a stopped service answers 2184
    bool startSucceeds = true;    // what the prompted start does
    DWORD pageSize = 0;           // records per call; 0 = all at once
    std::deque<NET_API_STATUS> enumerateFailures;  // answered before the table
    std::deque<NET_API_STATUS> deleteFailures;     // answered before deleting
    int enumerateCalls = 0;
    int startCalls = 0;
    int outstandingBuffers = 0;
    std::vector<DWORD> deleteCalls;

    void Add(DWORD id, const wchar_t* command, UCHAR flags = 0, DWORD_PTR time = 0)
    {
        jobs.push_back({id, time, 0, 0, flags, command});
    }

    NET_API_STATUS Enumerate(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) override
    {
        ++enumerateCalls;
        *buffer = nullptr;
        *read = 0;
        *total = 0;
        if (!enumerateFailures.empty()) {
            NET_API_STATUS status = enumerateFailures.front();
            enumerateFailures.pop_front();
            return status;
        }
        if (!running) return kServiceNotStarted;
        const DWORD start = *resume;
        const DWORD size = static_cast<DWORD>(jobs.size());
        DWORD count = start < size ? size - start : 0;
        if (pageSize && count > pageSize) count = pageSize;
        *total = size;
        if (size == 0) return NERR_Success;
        auto* records = new AT_ENUM[count ? count : 1]();
        for (DWORD i = 0; i < count; ++i) {
            const FakeJob& job = jobs[start + i];
            records[i].JobId = job.id;
            records[i].JobTime = job.time;
            records[i].DaysOfMonth = job.monthDays;
            records[i].DaysOfWeek = job.weekDays;
            records[i].Flags = job.flags;
            records[i].Command = const_cast<LPWSTR>(job.command.c_str());
        }
        ++outstandingBuffers;
        *buffer = reinterpret_cast<LPBYTE>(records);
        *read = count;
        *resume = start + count;
        return start + count < size ? ERROR_MORE_DATA : NERR_Success;
    }

    void FreeBuffer(LPBYTE buffer) override
    {
        --outstandingBuffers;
        delete[] reinterpret_cast<AT_ENUM*>(buffer);
    }

    NET_API_STATUS Delete(DWORD jobId) override
    {
        deleteCalls.push_back(jobId);
        if (!deleteFailures.empty()) {
            NET_API_STATUS status = deleteFailures.front();
            deleteFailures.pop_front();
            return status;
        }
        if (!running) return kServiceNotStarted;
        for (auto it = jobs.begin(); it != jobs.end(); ++it) {
            if (it->id == jobId) {
                jobs.erase(it);
                return NERR_Success;
            }
        }
        return 3806; // APE_AT_ID_NOT_FOUND
    }

    bool StartService() override
    {
        ++startCalls;
        if (startSucceeds) running = true;
        return startSucceeds;
    }
};

struct ShownBox {
    HWND owner;
    std::string text;
    bool defaultCaption;
    UINT type;
};

class RecordedMessageBoxes : public MessageBoxes {
public:
    std::vector<ShownBox> shown;
    int Show(HWND owner, const char* text, const char* caption, UINT type) override
    {
        shown.push_back({owner, text ? text : "", caption == nullptr, type});
        return IDOK;
    }
};

} // namespace rostery::testing
