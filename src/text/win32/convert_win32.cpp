// Code page 932 conversion with the Windows code page tables. The code page is
// always named: the system's ANSI code page may be any other.
#include <windows.h>

#include <climits>

#include "text/convert.h"
#include "text/win32/wide.h"

namespace molvar::text {
namespace {

constexpr UINT kShiftJis = 932;

std::optional<std::wstring> MultiByteToWide(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) {
        return std::wstring();
    }
    if (bytes.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(bytes.size());
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return wide;
}

// Windows refuses the default-character report for UTF-8, and rejects
// malformed UTF-16 there by a flag instead.
std::optional<std::string> WideToMultiByte(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) {
        return std::string();
    }
    if (wide.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(wide.size());
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const usedDefaultReport = utf8 ? nullptr : &usedDefault;
    const int needed =
        ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, usedDefaultReport);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, flags, wide.data(), length, bytes.data(), needed, nullptr,
                              usedDefaultReport) != needed ||
        usedDefault) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<std::wstring> ToWide(const Cp932String& text) { return MultiByteToWide(kShiftJis, text.bytes()); }

std::optional<Cp932String> FromWide(std::wstring_view wide) {
    auto bytes = WideToMultiByte(kShiftJis, wide);
    if (!bytes) {
        return std::nullopt;
    }
    return Cp932String::FromBytes(*bytes);
}

std::wstring ToWideForDisplay(const Cp932String& text) {
    if (auto whole = ToWide(text)) {
        return *whole;
    }
    // ToUtf8ForDisplay has replaced what does not convert, so this converts.
    return MultiByteToWide(CP_UTF8, ToUtf8ForDisplay(text)).value_or(std::wstring());
}

std::optional<std::string> ToUtf8(const Cp932String& text) {
    const auto wide = ToWide(text);
    if (!wide) {
        return std::nullopt;
    }
    return WideToMultiByte(CP_UTF8, *wide);
}

std::optional<Cp932String> FromUtf8(std::string_view utf8) {
    const auto wide = MultiByteToWide(CP_UTF8, utf8);
    if (!wide) {
        return std::nullopt;
    }
    return FromWide(*wide);
}

}  // namespace molvar::text
