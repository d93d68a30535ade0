#include <windows.h>

#include <string>

#include "platform/executable_path.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

std::wstring win32::RunningExecutableWidePath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // A path that does not fit fills the buffer exactly: try a larger one.
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return path;
}

std::optional<text::Cp932String> RunningExecutablePath() {
    const std::wstring path = win32::RunningExecutableWidePath();
    return path.empty() ? std::nullopt : text::FromWide(path);
}

}  // namespace molvar::platform
