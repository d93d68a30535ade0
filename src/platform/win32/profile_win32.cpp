// Profile values in the registry: HKCU\Software\<key>\<profile>\<section>,
// one REG_DWORD per entry.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/profile.h"
#include "text/win32/wide.h"

namespace molvar::platform {
namespace {

// An open registry key, closed when it goes out of scope.
class UniqueKey {
public:
    UniqueKey() = default;
    ~UniqueKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;

    HKEY get() const { return key_; }
    // For the functions that open the key; only on an empty owner.
    HKEY* receive() { return &key_; }

private:
    HKEY key_ = nullptr;
};

// Each name converts on its own, so that a code page 932 trail byte 0x5C
// never reads as a key separator. An empty name would leave the key's path
// one level short.
std::optional<std::wstring> SectionKeyPath(const ProfileLocation& where, const text::Cp932String& section) {
    std::wstring path = L"Software";
    for (const auto* name : {&where.registryKey, &where.profileName, &section}) {
        const auto wide = text::ToWide(*name);
        if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
            return std::nullopt;
        }
        path += L'\\';
        path += *wide;
    }
    return path;
}

// An empty name would be the key's default value, which is no entry.
std::optional<std::wstring> ValueName(const text::Cp932String& entry) {
    auto wide = text::ToWide(entry);
    if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    return wide;
}

}  // namespace

int ReadProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                   int defaultValue) {
    const auto keyPath = SectionKeyPath(where, section);
    const auto valueName = ValueName(entry);
    UniqueKey key;
    if (!keyPath || !valueName ||
        ::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath->c_str(), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS) {
        return defaultValue;
    }
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    // A longer value of another type fails with ERROR_MORE_DATA.
    if (::RegQueryValueExW(key.get(), valueName->c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

bool WriteProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                     int value) {
    const auto keyPath = SectionKeyPath(where, section);
    const auto valueName = ValueName(entry);
    UniqueKey key;
    if (!keyPath || !valueName ||
        ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto stored = static_cast<DWORD>(value);
    return ::RegSetValueExW(key.get(), valueName->c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                            sizeof stored) == ERROR_SUCCESS;
}

}  // namespace molvar::platform
