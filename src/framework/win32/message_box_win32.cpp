// A real message box. The framework headers come first: <windows.h> defines
// MB_OK, IDOK and the others as macros with the same values.
#include "framework/message_box.h"
#include "framework/win32/win32_window.h"

#include <string>

#include "res/strings.h"
#include "text/win32/wide.h"

namespace molvar::framework {
namespace {

class Win32Presenter final : public MessageBoxPresenter {
public:
    int Present(const text::Cp932String& message, unsigned type) override {
        const std::wstring text = text::ToWideForDisplay(message);
        // A dialog's question is owned by the dialog, which Windows disables
        // until it is answered: its handlers cannot run again underneath.
        // A watch thread runs no dialog, so its boxes have no owner and
        // leave the tray window and any dialog alone; each comes to the
        // front itself. The caption is the application title, as every
        // message box of the program has it.
        const HWND owner = win32::ActiveModalWindow();
        static const std::wstring title = text::ToWideForDisplay(res::ApplicationTitle());
        const int answer = ::MessageBoxW(owner, text.c_str(), title.c_str(), type | MB_SETFOREGROUND);
        if (answer == 0) {
            // The box could not be shown: nothing was confirmed.
            return type == MB_YESNO ? IDNO : IDOK;
        }
        return answer;
    }
};

}  // namespace

MessageBoxPresenter& win32::MessageBoxes() {
    static Win32Presenter presenter;
    return presenter;
}

}  // namespace molvar::framework
