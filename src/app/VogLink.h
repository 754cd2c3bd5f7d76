// A `vog:` link names one document of a theme, as a page's call of open does:
//
//   vog:open?theme=Manuals&file=guide.pdf&member=chapter1.txt
//   vog://open/?theme=Manuals&file=guide.pdf            (and vog://open?...)
//
// Any web site, mail or chat can hand such a link to the machine, so it is held to narrow rules, and
// anything else is refused with a sentence for the user:
//   - "vog" and "open" in any letter case, in one of the forms above; nothing after the parameters;
//   - at most 2,048 characters, no control character, no "#";
//   - the parameters theme, file and member, each written name=value, at most once, separated by
//     single "&"; theme and file are required and not empty; an empty member means none;
//   - names and values are percent-decoded once ("%" and two hexadecimal digits); "+" stands for
//     itself (see VogLink.cpp); the decoded text must be valid UTF-8 without NUL, and a theme
//     without control characters;
//   - file and member are plain relative names (request/PlainName.h: no drive, root, UNC path,
//     "..", stream or device name) of at most 259 UTF-16 units, with "\" or "/" between parts.
//
// Portable C++ without a platform header: it is fuzzed natively as well as built for Windows, and
// its texts are UTF-8 both ways. What stays for the Windows front end:
//   - it hands over its command line converted with WideCharToMultiByte(CP_UTF8,
//     WC_ERR_INVALID_CHARS), so that a lone surrogate refuses the link instead of becoming U+FFFD;
//   - it converts what an accepted link names into the system code page with WC_NO_BEST_FIT_CHARS
//     (no flags when that code page is UTF-8: winsys/Text.h, noBestFitFlags) and refuses the link
//     when any character has no exact equivalent (a best-fit look-alike, such as a fullwidth
//     solidus written as "\", would name another path than the one checked here);
//   - it checks that the theme is registered and that each theme folder joined with file fits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What a link asks for, in UTF-8.
struct VogLink {
    std::string theme;
    std::string file;    // a file name, or a relative path below a theme folder
    std::string member;  // the archive member to extract; empty for none
};

// The link, or why it was refused.
struct VogLinkParse {
    bool accepted = false;
    VogLink link;         // empty unless accepted
    std::string refusal;  // empty when accepted: what was wrong, and what to write instead
};

inline constexpr std::size_t maxVogLinkLength = 2048;  // characters of the whole link
// A file or member name joined to a folder must still fit the platform's 260-character paths.
inline constexpr std::size_t maxVogLinkNameLength = 259;

VogLinkParse parseVogLink(std::string_view text);

// The link "vog:open?theme=...&file=...[&member=...]" for link, every byte but A-Z, a-z, 0-9 and
// "-._~" percent-encoded. It is not checked: parseVogLink may refuse it.
std::string makeVogLink(const VogLink& link);
