#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/directory_search.h"
#include "platform/utf8.h"

namespace molvar::platform {
namespace {

// Names are walked a character at a time as the user sees them, so '?'
// takes a whole character, even one written with combining marks.
std::size_t CharacterWidth(std::string_view text, std::size_t at) { return Utf8CharacterWidth(text, at); }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameCharacter(std::string_view name, std::size_t at, std::string_view pattern, std::size_t patternAt,
                   std::size_t width) {
    if (CharacterWidth(name, at) != width) {
        return false;
    }
    if (width == 1) {
        return FoldAscii(name[at]) == FoldAscii(pattern[patternAt]);
    }
    return name.substr(at, width) == pattern.substr(patternAt, width);
}

// '*' and '?' against a whole name. On a mismatch the last '*' takes one
// more character and matching resumes after it, which is enough for these
// two wildcards and never backtracks further.
bool MatchWhole(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::optional<std::size_t> starPattern;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
            continue;
        }
        if (p < pattern.size()) {
            const std::size_t width = CharacterWidth(pattern, p);
            if (width == 1 && pattern[p] == '?') {
                n += CharacterWidth(name, n);
                ++p;
                continue;
            }
            if (SameCharacter(name, n, pattern, p, width)) {
                n += width;
                p += width;
                continue;
            }
        }
        if (!starPattern) {
            return false;
        }
        starName += CharacterWidth(name, starName);
        n = starName;
        p = *starPattern;
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view nameBytes, std::string_view patternBytes) {
    if (MatchWhole(nameBytes, patternBytes)) {
        return true;
    }
    // "abc.*" also matches "abc", and so "*.*" matches names without a full stop.
    if (patternBytes.ends_with(".*")) {
        // Neither byte can be part of a multibyte UTF-8 character.
        return MatchWhole(nameBytes, patternBytes.substr(0, patternBytes.size() - 2));
    }
    return false;
}

}  // namespace molvar::platform
