// Paths for the wide Windows API.
#pragma once

#include <optional>
#include <string>

#include "text/cp932.h"

namespace molvar::platform::win32 {

// Paths shorter than this many UTF-16 units work with every classic API.
constexpr std::size_t kMaxPathUnits = 260;

// The UTF-16 form of a path, or empty when it does not convert, is empty,
// holds a NUL or does not fit the classic path limit.
std::optional<std::wstring> OsPath(const text::Cp932String& path);

// The path up to and including its last separator (or drive colon); empty
// for a bare name in the current folder.
std::wstring FolderPrefixOf(const std::wstring& path);

}  // namespace molvar::platform::win32
