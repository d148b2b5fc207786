// Helpers shared by the test programs: scratch folders, whole-file reads and writes,
// and running a program of the build to its end.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const char* prefix = "ost");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Removes a folder and everything below it; true when it is gone.
bool RemoveTree(const std::string& path);

bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool FileExists(const std::string& path);
// Names of the plain files of a folder (no subfolders), sorted.
std::vector<std::string> ListFiles(const std::string& folder);
// Names of the files and folders of a folder that match `pattern`, sorted.
std::vector<std::string> ListEntries(const std::string& folder, const char* pattern = "*");

// Deterministic pseudo-random bytes.
std::string PatternBytes(size_t count, unsigned seed);

// The folder of the running test program (the build's bin/).
std::string BinFolder();

// Runs a command line and waits up to `timeoutMs`; returns its exit code, or -1 when it
// could not be started or did not end in time (then it is terminated).
int RunProgram(const std::string& commandLine, DWORD timeoutMs = 60000);

// What the DACL of a file or folder grants, read back. Windows keeps the administrators-only
// DACL as it was given; Wine maps it onto the file's Unix mode and reads that back as entries
// for LocalSystem and the file's owner (the current user), so an entry naming the current
// user is counted as the owner's, not as someone else's.
struct DaclReadBack {
    bool read = false;
    int entries = 0;
    int othersGranted = 0; // entries for anyone but Administrators, LocalSystem or the owner
    bool inheritable = false; // every entry is inherited by files and subfolders
};
DaclReadBack ReadDacl(const std::string& path);

} // namespace testing_support
