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
