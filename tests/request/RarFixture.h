// Shared by the RAR extraction tests: a scratch folder with a cache folder inside it, the stand-in
// library on PATH, and helpers to write archives and read files back.
#pragma once

#include "support/RarWriter.h"
#include "support/TestSupport.h"
#include "support/UnrarTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rar_test {

using testing_support::RarFormat;
using testing_support::RarWriter;

inline std::string readFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

// The names in a folder, as the file system spells them.
inline std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

// The folder a copy was extracted into, with its trailing separator.
inline std::string folderOf(const std::string& copy)
{
    return copy.substr(0, copy.find('\\', copy.find("Vog\\") + 4) + 1);
}

inline const char* formatName(RarFormat format)
{
    return format == RarFormat::Rar4 ? "Rar4" : "Rar5";
}

struct FormatName {
    std::string operator()(const testing::TestParamInfo<RarFormat>& info) const { return formatName(info.param); }
};

class RarFolders : public testing::Test {
protected:
    RarFolders() { CreateDirectoryA(cache.c_str(), nullptr); }
    ~RarFolders() override { testing_support::deleteTree(scratch); }

    // Writes the archive into the scratch folder; returns its path.
    std::string save(const RarWriter& writer, const std::string& name = "test.rar")
    {
        std::string path = scratch + "\\" + name;
        EXPECT_TRUE(writer.save(path)) << path;
        return path;
    }

    const std::string scratch = testing_support::scratchFolder(testing_support::uniqueName("rar"));
    const std::string cache = scratch + "\\cache";  // given to extractors without a trailing separator
    const std::string extractions = cache + "/Vog\\";  // where their copies' folders are made
    testing_support::PathScope standIn{testing_support::unrarStandInFolder(testing_support::UnrarStandIn::Full)};
};

// The same tests for both archive formats.
class RarTest : public RarFolders, public testing::WithParamInterface<RarFormat> {
protected:
    RarWriter writer() const { return RarWriter(GetParam()); }
};

}  // namespace rar_test
