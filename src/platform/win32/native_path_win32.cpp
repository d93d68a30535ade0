#include <windows.h>

#include "platform/native_path.h"
#include "platform/win32/wide_path.h"
#include "text/convert.h"
#include "text/win32/wide.h"

namespace molvar::platform {
namespace {

// The longest path the wide API takes with the "\\?\" prefix.
constexpr std::size_t kMaxLongPathUnits = 32'767;

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

const std::size_t kMaxNativeNameBytes = 255 * sizeof(wchar_t);

namespace win32 {

std::wstring WideOf(const NativePath& path) {
    const std::string& bytes = path.bytes();
    std::wstring wide(bytes.size() / 2, L'\0');
    for (std::size_t k = 0; k < wide.size(); ++k) {
        wide[k] = static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[2 * k]) |
                                       (static_cast<std::uint8_t>(bytes[2 * k + 1]) << 8));
    }
    return wide;
}

NativePath NativeOfWide(std::wstring_view wide) {
    std::string bytes(wide.size() * 2, '\0');
    for (std::size_t k = 0; k < wide.size(); ++k) {
        bytes[2 * k] = static_cast<char>(wide[k] & 0xFF);
        bytes[2 * k + 1] = static_cast<char>((wide[k] >> 8) & 0xFF);
    }
    return NativePath::FromOsBytes(std::move(bytes));
}

std::wstring ApiPathOf(const NativePath& path) {
    std::wstring wide = WideOf(path);
    if (wide.size() < kMaxPathUnits || wide.starts_with(L"\\\\?\\")) {
        return wide;
    }
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return wide;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return wide;
    }
    full.resize(length);
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

}  // namespace win32

std::optional<NativePath> NativeOf(const text::Cp932String& text) {
    const auto wide = text::ToWide(text);
    if (!wide || wide->find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    return win32::NativeOfWide(*wide);
}

std::optional<text::Cp932String> Cp932FormOf(const NativePath& name) { return text::FromWide(win32::WideOf(name)); }

NativePath NativeFromUtf8(std::string_view utf8) {
    const int length = static_cast<int>(utf8.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    }
    return win32::NativeOfWide(wide);
}

std::string Utf8ForDisplay(const NativePath& path) {
    std::wstring wide = win32::WideOf(path);
    for (std::size_t k = 0; k < wide.size(); ++k) {
        if (IsHighSurrogate(wide[k]) && k + 1 < wide.size() && IsLowSurrogate(wide[k + 1])) {
            ++k;
        } else if (IsHighSurrogate(wide[k]) || IsLowSurrogate(wide[k])) {
            wide[k] = L'?';
        }
    }
    const int length = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    }
    return utf8;
}

std::optional<NativePath> JoinPath(const text::Cp932String& folder, const NativePath& name) {
    const auto wideFolder = text::ToWide(folder);
    const std::wstring wideName = win32::WideOf(name);
    if (!wideFolder || wideFolder->empty() || wideFolder->find(L'\0') != std::wstring::npos ||
        wideName.find(L'\0') != std::wstring::npos || wideFolder->size() + 1 + wideName.size() >= kMaxLongPathUnits) {
        return std::nullopt;
    }
    return win32::NativeOfWide(*wideFolder + L"\\" + wideName);
}

std::vector<std::size_t> CharacterStarts(const NativePath& name) {
    const std::wstring wide = win32::WideOf(name);
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < wide.size();) {
        const bool pair = IsHighSurrogate(wide[k]) && k + 1 < wide.size() && IsLowSurrogate(wide[k + 1]);
        const char32_t c = pair ? 0x10000 + ((static_cast<char32_t>(wide[k]) - 0xD800) << 10) +
                                      (static_cast<char32_t>(wide[k + 1]) - 0xDC00)
                                : static_cast<char32_t>(wide[k]);
        if (starts.empty() || !IsCombiningMark(c)) {
            starts.push_back(2 * k);
        }
        k += pair ? 2 : 1;
    }
    starts.push_back(2 * wide.size());
    return starts;
}

}  // namespace molvar::platform
