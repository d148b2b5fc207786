// Writing a whole file in one call, with the system's code kept when it fails.
#pragma once
#include <windows.h>

#include <string>

namespace win {

// Writes `bytes` as the whole file `path`. With `newFileSecurity` the file must be new
// (CREATE_NEW) and gets that descriptor; without, an existing file is replaced. A short write
// fails with ERROR_WRITE_FAULT. False with the last error kept.
bool WriteWholeFile(const std::string& path, const std::string& bytes, SECURITY_ATTRIBUTES* newFileSecurity);

} // namespace win
