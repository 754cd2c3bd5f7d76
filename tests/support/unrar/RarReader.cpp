#include "unrar/RarReader.h"

#include "request/UnrarApi.h"
#include "support/Crc32.h"

#include <cstring>
#include <vector>

using testing_support::crc32;

namespace {

const unsigned char rar4Marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const unsigned char rar5Marker[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
constexpr uint64_t maxRar5HeaderSize = 2 * 1024 * 1024;

uint32_t u16(const unsigned char* p)
{
    return p[0] | p[1] << 8;
}

uint32_t u32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads fields of a RAR 5 header; any read past the end marks it broken.
class Fields {
public:
    Fields(const unsigned char* data, size_t size) : data(data), size(size) {}

    uint64_t vint()
    {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (offset >= size) {
                broken = true;
                return 0;
            }
            unsigned char byte = data[offset++];
            value |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        broken = true;
        return 0;
    }

    uint32_t u32le()
    {
        if (size - offset < 4) {
            broken = true;
            return 0;
        }
        offset += 4;
        return u32(data + offset - 4);
    }

    std::string bytes(uint64_t count)
    {
        if (count > size - offset) {
            broken = true;
            return {};
        }
        std::string text(reinterpret_cast<const char*>(data + offset), static_cast<size_t>(count));
        offset += static_cast<size_t>(count);
        return text;
    }

    const unsigned char* data;
    size_t size;
    size_t offset = 0;
    bool broken = false;
};

}  // namespace

// One RAR 5 block: CRC32, header size (vint), then the header: type, flags, [extra area size],
// [data size], the type's own fields, [extra area]; the data follows the header.
struct RarReader::Rar5Block {
    std::vector<unsigned char> bytes;  // the size field and the header, as the CRC covers them
    size_t headerAt = 0;
    size_t fieldsAt = 0;               // the type's own fields
    uint64_t type = 0;
    uint64_t flags = 0;
    uint64_t extraSize = 0;
    uint64_t dataSize = 0;
    uint64_t dataOffset = 0;

    Fields header() const { return Fields(bytes.data() + headerAt, bytes.size() - headerAt); }
};

namespace {

uint32_t dosTimeOfUnixTime(uint32_t unixTime)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (static_cast<uint64_t>(unixTime) + 11644473600ull) * 10000000ull;
    FILETIME utc{ticks.LowPart, ticks.HighPart};
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    return static_cast<uint32_t>(date) << 16 | time;
}

// A RAR 5 name (UTF-8, "/") as the library reports it: OEM, "\", unmappable characters as "?".
std::string reportedName(const std::string& utf8)
{
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);
    int length = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, nullptr, 0, "?", nullptr);
    std::string oem(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, oem.data(), length, "?", nullptr);
    for (char& c : oem) {
        if (c == '/')
            c = '\\';
    }
    return oem;
}

}  // namespace

RarReader::~RarReader()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

bool RarReader::readAt(uint64_t offset, void* buffer, size_t size)
{
    if (offset > fileSize || size > fileSize - offset)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           ReadFile(file, buffer, static_cast<DWORD>(size), &read, nullptr) && read == size;
}

int RarReader::open(const std::wstring& path)
{
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ERAR_EOPEN;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return ERAR_EOPEN;
    fileSize = static_cast<uint64_t>(size.QuadPart);

    unsigned char marker[8] = {};
    if (readAt(0, marker, sizeof rar5Marker) && std::memcmp(marker, rar5Marker, sizeof rar5Marker) == 0) {
        format = 5;
        position = sizeof rar5Marker;
    } else if (readAt(0, marker, sizeof rar4Marker) && std::memcmp(marker, rar4Marker, sizeof rar4Marker) == 0) {
        format = 4;
        position = sizeof rar4Marker;
    } else {
        return ERAR_BAD_ARCHIVE;
    }

    // The main header must be first and sound; next() then walks the members.
    if (format == 4) {
        unsigned char head[13];
        if (!readAt(position, head, sizeof head) || head[2] != 0x73)
            return ERAR_BAD_ARCHIVE;
        uint32_t headSize = u16(head + 5);
        std::vector<unsigned char> whole(headSize < 7 ? 7 : headSize);
        if (headSize < 7 || !readAt(position, whole.data(), headSize) ||
            (crc32(0, whole.data() + 2, headSize - 2) & 0xFFFF) != u16(head))
            return ERAR_BAD_ARCHIVE;
        position += headSize;
        return ERAR_SUCCESS;
    }
    // RAR 5: the main header, or the encryption header of an archive whose headers are encrypted.
    Rar5Block block;
    if (readRar5Block(block) != ERAR_SUCCESS)
        return ERAR_BAD_ARCHIVE;
    if (block.type == 4)
        return ERAR_MISSING_PASSWORD;
    return block.type == 1 ? ERAR_SUCCESS : ERAR_BAD_ARCHIVE;
}

