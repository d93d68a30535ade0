// Code page 932 and UTF-16, the encoding of the wide Windows API. Only the
// Windows backends use these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/cp932.h"

namespace molvar::text {

// Empty when the bytes are not valid code page 932.
std::optional<std::wstring> ToWide(const Cp932String& text);

// Empty when a character has no code page 932 form (no best-fit look-alike is
// ever substituted) or the UTF-16 is malformed.
std::optional<Cp932String> FromWide(std::wstring_view wide);

// For display only: unconvertible bytes become '?'.
std::wstring ToWideForDisplay(const Cp932String& text);

}  // namespace molvar::text
