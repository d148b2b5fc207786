#include "SchedulerStartup.h"

#include <cstdlib>

#include "Handle.h"
#include "SchedulerJob.h"

namespace schedule {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Cut(std::string text, size_t length)
{
    if (text.size() > length) text.resize(length);
    return text;
}

} // namespace

const char* SkipProgramName(const char* commandLine)
{
    if (!commandLine) return "";
    const char* p = commandLine;
    while (IsBlank(*p)) ++p;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && !IsBlank(*p)) ++p;
    }
    return p;
}

std::vector<std::string> CommandTokens(const char* arguments, size_t count)
{
    std::vector<std::string> tokens;
    const char* p = arguments ? arguments : "";
    while (tokens.size() < count) {
        while (IsBlank(*p)) ++p;
        if (!*p) break;
        std::string token;
        if (*p == '"') {
            ++p;
            while (*p && *p != '"') token.push_back(*p++);
            if (*p == '"') ++p;
        } else {
            while (*p && !IsBlank(*p)) token.push_back(*p++);
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

StartupValues ParseStartupValues(const char* arguments)
{
    std::vector<std::string> tokens = CommandTokens(arguments, 3);
    StartupValues values;
    if (tokens.size() > 0) values.program = Cut(tokens[0], kMaxProgram);
    if (tokens.size() > 1 && tokens[1] != "NONE") values.parameters = Cut(tokens[1], kMaxParameters);
    if (tokens.size() > 2) values.importFile = Cut(tokens[2], kMaxImportFile);
    return values;
}

std::string ReplaceAngleQuotes(std::string text)
{
    for (char& c : text)
        if (c == '<' || c == '>') c = '"';
    return text;
}

int ReadEnvironmentSwitch(const char* name)
{
    char value[2] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    if (length != 1) return 1;
    char digit[2] = {value[0], '\0'};
    return std::atoi(digit);
}

std::string FindHelpFile(const std::string& programPath)
{
    const std::string bare = "Scheduler.chm";
    size_t slash = programPath.rfind('\\');
    if (slash == std::string::npos) return bare;
    std::string folder = programPath.substr(0, slash + 1);
    std::string own = folder + bare;
    if (GetFileAttributesA(own.c_str()) != INVALID_FILE_ATTRIBUTES) return own;
    WIN32_FIND_DATAA found = {};
    win::FindHandle search(FindFirstFileA((folder + "*.chm").c_str(), &found));
    if (search) return folder + found.cFileName;
    return bare;
}

} // namespace schedule
