// A theme of 10,000 folders saved and loaded through Theme, against plain registry loops over the
// same values in the same run: RegSetValueExA for saving, RegEnumValueA + RegQueryValueExA for
// loading. Both sides write into an empty key; a second save figure replaces a stored list, which
// adds the deletion of the old one.
#include "BenchSupport.h"

#include "theme/Theme.h"
#include "winsys/Handle.h"

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int folderCount = 10000;
constexpr int runs = 5;
const std::string themesKey = "Software\\Vog\\2000.08.04\\Themes";

void deleteKey(const std::string& path)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

RegistryKey createKey(const std::string& path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    return RegistryKey(key);
}

void plainSave(const std::string& path, const std::vector<std::string>& folders)
{
    RegistryKey key = createKey(path);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::string name = "string." + std::to_string(i);
        RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(folders[i].c_str()),
                       static_cast<DWORD>(folders[i].size() + 1));
    }
}

std::vector<std::string> plainLoad(const std::string& path)
{
    std::vector<std::string> folders;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS)
        return folders;
    RegistryKey key(opened);
    char name[256];
    char data[1024];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
            folders.emplace_back(data);
    }
    return folders;
}

}  // namespace

int main()
{
    const std::string themeName = "bench-" + std::to_string(GetCurrentProcessId());
    const std::string themeKey = themesKey + "\\" + themeName;
    const std::string plainKey = "Software\\VogTests\\bench-" + std::to_string(GetCurrentProcessId()) + "\\paths";
    std::vector<std::string> folders;
    for (int i = 0; i < folderCount; ++i)
        folders.push_back("C:\\Archive\\Project " + std::to_string(i) + "\\Documents");

    std::vector<double> themeSaveEmpty, themeSaveReplace, plainSaveEmpty, themeLoad, plainLoadTimes;
    bool sameLists = true;
    for (int run = 0; run < runs; ++run) {
        // Saving into an empty key, both ways.
        deleteKey(themeKey);
        auto theme = std::make_unique<Theme>(themeName);
        theme->paths = folders;
        theme->changed = true;
        double start = nowMs();
        theme.reset();
        themeSaveEmpty.push_back(nowMs() - start);

        deleteKey(plainKey);
        start = nowMs();
        plainSave(plainKey, folders);
        plainSaveEmpty.push_back(nowMs() - start);

        // Saving over the stored list: the old one is deleted first.
        theme = std::make_unique<Theme>(themeName);
        theme->changed = true;
        start = nowMs();
        theme.reset();
        themeSaveReplace.push_back(nowMs() - start);

        start = nowMs();
        Theme loaded(themeName);
        themeLoad.push_back(nowMs() - start);

        start = nowMs();
        std::vector<std::string> plain = plainLoad(plainKey);
        plainLoadTimes.push_back(nowMs() - start);
        sameLists = sameLists && loaded.paths == folders && plain.size() == folders.size();
    }
    deleteKey(themeKey);
    deleteKey("Software\\VogTests\\bench-" + std::to_string(GetCurrentProcessId()));

    std::printf("%d folders, median of %d runs%s\n", folderCount, runs, sameLists ? "" : " (LISTS DIFFER)");
    reportRatio("theme save into an empty key", median(themeSaveEmpty), median(plainSaveEmpty), 1.5);
    reportRatio("theme save replacing the stored list", median(themeSaveReplace), median(plainSaveEmpty), 1.5);
    reportRatio("theme load", median(themeLoad), median(plainLoadTimes), 1.5);
    return sameLists ? 0 : 1;
}
