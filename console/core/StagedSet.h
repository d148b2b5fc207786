// One computer's repair files received beside its output folder and put in place whole.
//
// The files arrive in "<folder>.incomplete"; only after the agent's "<Finish>" does the set
// take the folder's name: the previous set is renamed "<folder>.previous", the new one
// renamed to the folder's name, and the previous one removed. A transfer that breaks leaves
// the folder as it was and its partial files in the ".incomplete" folder, whose name says
// what it holds. Should the console end between the two renames, the next use of the folder
// (the next fetch, or Apply ERD) puts the previous set back under its name first.
//
// A template without the computer's name gives several computers one folder: each then
// receives into "<folder>.<COMPUTER>.incomplete", and the swaps run one at a time.
#pragma once
#include <windows.h>

#include <string>

constexpr char kIncompleteSuffix[] = ".incomplete";
constexpr char kPreviousSuffix[] = ".previous";

class StagedSet {
public:
    // `folder`: the computer's output folder, as expanded from the template.
    StagedSet(const std::string& folder, const std::string& computer);
    // A set begun and not put in place is noted for the result log.
    ~StagedSet();
    StagedSet(const StagedSet&) = delete;
    StagedSet& operator=(const StagedSet&) = delete;

    // Repairs an interrupted swap, then makes the receive folder, empty. False with the
    // system's code as last error when it cannot be made.
    bool Begin();
    // Where the files are received. The folder itself when it is the root of a drive or
    // share (nothing beside it to swap with).
    const std::string& ReceiveFolder() const noexcept { return receive_; }
    // Puts the received set in place of the previous one. False with the system's code as
    // last error; the previous set is then still under the folder's name.
    bool Commit();

    const std::string& Folder() const noexcept { return folder_; }
    bool IsStaged() const noexcept { return receive_ != folder_; }

private:
    std::string computer_;
    std::string folder_;  // without trailing backslashes
    std::string receive_; // folder_ + ".incomplete", or folder_ itself
    bool begun_ = false;
    bool committed_ = false;
};

// Puts a set left aside by an interrupted swap back under the folder's name, or removes
// the previous set when the new one is already in place. Apply ERD calls it before it
// names the folder to Restavo.
void RecoverStagedSet(const std::string& folder);

// The result log's words for a computer whose staged transfer did not complete in this
// run (empty otherwise); a run starts by forgetting the last run's.
void ForgetIncompleteTransfers();
std::string IncompleteTransferNote(const std::string& computer);
