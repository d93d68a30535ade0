// Without a window system a message box is one line on standard error, and
// the user's answer is the one that lets the action go on.
#include <cstdio>
#include <mutex>
#include <string>

#include "framework/posix/backend_choice.h"
#include "framework/message_box.h"
#include "text/convert.h"

namespace molvar::framework {
namespace {

class StderrPresenter final : public MessageBoxPresenter {
public:
    int Present(const text::Cp932String& message, unsigned type) override {
        std::string line = text::ToUtf8ForDisplay(message);
        for (char& c : line) {
            if (c == '\n' || c == '\r') {
                c = ' ';  // one message, one line
            }
        }
        line += '\n';
        {
            std::lock_guard lock(mutex_);
            std::fputs(line.c_str(), stderr);
            std::fflush(stderr);
        }
        return type == MB_YESNO ? IDYES : IDOK;
    }

private:
    std::mutex mutex_;
};

}  // namespace

MessageBoxPresenter& headless::MessageBoxes() {
    static StderrPresenter presenter;
    return presenter;
}

}  // namespace molvar::framework
