// File names and paths in the operating system's own form, for the files
// found in a watched folder: whatever their name, they are named to the OS
// exactly as the OS gave them, never through code page 932.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/cp932.h"

namespace molvar::platform {

// A name or path exactly as the OS holds it: on Linux its bytes (any bytes
// but NUL, not necessarily UTF-8), on Windows its UTF-16 code units, kept
// here as UTF-16LE bytes. Never holds a NUL character.
class NativePath {
public:
    NativePath() = default;
    // The OS's own bytes (UTF-16LE on Windows), taken as they are.
    static NativePath FromOsBytes(std::string bytes) {
        NativePath path;
        path.bytes_ = std::move(bytes);
        return path;
    }

    // Replaces the bytes, reusing the memory held (a search names one item after another).
    void AssignOsBytes(std::string_view bytes) { bytes_.assign(bytes); }

    const std::string& bytes() const { return bytes_; }
    bool empty() const { return bytes_.empty(); }
    friend bool operator==(const NativePath&, const NativePath&) = default;

private:
    std::string bytes_;
};

// The longest name of one file the file systems take, in bytes of the
// native form (255 bytes on Linux, 255 UTF-16 units on Windows).
extern const std::size_t kMaxNativeNameBytes;

// The OS form of a code page 932 text; empty when it has none or holds a NUL.
std::optional<NativePath> NativeOf(const text::Cp932String& text);

// The name's exact code page 932 form; empty when a character has none (no
// look-alike is ever taken), or the name is not valid in its own encoding.
std::optional<text::Cp932String> Cp932FormOf(const NativePath& name);

// UTF-8 text in the OS form (tests, the program's own ASCII pieces). On
// Linux the bytes stay as they are, whatever they are.
NativePath NativeFromUtf8(std::string_view utf8);

// For display only: UTF-8, with '?' for what is not a character.
std::string Utf8ForDisplay(const NativePath& path);

// `folder`, the separator, `name`; empty when the folder has no OS form or
// the path would not fit the OS's limit (it is never cut: a cut path names
// another file).
std::optional<NativePath> JoinPath(const text::Cp932String& folder, const NativePath& name);

// Where each character of the name starts, in bytes, followed by the size:
// a character is one code point with the combining marks that follow it
// (so a decomposed "ダ" is one), and a byte that is not part of valid UTF-8
// (Linux) or a lone surrogate (Windows) is one character of its own.
std::vector<std::size_t> CharacterStarts(const NativePath& name);

// Marks that belong to the character before them: the combining diacritics
// of Latin and other scripts, the kana voicing marks of a decomposed name,
// and variation selectors.
constexpr bool IsCombiningMark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0xFE00 && c <= 0xFE0F) ||
           c == 0x3099 || c == 0x309A;
}

}  // namespace molvar::platform
