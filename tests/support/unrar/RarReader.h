// The archive side of the stand-in library: walks the headers of a RAR 4.x or RAR 5.0 archive and
// copies the data of stored members. Compressed, encrypted and split members are listed but their
// data is never read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

struct RarEntry {
    std::string name;        // OEM code page, "\" between folders (for RAR 5 archives too)
    uint64_t packSize = 0;
    uint64_t unpSize = 0;
    uint64_t dataOffset = 0;
    uint32_t crc = 0;
    bool hasCrc = false;
    uint32_t dosTime = 0;    // local MS-DOS date << 16 | time
    uint32_t attributes = 0;
    unsigned hostOs = 0;     // RAR 4 numbering: 0 MS-DOS, 2 Win32, 3 Unix
    unsigned unpVer = 0;
    unsigned method = 0;     // 0x30 store ... 0x35 best
    unsigned flags = 0;      // as the library reports them: 0x01/0x02 split, 0x04 encrypted, 0x10 solid, 0x20 folder
    bool directory = false;
    bool encrypted = false;
    bool split = false;

    bool stored() const { return method == 0x30; }
};

class RarReader {
public:
    RarReader() = default;
    ~RarReader();
    RarReader(const RarReader&) = delete;
    RarReader& operator=(const RarReader&) = delete;

    // 0, ERAR_EOPEN when the file cannot be opened, ERAR_BAD_ARCHIVE when it is no RAR archive (or its
    // main header is broken).
    int open(const std::wstring& path);

    // The next member: 0; ERAR_END_ARCHIVE at the end, and again on every later call; ERAR_BAD_DATA for
    // a broken or truncated header.
    int next(RarEntry& entry);

    // Reads a stored member's data and checks its CRC, handing it piece by piece (of at most
    // pieceSize bytes) to sink, which answers 0 to go on or the error that ends the copy: 0,
    // ERAR_BAD_DATA (truncated data or wrong CRC) or sink's error.
    using DataSink = std::function<int(const unsigned char* data, size_t size)>;
    int copyData(const RarEntry& entry, size_t pieceSize, const DataSink& sink);

private:
    struct Rar5Block;
    int readRar5Block(Rar5Block& block);
    bool readAt(uint64_t offset, void* buffer, size_t size);
    int nextRar4(RarEntry& entry);
    int nextRar5(RarEntry& entry);
    int end();

    HANDLE file = INVALID_HANDLE_VALUE;
    uint64_t fileSize = 0;
    uint64_t position = 0;  // the next block's offset
    int format = 0;         // 4 or 5
    bool ended = false;
};
