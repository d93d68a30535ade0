// Paths for the wide Windows API.
#pragma once

#include <optional>
#include <string>

#include "platform/native_path.h"
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

// The running executable's full path as Windows gives it; empty when it
// cannot be told.
std::wstring RunningExecutableWidePath();

// A native path's UTF-16, and back.
std::wstring WideOf(const NativePath& path);
NativePath NativeOfWide(std::wstring_view wide);

// The form of a native path that the wide API takes whatever its length:
// from kMaxPathUnits on, an absolute path goes with the "\\?\" prefix
// (which turns off the classic limit and the path's normalisation).
std::wstring ApiPathOf(const NativePath& path);

}  // namespace molvar::platform::win32
