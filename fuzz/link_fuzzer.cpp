// libFuzzer target for the `vog:` link parser, built natively by scripts/fuzz with AddressSanitizer
// and UndefinedBehaviorSanitizer. Besides crashes and the sanitizers' reports, it aborts when the
// parser breaks a promise to the front end: what an accepted link names is checked here again by
// simpler means, and making a link of it and reading that back must give the same parts.
#include "app/VogLink.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void broken(const char* promise, std::string_view input)
{
    std::fprintf(stderr, "broken: %s\nlink: %.*s\n", promise, static_cast<int>(input.size()), input.data());
    std::abort();
}

#define PROMISE(condition) ((condition) ? (void)0 : broken(#condition, input))

size_t characterCount(std::string_view text)
{
    size_t count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// UTF-8 in its shortest form, up to U+10FFFF, without surrogates: decoded loosely and encoded
// again, the text must come back byte for byte.
bool isUtf8(std::string_view text)
{
    std::string again;
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t k = 1; k < length; ++k) {
            auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = code << 6 | (c & 0x3F);
        }
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code < 0x80) {
            again += static_cast<char>(code);
        } else if (code < 0x800) {
            again += static_cast<char>(0xC0 | code >> 6);
            again += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            again += static_cast<char>(0xE0 | code >> 12);
            again += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            again += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            again += static_cast<char>(0xF0 | code >> 18);
            again += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            again += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            again += static_cast<char>(0x80 | (code & 0x3F));
        }
        i += length;
    }
    return again == text;
}

// The UTF-16 units of valid UTF-8 text: one for each character, two for one of four bytes.
size_t utf16Units(std::string_view text)
{
    size_t units = 0;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    return units;
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether Windows opens a device for a part: CON, PRN, AUX, NUL, COM0 to COM9 or LPT0 to LPT9 in
// any letter case, before the first dot (any extension) and any spaces after the name.
bool namesDevice(std::string_view part)
{
    std::string base(part.substr(0, part.find('.')));
    base.erase(base.find_last_not_of(' ') + 1);
    for (char& c : base)
        c = upper(c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '0' && base[3] <= '9';
}

// A name that stays below the folder it is joined to and names the same file for every Windows
// path function: at most 259 UTF-16 units, and parts between "\" and "/" that are not empty (no
// root, UNC path or doubled separator), hold no ":" (drive, stream), control character or any of
// < > " | ? *, do not end in a dot or a space (Windows drops those, which would make "..." or
// ".. " a ".." and "a." the file "a"), and name no device.
bool staysBelowItsFolder(std::string_view name)
{
    if (utf16Units(name) > 259)
        return false;
    size_t start = 0;
    for (size_t end = 0; end <= name.size(); ++end) {
        if (end < name.size() && name[end] != '\\' && name[end] != '/') {
            auto c = static_cast<unsigned char>(name[end]);
            if (c < 32 || c == 127 || std::string_view(":<>\"|?*").find(static_cast<char>(c)) != std::string_view::npos)
                return false;
            continue;
        }
        std::string_view part = name.substr(start, end - start);
        if (part.empty() || part.back() == '.' || part.back() == ' ' || namesDevice(part))
            return false;
        start = end + 1;
    }
    return true;
}

bool sameParts(const VogLink& a, const VogLink& b)
{
    return a.theme == b.theme && a.file == b.file && a.member == b.member;
}

// A link made of link's parts, in one of the two forms, reads back as the same parts whenever it
// is short enough.
void checkReadBack(const VogLink& link, const std::string& made, std::string_view input)
{
    VogLinkParse again = parseVogLink(made);
    if (characterCount(made) > maxVogLinkLength) {
        PROMISE(!again.accepted);
        return;
    }
    PROMISE(again.accepted);
    PROMISE(sameParts(again.link, link));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // scripts/fuzz bounds inputs in bytes, enough for a link of 2,048 four-byte characters; here
    // they are bounded in characters, a little beyond the limit, so that long runs of single bytes
    // do not take the time.
    if (characterCount(input) > maxVogLinkLength + 52)
        return 0;
    VogLinkParse parse = parseVogLink(input);
    PROMISE(isUtf8(parse.refusal));
    if (!parse.accepted) {
        PROMISE(!parse.refusal.empty());
        PROMISE(sameParts(parse.link, VogLink{}));
        return 0;
    }
    const VogLink& link = parse.link;
    PROMISE(parse.refusal.empty());
    PROMISE(characterCount(input) <= maxVogLinkLength);
    PROMISE(!link.theme.empty() && !link.file.empty());
    for (const std::string* part : {&link.theme, &link.file, &link.member}) {
        PROMISE(part->find('\0') == std::string::npos);
        PROMISE(isUtf8(*part));
    }
    PROMISE(staysBelowItsFolder(link.file));
    PROMISE(link.member.empty() || staysBelowItsFolder(link.member));

    std::string made = makeVogLink(link);
    for (char c : made)
        PROMISE(c > 32 && c < 127 && c != '#' && c != '+');
    checkReadBack(link, made, input);
    checkReadBack(link, "vog://open/?" + made.substr(made.find('?') + 1), input);
    return 0;
}
