#include "ScheduleJobs.h"

#include <lmapibuf.h>

namespace rostery {

bool ServiceScheduleJobs::KnownStopped() const
{
    if (!service_) return false;
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service_, &status)) return false;
    return status.dwCurrentState != SERVICE_RUNNING;
}

NET_API_STATUS ServiceScheduleJobs::Enumerate(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume)
{
    if (KnownStopped()) return kServiceNotStarted;
    return NetScheduleJobEnum(nullptr, buffer, MAX_PREFERRED_LENGTH, read, total, resume);
}

void ServiceScheduleJobs::FreeBuffer(LPBYTE buffer)
{
    if (buffer) NetApiBufferFree(buffer);
}

NET_API_STATUS ServiceScheduleJobs::Delete(DWORD jobId)
{
    if (KnownStopped()) return kServiceNotStarted;
    return NetScheduleJobDel(nullptr, jobId, jobId);
}

bool ServiceScheduleJobs::StartService()
{
    return start_ ? start_() : false;
}

} // namespace rostery
