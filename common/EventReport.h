// The one way the programs write to the application event log: ReportEventA, unless the
// tests have put a recorder in its place (Wine keeps no events).
#pragma once
#include <windows.h>

namespace win {

using ReportEventFunction = BOOL(WINAPI*)(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user,
                                          WORD stringCount, DWORD dataSize, LPCSTR* strings, LPVOID data);
// nullptr puts ReportEventA back.
void SetReportEventFunction(ReportEventFunction function) noexcept;

// One event under `source` on the local computer, with `stringCount` strings and no data.
// False when the source cannot be registered or the event is not written.
bool ReportSourceEvent(const char* source, WORD type, DWORD eventId, WORD stringCount, const char** strings) noexcept;

} // namespace win
