// Keeps one Windows process alive for the whole test run. Wine ends its service processes
// (services.exe and the services it runs) when the last program of the session ends, and
// the service manager then refuses requests for a while after the next program starts;
// with this process alive the manager stays up between test programs.
#include <windows.h>

int main()
{
    for (;;) Sleep(INFINITE);
}
