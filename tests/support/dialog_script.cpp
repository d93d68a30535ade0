#include "support/dialog_script.h"

#include <gtest/gtest.h>

#include "framework/dialog.h"

namespace molvar::test {

using framework::ChooserResult;

DialogScript::DialogScript(bool answersBoxes) {
    if (answersBoxes) {
        presenter_.emplace(*this);
    }
    framework::SetModalIdleHook([this] { return Idle(); });
}

DialogScript::~DialogScript() {
    framework::SetModalIdleHook(nullptr);
    EXPECT_TRUE(steps_.empty()) << steps_.size() << " step(s) not run: the dialog closed early";
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " answer(s) for message boxes never shown";
    EXPECT_TRUE(choices_.empty()) << choices_.size() << " chooser result(s) never asked for";
}

DialogScript& DialogScript::Then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

DialogScript& DialogScript::Answer(int answer) {
    answers_.push_back(answer);
    return *this;
}

DialogScript& DialogScript::Choose(ChooserResult result) {
    choices_.push_back(std::move(result));
    return *this;
}

bool DialogScript::Idle() {
    const framework::CDialog* modal = framework::ActiveModalDialog();
    if (modal == nullptr || !modal->ContinueModal()) {
        return false;
    }
    if (steps_.empty()) {
        ADD_FAILURE() << "dialog left open";
        return false;
    }
    const Step step = std::move(steps_.front());
    steps_.pop_front();
    step(*user_);
    return true;
}

int DialogScript::Present(const text::Cp932String& message, unsigned type) {
    messages.push_back({text::ToUtf8ForDisplay(message), type});
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected message box: " << messages.back().text;
        return type == MB_YESNO ? IDYES : IDOK;
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

ChooserResult DialogScript::NextChoice() {
    if (choices_.empty()) {
        ADD_FAILURE() << "unexpected chooser";
        return {};
    }
    ChooserResult result = std::move(choices_.front());
    choices_.pop_front();
    return result;
}

ChooserResult DialogScript::OpenFile(const framework::OpenFileRequest& request) {
    fileRequests.push_back(request);
    return NextChoice();
}

ChooserResult DialogScript::Folder(const text::Cp932String& title, const text::Cp932String& initial) {
    folderRequests.emplace_back(text::ToUtf8ForDisplay(title), text::ToUtf8ForDisplay(initial));
    return NextChoice();
}

}  // namespace molvar::test
