#include "HelpFileLookup.h"

#include "Handle.h"

namespace win {

std::string FindHelpFile(const std::string& folder, const char* preferredName)
{
    const std::string preferred = folder + "\\" + preferredName;
    const DWORD attributes = GetFileAttributesA(preferred.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return preferred;

    WIN32_FIND_DATAA found = {};
    FindHandle search(FindFirstFileA((folder + "\\*.hlp").c_str(), &found));
    if (search) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return folder + "\\" + found.cFileName;
        } while (FindNextFileA(search.Get(), &found));
    }
    return preferredName;
}

} // namespace win
