#include "ResultLog.h"

#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "EventReport.h"
#include "Handle.h"
#include "Messages.h"
#include "SystemText.h"

#include <cstring>
#include <ctime>

namespace {

constexpr char kRule[] = "*========================================*";
constexpr char kColumns[] = "* Result\tDescription\tCompName\tItemName\tErrorText\tErrorCode *";
constexpr char kRecordFormat[] = "%s\t%s\t%s\t%s\t%s\t%d";
constexpr char kAbsent[] = "==//==";
constexpr char kAnnalixCaption[] = TEXT_APP_TITLE;
constexpr char kAnnalixProduct[] = "Corvane Annalix";

const char* OrAbsent(const char* text) { return text ? text : kAbsent; }

std::string SessionTimeText() { return LogTimeText(ConsoleTime()); }

std::string TailLines(int32_t items, int32_t errors, const char* result, const char* finalText, const char* lineEnd)
{
    return win::Format("* Items=%d *%s* Errors=%d *%s* Result: %s *%s* %s *%s", items, lineEnd, errors, lineEnd,
                       result, lineEnd, finalText ? finalText : "", lineEnd);
}

void CopyField(char (&field)[256], const std::string& text) { win::CopyText(field, sizeof(field), text.c_str()); }

} // namespace

std::string LogTimeText(time_t when)
{
    const struct tm* local = localtime(&when);
    char text[64] = {};
    if (local) strftime(text, sizeof(text), "%m/%d/%Y %H:%M:%S", local);
    return text;
}

ResultLog::~ResultLog()
{
    if (file_) std::fclose(file_);
    if (annalixModule_) FreeLibrary(annalixModule_);
}

std::string ResultLog::HeadLines(const char* title, const char* lineEnd) const
{
    return win::Format("%s%s|%s %s|%s%s%s%s%s", kRule, lineEnd, SessionTimeText().c_str(), title ? title : "",
                       lineEnd, kColumns, lineEnd, kRule, lineEnd);
}

bool ResultLog::BeginSession(HWND owner, const char* title)
{
    owner_ = owner;
    if (sessionOpen_) return true;
    title_ = title ? title : "";

    if (settings_.LogWriteFile && !OpenFile()) {
        // A log nobody can read is no log: the Application log says so, also when no one
        // sees the box (an unattended run).
        const DWORD code = GetLastError();
        fileFailed_ = true;
        std::string text;
        if (!LoadConsoleString(IDS_LOG_UNWRITABLE, text)) text = TEXT_LOG_UNWRITABLE;
        const std::string report =
            win::Format(text.c_str(), settings_.LogFileName, NetErrorText(code).c_str(), static_cast<int>(code));
        const char* strings[2] = {report.c_str(), ""};
        ReportResultEvent(kEventLogUnwritable, EVENTLOG_ERROR_TYPE, 2, strings);
        ShowMessage(kMessageStop, owner_, "Open Log File", IDS_OPEN_LOG_FILE_FAILED);
        settings_.LogWriteFile = 0;
    }
    if (settings_.LogWriteAnnalix && !StartAnnalix()) {
        annalixError_.context[255] = '\0';
        annalixError_.message[255] = '\0';
        ShowAnnalixFailure();
    }
    eventText_.clear();
    if (settings_.NTAppLog) eventText_ = HeadLines(title_.c_str(), "\r\n");
    itemCount_ = 0;
    errorCount_ = 0;
    sessionOpen_ = true;
    return true;
}

bool ResultLog::OpenFile()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (settings_.LogFullErrorNo == kLogNone) return true;
    file_ = std::fopen(settings_.LogFileName, settings_.LogOverwrite == 1 ? "w" : "a");
    if (!file_) return false;
    std::fputs(HeadLines(title_.c_str(), "\n").c_str(), file_);
    return true;
}

HMODULE LoadAnnalixLibrary(const std::string& annalixInstallPath)
{
    HMODULE module = nullptr;
    if (!annalixInstallPath.empty()) {
        std::string path = annalixInstallPath + "\\" + TEXT_ANNALIX_DLL;
        module = LoadLibraryA(path.c_str());
    }
    if (!module) module = LoadLibraryA(TEXT_ANNALIX_DLL);
    return module;
}

bool ResultLog::StartAnnalix()
{
    if (settings_.LogFullErrorNo == kLogNone) return true;
    annalixModule_ = LoadAnnalixLibrary(TheConsoleSettings().AnnalixInstallPath);
    if (!annalixModule_) {
        DWORD code = GetLastError();
        CopyField(annalixError_.context, "LoadLibrary");
        annalixError_.code = code;
        CopyField(annalixError_.message, SystemMessageText(code));
        return false;
    }
    struct Export {
        const char* name;
        const char* context;
        FARPROC* target;
    };
    FARPROC begin = nullptr, write = nullptr, end = nullptr;
    const Export exports[] = {
        {"BeginSession", "GetProcAddress - 'BeginSession'", &begin},
        {"WriteLog", "GetProcAddress - 'WriteLog'", &write},
        {"EndSession", "GetProcAddress - 'EndSession'", &end},
    };
    for (const Export& e : exports) {
        *e.target = GetProcAddress(annalixModule_, e.name);
        if (!*e.target) {
            DWORD code = GetLastError();
            CopyField(annalixError_.context, e.context);
            annalixError_.code = code;
            CopyField(annalixError_.message, SystemMessageText(code));
            UnloadAnnalix();
            return false;
        }
    }
    beginSession_ = reinterpret_cast<AnnalixBeginSessionProc>(reinterpret_cast<void*>(begin));
    writeLog_ = reinterpret_cast<AnnalixWriteLogProc>(reinterpret_cast<void*>(write));
    endSession_ = reinterpret_cast<AnnalixEndSessionProc>(reinterpret_cast<void*>(end));
    annalixSession_ = 0;
    if (beginSession_(kAnnalixApplication, title_.c_str(), 0, &annalixSession_, &annalixError_)) return true;
    UnloadAnnalix();
    return false;
}

