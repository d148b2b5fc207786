// The run's results: the result-log session, and the unattended pass that ends with it.
#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "CreationRun.h"
#include "Messages.h"
#include "ResultLog.h"
#include "StagedSet.h"
#include "UnicenterStatus.h"

#include "AgentDeployment.h"

namespace {
constexpr DWORD kUnattendedSettlePause = 3000; // ms after an unattended pass, before logging
constexpr DWORD kUnattendedDrainLimit = 60;    // seconds to wait for jobs still counted as running
} // namespace

void RunJobsUnattended()
{
    CreationRunState& run = TheRunState();
    PrepareRunState(nullptr);
    RunJobs(TheComputerList());
    for (DWORD waited = 0; run.unattendedStartedCount != 0 && run.unattendedStartedCount != run.completedCount &&
                           waited < kUnattendedDrainLimit;
         ++waited)
        Sleep(1000);
    Sleep(kUnattendedSettlePause);
    LogRunResults(TheComputerList(), nullptr, false);
    WriteUnicenterStatus(TheComputerList(), false);
}

bool JobResultText(const ComputerEntry& entry, std::string& text)
{
    if (!LoadConsoleString(entry.result, text)) return false;
    if (entry.errorCode != 0 && entry.errorCode != kNoErrorCode) text += " - " + NetErrorText(entry.errorCode);
    text += IncompleteTransferNote(entry.name); // the last good set was kept
    return true;
}

void LogRunResults(const ComputerList& list, HWND owner, bool cancelled)
{
    ResultLog& log = TheResultLog();
    if (!log.BeginSession(owner, kSessionCreateErd)) return;
    bool anyFailed = false;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        if (entry->result == kJobSucceeded) {
            log.LogItemById(false, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, nullptr, 0);
            continue;
        }
        anyFailed = true;
        std::string text;
        int32_t code = static_cast<int32_t>(entry->errorCode);
        if (JobResultText(*entry, text)) {
            log.LogItemById(true, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, text.c_str(), code);
        } else {
            log.LogItem(true, entry->name.c_str(), nullptr, TEXT_CREATE_ER_DISK, nullptr, code);
        }
    }
    std::string finalText;
    LoadConsoleString(cancelled ? IDS_CANCELLED_BY_USER : IDS_OPERATION_COMPLETED, finalText);
    log.EndSession(finalText.c_str(), !cancelled && !anyFailed);
}
