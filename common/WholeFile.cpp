#include "WholeFile.h"

#include "Handle.h"

namespace win {

bool WriteWholeFile(const std::string& path, const std::string& bytes, SECURITY_ATTRIBUTES* newFileSecurity)
{
    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, newFileSecurity,
                            newFileSecurity ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return false;
    if (written != bytes.size()) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

} // namespace win
