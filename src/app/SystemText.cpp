#include "app/SystemText.h"

#include <shellapi.h>

namespace {

bool isUtf8(UINT codePage)
{
    return codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
}

}  // namespace

std::optional<std::string> narrowExactly(std::wstring_view text, UINT codePage)
{
    if (text.empty())
        return std::string();
    const bool utf8 = isUtf8(codePage);
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* defaultUsed = utf8 ? nullptr : &usedDefault;
    const int wideLength = static_cast<int>(text.size());
    int length = WideCharToMultiByte(codePage, flags, text.data(), wideLength, nullptr, 0, nullptr, defaultUsed);
    if (length <= 0 || usedDefault)
        return std::nullopt;
    std::string narrow(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), wideLength, narrow.data(), length, nullptr, defaultUsed) !=
            length ||
        usedDefault)
        return std::nullopt;
    // WC_NO_BEST_FIT_CHARS keeps every mapping the code page's table calls exact; the way back
    // shows whether the text names the same characters.
    if (!utf8 && widen(narrow, codePage) != text)
        return std::nullopt;
    return narrow;
}

std::optional<std::string> recodeUtf8(std::string_view utf8, UINT codePage)
{
    if (utf8.empty())
        return std::string();
    const int length = static_cast<int>(utf8.size());
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), wideLength);
    return narrowExactly(wide, codePage);
}

std::wstring widen(std::string_view text, UINT codePage)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), wideLength);
    return wide;
}

std::string shownText(std::string_view utf8)
{
    std::wstring wide = widen(utf8, CP_UTF8);
    if (wide.empty())
        return {};
    // The default character for what the code page lacks; the UTF-8 code page lacks nothing.
    const bool utf8Page = isUtf8(CP_ACP);
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
