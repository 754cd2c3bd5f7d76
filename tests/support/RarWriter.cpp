#include "support/RarWriter.h"

#include "support/Crc32.h"
#include "support/TestSupport.h"

namespace testing_support {

namespace {

// Every member is dated 2000-08-04 12:00:00.
constexpr uint32_t memberDosTime = (((2000 - 1980) << 9 | 8 << 5 | 4) << 16) | (12 << 11);
constexpr uint32_t memberUnixTime = 965390400;

void putU16(std::string& out, uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void putU32(std::string& out, uint32_t value)
{
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

void putVint(std::string& out, uint64_t value)
{
    do {
        unsigned char byte = value & 0x7F;
        value >>= 7;
        out += static_cast<char>(value ? byte | 0x80 : byte);
    } while (value);
}

std::string withSeparator(std::string name, char separator)
{
    for (char& c : name) {
        if (c == '\\' || c == '/')
            c = separator;
    }
    return name;
}

std::string utf8ToOem(const std::string& utf8)
{
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);
    int length = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string oem(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, wide.data(), wideLength, oem.data(), length, nullptr, nullptr);
    return oem;
}

// A RAR 5 block: CRC32 of the size field and the header, the size field, the header, the data.
std::string rar5Block(const std::string& header, const std::string& data = {})
{
    std::string sized;
    putVint(sized, header.size());
    sized += header;
    std::string block;
    putU32(block, crc32(0, sized.data(), sized.size()));
    return block + sized + data;
}

}  // namespace

RarWriter& RarWriter::file(const std::string& name, const std::string& content, DWORD attributes)
{
    members.push_back({name, content, false, false, crc32(0, content.data(), content.size()), attributes});
    return *this;
}

RarWriter& RarWriter::folder(const std::string& name)
{
    members.push_back({name, {}, true, false, 0, FILE_ATTRIBUTE_DIRECTORY});
    return *this;
}

RarWriter& RarWriter::compressedFile(const std::string& name, const std::string& data)
{
    members.push_back({name, data, false, true, crc32(0, data.data(), data.size()), FILE_ATTRIBUTE_ARCHIVE});
    return *this;
}

RarWriter& RarWriter::fileWithBadCrc(const std::string& name, const std::string& content)
{
    members.push_back({name, content, false, false, crc32(0, content.data(), content.size()) ^ 1, FILE_ATTRIBUTE_ARCHIVE});
    return *this;
}

std::string RarWriter::bytes() const
{
    return format == RarFormat::Rar4 ? rar4() : rar5();
}

bool RarWriter::save(const std::string& path) const
{
    return writeFile(path, bytes());
}

std::string RarWriter::rar4() const
{
    std::string out("Rar!\x1A\x07\x00", 7);
    out += std::string("\xCF\x90\x73\x00\x00\x0D\x00\x00\x00\x00\x00\x00\x00", 13);  // main header, flags 0
    for (const Member& member : members) {
        std::string name = utf8ToOem(withSeparator(member.name, '\\'));
        std::string head;
        head += '\x74';
        putU16(head, 0x8000 | (member.directory ? 0xE0 : 0));
        putU16(head, static_cast<uint32_t>(32 + name.size()));
        putU32(head, static_cast<uint32_t>(member.data.size()));  // packed size
        putU32(head, static_cast<uint32_t>(member.data.size()));  // unpacked size
        head += '\x02';                                           // Win32
        putU32(head, member.crc);
        putU32(head, memberDosTime);
        head += member.compressed ? '\x1D' : '\x14';              // version 2.9 / 2.0
        head += member.compressed ? '\x33' : '\x30';              // normal / store
        putU16(head, static_cast<uint32_t>(name.size()));
        putU32(head, member.attributes);
        head += name;
        putU16(out, crc32(0, head.data(), head.size()) & 0xFFFF);
        out += head + member.data;
    }
    out += std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7);  // end of archive
    return out;
}

std::string RarWriter::rar5() const
{
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    out += rar5Block(std::string("\x01\x00\x00", 3));  // main header: no flags
    for (const Member& member : members) {
        std::string name = withSeparator(member.name, '/');
        std::string header;
        putVint(header, 2);     // file header
        putVint(header, 0x02);  // with a data area, folders too: some readers insist
        putVint(header, member.data.size());
        putVint(header, member.directory ? 0x01 | 0x02 : 0x02 | 0x04);  // folder / mtime / CRC
        putVint(header, member.data.size());
        putVint(header, member.attributes);
        putU32(header, memberUnixTime);
        if (!member.directory)
            putU32(header, member.crc);
        putVint(header, member.compressed ? 3 << 7 : 0);  // method 3 / store, algorithm version 0
        putVint(header, 0);                               // Windows
        putVint(header, name.size());
        header += name;
        out += rar5Block(header, member.data);
    }
    out += rar5Block(std::string("\x05\x00\x00", 3));  // end of archive
    return out;
}

}  // namespace testing_support
