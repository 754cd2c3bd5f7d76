// Small text helpers for the 8-bit text of the system code page: comparing names and folder paths
// without regard to the letter case of A to Z (and only of those: every other byte compares as it
// is, whatever the current locale says), path separators, splitting separated lists such as PATH,
// and exact conversions between code pages. The header needs no platform header: portable code
// (request/PlainName, fuzzed natively) uses its inline helpers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// "\" or "/": Windows takes either between the parts of a path.
inline bool isPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

// A path that starts with two separators: a UNC path ("\\server\share"), its "\\?\UNC\" form, or
// any other path the platform hands to a network provider or a device namespace.
inline bool startsWithTwoSeparators(std::string_view path)
{
    return path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
}

// The entries of list between its separators, in order, empty ones included: "a;;b" gives "a", "",
// "b"; an empty list gives one empty entry.
std::vector<std::string> splitList(std::string_view list, char separator = ';');

// The WideCharToMultiByte flags for codePage (a code page number as GetACP gives it, not CP_ACP)
// that refuse look-alike ("best fit") characters: WC_NO_BEST_FIT_CHARS, or none for UTF-8 and
// UTF-7. Those take no such flag (the call fails with ERROR_INVALID_FLAGS, which the system code
// page is when "Use Unicode UTF-8 for worldwide language support" is on or the host's manifest
// asks for it) and have nothing to approximate: every character has its exact bytes.
unsigned long noBestFitFlags(unsigned int codePage);

// Code pages are numbers as the platform takes them; 0 is the system's ANSI code page (CP_ACP).
//
// A name is converted exactly or not at all: a character a code page cannot hold must not become
// "?" or a best-fit look-alike (a fullwidth solidus written as "\"), which would name another file
// than the one asked for or checked.

// text in codePage; nothing when a character has no exact equivalent there. With the UTF-8 code
// page only a lone surrogate has none: that code page takes no best-fit flag and reports no default
// character, so it is asked to refuse invalid characters instead.
std::optional<std::string> narrowExactly(std::wstring_view text, unsigned int codePage = 0);

// text of code page from in code page to, exactly; nothing when it is not valid in from or has no
// exact equivalent in to.
std::optional<std::string> recodeExactly(std::string_view text, unsigned int from, unsigned int to);

// text of codePage in UTF-16 (invalid bytes become U+FFFD: for showing, never for naming).
std::wstring widen(std::string_view text, unsigned int codePage = 0);
