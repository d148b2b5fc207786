// The SZDD compressed file format of the platform's COMPRESS/EXPAND tools ("._" files):
// a 14-byte header, then LZSS data with a 4096-byte window.
#pragma once
#include <cstdint>
#include <string>

namespace szdd {

// The file header; every integer little-endian.
#pragma pack(push, 1)
struct Header {
    uint8_t magic[8];        // "SZDD" 88 F0 27 33
    uint8_t mode;            // 'A'
    uint8_t missingLastChar; // last character of the original name, replaced by '_'; 0 when none
    uint32_t uncompressedSize;
};
#pragma pack(pop)
static_assert(sizeof(Header) == 14);

// What every file of the format starts with, and the only compression mode it knows.
inline constexpr uint8_t kSignature[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
inline constexpr uint8_t kModeLzss = 'A';

// The whole compressed file for `data`.
std::string Compress(const std::string& data, char missingLastChar);

// Compresses one file into a new file, made administrators-only (a compressed hive holds
// account secrets). An existing target is never replaced: ERROR_FILE_EXISTS. False with the
// Windows last-error code kept when either file fails.
bool CompressFile(const char* sourcePath, const char* targetPath, char missingLastChar);

// Expands a whole compressed file. False when `packed` is no SZDD stream (no signature or
// mode) or its data ends before the length its header declares, or runs past it.
enum class ExpandFault { None, NotCompressed, Cut, TooLong };
ExpandFault Expand(const std::string& packed, std::string& data);

} // namespace szdd
