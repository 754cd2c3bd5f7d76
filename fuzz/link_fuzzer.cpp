// libFuzzer target for the `vog:` link parser, built natively by scripts/fuzz with AddressSanitizer
// and UndefinedBehaviorSanitizer. Besides crashes and the sanitizers' reports, it aborts when the
// parser breaks a promise to the front end: what an accepted link names is checked here again by
// simpler means, and making a link of it and reading that back must give the same parts.
#include "app/VogLink.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// A name that stays below the folder it is joined to: parts between "\" and "/" that are not empty
// (no root, UNC path or doubled separator), not "." or "..", and without ":" (no drive, no stream)
// or control character. Windows drops a trailing dot or space, which would make "..." or ".. " a
// "..": no part may end in one.
bool staysBelowItsFolder(std::string_view name)
{
    size_t start = 0;
    for (size_t end = 0; end <= name.size(); ++end) {
        if (end < name.size() && name[end] != '\\' && name[end] != '/') {
            auto c = static_cast<unsigned char>(name[end]);
            if (c == ':' || c < 32)
                return false;
            continue;
        }
        if (end == start || name[end - 1] == '.' || name[end - 1] == ' ')
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
