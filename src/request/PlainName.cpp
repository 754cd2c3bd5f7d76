#include "request/PlainName.h"

#include "winsys/Text.h"

#include <cstring>
#include <string>

namespace {

// Windows opens a device, not a file, for these names whatever their extension ("nul.txt") and
// with trailing spaces ("COM1 "). The superscript digits are checked as code page 1252 bytes and
// as UTF-8, so the one check serves names in either form.
bool isDeviceName(std::string_view part)
{
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    std::string upper(base);
    for (char& c : upper)
        c = upperAscii(c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device)
            return true;
    }
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
        return false;
    std::string_view digit = std::string_view(upper).substr(3);
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9')
        return true;
    for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
        if (digit == superscript)
            return true;
    }
    return false;
}

const char* partFault(std::string_view part, bool first)
{
    if (part.empty())
        return first ? "starts with a separator (a root or a network path)"
                     : "has an empty part (two separators in a row, or one at the end)";
    for (char c : part) {
        if (c == ':')
            return "holds \":\" (a drive or a stream)";
        if (static_cast<unsigned char>(c) < 32)
            return "holds a control character";
        if (std::strchr("<>\"|?*", c))
            return "holds one of the characters < > \" | ? *";
    }
    if (part.find_first_not_of('.') == std::string_view::npos)
        return "has a \".\" or \"..\" part";
    if (part.back() == '.' || part.back() == ' ')
        return "has a part that ends in a dot or a space";
    if (isDeviceName(part))
        return "names a device (such as CON, NUL, COM1 or LPT1)";
    return nullptr;
}

}  // namespace

const char* plainNameFault(std::string_view name)
{
    if (name.empty())
        return "is empty";
    for (bool first = true;; first = false) {
        size_t end = 0;
        while (end < name.size() && !isPathSeparator(name[end]))
            ++end;
        if (const char* fault = partFault(name.substr(0, end), first))
            return fault;
        if (end == name.size())
            return nullptr;
        name.remove_prefix(end + 1);
    }
}
