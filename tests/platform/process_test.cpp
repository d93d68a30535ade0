#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <functional>
#include <set>
#include <tuple>

#include "platform/command_line.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using Words = std::vector<std::string>;

// The program field read with these executables (a bare "conv" is found
// along the search path); its arguments split as a Windows program's
// run-time splits them.
TEST(ProgramFieldTest, TheWholeFieldAQuotedWordOrTheLongestExecutablePrefixIsTheProgram) {
    const std::set<std::string> executables = {"/opt/my tools/rec tool.py", "/opt/my", "/opt/my tools/conv",
                                               R"(C:\Program Files\App\app.exe)", R"(C:\Program)"};
    const ProgramResolver resolve = [&](const std::string& candidate) -> std::optional<std::string> {
        if (candidate == "conv") return "/usr/bin/conv";
        return executables.contains(candidate) ? std::optional(candidate) : std::nullopt;
    };
    const std::optional<std::string> conv = "/opt/my tools/conv";
    const std::tuple<const char*, std::optional<std::string>, Words> cases[] = {
        {"/opt/my tools/rec tool.py", "/opt/my tools/rec tool.py", {}},
        // The shorter prefixes /opt/my and C:\Program are programs too, and are not the one.
        {"  /opt/my tools/conv   -q\t\"a b\" ", conv, {"-q", "a b"}},
        {R"(C:\Program Files\App\app.exe C:\in\x y.txt)", R"(C:\Program Files\App\app.exe)", {R"(C:\in\x)", "y.txt"}},
        {"/opt/my  tools", "/opt/my", {"tools"}},
        // Backslashes are literal unless they precede a quote.
        {R"(conv a\\b \"x\" "c\\" d)", "/usr/bin/conv", {R"(a\\b)", R"("x")", R"(c\)", "d"}},
        // A quoted first word is the program, found or not.
        {R"("/opt/my tools/conv" "say ""hi""" "" x)", conv, {R"(say "hi")", "", "x"}},
        {R"("/opt/my tools"/conv "open end)", conv, {"open end"}},
        {R"("/opt/none" -q)", std::nullopt, {"-q"}},
        {"/opt/none at all", std::nullopt, {}},
        {"  ", std::nullopt, {}},
    };
    for (const auto& [line, program, arguments] : cases) {
        const ProgramField field = ReadProgramField(line, resolve);
        EXPECT_EQ(field.program, program) << line;
        EXPECT_EQ(SplitArguments(field.arguments), arguments) << line;
    }
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
};

// The same field runs the same program waited for or not, whatever spaces
// its path holds, and a shorter prefix that is a program too is not taken.
TEST_F(ProcessTest, AProgramPathWithSpacesRunsWithItsArgumentsWaitedForOrNot) {
    fs::copy_file(test::RecordArgsProgram(), root_.path() / (u8"受信" + test::RecordArgsProgram().extension().u8string()));
    const std::string program = test::Utf8(program_);
    const std::string bare = test::Utf8(fs::path(program_).replace_extension());  // Windows adds ".exe"
    const std::string file = test::Utf8(root_.path() / u8"受信 箱" / u8"写真😀 x.jpg");
    // The program field, the file, what the program records.
    const std::tuple<std::string, std::string, Words> cases[] = {
        {program, file, {file}},
        {bare + R"( -q "two words" C:\Tools)", file, {"-q", "two words", R"(C:\Tools)", file}},
        {"\"" + program + "\" -q", file, {"-q", file}},
        // The file is quoted so that backslashes before the closing quote and
        // quotes inside reach the program unchanged.
        {program, R"(C:\受信 箱\say "hi"\)", {R"(C:\受信 箱\say "hi"\)"}},
    };
    for (const auto& [line, argument, recorded] : cases) {
        const auto field = Sj(std::u8string(line.begin(), line.end()));
        const NativePath file = test::Native(argument);
        EXPECT_EQ(RecordOf([&] { RunAndWait(field, file); }), recorded) << line;
        EXPECT_EQ(RecordOf([&] { ShellRun(field, file); }), recorded) << line;
    }
    // A program that cannot start passes in silence.
    RunAndWait(SjPath(root_.path() / "no-such-program"), test::Native("x"));
}

TEST_F(ProcessTest, TheShellStartsProgramsAndOpensDocumentsWithoutWaiting) {
#ifdef _WIN32
    // Opening a program runs it, with no argument.
    EXPECT_EQ(RecordOf([&] { ShellOpenDocument(test::Native(test::Utf8(program_))); }), Words{});
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
    EXPECT_EQ(RecordOf([&] { ShellOpenDocument(test::Native(notes.string())); }), Words{notes.string()});
    EXPECT_EQ(RecordOf([&] { ShellRun(SjPath(notes), test::Native("/tmp/param")); }), Words{notes.string()});
#endif
}

}  // namespace
}  // namespace molvar::platform
