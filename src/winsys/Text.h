// Small text helpers for the 8-bit text of the system code page: comparing names and folder paths
// without regard to the letter case of A to Z (and only of those: every other byte compares as it
// is, whatever the current locale says), splitting separated lists such as PATH, and the flags of a
// conversion into a code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The entries of list between its separators, in order, empty ones included: "a;;b" gives "a", "",
// "b"; an empty list gives one empty entry.
std::vector<std::string> splitList(std::string_view list, char separator = ';');

// The WideCharToMultiByte flags for codePage (a code page number as GetACP gives it, not CP_ACP)
// that refuse look-alike ("best fit") characters: WC_NO_BEST_FIT_CHARS, or none for UTF-8 and
// UTF-7. Those take no such flag (the call fails with ERROR_INVALID_FLAGS, which the system code
// page is when "Use Unicode UTF-8 for worldwide language support" is on or the host's manifest
// asks for it) and have nothing to approximate: every character has its exact bytes.
unsigned long noBestFitFlags(unsigned int codePage);
