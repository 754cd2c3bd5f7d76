// vogviewer.exe: the tests' stand-in for a document viewer (and for "wordpad").
//
// At start it records how it was started, then shows a small window "Vog Viewer - <file name>" with
// the document's name, where it is, and its first lines, and stays open until told to close.
//
// The record: when the environment variable VOG_VIEWER_LOG names a folder, the viewer writes
// <folder>\<process id>.txt with the lines
//     pid=<process id>
//     cwd=<working directory at start>
//     cmdline=<the whole command line>
//     argc=<number of arguments after the program name>
//     arg1=<first argument> ... (as the C runtime split the command line)
//     read=<the document's first line as it read it at start>, or "read-failed" when it could not
// It writes <process id>.tmp first and renames it, so a reader never sees half a record. The close
// events below exist before the record does.
//
// Hand-off: with the environment variable VOG_VIEWER_HAND_OFF=1 the viewer records its start, passes
// the document to a second viewer and ends at once, as a launcher does that hands a file to its
// program's running instance. The second one reads the document two seconds later, then records and
// shows it like any viewer.
//
// Closing, whichever comes first:
//   - WM_CLOSE to its window (the user's close button);
//   - the manual-reset event "VogViewerClose.<process id>", set by a test for one viewer;
//   - the manual-reset event "VogViewerCloseAll", set to close every viewer of the session (whoever
//     sets it resets it once the viewers are gone, or later viewers close at once).
// The exit code is 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const windowClass = "VogViewer";

struct Fonts {
    HFONT title = nullptr;
    HFONT text = nullptr;
    HFONT body = nullptr;
};

Fonts fonts;
std::string documentArgument;  // as given: a full path, or a bare name relative to the working folder

std::string fileNameOf(const std::string& path)
{
    size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string workingDirectory()
{
    char folder[MAX_PATH] = {};
    DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    return std::string(folder, length < MAX_PATH ? length : 0);
}

bool readStart(const std::string& path, std::string& text, unsigned long long& size);

void writeRecord(const std::string& folder)
{
    std::string text;
    unsigned long long size = 0;
    bool read = readStart(documentArgument, text, size);
    std::string record = "pid=" + std::to_string(GetCurrentProcessId()) + "\r\n";
    record += "read=" + (read ? text.substr(0, text.find('\r')) : std::string("read-failed")) + "\r\n";
    record += "cwd=" + workingDirectory() + "\r\n";
    record += "cmdline=" + std::string(GetCommandLineA()) + "\r\n";
    record += "argc=" + std::to_string(__argc > 0 ? __argc - 1 : 0) + "\r\n";
    for (int i = 1; i < __argc; ++i)
        record += "arg" + std::to_string(i) + "=" + __argv[i] + "\r\n";

    std::string base = folder + "\\" + std::to_string(GetCurrentProcessId());
    std::string temporary = base + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    if (ok && written == record.size())
        MoveFileExA(temporary.c_str(), (base + ".txt").c_str(), MOVEFILE_REPLACE_EXISTING);
    else
        DeleteFileA(temporary.c_str());
}

// The first lines of the document as edit-control text (CR LF line ends, control bytes shown as
// dots), and its size; false when it cannot be read.
bool readStart(const std::string& path, std::string& text, unsigned long long& size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER length{};
    GetFileSizeEx(file, &length);
    size = static_cast<unsigned long long>(length.QuadPart);
    char buffer[4096];
    DWORD read = 0;
    BOOL ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    if (!ok)
        return false;
    int lines = 0;
    for (DWORD i = 0; i < read && lines < 30; ++i) {
        unsigned char c = static_cast<unsigned char>(buffer[i]);
        if (c == '\n') {
            text += "\r\n";
            ++lines;
        } else if (c == '\t' || c >= 0x20) {
            text += static_cast<char>(c);
        } else if (c != '\r') {
            text += '.';
        }
    }
    return true;
}

std::string withThousands(unsigned long long value)
{
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

void createFonts()
{
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTA face = metrics.lfMessageFont;
    fonts.text = CreateFontIndirectA(&face);
    face.lfHeight = face.lfHeight * 3 / 2;
    face.lfWeight = FW_BOLD;
    fonts.title = CreateFontIndirectA(&face);
    fonts.body = CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
}

enum ChildId { titleId = 1, detailId, bodyId };

void createChildren(HWND window)
{
    const std::string& path = documentArgument;
    std::string title = path.empty() ? "(no document)" : fileNameOf(path);
    std::string text;
    unsigned long long size = 0;
    std::string detail;
    if (path.empty()) {
        detail = "Started without a document.";
    } else if (readStart(path, text, size)) {
        char full[MAX_PATH] = {};
        GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
        detail = std::string(full) + "    " + withThousands(size) + " bytes";
    } else {
        detail = path + "    (the document could not be read)";
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND titleLabel = CreateWindowExA(0, "STATIC", title.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0, 0,
                                      0, window, reinterpret_cast<HMENU>(titleId), instance, nullptr);
    HWND detailLabel = CreateWindowExA(0, "STATIC", detail.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0,
                                       0, 0, window, reinterpret_cast<HMENU>(detailId), instance, nullptr);
    HWND body = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", text.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY, 0, 0, 0,
                                0, window, reinterpret_cast<HMENU>(bodyId), instance, nullptr);
    SendMessageA(titleLabel, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.title), FALSE);
    SendMessageA(detailLabel, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.text), FALSE);
    SendMessageA(body, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.body), FALSE);
}

