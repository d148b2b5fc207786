// The output folder of one computer, expanded from the OutDir template: tokens for the
// computer's name and the date, then the whole text through strftime.
#pragma once
#include <windows.h>

#include <ctime>
#include <string>

// Finds the first `token` in `text` (exact, case-sensitive). Found: the head before it and
// the tail after it (at most 260 characters) are kept in the expansion's working strings
// and true is returned; not found: the head is the whole text, the tail empty.
bool SplitAtToken(const char* token, const std::string& text);
const std::string& TemplateHead();
const std::string& TemplateTail();

// The template expanded for `name` at `when` (local time). False when the formatted path
// would need more than 259 characters or is empty: the path is then left empty, never cut.
bool ExpandOutputFolder(const std::string& outDirTemplate, const char* name, time_t when, std::string& path);
// The console's own OutDir for `name` at the console's current time.
bool ExpandOutputFolder(const char* name, std::string& path);

// Creates `path` and every missing folder above it, from the first missing level down, each
// with `security` when given. 0 on success, otherwise the system error code of the step that
// failed.
DWORD CreateFolderPath(const std::string& path, SECURITY_ATTRIBUTES* security = nullptr);
