#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <functional>

#include "platform/command_line.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using Words = std::vector<std::string>;

// How RunAndWait splits its command line on Linux.
TEST(SplitCommandLine, FollowsTheWindowsRules) {
    EXPECT_EQ(SplitCommandLine(""), Words{});
    EXPECT_EQ(SplitCommandLine("   "), Words{});
    EXPECT_EQ(SplitCommandLine("  /usr/bin/conv   -q\t-v  "), (Words{"/usr/bin/conv", "-q", "-v"}));
    // The program name keeps its backslashes; quotes only group. (A quoted
    // program and UTF-8 text: see RunAndWait below.)
    EXPECT_EQ(SplitCommandLine(R"(C:\Tools\conv.exe "a b" c)"), (Words{R"(C:\Tools\conv.exe)", "a b", "c"}));
    // Arguments: backslashes are literal unless they precede a quote.
    EXPECT_EQ(SplitCommandLine(R"(p a\\b \"x\" "c\\" d)"), (Words{"p", R"(a\\b)", R"("x")", R"(c\)", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(p "say ""hi""" x)"), (Words{"p", R"(say "hi")", "x"}));
    EXPECT_EQ(SplitCommandLine(R"(p "" x)"), (Words{"p", "", "x"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine(R"(p "open end)"), (Words{"p", "open end"}));
}

// Starts the argument recorder from a folder whose name holds a space and
// Japanese.
class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(program_.parent_path());
        fs::copy_file(test::RecordArgsProgram(), program_);
    }

    // What a program started without waiting records.
    auto RecordOf(const std::function<void()>& start) {
        test::ProgramRecord record;
        start();
        return record.Next().value_or(Words{"(none)"});
    }

    test::TempFolder root_;
    fs::path program_ = root_.path() / u8"受信 箱" / (u8"記録" + test::RecordArgsProgram().extension().u8string());
    fs::path record_ = root_.path() / "args";
    test::ScopedEnv recordTo_{"MOLVAR_ARGS_FILE", test::Utf8(record_)};
};

TEST_F(ProcessTest, RunAndWaitHandsOverThePathAsOneArgument) {
    // On Windows the argument is quoted so that backslashes before the
    // closing quote and quotes inside reach the program unchanged.
    const auto program = Sj(u8"\"") + SjPath(program_) + Sj(u8R"(" -q "two words" C:\Tools)");
    Words expected;
    for (const std::u8string_view argument : {u8"/tmp/受信 箱/a b.txt", u8R"(C:\受信 箱\)", u8R"(say "hi"\)"}) {
        RunAndWait(program, Sj(argument));
        for (const char* word : {"-q", "two words", R"(C:\Tools)"}) expected.emplace_back(word);
        expected.emplace_back(argument.begin(), argument.end());
    }
    // Each program has ended when RunAndWait returns, so the record is complete.
    EXPECT_EQ(test::SplitRecord(test::ReadText(record_)), expected);

    // A program that cannot start passes in silence.
    RunAndWait(SjPath(root_.path() / "no-such-program"), Sj(u8"x"));
}

TEST_F(ProcessTest, TheShellStartsProgramsAndOpensDocumentsWithoutWaiting) {
    EXPECT_EQ(RecordOf([&] { ShellRun(SjPath(program_), Sj(u8"/tmp/受信 箱/報告書.csv")); }),
              Words{"/tmp/受信 箱/報告書.csv"});
#ifdef _WIN32
    // Opening a program runs it, with no argument.
    EXPECT_EQ(RecordOf([&] { ShellOpenDocument(SjPath(program_)); }), Words{});
#else
    // The intermediate child was reaped and the program is not our child.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // Documents go to xdg-open: a stand-in found through PATH records what
    // it was asked to open, also a "program" that is not executable.
    fs::copy_file(program_, program_.parent_path() / "xdg-open");
    const test::ScopedEnv path("PATH", program_.parent_path().string());
    const fs::path notes = root_.path() / "notes.txt";
    test::WriteText(notes, "not a program");
    EXPECT_EQ(RecordOf([&] { ShellOpenDocument(SjPath(notes)); }), Words{notes.string()});
    EXPECT_EQ(RecordOf([&] { ShellRun(SjPath(notes), Sj(u8"/tmp/param")); }), Words{notes.string()});
#endif
}

}  // namespace
}  // namespace molvar::platform
