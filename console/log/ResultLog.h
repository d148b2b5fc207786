// The console's result log: each record of a session goes to up to three sinks (a
// tab-separated text file, the Annalix DLL, one Application event at the session's end),
// filtered by the log level.
#pragma once
#include "AnnalixInterface.h"
#include "EventReport.h"
#include "Settings.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

constexpr DWORD kEventSessionReport = 1501; // the whole session, information
constexpr DWORD kEventUnattendedRun = 1500; // progress of an unattended run
constexpr DWORD kEventRunSummary = 1502;    // an unattended run's end: error when any computer failed
constexpr DWORD kEventLogUnwritable = 1503; // the text log could not be opened, error
constexpr char kEventSourceName[] = "Salvora";
constexpr size_t kEventLineLimit = 400;      // record and tail lines of the event text
constexpr size_t kEventTextLimit = 31839;    // longest insertion string an event can carry

constexpr char kSessionCreateErd[] = "Salvora Creating ER Disks";
constexpr char kSessionOnDemandTasks[] = "Execute 'On Demand' Tasks";
constexpr char kSessionRunSummary[] = "Salvora Unattended Run Summary";

class ResultLog {
public:
    ResultLog() = default;
    ~ResultLog();
    ResultLog(const ResultLog&) = delete;
    ResultLog& operator=(const ResultLog&) = delete;

    // Opens a session; a second call while one is open only changes the owner.
    bool BeginSession(HWND owner, const char* title);
    // One record; absent texts are written "==//==". False only when the event-log line
    // cannot be formatted.
    bool LogItem(bool isError, const char* compName, const char* itemName, const char* description,
                 const char* errorText, int32_t errorCode);
    bool LogItemById(bool isError, const char* compName, const char* itemName, UINT descriptionId,
                     const char* errorText, int32_t errorCode);
    // Closes the session (whether or not one was open).
    void EndSession(const char* finalText, bool succeeded);
    // Shows the text file of freshly loaded settings in Notepad.
    void ViewLog();

    LogSettings& Settings() noexcept { return settings_; }
    const LogSettings& Settings() const noexcept { return settings_; }
    bool IsSessionOpen() const noexcept { return sessionOpen_; }
    int32_t ItemCount() const noexcept { return itemCount_; }
    int32_t ErrorCount() const noexcept { return errorCount_; }
    bool IsAnnalixLoaded() const noexcept { return annalixModule_ != nullptr; }
    const std::string& EventText() const noexcept { return eventText_; }
    // Whether the text file could not be opened since the last ClearFileFailure (each such
    // failure is reported as an error event).
    bool FileFailed() const noexcept { return fileFailed_; }
    void ClearFileFailure() noexcept { fileFailed_ = false; }

private:
    bool OpenFile();
    bool StartAnnalix();
    void UnloadAnnalix();
    void ShowAnnalixFailure();
    std::string HeadLines(const char* title, const char* lineEnd) const;

    bool sessionOpen_ = false;
    HWND owner_ = nullptr;
    LogSettings settings_;
    int32_t itemCount_ = 0;
    int32_t errorCount_ = 0;
    FILE* file_ = nullptr;
    AnnalixBeginSessionProc beginSession_ = nullptr;
    AnnalixWriteLogProc writeLog_ = nullptr;
    AnnalixEndSessionProc endSession_ = nullptr;
    HMODULE annalixModule_ = nullptr;
    uint32_t annalixSession_ = 0;
    AnnalixError annalixError_{};
    std::string eventText_;
    std::string title_;
    bool fileFailed_ = false;
};

// The console's one result log.
ResultLog& TheResultLog();

// Loads the Annalix DLL: from its install folder when one is known, else (or when that
// fails) by name through the system's search order.
HMODULE LoadAnnalixLibrary(const std::string& annalixInstallPath);

// "12/07/1999 14:03:55": a local time as the log's head lines write it.
std::string LogTimeText(time_t when);

// The command line of the View Log command: Notepad on the text log.
std::string ViewLogCommand(const LogSettings& settings);

// One ReportEventA under the source "Salvora" on the local computer; the event is dropped
// when the source cannot be registered.
bool ReportResultEvent(DWORD eventId, WORD eventType, WORD stringCount, const char** strings);

// The event reporter in use: ReportEventA unless another has been put in its place
// (the tests watch the events this way, since Wine keeps none).
using ReportEventFunction = win::ReportEventFunction;
void SetReportEventFunction(ReportEventFunction function); // nullptr puts ReportEventA back
