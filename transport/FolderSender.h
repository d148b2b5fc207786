// The agent's sending side of the repair files: every file of one folder over the pipe,
// then the terminator name. The agent and the tests' simulated agents run this one copy;
// a simulated agent only injects faults through the hook.
#pragma once
#include "PipeChannel.h"

#include <windows.h>

#include <string>

// Called as the listing finds each file to be sent (index 0, 1, ... in the order of the
// listing), before the stop check that precedes it. Tests stop the agent, remove the file
// or take the pipe away from here. A nonzero result is a listing that fails here with that
// error instead of finding the file.
class FolderSendHook {
public:
    virtual ~FolderSendHook() = default;
    virtual DWORD BeforeFile(unsigned index, const char* fileName) = 0;
    // Called once the listing has ended, before the terminator name goes out.
    virtual void BeforeTerminator() {}
};

struct FolderSendOptions {
    // How long the look at the stop event before each file waits (the agent's 100 ms).
    DWORD stopCheckMs = 100;
    FolderSendHook* hook = nullptr;
};

// The files of `folder` ("." , "..", "$$hive$$.tmp" and subfolders skipped), each after a
// look at `stopEvent`, then "<Finish>" when the listing ended, "<Error>" when it broke off.
// False when the listing could not start, the stop event was set, or a file failed: then
// no terminator is sent.
bool SendFolderFiles(PipeChannel& channel, HANDLE stopEvent, const std::string& folder,
                     const FolderSendOptions& options = FolderSendOptions());
