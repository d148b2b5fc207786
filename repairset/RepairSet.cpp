#include "RepairSet.h"

#include "Handle.h"
#include "Szdd.h"
#include "SystemText.h"

#include <cstdint>
#include <cstring>

namespace repairset {
namespace {

// The regf base block: a 4096-byte header before the hive bins.
constexpr size_t kBaseBlockSize = 4096;
constexpr size_t kChecksumOffset = 508;
constexpr size_t kHiveLengthOffset = 0x28;
constexpr char kWineSignature[] = "WINE REGISTRY Version 2";

uint32_t Word(const std::string& data, size_t offset)
{
    uint32_t value = 0;
    std::memcpy(&value, data.data() + offset, sizeof(value));
    return value;
}

bool ReadWhole(const std::string& path, std::string& bytes, DWORD& error)
{
    win::Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        error = GetLastError();
        return false;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file.Get(), &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || size > 0x7FFFFFFF) {
        error = size == INVALID_FILE_SIZE ? GetLastError() : ERROR_FILE_TOO_LARGE;
        return false;
    }
    bytes.assign(size, '\0');
    DWORD got = 0;
    if (size && (!ReadFile(file.Get(), &bytes[0], size, &got, nullptr) || got != size)) {
        error = got != size && GetLastError() == ERROR_SUCCESS ? ERROR_READ_FAULT : GetLastError();
        return false;
    }
    return true;
}

} // namespace

const char* FaultText(Fault fault) noexcept
{
    switch (fault) {
    case Fault::None:
        return "a whole hive";
    case Fault::Missing:
        return "missing";
    case Fault::Unreadable:
        return "cannot be read";
    case Fault::NotCompressed:
        return "not compressed data";
    case Fault::Cut:
        return "cut short";
    case Fault::TooLong:
        return "longer than its header declares";
    case Fault::NotAHive:
        return "not a hive the system would load";
    }
    return "unknown";
}

std::string Describe(const CheckResult& result)
{
    std::string text = result.file + ": " + FaultText(result.fault);
    if (result.error != ERROR_SUCCESS) text += win::Format(" (error %lu)", static_cast<unsigned long>(result.error));
    return text;
}

bool RunningOnWine() noexcept
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsRegfHive(const std::string& data)
{
    if (data.size() < kBaseBlockSize + 32 || data.compare(0, 4, "regf") != 0) return false;
    uint32_t sum = 0;
    for (size_t offset = 0; offset < kChecksumOffset; offset += 4) sum ^= Word(data, offset);
    if (sum != Word(data, kChecksumOffset)) return false;
    const uint32_t length = Word(data, kHiveLengthOffset);
    if (length == 0 || length % kBaseBlockSize != 0 || length > data.size() - kBaseBlockSize) return false;
    return data.compare(kBaseBlockSize, 4, "hbin") == 0;
}

bool IsWineTextHive(const std::string& data)
{
    const size_t signature = sizeof(kWineSignature) - 1;
    if (data.compare(0, signature, kWineSignature) != 0) return false;
    if (data.size() == signature || (data[signature] != '\n' && data[signature] != '\r')) return false;
    // Every saved key is a line "[name] time"; a save holds at least its own key.
    return data.find("\n[") != std::string::npos;
}

bool IsLoadableHive(const std::string& data)
{
    return RunningOnWine() ? IsWineTextHive(data) : IsRegfHive(data);
}

CheckResult CheckHiveFile(const std::string& path)
{
    CheckResult result;
    const size_t slash = path.find_last_of("\\/");
    result.file = slash == std::string::npos ? path : path.substr(slash + 1);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.fault = Fault::Missing;
        return result;
    }
    std::string packed;
    if (!ReadWhole(path, packed, result.error)) {
        result.fault = Fault::Unreadable;
        return result;
    }
    std::string hive;
    switch (szdd::Expand(packed, hive)) {
    case szdd::ExpandFault::None:
        break;
    case szdd::ExpandFault::NotCompressed:
        result.fault = Fault::NotCompressed;
        return result;
    case szdd::ExpandFault::Cut:
        result.fault = Fault::Cut;
        return result;
    case szdd::ExpandFault::TooLong:
        result.fault = Fault::TooLong;
        return result;
    }
    if (!IsLoadableHive(hive)) result.fault = Fault::NotAHive;
    return result;
}

CheckResult CheckSet(const std::string& folder)
{
    for (const char* name : kHiveFiles) {
        CheckResult result = CheckHiveFile(folder + "\\" + name);
        if (!result.Passed()) return result;
    }
    return CheckResult{};
}

} // namespace repairset
