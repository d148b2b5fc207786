// What the result log's tests watch: the message boxes that would have been shown and the
// events that would have been reported.
#pragma once
#include "Messages.h"
#include "ResultLog.h"

#include <windows.h>

#include <string>
#include <vector>

namespace console_test {

struct ShownBox {
    std::string text;
    std::string caption;
    UINT style;
};

struct ReportedEvent {
    WORD type;
    WORD category;
    DWORD id;
    std::vector<std::string> strings;
    DWORD dataSize;
};

inline std::vector<ShownBox> g_boxes;
inline std::vector<ReportedEvent> g_events;
inline int g_boxAnswer = IDOK;

inline int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT style)
{
    g_boxes.push_back({text ? text : "", caption ? caption : "", style});
    return g_boxAnswer;
}

inline BOOL WINAPI RecordEvent(HANDLE, WORD type, WORD category, DWORD id, PSID, WORD count, DWORD dataSize,
                               LPCSTR* strings, LPVOID)
{
    ReportedEvent e{type, category, id, {}, dataSize};
    for (WORD i = 0; i < count; ++i) e.strings.push_back(strings[i] ? strings[i] : "<null>");
    g_events.push_back(e);
    return TRUE;
}

// Installs both recorders for the lifetime of a test.
class Watch {
public:
    Watch()
    {
        g_boxes.clear();
        g_events.clear();
        g_boxAnswer = IDOK;
        SetMessageBoxFunction(RecordBox);
        SetReportEventFunction(RecordEvent);
    }
    ~Watch()
    {
        SetMessageBoxFunction(nullptr);
        SetReportEventFunction(nullptr);
    }
};

// 7 December 1999, 14:03:55 local time.
inline time_t December7()
{
    struct tm when {};
    when.tm_year = 99;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 14;
    when.tm_min = 3;
    when.tm_sec = 55;
    when.tm_isdst = -1;
    return mktime(&when);
}

} // namespace console_test
