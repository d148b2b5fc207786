#include "Szdd.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Handle.h"
#include "Security.h"
#include "WholeFile.h"

namespace szdd {
namespace {

constexpr size_t kWindowSize = 4096;
constexpr size_t kWindowStart = kWindowSize - 16; // where the first byte lands in the window
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
// A match may reach back no further than this, so the expander's window still holds it
// for the whole copy.
constexpr size_t kMaxDistance = kWindowSize - kMaxMatch;
constexpr size_t kHashSize = 1 << 14;
constexpr int kMaxChain = 256;

// Collects one flag byte and the up to eight items it governs.
class GroupWriter {
public:
    explicit GroupWriter(std::string& out) : out_(out) {}

    void Literal(uint8_t byte)
    {
        flags_ |= static_cast<uint8_t>(1u << count_);
        items_[used_++] = byte;
        Next();
    }

    void Match(size_t windowOffset, size_t length)
    {
        items_[used_++] = static_cast<uint8_t>(windowOffset & 0xFF);
        items_[used_++] = static_cast<uint8_t>(((windowOffset >> 4) & 0xF0) | ((length - kMinMatch) & 0x0F));
        Next();
    }

    void Flush()
    {
        if (count_ == 0) return;
        out_.push_back(static_cast<char>(flags_));
        out_.append(reinterpret_cast<const char*>(items_), used_);
        flags_ = 0;
        count_ = 0;
        used_ = 0;
    }

private:
    void Next()
    {
        if (++count_ == 8) Flush();
    }

    std::string& out_;
    uint8_t flags_ = 0;
    unsigned count_ = 0;
    size_t used_ = 0;
    uint8_t items_[16] = {};
};

uint32_t Hash3(const uint8_t* p)
{
    uint32_t v = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    return (v * 2654435761u) >> (32 - 14);
}

} // namespace

std::string Compress(const std::string& data, char missingLastChar)
{
    Header header{};
    std::memcpy(header.magic, kSignature, sizeof(kSignature));
    header.mode = kModeLzss;
    header.missingLastChar = static_cast<uint8_t>(missingLastChar);
    header.uncompressedSize = static_cast<uint32_t>(data.size());

    std::string out(reinterpret_cast<const char*>(&header), sizeof(header));
    out.reserve(sizeof(header) + data.size() + data.size() / 8 + 16);

    const auto* in = reinterpret_cast<const uint8_t*>(data.data());
    const size_t size = data.size();
    std::vector<int64_t> head(kHashSize, -1);
    std::vector<int64_t> previous(kWindowSize, -1);
    GroupWriter writer(out);

    auto insert = [&](size_t pos) {
        if (pos + kMinMatch > size) return;
        uint32_t h = Hash3(in + pos);
        previous[pos % kWindowSize] = head[h];
        head[h] = static_cast<int64_t>(pos);
    };

    size_t pos = 0;
    while (pos < size) {
        size_t bestLength = 0;
        size_t bestSource = 0;
        if (pos + kMinMatch <= size) {
            const size_t limit = std::min(kMaxMatch, size - pos);
            int64_t candidate = head[Hash3(in + pos)];
            for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
                const size_t source = static_cast<size_t>(candidate);
                if (pos - source > kMaxDistance) break;
                size_t length = 0;
                while (length < limit && in[source + length] == in[pos + length]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestSource = source;
                    if (length == limit) break;
                }
                const int64_t next = previous[source % kWindowSize];
                if (next >= candidate) break; // slot reused by a newer position
                candidate = next;
            }
        }
        if (bestLength >= kMinMatch) {
            writer.Match((kWindowStart + bestSource) % kWindowSize, bestLength);
            for (size_t i = 0; i < bestLength; ++i) insert(pos + i);
            pos += bestLength;
        } else {
            writer.Literal(in[pos]);
            insert(pos);
            ++pos;
        }
    }
    writer.Flush();
    return out;
}

bool CompressFile(const char* sourcePath, const char* targetPath, char missingLastChar)
{
    win::Handle source(CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!source) return false;
    // GetFileSize, not GetFileSizeEx: the agent links this and must load on Windows NT 4.0.
    DWORD high = 0;
    const DWORD low = GetFileSize(source.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    if (high != 0 || low > 0x7FFFFFFF) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    std::string data(static_cast<size_t>(low), '\0');
    DWORD got = 0;
    if (!data.empty() && (!ReadFile(source.Get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr) ||
                          got != data.size())) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_READ_FAULT);
        return false;
    }
    source.Reset();

    const std::string packed = Compress(data, missingLastChar);
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::File);
    if (!security.IsValid()) return false;
    return win::WriteWholeFile(targetPath, packed, security.Attributes());
}

ExpandFault Expand(const std::string& packed, std::string& data)
{
    data.clear();
    Header header{};
    if (packed.size() < sizeof(header)) return ExpandFault::NotCompressed;
    std::memcpy(&header, packed.data(), sizeof(header));
    if (std::memcmp(header.magic, kSignature, sizeof(kSignature)) != 0 || header.mode != kModeLzss)
        return ExpandFault::NotCompressed;
    // Nine bytes out for each byte in is more than the format gives: a header declaring more
    // is cut (and no buffer is reserved for what it claims).
    const size_t limit = header.uncompressedSize;
    if (limit / 9 > packed.size()) return ExpandFault::Cut;
    data.reserve(limit);
    uint8_t window[kWindowSize];
    std::memset(window, ' ', sizeof(window));
    size_t at = kWindowStart;
    const auto* in = reinterpret_cast<const uint8_t*>(packed.data());
    size_t pos = sizeof(header);
    const size_t end = packed.size();
    while (pos < end) {
        const uint8_t flags = in[pos++];
        for (unsigned bit = 0; bit < 8 && pos < end; ++bit) {
            if (flags & (1u << bit)) {
                if (data.size() >= limit) return ExpandFault::TooLong;
                data.push_back(static_cast<char>(in[pos]));
                window[at] = in[pos++];
                at = (at + 1) % kWindowSize;
                continue;
            }
            if (pos + 1 >= end) return ExpandFault::Cut; // half a match
            size_t offset = in[pos] | ((in[pos + 1] & 0xF0u) << 4);
            const size_t length = (in[pos + 1] & 0x0Fu) + kMinMatch;
            pos += 2;
            if (data.size() + length > limit) return ExpandFault::TooLong;
            for (size_t i = 0; i < length; ++i) {
                const uint8_t byte = window[offset];
                offset = (offset + 1) % kWindowSize;
                data.push_back(static_cast<char>(byte));
                window[at] = byte;
                at = (at + 1) % kWindowSize;
            }
        }
    }
    return data.size() == limit ? ExpandFault::None : ExpandFault::Cut;
}

} // namespace szdd
