// The message loop of each backend: posted commands reach the target on the
// loop's thread, in the order posted, until the framework's exit command;
// a request to end the program routes the quit command.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <thread>
#include <vector>

#include "framework/executable_name.h"
#include "framework/message_loop.h"
#include "support/test_support.h"

namespace molvar::framework {
namespace {

constexpr unsigned kFirst = 32771;
constexpr unsigned kSecond = 32772;
constexpr unsigned kQuit = 32774;

// Records the commands it is handed and on which thread; the quit command
// and `lastCommand` post the exit command, as the document's quit does.
class RecordingTarget final : public CCmdTarget {
public:
    unsigned lastCommand = kQuit;

    bool OnCmdMsg(unsigned id, int code, CCmdUI*) override {
        EXPECT_EQ(code, CN_COMMAND);
        commands.push_back(id);
        threads.push_back(std::this_thread::get_id());
        if (id == lastCommand || id == kQuit) {
            AfxPostCommand(ID_APP_EXIT);
        }
        return true;
    }

    std::vector<unsigned> commands;
    std::vector<std::thread::id> threads;
};

TEST(MessageLoopTest, CommandsFromAnyThreadAreRoutedInOrderOnTheLoopsThread) {
    PrepareMessageLoop();
    RecordingTarget target;
    target.lastCommand = kSecond;
    AfxPostCommand(kFirst);  // before the loop runs: kept for it
    std::thread poster([] {
        AfxPostCommand(kFirst);
        AfxPostCommand(kSecond);
    });
    poster.join();
    EXPECT_EQ(RunMessageLoop(target, kQuit), 0);
    EXPECT_EQ(target.commands, (std::vector<unsigned>{kFirst, kFirst, kSecond}));
    EXPECT_EQ(target.threads, std::vector<std::thread::id>(3, std::this_thread::get_id()));
}

#ifndef _WIN32
// On Windows the request comes from the console; the executable's test
// sends it (an event for the whole console would reach the test runner).
TEST(MessageLoopTest, ARequestToEndTheProgramRoutesTheQuitCommand) {
    PrepareMessageLoop();
    RecordingTarget target;
    ::kill(::getpid(), SIGTERM);
    EXPECT_EQ(RunMessageLoop(target, kQuit), 0);
    EXPECT_EQ(target.commands, std::vector<unsigned>{kQuit});
}
#endif

TEST(ExecutableNameTest, IsTheProgramsFileNameWithoutFolderAndExtension) {
    EXPECT_EQ(ExecutableName(), test::Sj(u8"framework_tests"));
}

}  // namespace
}  // namespace molvar::framework
