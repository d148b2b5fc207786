// The operations of the restore that reach another computer or change the running
// system: connecting to a computer's registry, placing a file on it, swapping a hive in
// and restarting it. The program uses the real calls; tests put in their own object to
// stand for a remote computer and to see what the restore asked for.
#pragma once
#include <windows.h>

namespace restavo {

class RestoreSystem {
public:
    virtual ~RestoreSystem() = default;

    // RegConnectRegistryA: `*result` receives a key the caller closes with RegCloseKey.
    virtual LONG ConnectRegistry(const char* machine, HKEY root, HKEY* result);
    // CopyFileA with overwriting allowed.
    virtual BOOL CopyToTarget(const char* source, const char* target);
    // DeleteFileA.
    virtual BOOL DeleteTargetFile(const char* path);
    // RegReplaceKeyA.
    virtual LONG ReplaceKey(HKEY root, const char* key, const char* newFile, const char* oldFile);
    // InitiateSystemShutdownA.
    virtual BOOL Shutdown(const char* machine, const char* message, DWORD timeoutSeconds, BOOL forceClose,
                          BOOL restart);
};

// The process-wide object that makes the real calls.
RestoreSystem& RealRestoreSystem();

} // namespace restavo
