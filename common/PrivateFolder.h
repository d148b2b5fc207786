// A private temporary folder for copies of the registry hives: made new under the system's
// temporary folder with a name no one can guess ("<prefix><process id>-<128 random bits>"),
// open only to LocalSystem and the administrators and protected from the parent's
// inheritable entries, and removed with its files when its owner goes.
#pragma once
#include <windows.h>

#include <string>

namespace win {

class PrivateFolder {
public:
    // `prefix` names the program, "Vantoro-" or "Restavo-" (kept, not copied).
    explicit PrivateFolder(const char* prefix) noexcept : prefix_(prefix) {}
    ~PrivateFolder() { Remove(); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Makes the folder under `parent` (the system's temporary folder when empty). False
    // with the last error kept.
    bool Create(const std::string& parent = std::string());
    const std::string& Path() const noexcept { return path_; }
    // Deletes the folder's files and the folder; the last error is kept.
    void Remove() noexcept;
    // Lets the folder and its files outlive this owner (files the system still needs).
    void Keep() noexcept { path_.clear(); }

    // `parent`, or the system's temporary folder when it is empty, without a trailing
    // backslash. False with the last error kept.
    static bool BaseFolder(const std::string& parent, std::string& base);
    // The process id a folder's name carries after `prefix`; false for other names.
    static bool ProcessIdOfName(const char* prefix, const char* name, DWORD& processId);

private:
    const char* prefix_;
    std::string path_;
};

// 128 bits no other program can foresee, as 32 hexadecimal digits: from the system's random
// source (CryptoAPI, which Windows NT 4.0 has), or, where it cannot be had, from counters
// an observer cannot read (a name is then only less certain to be new; creations still
// refuse what exists).
std::string UnpredictableHex();

} // namespace win
