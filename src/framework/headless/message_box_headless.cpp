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
            // Nobody may be reading: the answer is the same either way, and a
            // later line tries again.
            if (std::fputs(line.c_str(), stderr) < 0 || std::fflush(stderr) != 0) {
                std::clearerr(stderr);
            }
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
