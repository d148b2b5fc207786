// Stand-in for the DLL of Annalix, the maker's separate event-collection product.
//
// It keeps its sessions and records as lines of a plain text file, Annalix.txt, in the
// folder of the DLL itself:
//   BEGIN <session>\t<application>\t<title>
//   LOG <session>\t<result>\t<computer>\t<item>\t<description>\t<error text>\t<code>
//   END <session>\t<result>
//   TASKS <application>
// A test makes a call fail by setting the environment variable ANNALIX_FAIL to a list of
// <call>=<code> pairs separated by commas, for example "WriteLog=1722,EndSession=5"; the
// call then fills the error record with that code and returns 0.
#include "AnnalixInterface.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HMODULE g_module = nullptr;
volatile LONG g_lastSession = 0;

std::string StorePath()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(g_module, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return "Annalix.txt";
    char* slash = std::strrchr(path, '\\');
    if (slash) slash[1] = '\0';
    return std::string(path) + "Annalix.txt";
}

void Fill(AnnalixError* error, const char* context, uint32_t code, const char* message)
{
    if (!error) return;
    std::snprintf(error->context, sizeof(error->context), "%s", context);
    error->code = code;
    std::snprintf(error->message, sizeof(error->message), "%s", message);
}

// The failure code asked for `call`, or 0.
uint32_t RequestedFailure(const char* call)
{
    char list[512] = {};
    DWORD length = GetEnvironmentVariableA("ANNALIX_FAIL", list, sizeof(list));
    if (length == 0 || length >= sizeof(list)) return 0;
    std::string text = list;
    std::string wanted = std::string(call) + "=";
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string pair = text.substr(start, end - start);
        if (pair.compare(0, wanted.size(), wanted) == 0) return static_cast<uint32_t>(std::strtoul(pair.c_str() + wanted.size(), nullptr, 10));
        start = end + 1;
    }
    return 0;
}

bool Failed(const char* call, AnnalixError* error)
{
    uint32_t code = RequestedFailure(call);
    if (code == 0) return false;
    std::string message = std::string("Annalix could not complete ") + call;
    Fill(error, call, code, message.c_str());
    return true;
}

bool Append(const std::string& line, AnnalixError* error, const char* call)
{
    FILE* file = std::fopen(StorePath().c_str(), "ab");
    if (!file) {
        Fill(error, call, GetLastError() ? GetLastError() : ERROR_OPEN_FAILED, "Annalix store cannot be opened");
        return false;
    }
    std::fputs(line.c_str(), file);
    std::fputs("\r\n", file);
    std::fclose(file);
    return true;
}

const char* Text(const char* text) { return text ? text : ""; }

} // namespace

extern "C" {

__declspec(dllexport) int __cdecl BeginSession(const char* application, const char* title, int32_t, uint32_t* session,
                                               AnnalixError* error)
{
    if (Failed("BeginSession", error)) return 0;
    if (!session) {
        Fill(error, "BeginSession", ERROR_INVALID_PARAMETER, "No session handle");
        return 0;
    }
    *session = static_cast<uint32_t>(InterlockedIncrement(&g_lastSession));
    char head[32];
    std::snprintf(head, sizeof(head), "BEGIN %u\t", *session);
    return Append(std::string(head) + Text(application) + "\t" + Text(title), error, "BeginSession") ? 1 : 0;
}

__declspec(dllexport) int __cdecl WriteLog(uint32_t session, const char* computer, const char* item,
                                           const char* description, const char* errorText, const char* result,
                                           int32_t errorCode, AnnalixError* error)
{
    if (Failed("WriteLog", error)) return 0;
    char head[32];
    std::snprintf(head, sizeof(head), "LOG %u\t", session);
    char code[16];
    std::snprintf(code, sizeof(code), "%d", static_cast<int>(errorCode));
    std::string line = std::string(head) + Text(result) + "\t" + Text(computer) + "\t" + Text(item) + "\t" +
                       Text(description) + "\t" + Text(errorText) + "\t" + code;
    return Append(line, error, "WriteLog") ? 1 : 0;
}

__declspec(dllexport) int __cdecl EndSession(uint32_t session, const char* result, AnnalixError* error)
{
    char head[32];
    std::snprintf(head, sizeof(head), "END %u\t", session);
    // The end is recorded even when the call is made to fail, so a test sees that it came.
    Append(std::string(head) + Text(result), error, "EndSession");
    if (Failed("EndSession", error)) return 0;
    return 1;
}

__declspec(dllexport) int __cdecl ExecuteOnDemandTasks(const char* application, AnnalixError* error)
{
    if (Failed("ExecuteOnDemandTasks", error)) return 0;
    return Append(std::string("TASKS ") + Text(application), error, "ExecuteOnDemandTasks") ? 1 : 0;
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
