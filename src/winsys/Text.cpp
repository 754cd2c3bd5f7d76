#include "winsys/Text.h"

#include <windows.h>

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    }
    return true;
}

std::vector<std::string> splitList(std::string_view list, char separator)
{
    std::vector<std::string> entries;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(separator, start);
        if (end == std::string_view::npos) {
            entries.emplace_back(list.substr(start));
            return entries;
        }
        entries.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
}

unsigned long noBestFitFlags(unsigned int codePage)
{
    return codePage == CP_UTF8 || codePage == CP_UTF7 ? 0 : WC_NO_BEST_FIT_CHARS;
}

std::optional<std::string> narrowExactly(std::wstring_view text, unsigned int codePage)
{
    if (text.empty())
        return std::string();
    const unsigned int page = codePage == CP_ACP ? GetACP() : codePage;
    const bool utf8 = page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : noBestFitFlags(page);
    BOOL usedDefault = FALSE;
    BOOL* defaultUsed = utf8 ? nullptr : &usedDefault;
    const int wideLength = static_cast<int>(text.size());
    int length = WideCharToMultiByte(page, flags, text.data(), wideLength, nullptr, 0, nullptr, defaultUsed);
    if (length <= 0 || usedDefault)
        return std::nullopt;
    std::string narrow(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(page, flags, text.data(), wideLength, narrow.data(), length, nullptr, defaultUsed) !=
            length ||
        usedDefault)
        return std::nullopt;
    // WC_NO_BEST_FIT_CHARS keeps every mapping the code page's table calls exact; the way back
    // shows whether the text names the same characters.
    if (!utf8 && widen(narrow, page) != text)
        return std::nullopt;
    return narrow;
}

std::optional<std::string> recodeExactly(std::string_view text, unsigned int from, unsigned int to)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    // MB_ERR_INVALID_CHARS is accepted by every code page, UTF-8 included.
    int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), wideLength);
    return narrowExactly(wide, to);
}

std::wstring widen(std::string_view text, unsigned int codePage)
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
