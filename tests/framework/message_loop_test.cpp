// The message loop of each backend: posted commands reach the target on the
// loop's thread, in the order posted, until the framework's exit command. (A
// request to end the program routes the quit command: see the executable's
// tests.)
#include <gtest/gtest.h>

#include <thread>

#include "framework/executable_name.h"
#include "framework/message_loop.h"
#include "support/test_support.h"

namespace molvar::framework {
namespace {

constexpr unsigned kFirst = 32771;
constexpr unsigned kQuit = 32774;

using Routed = std::vector<std::pair<unsigned, std::thread::id>>;

// Records the commands it is handed and on which thread; the quit command
// posts the exit command, as the document's quit does.
struct RecordingTarget final : CCmdTarget {
    bool OnCmdMsg(unsigned id, int code, CCmdUI*) override {
        EXPECT_EQ(code, CN_COMMAND);
        routed.emplace_back(id, std::this_thread::get_id());
        if (id == kQuit) AfxPostCommand(ID_APP_EXIT);
        return true;
    }

    Routed routed;
};

TEST(MessageLoopTest, CommandsFromAnyThreadAreRoutedInOrderOnTheLoopsThread) {
    PrepareMessageLoop();
    RecordingTarget target;
    AfxPostCommand(kFirst);  // before the loop runs: kept for it
    std::thread poster([] {
        AfxPostCommand(kFirst);
        AfxPostCommand(kQuit);
    });
    EXPECT_EQ(RunMessageLoop(target, kQuit), 0);
    poster.join();
    const auto self = std::this_thread::get_id();
    EXPECT_EQ(target.routed, (Routed{{kFirst, self}, {kFirst, self}, {kQuit, self}}));
}

TEST(ExecutableNameTest, IsTheProgramsFileNameWithoutFolderAndExtension) {
    EXPECT_EQ(ExecutableName(), test::Sj(u8"framework_tests"));
}

}  // namespace
}  // namespace molvar::framework