void ResultLog::UnloadAnnalix()
{
    beginSession_ = nullptr;
    writeLog_ = nullptr;
    endSession_ = nullptr;
    if (annalixModule_) FreeLibrary(annalixModule_);
    annalixModule_ = nullptr;
}

void ResultLog::ShowAnnalixFailure()
{
    if (annalixError_.code == kRpcServerUnavailable)
        ShowMessage(kMessageStop, owner_, kAnnalixCaption, IDS_ANNALIX_UNAVAILABLE);
    else
        ShowMessage(kMessageStop, owner_, kAnnalixCaption, IDS_PRODUCT_ERROR, kAnnalixProduct, annalixError_.message,
                    static_cast<int>(annalixError_.code));
}

bool ResultLog::LogItem(bool isError, const char* compName, const char* itemName, const char* description,
                        const char* errorText, int32_t errorCode)
{
    ++itemCount_;
    if (isError) ++errorCount_;
    if (settings_.LogFullErrorNo == kLogNone) return true;
    if (settings_.LogFullErrorNo == kLogErrorsOnly && !isError) return true;

    const char* result = isError ? "Error" : "Success";
    compName = OrAbsent(compName);
    itemName = OrAbsent(itemName);
    description = OrAbsent(description);
    errorText = OrAbsent(errorText);

    if (settings_.LogWriteFile && file_) {
        std::fprintf(file_, kRecordFormat, result, description, compName, itemName, errorText, errorCode);
        std::fputc('\n', file_);
    }
    if (settings_.LogWriteAnnalix && annalixModule_ && writeLog_) {
        if (!writeLog_(annalixSession_, compName, itemName, description, errorText, result, errorCode,
                       &annalixError_)) {
            annalixError_.context[255] = '\0';
            annalixError_.message[255] = '\0';
            ShowAnnalixFailure();
            if (endSession_) endSession_(annalixSession_, "Annalix Error", &annalixError_);
            UnloadAnnalix();
        }
    }
    if (settings_.NTAppLog) {
        char line[kEventLineLimit + 1];
        int length = std::snprintf(line, sizeof(line), kRecordFormat, result, description, compName, itemName,
                                   errorText, errorCode);
        if (length < 0) return false;
        // A record of 400 characters or more (its line end not counted) is left out, and
        // so is one that would leave no room for the tail within what one event can carry.
        const size_t lineLength = static_cast<size_t>(length) + 2;
        if (static_cast<size_t>(length) < kEventLineLimit &&
            eventText_.size() + lineLength + kEventLineLimit <= kEventTextLimit)
            eventText_.append(line, static_cast<size_t>(length)).append("\r\n");
    }
    return true;
}

bool ResultLog::LogItemById(bool isError, const char* compName, const char* itemName, UINT descriptionId,
                            const char* errorText, int32_t errorCode)
{
    std::string description;
    bool loaded = LoadConsoleString(descriptionId, description);
    return LogItem(isError, compName, itemName, loaded ? description.c_str() : nullptr, errorText, errorCode);
}

void ResultLog::EndSession(const char* finalText, bool succeeded)
{
    const char* result = succeeded && errorCount_ == 0 ? "Success" : "Error";
    if (settings_.LogWriteFile && file_) {
        std::fputs(TailLines(itemCount_, errorCount_, result, finalText, "\n").c_str(), file_);
        std::fputc('\n', file_);
    }
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (annalixModule_) {
        if (settings_.LogWriteAnnalix && endSession_ && !endSession_(annalixSession_, result, &annalixError_)) {
            annalixError_.context[255] = '\0';
            annalixError_.message[255] = '\0';
            ShowMessage(kMessageStop, owner_, kAnnalixCaption, IDS_PRODUCT_ERROR, annalixError_.context,
                        annalixError_.message, static_cast<int>(annalixError_.code));
        }
        UnloadAnnalix();
    }
    sessionOpen_ = false;
    if (settings_.NTAppLog) {
        std::string tail = TailLines(itemCount_, errorCount_, result, finalText, "\r\n");
        if (tail.size() < kEventLineLimit) eventText_ += tail;
        const char* strings[2] = {eventText_.c_str(), ""};
        ReportResultEvent(kEventSessionReport, EVENTLOG_INFORMATION_TYPE, 2, strings);
    }
    eventText_.clear();
}

std::string ViewLogCommand(const LogSettings& settings) { return win::NotepadCommand(settings.LogFileName); }

void ResultLog::ViewLog()
{
    LogSettings fresh;
    fresh.Load(TheConsoleSettings());
    WinExec(ViewLogCommand(fresh).c_str(), SW_SHOWDEFAULT);
}

ResultLog& TheResultLog()
{
    static ResultLog log;
    return log;
}

bool ReportResultEvent(DWORD eventId, WORD eventType, WORD stringCount, const char** strings)
{
    return win::ReportSourceEvent(kEventSourceName, eventType, eventId, stringCount, strings);
}

void SetReportEventFunction(ReportEventFunction function) { win::SetReportEventFunction(function); }
