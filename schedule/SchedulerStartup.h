// Scheduler's start-up values: the three command-line tokens, the environment switches and
// the help file.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace schedule {

struct StartupValues {
    std::string program;      // at most 259 characters
    std::string parameters;   // at most 254 characters; "NONE" gives empty
    std::string importFile;   // at most 259 characters
};

// The part of a process command line after the program's own name.
const char* SkipProgramName(const char* commandLine);

// Up to `count` tokens: runs without blanks, or runs in double quotes (quotes removed).
std::vector<std::string> CommandTokens(const char* arguments, size_t count);

// The start-up values from the arguments (the command line without the program's name).
StartupValues ParseStartupValues(const char* arguments);

// "<" and ">" each become a double quote.
std::string ReplaceAngleQuotes(std::string text);

// An environment switch: the value of a variable holding exactly one character, read as a
// decimal number; 1 when the variable is absent, empty or longer.
int ReadEnvironmentSwitch(const char* name);

// The help file beside the program: Scheduler.chm, else the first *.chm there, else the
// bare name "Scheduler.chm" (also when the path has no folder).
std::string FindHelpFile(const std::string& programPath);

} // namespace schedule
