// UTF-8 read a character at a time, for file names that may not be UTF-8 at
// all: a byte that is not part of a valid sequence counts as one character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/native_path.h"

namespace molvar::platform {

// The code point of the valid UTF-8 sequence at `at` and its length; a
// length of 0 when the bytes there are not one (overlong forms and
// surrogates included).
inline std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[at + k]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        return {0, 0};
    }
    if (at + length > bytes.size()) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return {0, 0};
        }
        c = (c << 6) | (byte(k) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {0, 0};
    }
    return {c, length};
}

// The bytes of the character at `at`: a code point with the combining marks
// that follow it, or one byte that is not valid UTF-8.
inline std::size_t Utf8CharacterWidth(std::string_view bytes, std::size_t at) {
    const std::size_t first = DecodeUtf8(bytes, at).second;
    if (first == 0) {
        return 1;
    }
    std::size_t width = first;
    while (at + width < bytes.size()) {
        const auto [c, length] = DecodeUtf8(bytes, at + width);
        if (length == 0 || !IsCombiningMark(c)) {
            break;
        }
        width += length;
    }
    return width;
}

}  // namespace molvar::platform
