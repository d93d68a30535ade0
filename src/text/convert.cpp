// The parts of the conversion that only build on ToUtf8 and FromUtf8, shared
// by every backend.
#include <cstdio>
#include <cstdlib>

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

Cp932String LiteralToCp932(std::u8string_view literal) {
    auto converted = FromUtf8(std::string_view(reinterpret_cast<const char*>(literal.data()), literal.size()));
    if (!converted) {
        std::fputs("molvar: a built-in text has no code page 932 form\n", stderr);
        std::abort();
    }
    return *converted;
}

}  // namespace molvar::text
