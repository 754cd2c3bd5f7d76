#include "app/Report.h"

#include "app/SystemText.h"

#include <windows.h>

namespace {

// A handle a program can write to: not null, and not INVALID_HANDLE_VALUE (GetStdHandle gives
// either for a program that has none).
bool usable(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE;
}

void writeTo(DWORD which, const std::string& text)
{
    HANDLE handle = GetStdHandle(which);
    if (!usable(handle))
        return;
    std::string withEnd = text + "\r\n";
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::wstring wide = widen(withEnd);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr);
    }
}

}  // namespace

void ConsoleReport::line(const std::string& text)
{
    writeTo(STD_OUTPUT_HANDLE, text);
}

void ConsoleReport::error(const std::string& text)
{
    writeTo(STD_ERROR_HANDLE, text);
}

void BoxReport::line(const std::string& text)
{
    lines += text + "\n";
}

void BoxReport::error(const std::string& text)
{
    writeTo(STD_ERROR_HANDLE, text);
    errors += text + "\n";
}

void BoxReport::show() const
{
    std::string text = errors.empty() ? lines : errors + (lines.empty() ? "" : "\n" + lines);
    if (text.empty())
        return;
    text.pop_back();
    UINT icon = errors.empty() ? MB_ICONINFORMATION : MB_ICONERROR;
    MessageBoxA(nullptr, text.c_str(), "Vog", MB_OK | MB_SETFOREGROUND | icon);
}
