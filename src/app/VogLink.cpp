#include "app/VogLink.h"

#include "request/PlainName.h"

#include <algorithm>
#include <optional>

// "+" is not a space. A link is a URI, where "+" is an ordinary character; only HTML form
// submission (and URLSearchParams) writes a space as "+", and links are written by hand or with
// encodeURIComponent, which keep a space as %20 and a plus as %2B. Reading "+" as itself lets
// names such as "C++ primer.pdf" work as written, and a link that meant a space fails visibly
// ("a+b.pdf" is not found, and the File Loader names it) instead of opening another document.

namespace {

constexpr std::string_view parameterNames[] = {"theme", "file", "member"};
enum Parameter { themeIndex, fileIndex, memberIndex, parameterCount };

const char* const badPercent =
    "The link has a \"%\" that is not followed by two hexadecimal digits: write a percent sign as %25.";

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 32 || c == 127;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])  // b is lower case
            return false;
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// text with every "%XY" turned into its byte; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> percentDecoded(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

// The number of UTF-16 units text takes, or nothing when it is not valid UTF-8. The ranges of the
// second byte keep out overlong forms (E0 80..9F, F0 80..8F), surrogates (ED A0..BF) and values above
// U+10FFFF (F4 90..BF); C0, C1 and F5..FF never start a sequence.
std::optional<size_t> utf16Length(std::string_view text)
{
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else if (lead >= 0x80) {
            return std::nullopt;
        }
        if (text.size() - i < length)
            return std::nullopt;
        auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0x80);
        if (second < low || second > high)
            return std::nullopt;
        for (size_t k = 2; k < length; ++k) {
            if (!isContinuation(text[i + k]))
                return std::nullopt;
        }
        units += length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

// Whether valid UTF-8 text holds a character that shows as something other than itself or as nothing:
// the delete or a C1 control (U+007F..U+009F), a bidirectional control (marks, embeddings, overrides, isolates),
// or an invisible format character (zero-width spaces and joiners, word joiner and invisible
// operators, soft hyphen, fillers, byte order mark, interlinear annotations, tags, variation
// selectors). With one of these the "Vog" box would show a name other than the one opened.
bool hasHiddenCharacter(std::string_view text)
{
    static const char32_t ranges[][2] = {
        {0x007F, 0x009F}, {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160},
        {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x206F},
        {0x3164, 0x3164}, {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB},
        {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        for (const auto& range : ranges) {
            if (code >= range[0] && code <= range[1])
                return true;
        }
    }
    return false;
}

// Valid UTF-8 text in quotes for a message: at most 60 characters, control characters as "?".
std::string quoted(std::string_view text)
{
    std::string shown = "\"";
    size_t characters = 0;
    for (char c : text) {
        if (!isContinuation(c) && ++characters > 60) {
            shown += "...";
            break;
        }
        shown += isControl(c) ? '?' : c;
    }
    return shown + "\"";
}

// The query of a link in one of the accepted forms ("" when it has none); nothing for any other text.
std::optional<std::string_view> queryOf(std::string_view text)
{
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || !equalIgnoringAsciiCase(text.substr(0, colon), "vog"))
        return std::nullopt;
    std::string_view rest = text.substr(colon + 1);
    bool authority = rest.substr(0, 2) == "//";
    if (authority)
        rest.remove_prefix(2);
    if (!equalIgnoringAsciiCase(rest.substr(0, 4), "open"))
        return std::nullopt;
    rest.remove_prefix(4);
    if (authority && !rest.empty() && rest[0] == '/')
        rest.remove_prefix(1);
    if (rest.empty())
        return rest;
    if (rest[0] != '?')
        return std::nullopt;
    return rest.substr(1);
}

// Why a file or member name cannot be used, as a phrase after "The ... name"; nullptr when it can.
const char* nameFault(const std::string& name)
{
    if (*utf16Length(name) > maxVogLinkNameLength)
        return "is longer than 259 characters";
    return plainNameFault(name);
}

