// The seam in front of the Schedule service's job functions and of the message boxes
// the job list raises, so that the service's answers (such as "not started", 2184) and
// the user's answers can be given by a test.
#pragma once
#include <windows.h>
#include <lmcons.h>
#include <lmat.h>
#include <lmerr.h>
#include <winsvc.h>

#include <functional>

namespace rostery {

// The service's status when it is not running (NERR_ServiceNotInstalled).
constexpr NET_API_STATUS kServiceNotStarted = 2184;

// The job functions of the local computer's Schedule service.
class ScheduleJobs {
public:
    virtual ~ScheduleJobs() = default;
    // NetScheduleJobEnum on the local computer with no length limit: on 0 or
    // ERROR_MORE_DATA `buffer` holds `read` AT_ENUM records and must go to FreeBuffer.
    virtual NET_API_STATUS Enumerate(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) = 0;
    virtual void FreeBuffer(LPBYTE buffer) = 0;
    // NetScheduleJobDel of exactly the job `jobId`.
    virtual NET_API_STATUS Delete(DWORD jobId) = 0;
    // Asks whether to start the stopped service and starts it; true once it runs.
    virtual bool StartService() = 0;
};

// The real functions of NETAPI32; the service start is handed in by the program (the
// Schedule service link's prompted start). When `service` is given and its state can be
// read, a service that is not running is answered with 2184 without calling the job
// functions: on Wine they raise an RPC exception then instead of returning that status.
class ServiceScheduleJobs : public ScheduleJobs {
public:
    explicit ServiceScheduleJobs(std::function<bool()> start, SC_HANDLE service = nullptr)
        : start_(std::move(start)), service_(service)
    {
    }
    NET_API_STATUS Enumerate(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume) override;
    void FreeBuffer(LPBYTE buffer) override;
    NET_API_STATUS Delete(DWORD jobId) override;
    bool StartService() override;

private:
    bool KnownStopped() const;

    std::function<bool()> start_;
    SC_HANDLE service_;
};

// Message boxes of the job list.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual int Show(HWND owner, const char* text, const char* caption, UINT type) = 0;
};

class SystemMessageBoxes : public MessageBoxes {
public:
    int Show(HWND owner, const char* text, const char* caption, UINT type) override
    {
        return MessageBoxA(owner, text, caption, type);
    }
};

} // namespace rostery
