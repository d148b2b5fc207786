// One computer's repair files received beside its output folder and put in place whole, and
// only when they make a set that would restore.
//
// The files arrive in a staging folder the console makes new next to the folder (inside it
// when the folder is a drive's or share's root): "%~" and a short number, a name no
// computer's folder can have (a computer's name holds no "%", and a template whose folder
// begins with the mark is refused). A name that exists is skipped, never emptied or reused.
// After the agent's "<Finish>" the set is checked; a set that passes takes the folder's
// place: the folder is renamed to a previous-set name made the same way, the staging folder
// renamed to the folder's name, and the previous set removed. Each swap is recorded first
// in the console's registry key, which only administrators may write, and a swap the
// console did not finish is completed or undone from that record alone; what the console
// did not record is never renamed, emptied or adopted.
//
// A set that is not put in place (the transfer broke, the set failed its check, or the
// agent's outcome was a failure) stays aside in its staging folder, which the result log
// names; only the latest such folder per output folder is kept.
//
// Folders and files made here are administrators-only. Swaps of one folder are serialised
// across threads and processes (Restavo holds the same guard while it restores from it).
#pragma once
#include <windows.h>

#include <string>

#include "RepairSet.h"

// What every staging and previous-set folder's name begins with.
constexpr char kStagingMark[] = "%~";
// How long a commit waits for another holder of the folder (a console or Restavo).
constexpr DWORD kFolderGuardWait = 30000;
// How long a rename that meets a file in use is tried again.
constexpr DWORD kSharingRetryLimit = 10000;

class StagedSet {
public:
    // `folder`: the computer's output folder, as expanded from the template.
    StagedSet(const std::string& folder, const std::string& computer);
    // A set begun and not put in place stays aside, noted for the result log.
    ~StagedSet();
    StagedSet(const StagedSet&) = delete;
    StagedSet& operator=(const StagedSet&) = delete;

    // Completes or undoes a recorded swap of the folder, then makes the staging folder new.
    // False with the system's code as last error (ERROR_FILENAME_EXCED_RANGE when the files
    // would not fit under it, ERROR_INVALID_NAME for a folder named like a staging folder).
    bool Begin();
    const std::string& ReceiveFolder() const noexcept { return receive_; }
    // Checks the received set and puts it in place of the previous one. False with the
    // system's code as last error (ERROR_INVALID_DATA: the set failed its check, Rejection()
    // says why); the previous set is then still under the folder's name.
    bool Commit();
    const repairset::CheckResult& Rejection() const noexcept { return rejection_; }

    const std::string& Folder() const noexcept { return folder_; }

private:
    bool Swap();
    void KeepAside();

    std::string computer_;
    std::string folder_;  // without trailing backslashes
    bool root_ = false;   // the folder is a drive's or share's root: staged inside it
    std::string parent_;  // where the staging folder is made
    std::string receive_; // the staging folder
    repairset::CheckResult rejection_;
    bool begun_ = false;
    bool committed_ = false;
};

// Completes or undoes a swap of `folder` that the console recorded and did not finish. Apply
// ERD calls it before it names the folder to Restavo.
void RecoverStagedSet(const std::string& folder);

// Renames a file or folder; a sharing violation (a scanner, an editor, Restavo holding a file
// of the set) is tried again for at most `limit` ms. False with the system's code.
bool RenameWithRetry(const std::string& from, const std::string& to, DWORD limit = kSharingRetryLimit);

// Tests only: the next swap stops after `steps` of its steps (1: the folder renamed aside,
// 2: the new set in place), as if the console had ended there. 0: no stop.
void StopNextSwapAfterStep(int steps);

// The result log's words for a computer whose set was not put in place in this run (empty
// otherwise); a run starts by forgetting the last run's.
void ForgetIncompleteTransfers();
std::string IncompleteTransferNote(const std::string& computer);
