// The user of a dialog test, on whichever backend the build has: steps that
// run one per idle turn of the modal loop, and queued answers for the
// message boxes and results for the choosers. Whatever the script does not
// expect fails the test, and a dialog it leaves open is cancelled.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/choosers.h"
#include "framework/scripted_user/dialog_user.h"
#include "framework/message_box.h"
#include "text/convert.h"

namespace molvar::text {
inline void PrintTo(const Cp932String& value, std::ostream* out) { *out << '"' << ToUtf8ForDisplay(value) << '"'; }
}  // namespace molvar::text

namespace molvar::test {

inline std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }
inline text::Cp932String Cp(std::string_view utf8) { return text::FromUtf8(utf8).value_or(text::Cp932String()); }

class DialogScript final : public framework::MessageBoxPresenter, public framework::Choosers {
public:
    using Step = std::function<void(framework::DialogUser&)>;
    struct Shown {
        std::string text;  // UTF-8
        unsigned type;
        bool operator==(const Shown&) const = default;
        friend void PrintTo(const Shown& shown, std::ostream* out) {
            *out << shown.text << " (type " << shown.type << ")";
        }
    };

    // With `answersBoxes` false the program's own message boxes are shown
    // (real ones on Windows) and the test answers them itself.
    explicit DialogScript(bool answersBoxes = true);
    ~DialogScript() override;  // fails the test for anything left unused
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    DialogScript& Then(Step step);
    DialogScript& Answer(int answer);  // IDOK, IDYES, IDNO for the next box
    DialogScript& Choose(framework::ChooserResult result);
    DialogScript& Choose(std::string_view utf8Path) {
        return Choose({framework::ChooserResult::Outcome::Chosen, Cp(utf8Path)});
    }

    std::vector<Shown> messages;
    std::vector<Shown> TakeMessages() { return std::exchange(messages, {}); }  // those shown since the last call
    std::vector<framework::OpenFileRequest> fileRequests;
    std::vector<std::pair<std::string, std::string>> folderRequests;  // title, initial (UTF-8)

    int Present(const text::Cp932String& message, unsigned type) override;
    framework::ChooserResult OpenFile(const framework::OpenFileRequest& request) override;
    framework::ChooserResult Folder(const text::Cp932String& title, const text::Cp932String& initial) override;

private:
    bool Idle();
    framework::ChooserResult NextChoice();

    std::unique_ptr<framework::DialogUser> user_ = framework::MakeDialogUser();
    std::deque<Step> steps_;
    std::deque<int> answers_;
    std::deque<framework::ChooserResult> choices_;
    std::optional<framework::ScopedMessageBoxPresenter> presenter_;
    framework::ScopedChoosers choosers_{*this};
};

// A message box as the user sees it: a notice, or a question.
inline DialogScript::Shown Say(std::u8string_view text) { return {U8(text), MB_OK}; }
inline DialogScript::Shown Ask(std::u8string_view text) { return {U8(text), MB_YESNO}; }
inline const std::vector<DialogScript::Shown> kNoMessages;

}  // namespace molvar::test
