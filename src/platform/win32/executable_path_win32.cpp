#include <windows.h>

#include <string>

#include "platform/executable_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

std::optional<text::Cp932String> RunningExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // A path that does not fit fills the buffer exactly: try a larger one.
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size()) {
        path.resize(path.size() * 2);
    }
    if (length == 0) {
        return std::nullopt;
    }
    path.resize(length);
    return text::FromWide(path);
}

}  // namespace molvar::platform
