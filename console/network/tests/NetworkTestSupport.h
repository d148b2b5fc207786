// Helpers of the enumeration tests: waiting, with a bound, for detached lookups to end.
#pragma once
#include "Enumeration.h"

#include <windows.h>

#include <string>

namespace console_test {

inline bool WaitForLookups(DWORD limitMs = 20000)
{
    for (DWORD waited = 0; waited < limitMs; waited += 10) {
        if (ActiveLookupThreads() == 0) return true;
        Sleep(10);
    }
    return false;
}

inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

} // namespace console_test