int RarReader::end()
{
    ended = true;
    return ERAR_END_ARCHIVE;
}

int RarReader::next(RarEntry& entry)
{
    if (ended)
        return ERAR_END_ARCHIVE;
    entry = RarEntry{};
    return format == 4 ? nextRar4(entry) : nextRar5(entry);
}

int RarReader::nextRar4(RarEntry& entry)
{
    for (;;) {
        if (position == fileSize)
            return end();  // an archive without an end block
        unsigned char base[7];
        if (!readAt(position, base, sizeof base))
            return ERAR_BAD_DATA;
        unsigned type = base[2];
        unsigned flags = u16(base + 3);
        uint32_t headSize = u16(base + 5);
        if (headSize < 7)
            return ERAR_BAD_DATA;
        std::vector<unsigned char> head(headSize);
        if (!readAt(position, head.data(), headSize) || (crc32(0, head.data() + 2, headSize - 2) & 0xFFFF) != u16(base))
            return ERAR_BAD_DATA;
        uint64_t addSize = 0;
        if (flags & 0x8000) {
            if (headSize < 11)
                return ERAR_BAD_DATA;
            addSize = u32(head.data() + 7);
        }
        if (type == 0x7B)
            return end();
        uint64_t blockStart = position;
        position += headSize + addSize;
        if (type != 0x74)
            continue;  // comments, recovery records and other blocks

        const unsigned char* h = head.data();
        if (headSize < 32)
            return ERAR_BAD_DATA;
        entry.packSize = u32(h + 7);
        entry.unpSize = u32(h + 11);
        entry.hostOs = h[15];
        entry.crc = u32(h + 16);
        entry.hasCrc = true;
        entry.dosTime = u32(h + 20);
        entry.unpVer = h[24];
        entry.method = h[25];
        uint32_t nameSize = u16(h + 26);
        entry.attributes = u32(h + 28);
        uint32_t nameAt = 32;
        if (flags & 0x100) {  // 64-bit sizes
            if (headSize < 40)
                return ERAR_BAD_DATA;
            entry.packSize |= static_cast<uint64_t>(u32(h + 32)) << 32;
            entry.unpSize |= static_cast<uint64_t>(u32(h + 36)) << 32;
            nameAt = 40;
            position = blockStart + headSize + entry.packSize;
        }
        if (nameAt + nameSize > headSize)
            return ERAR_BAD_DATA;
        entry.name.assign(reinterpret_cast<const char*>(h + nameAt), nameSize);
        if (flags & 0x200)  // the OEM name, a zero, then the Unicode form
            entry.name = entry.name.substr(0, entry.name.find('\0'));
        entry.dataOffset = blockStart + headSize;
        entry.directory = (flags & 0xE0) == 0xE0;
        entry.encrypted = (flags & 0x04) != 0;
        entry.split = (flags & 0x03) != 0;
        entry.flags = (flags & 0x07) | (flags & 0x10) | (entry.directory ? 0x20 : 0);
        return ERAR_SUCCESS;
    }
}

