// Writes sample archives for check-with-bsdtar.sh: FOLDER\rar4.rar and FOLDER\rar5.rar, and
// FOLDER\expected\ with the files and folders they hold.
#include "support/RarWriter.h"
#include "support/TestSupport.h"

#include <cstdio>

using namespace testing_support;

namespace {

struct Sample {
    const char* name;
    std::string content;
    bool folder;
};

std::string allBytes()
{
    std::string bytes;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes += static_cast<char>(b);
    }
    return bytes;
}

// More than the stand-in's 64 KB copy buffer, and no repeating pattern.
std::string noise(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: rar_samples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const Sample samples[] = {
        {"readme.txt", "Hello from a stored member.\r\n", false},
        {"docs", {}, true},
        {"docs\\guide.bin", allBytes(), false},
        {"docs\\deeper", {}, true},
        {"docs\\deeper\\empty.txt", {}, false},
        {"empty folder", {}, true},
        {"noise.bin", noise(200 * 1024 + 17), false},
    };

    RarWriter rar4(RarFormat::Rar4);
    RarWriter rar5(RarFormat::Rar5);
    const std::string expected = folder + "\\expected";
    bool ok = CreateDirectoryA(expected.c_str(), nullptr) != 0;
    for (const Sample& sample : samples) {
        std::string path = expected + "\\" + sample.name;
        if (sample.folder) {
            rar4.folder(sample.name);
            rar5.folder(sample.name);
            ok = CreateDirectoryA(path.c_str(), nullptr) && ok;
        } else {
            rar4.file(sample.name, sample.content);
            rar5.file(sample.name, sample.content);
            ok = writeFile(path, sample.content) && ok;
        }
    }
    ok = rar4.save(folder + "\\rar4.rar") && rar5.save(folder + "\\rar5.rar") && ok;
    if (!ok)
        std::fprintf(stderr, "rar_samples: cannot write into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
