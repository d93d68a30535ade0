// Conversion between code page 932 and the encodings of the OS boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/cp932.h"

namespace molvar::text {

// Code page 932 to UTF-8. Empty when the bytes are not valid code page 932
// (a lone lead byte, an unmapped code): such a name is never mangled.
std::optional<std::string> ToUtf8(const Cp932String& text);

// UTF-8 to code page 932. Empty when a character has no code page 932 form or
// the input is not valid UTF-8.
std::optional<Cp932String> FromUtf8(std::string_view utf8);

// Code page 932 of a window system's UTF-16 text. A character without a form
// there (a label the system wrote) is left out rather than turned into a
// look-alike; a lone surrogate likewise.
Cp932String FromUtf16DroppingUnmapped(std::u16string_view utf16);

// For display only (one line on a console): unconvertible bytes become '?'.
std::string ToUtf8ForDisplay(const Cp932String& text);

// The program's own Japanese texts are written in UTF-8 in the source and
// converted once where they are first used. Aborts on a literal without a
// code page 932 form, which is a programming error caught by the tests.
Cp932String LiteralToCp932(std::u8string_view literal);

}  // namespace molvar::text