int RarReader::readRar5Block(Rar5Block& block)
{
    unsigned char start[14] = {};
    size_t available = fileSize - position < sizeof start ? static_cast<size_t>(fileSize - position) : sizeof start;
    if (available < 5 || !readAt(position, start, available))
        return ERAR_BAD_DATA;
    Fields sizeField(start + 4, available - 4);
    uint64_t headerSize = sizeField.vint();
    if (sizeField.broken || headerSize == 0 || headerSize > maxRar5HeaderSize)
        return ERAR_BAD_DATA;
    // The CRC covers the size field and the header.
    block.bytes.assign(sizeField.offset + static_cast<size_t>(headerSize), 0);
    block.headerAt = sizeField.offset;
    if (!readAt(position + 4, block.bytes.data(), block.bytes.size()) ||
        crc32(0, block.bytes.data(), block.bytes.size()) != u32(start))
        return ERAR_BAD_DATA;

    Fields f = block.header();
    block.type = f.vint();
    block.flags = f.vint();
    block.extraSize = (block.flags & 0x01) ? f.vint() : 0;
    uint64_t dataSize = (block.flags & 0x02) ? f.vint() : 0;
    if (f.broken || block.extraSize > headerSize)
        return ERAR_BAD_DATA;
    block.fieldsAt = block.headerAt + f.offset;
    block.dataOffset = position + 4 + block.bytes.size();
    block.dataSize = dataSize;
    position = block.dataOffset + dataSize;
    return ERAR_SUCCESS;
}

int RarReader::nextRar5(RarEntry& entry)
{
    for (;;) {
        if (position == fileSize)
            return end();
        Rar5Block block;
        if (readRar5Block(block) != ERAR_SUCCESS)
            return ERAR_BAD_DATA;
        if (block.type == 5)
            return end();
        if (block.type != 2)
            continue;  // service and unknown blocks

        Fields f = block.header();
        f.offset = block.fieldsAt - block.headerAt;
        uint64_t fileFlags = f.vint();
        entry.unpSize = f.vint();
        entry.attributes = static_cast<uint32_t>(f.vint());
        if (fileFlags & 0x02)
            entry.dosTime = dosTimeOfUnixTime(f.u32le());
        if (fileFlags & 0x04) {
            entry.crc = f.u32le();
            entry.hasCrc = true;
        }
        uint64_t compression = f.vint();
        uint64_t host = f.vint();
        uint64_t nameLength = f.vint();
        std::string name = f.bytes(nameLength);
        if (f.broken)
            return ERAR_BAD_DATA;

        // Extra records sit at the end of the header: size, type, data. Type 1 is encryption.
        Fields extra(block.bytes.data() + block.bytes.size() - block.extraSize, static_cast<size_t>(block.extraSize));
        while (extra.offset < extra.size && !extra.broken) {
            uint64_t recordSize = extra.vint();
            size_t recordStart = extra.offset;
            if (extra.vint() == 1)
                entry.encrypted = true;
            extra.offset = recordStart;
            extra.bytes(recordSize);
        }

        entry.name = reportedName(name);
        entry.packSize = block.dataSize;
        entry.dataOffset = block.dataOffset;
        entry.hostOs = host == 0 ? 2 : 3;
        entry.unpVer = 50;
        entry.method = 0x30 + static_cast<unsigned>((compression >> 7) & 7);
        entry.directory = (fileFlags & 0x01) != 0;
        entry.split = (block.flags & 0x18) != 0;
        entry.flags = ((block.flags & 0x08) ? 0x01 : 0) | ((block.flags & 0x10) ? 0x02 : 0) |
                      (entry.encrypted ? 0x04 : 0) | ((compression & 0x40) ? 0x10 : 0) | (entry.directory ? 0x20 : 0);
        return ERAR_SUCCESS;
    }
}

int RarReader::copyData(const RarEntry& entry, size_t pieceSize, const DataSink& sink)
{
    std::vector<unsigned char> buffer(64 * 1024 < pieceSize ? 64 * 1024 : pieceSize);
    uint64_t offset = entry.dataOffset;
    uint64_t left = entry.packSize;
    uint32_t crc = 0;
    while (left > 0) {
        size_t chunk = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        if (!readAt(offset, buffer.data(), chunk))
            return ERAR_BAD_DATA;
        crc = crc32(crc, buffer.data(), chunk);
        if (int result = sink(buffer.data(), chunk))
            return result;
        offset += chunk;
        left -= chunk;
    }
    return entry.hasCrc && crc != entry.crc ? ERAR_BAD_DATA : ERAR_SUCCESS;
}
