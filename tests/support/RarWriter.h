// Writes RAR 4.x and RAR 5.0 archives whose members are stored, for tests. The archives are real:
// a check in tests/support/CMakeLists.txt has an independent reader list and extract them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

enum class RarFormat { Rar4, Rar5 };

// Names are given in UTF-8 with "\" or "/" between folders; each format stores them in its own way
// (RAR 4: OEM code page and "\"; RAR 5: UTF-8 and "/"). Members keep the order they are added in.
class RarWriter {
public:
    explicit RarWriter(RarFormat format) : format(format) {}

    RarWriter& file(const std::string& name, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
    RarWriter& folder(const std::string& name);
    // A member that claims a compression method; data is stored as given.
    RarWriter& compressedFile(const std::string& name, const std::string& data);
    // A stored member whose recorded CRC does not match its content.
    RarWriter& fileWithBadCrc(const std::string& name, const std::string& content);

    std::string bytes() const;
    bool save(const std::string& path) const;

private:
    struct Member {
        std::string name;
        std::string data;
        bool directory;
        bool compressed;
        uint32_t crc;
        DWORD attributes;
    };

    std::string rar4() const;
    std::string rar5() const;

    RarFormat format;
    std::vector<Member> members;
};

}  // namespace testing_support
