#include "text/cp932.h"

#include <algorithm>
#include <cstring>

namespace molvar::text {

Cp932String& Cp932String::AppendAsciiChar(char c) {
    if (static_cast<unsigned char>(c) < 0x80) {
        bytes_.push_back(c);
    }
    return *this;
}

std::size_t CutLength(std::string_view bytes, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t width = IsLeadByte(static_cast<std::uint8_t>(bytes[pos])) ? 2 : 1;
        if (pos + width > maxBytes || pos + width > bytes.size()) {
            break;
        }
        pos += width;
    }
    return pos;
}

Cp932String CutToBytes(const Cp932String& value, std::size_t maxBytes) {
    return Cp932String::FromBytes(std::string_view(value.bytes()).substr(0, CutLength(value.bytes(), maxBytes)));
}

Cp932String ReadField(std::span<const char> field) {
    const auto nul = std::find(field.begin(), field.end(), '\0');
    return Cp932String::FromBytes(std::string_view(field.data(), static_cast<std::size_t>(nul - field.begin())));
}

std::size_t StoreField(std::span<char> field, const Cp932String& value, std::size_t maxBytes) {
    if (field.empty()) {
        return 0;
    }
    const std::size_t limit = std::min(maxBytes, field.size() - 1);
    const std::size_t length = CutLength(value.bytes(), limit);
    std::memcpy(field.data(), value.bytes().data(), length);
    field[length] = '\0';
    return length;
}

}  // namespace molvar::text
