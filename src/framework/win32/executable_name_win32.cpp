#include <string>

#include "framework/executable_name.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::framework {

// Only the name needs a code page 932 form, not the folder it lies in.
text::Cp932String ExecutableName() {
    const std::wstring path = platform::win32::RunningExecutableWidePath();
    std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
    if (const auto dot = name.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return text::FromWide(name).value_or(text::Cp932String());
}

}  // namespace molvar::framework
