#include "support/TestSupport.h"

#include <atomic>
#include <vector>

namespace testing_support {

HINSTANCE testInstance()
{
    return GetModuleHandleA(nullptr);
}

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return condition();
        Sleep(stepMs);
    }
}

HWND waitForWindow(const char* caption, DWORD timeoutMs, DWORD threadId)
{
    // FindWindowEx compares the stored caption and sends no message, so a busy window cannot block it.
    HWND found = nullptr;
    waitUntil([&] {
        found = nullptr;
        for (HWND window = FindWindowExA(nullptr, nullptr, nullptr, caption); window;
             window = FindWindowExA(nullptr, window, nullptr, caption)) {
            if ((!threadId || GetWindowThreadProcessId(window, nullptr) == threadId) && IsWindowVisible(window)) {
                found = window;
                break;
            }
        }
        return found != nullptr;
    }, timeoutMs);
    return found;
}

static BOOL CALLBACK noteDialog(HWND window, LPARAM result)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

HWND waitForDialogOf(DWORD thread, DWORD timeoutMs)
{
    HWND found = nullptr;
    waitUntil([&] {
        EnumThreadWindows(thread, noteDialog, reinterpret_cast<LPARAM>(&found));
        return found != nullptr;
    }, timeoutMs, 10);
    return found;
}

namespace {

// Calls visit with the path and the find data of every entry of folder but "." and "..".
void forEachEntry(const std::string& folder, const std::function<void(const std::string&, const WIN32_FIND_DATAA&)>& visit)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..")
            visit(folder + "\\" + name, data);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

bool deleteTree(const std::string& folder)
{
    forEachEntry(folder, [](const std::string& path, const WIN32_FIND_DATAA& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            deleteTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    });
    RemoveDirectoryA(folder.c_str());
    return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string findFileBelow(const std::string& folder, const std::string& name)
{
    std::string found;
    forEachEntry(folder, [&](const std::string& path, const WIN32_FIND_DATAA& data) {
        if (!found.empty())
            return;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            found = findFileBelow(path, name);
        else if (lstrcmpiA(data.cFileName, name.c_str()) == 0)
            found = path;
    });
    return found;
}

std::string scratchFolder(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base = std::string(temp) + "vog-tests";
    CreateDirectoryA(base.c_str(), nullptr);
    std::string folder = base + "\\" + name + "-" + std::to_string(GetCurrentProcessId());
    deleteTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool writeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool fileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string windowText(HWND window)
{
    std::vector<char> buffer(1024);
    LRESULT length = SendMessageA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data(), static_cast<size_t>(length > 0 ? length : 0));
}

std::string uniqueName(const std::string& prefix)
{
    static std::atomic<unsigned> counter{0};
    return prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

}  // namespace testing_support
