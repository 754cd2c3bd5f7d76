#include "app/SystemText.h"

#include <windows.h>

#include <shellapi.h>

std::string shownText(std::string_view utf8)
{
    std::wstring wide = widen(utf8, CP_UTF8);
    if (wide.empty())
        return {};
    // The default character for what the code page lacks; the UTF-8 code page lacks nothing.
    const bool utf8Page = GetACP() == CP_UTF8;
    const int wideLength = static_cast<int>(wide.size());
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, utf8Page ? nullptr : "?", nullptr);
    if (length <= 0)
        return {};
    std::string shown(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, shown.data(), length, utf8Page ? nullptr : "?", nullptr);
    return shown;
}

std::vector<std::wstring> commandLineArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!split)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.emplace_back(split[i]);
    LocalFree(split);
    return arguments;
}
