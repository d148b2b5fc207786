// Finding a program's WinHelp file beside the program.
#pragma once
#include <string>

namespace win {

// `folder`\`preferredName` if that file exists; otherwise the first "*.hlp" file of
// `folder`; otherwise the bare `preferredName` (the help system then looks for it).
std::string FindHelpFile(const std::string& folder, const char* preferredName);

} // namespace win
