// The Windows executable as a user starts it: a real process that finds its
// data folder under the user's application data. It uses the real folder,
// so it steps aside where Molvar is installed.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "platform/change_notification.h"
#include "platform/session.h"
#include "platform/win32/handle.h"
#include "res/resource.h"
#include "support/pipe_record_win32.h"
#include "text/convert.h"

namespace molvar {
namespace {

namespace fs = std::filesystem;
using platform::win32::UniqueHandle;
using test::SjPath;
using test::Utf8;

class MolvarTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto appData = platform::ApplicationDataFolder();
        ASSERT_TRUE(appData.has_value());
        const fs::path torvel = test::Utf8Path(text::ToUtf8ForDisplay(*appData)) / "TORVEL";
        if (fs::exists(torvel / "Molvar3")) {
            GTEST_SKIP() << "Molvar is installed for this user; its data folder is left alone";
        }
        madeTorvel_ = fs::create_directory(torvel);
        dataFolder_ = torvel / "Molvar3";
        obsdat_ = dataFolder_ / "obsdat";
        fs::create_directories(obsdat_);
        fs::create_directory(watched_);
        test::WriteRecordArgsSetting(obsdat_, watched_);
    }

    void TearDown() override {
        std::error_code ignored;
        if (!dataFolder_.empty()) {
            fs::remove_all(dataFolder_, ignored);
        }
        if (madeTorvel_) {
            fs::remove(dataFolder_.parent_path(), ignored);
        }
    }

    // The executable, copied beside the test programs by the build.
    static UniqueHandle Start() {
        const fs::path executable = test::RecordArgsProgram().parent_path() / MOLVAR_EXECUTABLE_NAME;
        std::wstring commandLine = L"\"" + executable.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &process));
        UniqueHandle thread(process.hThread);
        return UniqueHandle(process.hProcess);
    }

    static DWORD ExitCode(const UniqueHandle& process) {
        EXPECT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "the program did not end";
        DWORD code = 0;
        ::GetExitCodeProcess(process.get(), &code);
        return code;
    }

    // Waits, through a change notification on "obsdat", until the copy has
    // written the baseline listing of its setting: it watches from then on.
    void WaitForBaseline() {
        platform::StopSignal never;
        const auto obsdat = platform::ChangeNotification::Register(SjPath(obsdat_), platform::ChangeFilter::FileName);
        ASSERT_TRUE(obsdat);
        while (!fs::exists(obsdat_ / "0.dir")) {
            obsdat->Wait(never);
        }
    }

    // What the tray menu's quit does: the command, posted to the copy's
    // message window.
    static void Quit(const UniqueHandle& process) {
        const DWORD id = ::GetProcessId(process.get());
        HWND window = nullptr;
        while ((window = ::FindWindowExW(HWND_MESSAGE, window, L"MolvarMessageLoop", nullptr)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == id) {
                EXPECT_TRUE(::PostMessageW(window, WM_COMMAND, res::ID_TRAY_EXIT, 0));
                return;
            }
        }
        ADD_FAILURE() << "no message window of the copy";
    }

    test::TempFolder root_;
    fs::path watched_ = root_.path() / u8"受信";
    fs::path dataFolder_;
    fs::path obsdat_;
    bool madeTorvel_ = false;
};

TEST_F(MolvarTest, WatchesRunsTheProgramWithTheFileAndQuitsFromTheTrayCommand) {
    test::PipeRecord record;
    test::ScopedEnv recordTo("MOLVAR_ARGS_FILE", record.Name());
    const UniqueHandle first = Start();
    WaitForBaseline();

    // A second copy of the same name ends at once and leaves the files alone.
    const auto listed = fs::last_write_time(obsdat_ / "0.dir");
    EXPECT_EQ(ExitCode(Start()), 0u);
    EXPECT_EQ(fs::last_write_time(obsdat_ / "0.dir"), listed);

    test::ArriveByCopy(watched_ / u8"報告書.csv", "1");
    EXPECT_EQ(record.Read(), std::vector<std::string>{Utf8(watched_ / u8"報告書.csv")});

    Quit(first);
    EXPECT_EQ(ExitCode(first), 0u);
}

}  // namespace
}  // namespace molvar
