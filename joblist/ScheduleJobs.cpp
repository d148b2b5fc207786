#include "ScheduleJobs.h"

#include <lmapibuf.h>

namespace rostery {

NET_API_STATUS ServiceScheduleJobs::Enumerate(LPBYTE* buffer, DWORD* read, DWORD* total, DWORD* resume)
{
    return NetScheduleJobEnum(nullptr, buffer, MAX_PREFERRED_LENGTH, read, total, resume);
}

void ServiceScheduleJobs::FreeBuffer(LPBYTE buffer)
{
    if (buffer) NetApiBufferFree(buffer);
}

NET_API_STATUS ServiceScheduleJobs::Delete(DWORD jobId)
{
    return NetScheduleJobDel(nullptr, jobId, jobId);
}

bool ServiceScheduleJobs::StartService()
{
    return start_ ? start_() : false;
}

} // namespace rostery
