// A real message box. The framework header comes first: <windows.h> defines
// MB_OK, IDOK and the others as macros with the same values.
#include "framework/message_box.h"

#include <windows.h>

#include <string>

#include "text/win32/wide.h"

namespace molvar::framework {
namespace {

constexpr wchar_t kApplicationTitle[] = L"Molvar3";

class Win32Presenter final : public MessageBoxPresenter {
public:
    int Present(const text::Cp932String& message, unsigned type) override {
        const std::wstring text = text::ToWideForDisplay(message);
        // No owner window: the boxes come from the tray program's threads,
        // so each is brought to the front itself. The caption is the
        // application title, as every message box of the program has it.
        const int answer = ::MessageBoxW(nullptr, text.c_str(), kApplicationTitle, type | MB_SETFOREGROUND);
        if (answer == 0) {
            // The box could not be shown: nothing was confirmed.
            return type == MB_YESNO ? IDNO : IDOK;
        }
        return answer;
    }
};

}  // namespace

MessageBoxPresenter& BackendMessageBoxPresenter() {
    static Win32Presenter presenter;
    return presenter;
}

}  // namespace molvar::framework
