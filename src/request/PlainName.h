// Names that come from outside for a file below a folder the system chose (an archive member
// extracted into the cache folder, a document in a theme folder named by a link) are checked here
// before they are joined to that folder: the result must name a file inside the folder, and the
// same file whichever Windows path function later opens or deletes it.
//
// Portable C++ without a platform header, so that the link parser that uses it is fuzzed natively
// too. The checks read bytes: they are exact for UTF-8 and for single-byte code pages. In a
// double-byte code page a trail byte may equal "\" or "|"; that can only make a name be refused.
#pragma once

#include <string_view>

// Why name is not a plain relative name, as a phrase that completes "The name ..." (for example
// "has a \"..\" part"); nullptr when it is one. A plain relative name is one or more parts
// separated by "\" or "/", and each part
//   - is not empty: no drive root, no UNC or "\\?\" start, no doubled or trailing separator;
//   - holds no ":" (a drive or a stream), no control character and none of < > " | ? *;
//   - does not end in a dot or a space, which Windows drops when it opens the path (so "..",
//     "." and "a." are out: the last would name the file "a");
//   - is no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9, LPT0 to LPT9, and
//     COM and LPT with a superscript 1, 2 or 3, with any extension or trailing spaces).
// The length of the joined path is the caller's to check: only it knows the folder.
const char* plainNameFault(std::string_view name);

inline bool isPlainRelativeName(std::string_view name)
{
    return plainNameFault(name) == nullptr;
}
