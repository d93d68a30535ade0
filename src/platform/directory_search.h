// Listing the items of one folder the way the Windows directory search does:
// a wildcard pattern picks the names, "." and ".." and sub-folders come back
// flagged as directories, and the order is the one the OS delivers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "text/cp932.h"

namespace molvar::platform {

struct DirectoryItem {
    text::Cp932String name;          // without any folder part
    bool isDirectory = false;        // sub-folders, "." and ".."
    std::uint64_t size = 0;          // in bytes
    std::int64_t lastWriteTime = 0;  // seconds since 1970-01-01 UTC
};

// One search of one folder. A folder that is missing or cannot be read, and a
// pattern that matches nothing, give no item. Items whose names have no code
// page 932 form are left out, and so are items that are neither files nor
// folders (devices, FIFOs, sockets) and items that vanish while listed.
class DirectorySearch {
public:
    DirectorySearch(const text::Cp932String& folder, const text::Cp932String& pattern);
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // The next matching item; empty once the search is over.
    std::optional<DirectoryItem> Next();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The Windows wildcard rules for a name: '*' matches any run of characters,
// '?' exactly one character (a double-byte character is one), a pattern that
// ends in ".*" also matches the name without that extension ("*.*" matches
// every name), and ASCII letters match without regard to case.
bool MatchesWildcard(const text::Cp932String& name, const text::Cp932String& pattern);

}  // namespace molvar::platform
