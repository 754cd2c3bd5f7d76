// The standard CRC-32 (the one zlib computes), which RAR archives use for their headers and data.
// Shared by the archive writer and the stand-in for the external RAR library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace testing_support {

inline const std::array<uint32_t, 256>& crc32Table()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

// Continues a CRC: start with crc 0 and feed the bytes in as many pieces as wanted.
inline uint32_t crc32(uint32_t crc, const void* data, size_t size)
{
    const auto& table = crc32Table();
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace testing_support
