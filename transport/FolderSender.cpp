#include "FolderSender.h"

#include "Handle.h"

#include <cstring>

namespace {

bool IsSkipped(const WIN32_FIND_DATAA& entry)
{
    return std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0 ||
           std::strcmp(entry.cFileName, "$$hive$$.tmp") == 0 || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

bool SendFolderFiles(PipeChannel& channel, HANDLE stopEvent, const std::string& folder,
                     const FolderSendOptions& options)
{
    WIN32_FIND_DATAA entry;
    win::FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!find) return false;
    unsigned index = 0;
    DWORD listingEnd = 0;
    // The listing found `entry`: false when it failed there instead (an injected fault).
    auto found = [&] {
        listingEnd = options.hook && !IsSkipped(entry) ? options.hook->BeforeFile(index, entry.cFileName) : 0;
        return listingEnd == 0;
    };
    auto stopped = [&] { return WaitForSingleObject(stopEvent, options.stopCheckMs) != WAIT_TIMEOUT; };
    if (found()) {
        if (stopped()) return false;
        for (;;) {
            if (!IsSkipped(entry)) {
                if (!channel.SendFile(entry.cFileName, folder.c_str())) return false;
                ++index;
            }
            if (!FindNextFileA(find.Get(), &entry)) {
                listingEnd = GetLastError();
                break;
            }
            if (!found()) break;
            if (stopped()) return false;
        }
    }
    find.Reset();
    if (options.hook) options.hook->BeforeTerminator();
    return channel.SendFile(listingEnd == ERROR_NO_MORE_FILES ? kFinishName : kErrorName, "");
}
