#include <windows.h>

#include <string>

#include "framework/executable_name.h"
#include "text/win32/wide.h"

namespace molvar::framework {

text::Cp932String ExecutableName() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    // A path that does not fit fills the buffer exactly: try a larger one.
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
    if (const auto dot = name.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return text::FromWide(name).value_or(text::Cp932String());
}

}  // namespace molvar::framework
