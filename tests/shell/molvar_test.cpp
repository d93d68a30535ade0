// The headless executable as a user starts it: a real process with its own
// data folder under $XDG_CONFIG_HOME.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/change_notification.h"
#include "support/test_support.h"

extern char** environ;

namespace molvar {
namespace {

namespace fs = std::filesystem;
using test::SjPath;

class MolvarTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(obsdat_);
        fs::create_directory(watched_);
        ASSERT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
        fifoFd_ = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        test::WriteRecordArgsSetting(obsdat_, watched_);
    }
    void TearDown() override { ::close(fifoFd_); }

    pid_t Start(const fs::path& executable) {
        pid_t pid = 0;
        char* argv[] = {const_cast<char*>(executable.c_str()), nullptr};
        EXPECT_EQ(::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv, environ), 0);
        return pid;
    }

    static int ExitStatus(pid_t pid) {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Waits, through a change notification on "obsdat", until a copy has
    // written the baseline listing of its setting: it watches from then on.
    void WaitForBaseline(const std::optional<fs::file_time_type>& newerThan = std::nullopt) {
        platform::StopSignal never;
        const auto obsdat = platform::ChangeNotification::Register(SjPath(obsdat_), platform::ChangeFilter::FileName);
        ASSERT_TRUE(obsdat);
        const fs::path listing = obsdat_ / "0.dir";
        while (!fs::exists(listing) || (newerThan && fs::last_write_time(listing) <= *newerThan)) {
            obsdat->Wait(never);
        }
    }

    std::vector<std::string> ProgramArguments() {
        pollfd ready{fifoFd_, POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 20000), 1) << "the program never ran";
        std::string content(4096, '\0');
        const ssize_t got = ::read(fifoFd_, content.data(), content.size());
        content.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return test::SplitRecord(content);
    }

    test::TempFolder root_;
    fs::path obsdat_ = root_.path() / "config" / "TORVEL" / "Molvar3" / "obsdat";
    fs::path watched_ = root_.path() / "受信";
    fs::path fifo_ = root_.path() / "args";
    int fifoFd_ = -1;
    test::ScopedEnv config_{"XDG_CONFIG_HOME", (root_.path() / "config").string()};
    test::ScopedEnv record_{"MOLVAR_ARGS_FILE", fifo_.string()};
};

TEST_F(MolvarTest, WatchesRunsTheProgramAndQuitsOnASignal) {
    const pid_t first = Start(MOLVAR_EXECUTABLE);
    WaitForBaseline();

    // A second copy of the same name ends at once and leaves the files alone.
    const auto listed = fs::last_write_time(obsdat_ / "0.dir");
    EXPECT_EQ(ExitStatus(Start(MOLVAR_EXECUTABLE)), 0);
    EXPECT_EQ(fs::last_write_time(obsdat_ / "0.dir"), listed);

    test::WriteText(watched_ / "報告書.csv", "1");
    EXPECT_EQ(ProgramArguments(), std::vector<std::string>{(watched_ / "報告書.csv").string()});

    ::kill(first, SIGTERM);
    EXPECT_EQ(ExitStatus(first), 0);
}

}  // namespace
}  // namespace molvar
