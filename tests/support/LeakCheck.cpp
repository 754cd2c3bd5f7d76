#include "support/LeakCheck.h"

#include "support/TestSupport.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace testing_support {

ProcessCounts processCounts()
{
    ProcessCounts counts;
    GetProcessHandleCount(GetCurrentProcess(), &counts.handles);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return counts;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        counts.threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return counts;
}

bool countsSettle(const ProcessCounts& before, int threadSlack, DWORD handleSlack, DWORD timeoutMs)
{
    return waitUntil([&] {
        ProcessCounts now = processCounts();
        return now.threads <= before.threads + threadSlack && now.handles <= before.handles + handleSlack;
    }, timeoutMs, 20);
}

std::string countsText(const ProcessCounts& now, const ProcessCounts& before)
{
    char text[128];
    std::snprintf(text, sizeof text, "threads %d (before %d), handles %lu (before %lu)", now.threads, before.threads,
                  now.handles, before.handles);
    return text;
}

namespace {

BOOL CALLBACK countLoader(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char caption[32] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::string(caption) == "Vog File Loader")
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

std::string utf8(const wchar_t* text, size_t length)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &result[0], size, nullptr, nullptr);
    return result;
}

void snapshotKey(HKEY key, const std::string& path, std::vector<std::string>& lines)
{
    lines.push_back(path);
    DWORD subkeys = 0, values = 0, longestKey = 0, longestValue = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestKey, nullptr, &values, &longestValue,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(std::max(longestKey, longestValue) + 2);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD index = 0; index < values; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            continue;
        std::string line = path + " | " + utf8(name.data(), nameLength) + " | " + std::to_string(type) + " | ";
        static const char digits[] = "0123456789abcdef";
        for (DWORD i = 0; i < size; ++i) {
            line += digits[data[i] >> 4];
            line += digits[data[i] & 15];
        }
        lines.push_back(line);
    }
    std::vector<std::wstring> names;
    for (DWORD index = 0; index < subkeys; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(name.data(), nameLength);
    }
    for (const std::wstring& sub : names) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            lines.push_back(path + "\\" + utf8(sub.data(), sub.size()) + " (cannot be opened)");
            continue;
        }
        snapshotKey(opened, path + "\\" + utf8(sub.data(), sub.size()), lines);
        RegCloseKey(opened);
    }
}

}  // namespace

int loaderDialogCount()
{
    int count = 0;
    EnumWindows(countLoader, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::vector<std::string> registrySnapshot(HKEY root, const std::string& path)
{
    std::vector<std::string> lines;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return lines;
    snapshotKey(key, path, lines);
    RegCloseKey(key);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> linesAdded(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    return added;
}

std::vector<std::string> linesRemoved(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    return linesAdded(after, before);
}

}  // namespace testing_support
