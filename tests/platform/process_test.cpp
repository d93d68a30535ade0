#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "platform/process.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::RecordedArgs;
using test::Sj;
using test::SjPath;

class ProcessTest : public ::testing::Test {
protected:
    test::TempFolder folder_;
    fs::path record_ = folder_.path() / "args";
    test::ScopedEnv recordTo_{"MOLVAR_ARGS_FILE", test::Utf8(record_)};
    text::Cp932String helper_ = SjPath(test::RecordArgsProgram());
};

TEST_F(ProcessTest, RunAndWaitPassesThePathAsOneArgument) {
    const text::Cp932String path = Sj(u8"/tmp/受信 箱/a b.txt");
    RunAndWait(helper_ + Sj(u8R"( -q "two words" C:\Tools)"), path);
    // The program has ended when RunAndWait returns, so its record is complete.
    EXPECT_EQ(RecordedArgs(record_), (std::vector<std::string>{"-q", "two words", R"(C:\Tools)", "/tmp/受信 箱/a b.txt"}));

    // A program that cannot start passes in silence.
    RunAndWait(SjPath(folder_.path() / "no-such-program"), path);
}

#ifndef _WIN32
// Starting without waiting and opening documents go through the Windows shell
// on Windows; the checks for that are with the other Windows-only ones.
class DetachedStartTest : public ProcessTest {
protected:
    // A fresh FIFO at `record_`, open for reading: a program started without
    // waiting is waited for by reading what it writes, never by sleeping.
    int OpenFifo() {
        fs::remove(record_);
        EXPECT_EQ(::mkfifo(record_.c_str(), 0600), 0);
        const int fifo = ::open(record_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(fifo, 0);
        return fifo;
    }

    // What the program wrote into the FIFO; closes it.
    std::vector<std::string> ReadFromFifo(int fifo) {
        pollfd ready{fifo, POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 20000), 1) << "the program never wrote";
        std::string content(4096, '\0');
        const ssize_t got = ::read(fifo, content.data(), content.size());
        content.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        ::close(fifo);
        return test::SplitRecord(content);
    }
};

TEST_F(DetachedStartTest, ShellRunStartsAProgramDetachedWithoutLeavingAZombie) {
    const int fifo = OpenFifo();
    ShellRun(helper_, Sj(u8"/tmp/受信/報告書.csv"));
    EXPECT_EQ(ReadFromFifo(fifo), std::vector<std::string>{"/tmp/受信/報告書.csv"});
    // The intermediate child was reaped and the program is not our child.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(DetachedStartTest, DocumentsGoToXdgOpen) {
    // A stand-in xdg-open found through PATH records what it was asked to open.
    const fs::path bin = folder_.path() / "bin";
    fs::create_directory(bin);
    fs::copy_file(test::RecordArgsProgram(), bin / "xdg-open");
    test::ScopedEnv path("PATH", bin.string());
    test::WriteText(folder_.path() / "notes.txt", "not a program");

    int fifo = OpenFifo();
    ShellOpenDocument(SjPath(folder_.path() / "notes.txt"));
    EXPECT_EQ(ReadFromFifo(fifo), std::vector<std::string>{(folder_.path() / "notes.txt").string()});

    // A "program" that is not executable is opened as a document too.
    fifo = OpenFifo();
    ShellRun(SjPath(folder_.path() / "notes.txt"), Sj(u8"/tmp/param"));
    EXPECT_EQ(ReadFromFifo(fifo), std::vector<std::string>{(folder_.path() / "notes.txt").string()});
}
#endif

}  // namespace
}  // namespace molvar::platform
