// vogdemo.exe: the small Windows-side steps of scripts/demo and scripts/screenshot, which drive the
// control through a script host and need to see and touch windows inside the Wine session.
//
//     vogdemo wait-window CAPTION [MS]    waits for a visible top-level window with exactly this
//                                          caption; prints "left top width height" of it
//     wait-gone CAPTION [MS]               waits until no visible window has this caption
//     cancel CAPTION                       closes the window as its close box would (IDCANCEL)
//     activate CAPTION                     makes the window the foreground window (for a picture)
//     close-viewers                        closes every test viewer of the session
//     wait-file PATH [MS]                  waits until the file exists (the demo script's pause:
//                                          Wine's WScript.Sleep and StdIn do not work, a busy
//                                          loop would take a processor)
//     write-rar ARCHIVE MEMBER SOURCE      writes a RAR 5 archive holding SOURCE stored as MEMBER
//     slow-copy SOURCE TARGET MS           copies SOURCE to TARGET as a slow copy does: the target
//                                          held open with writers shut out, written in ten pieces
//                                          over MS milliseconds
//
// The exit code is 0 on success, 1 when the wait ran out or the step failed, 2 for bad usage.
// The waits reuse the tests' helpers, the archive the tests' writer; the viewer is the tests' viewer.
#include "support/RarWriter.h"
#include "support/TestSupport.h"
#include "support/ViewerFixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

using namespace testing_support;

namespace {

DWORD timeoutArgument(int argc, char** argv, int index)
{
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : 15000;
}

int waitWindow(const char* caption, DWORD timeoutMs)
{
    HWND window = waitForWindow(caption, timeoutMs);
    if (!window)
        return 1;
    RECT rect{};
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    return 0;
}

int waitGone(const char* caption, DWORD timeoutMs)
{
    return waitUntil([&] { return waitForWindow(caption, 0) == nullptr; }, timeoutMs, 10) ? 0 : 1;
}

int waitFile(const char* path, DWORD timeoutMs)
{
    return waitUntil([&] { return fileExists(path); }, timeoutMs, 20) ? 0 : 1;
}

int cancel(const char* caption)
{
    HWND window = waitForWindow(caption, 0);
    if (!window)
        return 1;
    // Posted: the window's own thread ends its dialog, and this program never waits on it.
    return PostMessageA(window, WM_COMMAND, IDCANCEL, 0) ? 0 : 1;
}

int activate(const char* caption)
{
    HWND window = waitForWindow(caption, 0);
    if (!window || !SetForegroundWindow(window))
        return 1;
    // Without a window manager Wine may leave the caption in the inactive colours although the
    // window is in front; have it drawn as the active window it is.
    SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
    return 0;
}

int writeRar(const std::string& archive, const std::string& member, const std::string& source)
{
    std::ifstream file(source, std::ios::binary);
    if (!file)
        return 1;
    std::ostringstream content;
    content << file.rdbuf();
    return RarWriter(RarFormat::Rar5).file(member, content.str()).save(archive) ? 0 : 1;
}

int slowCopy(const std::string& source, const std::string& target, DWORD durationMs)
{
    std::ifstream file(source, std::ios::binary);
    if (!file)
        return 1;
    std::ostringstream read;
    read << file.rdbuf();
    std::string content = read.str();
    HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return 1;
    const size_t pieces = 10;
    bool whole = true;
    for (size_t piece = 0; piece < pieces && whole; ++piece) {
        size_t from = content.size() * piece / pieces;
        size_t to = content.size() * (piece + 1) / pieces;
        DWORD written = 0;
        whole = WriteFile(out, content.data() + from, static_cast<DWORD>(to - from), &written, nullptr) != 0;
        Sleep(durationMs / pieces);
    }
    return CloseHandle(out) && whole ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: vogdemo wait-window CAPTION [MS] | wait-gone CAPTION [MS] | cancel CAPTION |\n"
                 "               activate CAPTION |\n"
                 "               close-viewers | wait-file PATH [MS] | write-rar ARCHIVE MEMBER SOURCE |\n"
                 "               slow-copy SOURCE TARGET MS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "wait-window" && argc >= 3)
        return waitWindow(argv[2], timeoutArgument(argc, argv, 3));
    if (command == "wait-gone" && argc >= 3)
        return waitGone(argv[2], timeoutArgument(argc, argv, 3));
    if (command == "wait-file" && argc >= 3)
        return waitFile(argv[2], timeoutArgument(argc, argv, 3));
    if (command == "cancel" && argc == 3)
        return cancel(argv[2]);
    if (command == "activate" && argc == 3)
        return activate(argv[2]);
    if (command == "close-viewers" && argc == 2)
        return ViewerFixture::closeEveryViewer() ? 0 : 1;
    if (command == "write-rar" && argc == 5)
        return writeRar(argv[2], argv[3], argv[4]);
    if (command == "slow-copy" && argc == 5)
        return slowCopy(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    return usage();
}
