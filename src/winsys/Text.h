// Small text helpers for the 8-bit text of the system code page: comparing names and folder paths
// without regard to the letter case of A to Z (and only of those: every other byte compares as it
// is, whatever the current locale says), and splitting separated lists such as PATH.
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
