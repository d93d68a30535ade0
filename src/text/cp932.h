// Text as the program keeps it: bytes in code page 932 (Shift-JIS), exactly as
// they stand in the settings and listing files. Limits count bytes.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace molvar::text {

// A byte string in code page 932. Kept apart from std::string so that UTF-8
// text (source literals, Linux file names) cannot be mixed in by accident.
class Cp932String {
public:
    Cp932String() = default;

    static Cp932String FromBytes(std::string_view bytes) {
        Cp932String s;
        s.bytes_.assign(bytes);
        return s;
    }

    const std::string& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }

    Cp932String& operator+=(const Cp932String& other) {
        bytes_ += other.bytes_;
        return *this;
    }
    // For single ASCII characters such as a path separator.
    Cp932String& AppendAsciiChar(char c);

    friend Cp932String operator+(Cp932String a, const Cp932String& b) { return a += b; }
    friend bool operator==(const Cp932String&, const Cp932String&) = default;
    friend auto operator<=>(const Cp932String&, const Cp932String&) = default;

private:
    std::string bytes_;
};

// A string literal checked at compile time to be plain ASCII, and so the
// same bytes in UTF-8 and in code page 932: "obsdat"_cp. A Japanese literal
// here is a compile error; it has to go through LiteralToCp932 instead.
template <std::size_t N>
struct AsciiLiteral {
    consteval AsciiLiteral(const char (&literal)[N]) {
        for (std::size_t i = 0; i < N; ++i) {
            if (static_cast<unsigned char>(literal[i]) >= 0x80) {
                throw "not an ASCII literal";
            }
            chars[i] = literal[i];
        }
    }
    char chars[N]{};
};

template <AsciiLiteral literal>
Cp932String operator""_cp() {
    return Cp932String::FromBytes(std::string_view(literal.chars, sizeof(literal.chars) - 1));
}

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(std::uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The longest prefix of `bytes` of at most `maxBytes` bytes that ends on a
// character boundary. A lead byte never stays behind without its trail byte.
std::size_t CutLength(std::string_view bytes, std::size_t maxBytes);

// The longest start of `value` of at most `maxBytes` bytes that does not
// split a double-byte character.
Cp932String CutToBytes(const Cp932String& value, std::size_t maxBytes);

// The text of a fixed NUL-terminated field: up to the first NUL, or the whole
// width when the field holds none. Never reads past the field.
Cp932String ReadField(std::span<const char> field);

// Writes `value` cut to at most `maxBytes` (and to the field's width less one)
// followed by a NUL. Bytes after the NUL are left as they were.
// Returns the number of text bytes stored.
std::size_t StoreField(std::span<char> field, const Cp932String& value, std::size_t maxBytes);

}  // namespace molvar::text
