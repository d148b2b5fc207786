#include "CreationSteps.h"

#include "CreationRun.h"
#include "Enumeration.h"
#include "OutputFolder.h"
#include "Security.h"
#include "StagedSet.h"
#include "Synchronization.h"

#include <cstring>

namespace {

// Output folders are checked and made one at a time: two fetches making the same missing
// parent folder must not fail each other.
win::CriticalSection g_folderLock;

// A failed fetch: its result, and its error code unless the agent had reported a code of
// its own, which stays the computer's code.
void FailFetch(CreationJob& job, uint32_t result, uint32_t errorCode)
{
    job.entry.result = result;
    if (!job.agentReportedCode) job.entry.errorCode = errorCode;
}

// The job's output folder, made when missing. False: the fetch has failed with result 9.
bool PrepareOutputFolder(CreationJob& job)
{
    win::CriticalSectionLock hold(g_folderLock);
    // A fetch that was waiting here when Cancel came makes no folder.
    if (IsCancelRequested()) {
        SetOutcome(job.entry, kJobCancelled, kNoErrorCode);
        return false;
    }
    // Expanded as the fetch starts: a run that passes midnight gives each job its own day.
    if (!ExpandOutputFolder(job.entry.name.c_str(), job.folder)) {
        FailFetch(job, kJobOutputFolderError, GetLastError()); // too long, or a name that is no folder
        return false;
    }
    // A swap the console did not finish is completed or undone before the folder is made.
    RecoverStagedSet(job.folder);
    DWORD attributes = GetFileAttributesA(job.folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::Folder);
        CreateFolderPath(job.folder, security.Attributes());
        // The folder's own test decides, with its error code.
        attributes = GetFileAttributesA(job.folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            FailFetch(job, kJobOutputFolderError, GetLastError());
            return false;
        }
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        FailFetch(job, kJobOutputFolderError, ERROR_DIRECTORY);
        return false;
    }
    return true;
}

// The go-ahead, then every file the agent sends received into `folder` until its listing
// ends. True only on "<Finish>".
bool ReceiveIntoFolder(CreationJob& job, const std::string& folder)
{
    ComputerEntry& entry = job.entry;
    // A failed outcome's files (AlwaysCopyFiles) are received, but never replace a set.
    const bool outcomeSucceeded = entry.result == kJobSucceeded;
    // The previous set stays whole under the folder's name until "<Finish>".
    StagedSet staged(folder, entry.name);
    if (!staged.Begin()) {
        FailFetch(job, kJobOutputFolderError, GetLastError());
        return false;
    }
    // The go-ahead; its value means nothing. A go-ahead that cannot be written has no
    // outcome of its own: the reception that follows fails.
    unsigned char goAhead = 0x10; // FILE_ATTRIBUTE_DIRECTORY's low byte, the folder's attribute word
    job.channel.WriteExact(&goAhead, 1, true);

    std::string fileName;
    for (;;) {
        if (IsCancelRequested()) {
            SetOutcome(entry, kJobCancelled, kNoErrorCode);
            return false;
        }
        int received = job.channel.ReceiveFile(fileName, staged.ReceiveFolder().c_str());
        if (received == -3) {
            FailFetch(job, kJobTimeout, kNoErrorCode);
            return false;
        }
        if (received != 0) {
            DWORD error = GetLastError();
            if (IsCancelRequested())
                SetOutcome(entry, kJobCancelled, kNoErrorCode);
            else
                FailFetch(job, kJobCopyError, error);
            return false;
        }
        if (fileName == kFinishName) {
            if (!outcomeSucceeded) return false; // kept aside; the outcome's result stands
            if (staged.Commit()) return true;    // the whole set, checked, in place
            const DWORD error = GetLastError();
            FailFetch(job, staged.Rejection().Passed() ? kJobOutputFolderError : kJobCopyError, error);
            return false;
        }
        if (fileName == kErrorName) {
            FailFetch(job, kJobCopyError, kNoErrorCode);
            return false;
        }
    }
}

} // namespace

void SetOutcome(ComputerEntry& entry, uint32_t result, uint32_t errorCode)
{
    entry.result = result;
    entry.errorCode = errorCode;
}

void FinishOnTarget(CreationJob& job)
{
    job.channel.Close();
    Deployer().Remove(job);
}

bool DeployStep(CreationJob& job)
{
    bool deployed = false;
    if (!IsCancelRequested()) {
        if (job.entry.Role() == kRoleUndetermined) LookupComputer(job.entry);
        deployed = !IsCancelRequested() && Deployer().Deploy(job);
    }
    if (deployed && !IsCancelRequested()) return true;
    if (IsCancelRequested()) SetOutcome(job.entry, kJobCancelled, kNoErrorCode);
    FinishOnTarget(job);
    return false;
}

bool TakeOutcome(CreationJob& job, bool alwaysCopy)
{
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(job.channel.handle, &job.channel.overlapped, &got, FALSE);
    if (!ok || got < sizeof(AgentStatus)) {
        SetOutcome(job.entry, kJobCommunication, ok ? ERROR_INVALID_DATA : GetLastError());
    } else if (!job.status.succeeded) {
        if (job.status.code == kAgentStatusCode_Timeout) {
            SetOutcome(job.entry, kJobTimeout, kNoErrorCode);
        } else {
            SetOutcome(job.entry, kJobCommunication, job.status.code);
            job.agentReportedCode = job.status.code != 0 && job.status.code != kNoErrorCode;
        }
    }
    return job.entry.result == kJobSucceeded || alwaysCopy;
}

bool FetchRepairFiles(CreationJob& job)
{
    return PrepareOutputFolder(job) && ReceiveIntoFolder(job, job.folder);
}

bool FetchStep(CreationJob& job)
{
    bool fetched = FetchRepairFiles(job);
    FinishOnTarget(job);
    return fetched;
}
