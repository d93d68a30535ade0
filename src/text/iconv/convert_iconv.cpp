// Code page 932 conversion with iconv (glibc's CP932 module, Microsoft's table).
#include <iconv.h>

#include <cerrno>

#include "text/convert.h"

namespace molvar::text {
namespace {

// One descriptor per thread and direction: iconv_t keeps shift state and must
// not be shared between threads, and opening one per call is needlessly slow.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> Convert(std::string_view input) {
        if (!valid()) {
            return std::nullopt;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        std::string output(input.size() * 3 + 4, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        while (inLeft > 0) {
            if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG) {
                    return std::nullopt;  // EILSEQ or EINVAL: not convertible
                }
                const std::size_t used = output.size() - outLeft;
                output.resize(output.size() * 2);
                out = output.data() + used;
                outLeft = output.size() - used;
            }
        }
        output.resize(output.size() - outLeft);
        return output;
    }

private:
    iconv_t cd_;
};

Converter& ToUtf8Converter() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& FromUtf8Converter() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

// Code page 932 and UTF-8 agree on every byte below 0x80, and most file names
// are plain ASCII: those need no conversion.
bool IsAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> ToUtf8(const Cp932String& text) {
    if (IsAscii(text.bytes())) {
        return text.bytes();
    }
    return ToUtf8Converter().Convert(text.bytes());
}

std::optional<Cp932String> FromUtf8(std::string_view utf8) {
    if (IsAscii(utf8)) {
        return Cp932String::FromBytes(utf8);
    }
    auto converted = FromUtf8Converter().Convert(utf8);
    if (!converted) {
        return std::nullopt;
    }
    // glibc also gives look-alikes: U+00A5 YEN SIGN becomes 0x5C, which is a
    // backslash, U+301C WAVE DASH becomes 0x8160, which reads back as
    // U+FF5E. Only a text that converts back unchanged has a cp932 form, as
    // Windows decides without best fit.
    auto text = Cp932String::FromBytes(*converted);
    if (ToUtf8(text) != utf8) {
        return std::nullopt;
    }
    return text;
}

}  // namespace molvar::text
