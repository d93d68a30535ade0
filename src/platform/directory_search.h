// Listing the items of one folder the way the Windows directory search does:
// a wildcard pattern picks the names, "." and ".." and sub-folders come back
// flagged as directories, and the order is the one the OS delivers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/native_path.h"
#include "text/cp932.h"

namespace molvar::platform {

// The name of a found item as the OS gave it, and its code page 932 form
// where it has one that fits `kMaxCp932NameBytes`.
inline constexpr std::size_t kMaxCp932NameBytes = 127;

struct DirectoryItem {
    NativePath name;                           // without any folder part, exactly as the OS holds it
    std::optional<text::Cp932String> cp932Name;  // the same name in code page 932, where it has a form that fits
    bool isDirectory = false;        // sub-folders, "." and ".."
    std::uint64_t size = 0;          // in bytes
    std::int64_t lastWriteTime = 0;  // seconds since 1970-01-01 UTC
};

// One search of one folder. A folder that is missing or cannot be read, and a
// pattern that matches nothing, give no item. Every name is found, whatever
// its characters or length; items that are neither files nor folders
// (devices, FIFOs, sockets) and items that vanish while listed are left out.
class DirectorySearch {
public:
    DirectorySearch(const text::Cp932String& folder, const text::Cp932String& pattern);
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // The next matching item, valid until the next call; null once the
    // search is over.
    const DirectoryItem* Next();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The Windows wildcard rules for a name as the user sees it, both in UTF-8:
// '*' matches any run of characters, '?' exactly one character (a multibyte
// one, one with its combining marks, or a byte of a name that is not UTF-8),
// a pattern that ends in ".*" also matches the name without that extension
// ("*.*" matches every name), and ASCII letters match without regard to case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace molvar::platform