void layOut(HWND window, int width, int height)
{
    const int margin = 12;
    MoveWindow(GetDlgItem(window, titleId), margin, margin, width - 2 * margin, 28, TRUE);
    MoveWindow(GetDlgItem(window, detailId), margin, margin + 30, width - 2 * margin, 20, TRUE);
    int top = margin + 58;
    MoveWindow(GetDlgItem(window, bodyId), margin, top, width - 2 * margin, height - top - margin, TRUE);
}

LRESULT CALLBACK viewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        createChildren(window);
        return 0;
    case WM_SIZE:
        layOut(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:  // labels and the read-only text: on the page colour, not dialog grey
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Passes the document to a second viewer; false when none started.
bool handOff()
{
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string commandLine = "\"" + std::string(program) + "\" \"" + documentArgument + "\"";
    SetEnvironmentVariableA("VOG_VIEWER_HAND_OFF", "received");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    if (__argc > 1)
        documentArgument = __argv[1];
    char handOffMode[16] = {};
    GetEnvironmentVariableA("VOG_VIEWER_HAND_OFF", handOffMode, sizeof handOffMode);
    if (std::strcmp(handOffMode, "received") == 0)
        Sleep(2000);  // the launcher has ended, and whoever started it has acted on that

    // The events first: a test that has read the record may set them at once.
    std::string closeName = "VogViewerClose." + std::to_string(GetCurrentProcessId());
    HANDLE closeOne = CreateEventA(nullptr, TRUE, FALSE, closeName.c_str());
    HANDLE closeAll = CreateEventA(nullptr, TRUE, FALSE, "VogViewerCloseAll");

    char logFolder[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("VOG_VIEWER_LOG", logFolder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        writeRecord(logFolder);
    if (std::strcmp(handOffMode, "1") == 0 && handOff())
        return 0;

    createFonts();
    WNDCLASSEXA windowClassInfo{};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = viewerProc;
    windowClassInfo.hInstance = instance;
    windowClassInfo.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClassInfo.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClassInfo.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClassInfo.lpszClassName = windowClass;
    RegisterClassExA(&windowClassInfo);

    std::string caption = "Vog Viewer - " + (documentArgument.empty() ? "(no document)" : fileNameOf(documentArgument));
    HWND window = CreateWindowExA(0, windowClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  640, 420, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    HANDLE events[2];
    DWORD eventCount = 0;
    for (HANDLE event : {closeOne, closeAll}) {
        if (event)
            events[eventCount++] = event;
    }
    for (;;) {
        DWORD result = MsgWaitForMultipleObjects(eventCount, events, FALSE, INFINITE, QS_ALLINPUT);
        if (result < WAIT_OBJECT_0 + eventCount) {
            DestroyWindow(window);
            break;
        }
        MSG message;
        bool quit = false;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (quit)
            break;
    }
    for (DWORD i = 0; i < eventCount; ++i)
        CloseHandle(events[i]);
    return 0;
}
