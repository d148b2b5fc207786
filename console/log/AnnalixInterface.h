// The calls of the separate Annalix event-store product's DLL, as the console makes them.
// All use the C calling convention and return nonzero for success; on failure they fill
// the error record.
#pragma once
#include <cstddef>
#include <cstdint>

struct AnnalixError {
    char context[256];
    uint32_t code;
    char message[256];
};
static_assert(sizeof(AnnalixError) == 516);
static_assert(offsetof(AnnalixError, code) == 256);
static_assert(offsetof(AnnalixError, message) == 260);

extern "C" {
typedef int(__cdecl* AnnalixBeginSessionProc)(const char* application, const char* title, int32_t reserved,
                                               uint32_t* session, AnnalixError* error);
typedef int(__cdecl* AnnalixWriteLogProc)(uint32_t session, const char* computer, const char* item,
                                           const char* description, const char* errorText, const char* result,
                                           int32_t errorCode, AnnalixError* error);
typedef int(__cdecl* AnnalixEndSessionProc)(uint32_t session, const char* result, AnnalixError* error);
typedef int(__cdecl* AnnalixExecuteOnDemandTasksProc)(const char* application, AnnalixError* error);
}

constexpr char kAnnalixApplication[] = "Salvora";
constexpr uint32_t kRpcServerUnavailable = 1722;
