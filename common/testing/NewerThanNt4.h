// The few functions newer than Windows NT 4.0 that the test programs call to set up and clean
// up (Wine has them all). The i686 build's headers hide them, since the programs must load on
// NT 4.0; the i686 test programs get this header ahead of every source of theirs. Product
// code never includes it, and the nt4_imports check keeps the programs free of these.
#pragma once

#include <windows.h>

#if defined(_WIN32_WINNT) && _WIN32_WINNT < 0x0600
extern "C" {
WINADVAPI LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subKey);
}
#endif
