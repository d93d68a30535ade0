#include "platform/paths.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

const char kPathSeparator = '\\';

namespace win32 {

std::optional<std::wstring> OsPath(const text::Cp932String& path) {
    auto wide = text::ToWide(path);
    if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos || wide->size() >= kMaxPathUnits) {
        return std::nullopt;
    }
    return wide;
}

std::wstring FolderPrefixOf(const std::wstring& path) {
    const auto end = path.find_last_of(L"\\/:");
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}

}  // namespace win32
}  // namespace molvar::platform