VogLinkParse refused(std::string reason)
{
    VogLinkParse parse;
    parse.refusal = std::move(reason);
    return parse;
}

}  // namespace

VogLinkParse parseVogLink(std::string_view text)
{
    size_t characters = 0;
    for (char c : text) {
        if (isControl(c))
            return refused("The link contains a control character.");
        if (c == '#')
            return refused("The link contains \"#\": write it as %23 inside a name.");
        characters += !isContinuation(c);
    }
    if (characters > maxVogLinkLength)
        return refused("The link is longer than 2,048 characters.");
    std::optional<std::string_view> query = queryOf(text);
    if (!query)
        return refused("This is not a link Vog can open: it must start with \"vog:open?\" or \"vog://open/?\".");

    std::optional<std::string> values[parameterCount];
    for (size_t start = 0; !query->empty() && start <= query->size();) {
        size_t end = std::min(query->find('&', start), query->size());
        std::string_view pair = query->substr(start, end - start);
        start = end + 1;
        if (pair.empty())
            return refused("The link has an empty parameter: \"&&\", or \"&\" at the start or end of its parameters.");
        size_t equals = pair.find('=');
        std::optional<std::string> name = percentDecoded(pair.substr(0, equals));
        if (!name)
            return refused(badPercent);
        if (!utf16Length(*name) || name->find('\0') != std::string::npos)
            return refused("The link has a parameter whose name is not text.");
        size_t index = 0;
        while (index < parameterCount && parameterNames[index] != *name)
            ++index;
        if (index == parameterCount)
            return refused("The link has the parameter " + quoted(*name) +
                           ", which Vog does not know: a link takes only theme, file and member.");
        if (equals == std::string_view::npos)
            return refused("The link's parameter " + *name + " has no value: write " + *name + "=...");
        if (values[index])
            return refused("The link gives " + *name + " twice: give each parameter once.");
        std::optional<std::string> value = percentDecoded(pair.substr(equals + 1));
        if (!value)
            return refused(badPercent);
        if (!utf16Length(*value))
            return refused("The " + *name + " in the link is not UTF-8 text: percent-encode each byte of its UTF-8 form.");
        if (value->find('\0') != std::string::npos)
            return refused("The " + *name + " in the link contains a NUL character (%00).");
        if (hasHiddenCharacter(*value))
            return refused("The " + *name + " in the link contains an invisible, direction-changing or control "
                           "character: the name shown would not be the name opened.");
        values[index] = std::move(value);
    }

    VogLinkParse parse;
    VogLink& link = parse.link;
    link.theme = values[themeIndex].value_or("");
    link.file = values[fileIndex].value_or("");
    link.member = values[memberIndex].value_or("");
    if (link.theme.empty())
        return refused("The link names no theme: add theme= and the theme's name.");
    if (link.file.empty())
        return refused("The link names no file: add file= and the document's name.");
    for (char c : link.theme) {
        if (isControl(c))
            return refused("The theme name " + quoted(link.theme) + " contains a control character.");
    }
    if (const char* fault = nameFault(link.file))
        return refused("The file name " + quoted(link.file) + " " + fault +
                       ": a link names a file in a theme folder, or a relative path below one.");
    if (const char* fault = link.member.empty() ? nullptr : nameFault(link.member))
        return refused("The member name " + quoted(link.member) + " " + fault +
                       ": a link names a member by its path inside the archive.");
    parse.accepted = true;
    return parse;
}

std::string makeVogLink(const VogLink& link)
{
    auto encoded = [](std::string_view text) {
        static const char hex[] = "0123456789ABCDEF";
        std::string result;
        for (char c : text) {
            auto byte = static_cast<unsigned char>(c);
            bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              c == '-' || c == '.' || c == '_' || c == '~';
            if (unreserved) {
                result += c;
            } else {
                result += '%';
                result += hex[byte >> 4];
                result += hex[byte & 15];
            }
        }
        return result;
    };
    std::string text = "vog:open?theme=" + encoded(link.theme) + "&file=" + encoded(link.file);
    if (!link.member.empty())
        text += "&member=" + encoded(link.member);
    return text;
}
