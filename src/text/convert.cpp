// The parts of the conversion that only build on ToUtf8 and FromUtf8, shared
// by every backend.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "text/convert.h"

namespace molvar::text {

std::string ToUtf8ForDisplay(const Cp932String& text) {
    if (auto whole = ToUtf8(text)) {
        return *whole;
    }
    std::string shown;
    const std::string& bytes = text.bytes();
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t width = IsLeadByte(static_cast<std::uint8_t>(bytes[pos])) ? 2 : 1;
        auto piece = ToUtf8(Cp932String::FromBytes(std::string_view(bytes).substr(pos, width)));
        shown += piece ? *piece : std::string("?");
        pos += width;
    }
    return shown;
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

Cp932String FromUtf16DroppingUnmapped(std::u16string_view utf16) {
    // The characters one by one, as UTF-8; a lone surrogate is one that
    // has no form anywhere.
    std::vector<std::string> characters;
    std::string whole;
    for (std::size_t at = 0; at < utf16.size();) {
        char32_t c = utf16[at++];
        const bool high = c >= 0xD800 && c < 0xDC00;
        if (high && at < utf16.size() && utf16[at] >= 0xDC00 && utf16[at] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[at++] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        std::string& character = characters.emplace_back();
        AppendUtf8(character, c);
        whole += character;
    }
    if (auto converted = FromUtf8(whole)) {
        return *converted;
    }
    Cp932String converted;
    for (const std::string& character : characters) {
        if (auto narrow = FromUtf8(character)) {
            converted += *narrow;
        }
    }
    return converted;
}

Cp932String LiteralToCp932(std::u8string_view literal) {
    auto converted = FromUtf8(std::string_view(reinterpret_cast<const char*>(literal.data()), literal.size()));
    if (!converted) {
        std::fputs("molvar: a built-in text has no code page 932 form\n", stderr);
        std::abort();
    }
    return *converted;
}

}  // namespace molvar::text
