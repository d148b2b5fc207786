// ntsim.exe: makes the current Wine prefix look like the Windows NT computer the agent
// runs on. Run it once per prefix (it may run again: it refreshes the hive files and
// rdisk.exe, and keeps values that are already set). rdisk.exe is taken from ntsim.exe's
// own folder, or from the path given as the one argument.
#include <cstdio>

#include "SimulatedNt.h"
#include "SystemText.h"

int main(int argc, char** argv)
{
    std::string rdisk = argc > 1 ? argv[1] : win::ModuleFolder() + "\\rdisk.exe";
    ntsim::Report report = ntsim::PrepareComputer(rdisk);
    if (!report.step.empty()) {
        std::fprintf(stderr, "ntsim: %s failed: error %lu %s\n", report.step.c_str(), report.error,
                     win::SystemMessageText(report.error).c_str());
        return 1;
    }
    std::printf("ntsim: this computer is prepared as a Windows NT computer\n");
    return 0;
}
