#include "EventReport.h"

#include <atomic>

#include "Handle.h"

namespace win {

namespace {
std::atomic<ReportEventFunction> g_report{nullptr};
} // namespace

void SetReportEventFunction(ReportEventFunction function) noexcept
{
    g_report.store(function);
}

bool ReportSourceEvent(const char* source, WORD type, DWORD eventId, WORD stringCount, const char** strings) noexcept
{
    EventSource handle(RegisterEventSourceA(nullptr, source));
    if (!handle) return false;
    ReportEventFunction report = g_report.load();
    if (!report) report = ReportEventA;
    return report(handle.Get(), type, 0, eventId, nullptr, stringCount, 0, strings, nullptr) != FALSE;
}

} // namespace win
