// The executable as a user starts it: a real process that finds its data
// folder under the user's application data ($XDG_CONFIG_HOME on Linux, set
// to a folder of the test's own; the real folder on Windows, so the test
// steps aside where Molvar is installed).
#include "support/test_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include "platform/login_link.h"
#include "platform/win32/handle.h"
#include "res/resource.h"
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>

#include "config/watch_record.h"
#include "platform/change_notification.h"
#include "platform/session.h"
#include "text/convert.h"

namespace molvar {
namespace {

namespace fs = std::filesystem;
using test::SjPath;
using test::Utf8;
using Args = std::optional<std::vector<std::string>>;

// An installed copy that the packages' test names, which then keeps what
// the test made for the uninstaller to find; else the build's executable.
const char* const kInstalled = std::getenv("MOLVAR_INSTALLED_EXECUTABLE");

#ifdef _WIN32
using Process = platform::win32::UniqueHandle;

// The executable, copied beside the test programs by the build; with an
// argument when one is given.
Process Start(const fs::path& argument = {}) {
    const fs::path executable = kInstalled != nullptr ? test::Utf8Path(kInstalled)
                                                      : test::RecordArgsProgram().parent_path() / MOLVAR_EXECUTABLE_NAME;
    std::wstring commandLine = L"\"" + executable.wstring() + L"\"";
    if (!argument.empty()) commandLine += L" \"" + argument.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process));
    const Process thread(process.hThread);
    return Process(process.hProcess);
}

int ExitStatus(const Process& process) {
    EXPECT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "the program did not end";
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

// The copy's hidden main window, found as a second copy finds it: by the
// property named after the executable. Waits until the copy's message loop
// runs.
HWND MainWindowOf(const Process& process) {
    EXPECT_EQ(::WaitForInputIdle(process.get(), 20000), 0u) << "the copy never became idle";
    struct Search {
        DWORD processId;
        HWND found = nullptr;
    } search{::GetProcessId(process.get())};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& search = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == search.processId && ::GetPropW(window, L"Molvar3") != nullptr) {
                search.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    EXPECT_NE(search.found, nullptr) << "no window marked Molvar3";
    return search.found;
}

// A command of the tray menu, as choosing it sends it to the main window.
void Command(const Process& process, unsigned id) {
    EXPECT_TRUE(::PostMessageW(MainWindowOf(process), WM_COMMAND, id, 0));
}

// What the tray menu's quit does.
void Quit(const Process& process) { Command(process, res::ID_TRAY_EXIT); }
#else
using Process = pid_t;

// Standard error is a pipe whose reader has gone (molvar 2>&1 | true): a
// copy must take a failed line in its stride.
Process Spawn(char* argument, char** envp) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[0]);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    pid_t pid = 0;
    const char* const executable = kInstalled != nullptr ? kInstalled : MOLVAR_EXECUTABLE;
    char* argv[] = {const_cast<char*>(executable), argument, nullptr};
    EXPECT_EQ(::posix_spawn(&pid, executable, &actions, nullptr, argv, envp), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    return pid;
}

Process Start(const fs::path& argument = {}) {
    std::string given = argument.string();
    return Spawn(argument.empty() ? nullptr : given.data(), environ);
}

// Started with this environment's variables but for `unset`, and with
// `added` ("NAME=value").
Process StartWith(const std::vector<std::string>& unset, const std::vector<std::string>& added) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view entry(*variable);
        const std::string_view name = entry.substr(0, entry.find('='));
        if (std::find(unset.begin(), unset.end(), name) == unset.end()) variables.emplace_back(entry);
    }
    variables.insert(variables.end(), added.begin(), added.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    return Spawn(nullptr, envp.data());
}

int ExitStatus(Process pid) {
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Ctrl+C, SIGTERM and SIGHUP quit as the tray menu's quit does.
void Quit(Process pid) { ::kill(pid, SIGTERM); }
#endif

class MolvarTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto appData = platform::ApplicationDataFolder();
        ASSERT_TRUE(appData.has_value());
        const fs::path torvel = test::Utf8Path(text::ToUtf8ForDisplay(*appData)) / "TORVEL";
        if (fs::exists(torvel / "Molvar3")) {
            GTEST_SKIP() << "Molvar is installed for this user; its data folder is left alone";
        }
        madeTorvel_ = fs::create_directories(torvel);
        dataFolder_ = torvel / "Molvar3";
        fs::create_directories(dataFolder_ / "obsdat");
        fs::create_directory(watched_);
        // One running setting: each file that comes is given to the
        // record_args helper, which is waited for.
        setting_.running = 1;
        test::Store(setting_.entry.folder, SjPath(watched_));
        test::Store(setting_.entry.program, SjPath(test::RecordArgsProgram()));
        setting_.entry.openTarget = 1;
        setting_.entry.waitForExit = 1;
#ifndef _WIN32
        setting_.entry.showMessage = 1;  // headless: a line on standard error, which nobody reads
#endif
        WriteSetting();
    }
    void WriteSetting() const {
        test::WriteBytes(dataFolder_ / "obsdat" / "dirinfo.dat", test::BytesOfRecords(std::vector{setting_}));
    }

    void TearDown() override {
        std::error_code ignored;
        if (kInstalled == nullptr) fs::remove_all(madeTorvel_ ? dataFolder_.parent_path() : dataFolder_, ignored);
    }

    fs::path Listing() const { return dataFolder_ / "obsdat" / "0.dir"; }

    // Waits, through a change notification on "obsdat", until the listing
    // holds `name` (a copy's baseline, which it watches from then on, or the
    // listing that a scan writes last). Wine drops a change made between a
    // wake and the re-arm: the listing is looked at again each second too.
    void WaitUntilListed(const std::string& name) {
        const platform::StopSignal never;
        const auto obsdat =
            platform::ChangeNotification::Register(SjPath(dataFolder_ / "obsdat"), platform::ChangeFilter::FileName);
        ASSERT_TRUE(obsdat);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (test::ReadText(Listing()).find(name) == std::string::npos) {
            ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << name << " never listed";
            obsdat->Wait(never, std::chrono::seconds(1));
        }
    }

    Args ArgsOf(const fs::path& file) const { return std::vector<std::string>{Utf8(file)}; }

    test::TempFolder root_;
    test::ScopedEnv config_{"XDG_CONFIG_HOME", Utf8(root_.path() / "config")};  // Linux only
    fs::path watched_ = root_.path() / u8"受信";
    fs::path dataFolder_;
    bool madeTorvel_ = false;
    config::WatchFileRecord setting_;
    test::ProgramRecord record_;
};

TEST_F(MolvarTest, WatchesRunsTheProgramForEachFileQuitsAndStartsAgain) {
    test::WriteText(dataFolder_ / "obsdat" / test::kAbandoned, "");
    {
        // The program runs on while the file "hold" exists, long after the
        // test's time-out: a copy that waited for it would never end in time.
        test::WriteText(root_.path() / "hold", "");
        const test::ScopedEnv hold("MOLVAR_ARGS_HOLD", Utf8(root_.path() / "hold"));
        test::ArriveByCopy(watched_ / "a.csv", "0");
        // The program has no options: an argument opens and makes nothing.
        const Process first = Start(root_.path() / "opened.dat");
        WaitUntilListed("a.csv");
        EXPECT_FALSE(fs::exists(root_.path() / "opened.dat"));
        EXPECT_FALSE(fs::exists(dataFolder_ / "obsdat" / test::kAbandoned));

        // A second copy of the same name ends at once and leaves the files alone.
        std::vector<std::uint8_t> unlike = test::ReadBytes(Listing());
        unlike.resize(unlike.size() + 144, 'z');  // a file the folder does not hold
        test::WriteBytes(Listing(), unlike);
        EXPECT_EQ(ExitStatus(Start()), 0);
        EXPECT_EQ(test::ReadBytes(Listing()), unlike);

        test::ArriveByCopy(watched_ / u8"報告書.csv", "1");
        EXPECT_EQ(record_.Next(), ArgsOf(watched_ / u8"報告書.csv"));
        Quit(first);  // while its program runs
#ifndef _WIN32
        // A second request during the moment the end gives a scan to finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Quit(first);
#endif
        EXPECT_EQ(ExitStatus(first), 0);
    }
    fs::remove(root_.path() / "hold");  // the program ends
    // Put in while no copy runs: the new copy's baseline takes it in, unreported.
    test::ArriveByCopy(watched_ / "b.csv", "2");
#ifdef _WIN32
    const Process second = Start();
#else
    // A display that cannot be opened (gone, or never there) is no reason not
    // to watch: this copy runs without a tray.
    const Process second = StartWith({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {"DISPLAY=:9999"});
#endif
    WaitUntilListed("b.csv");
    test::ArriveByCopy(watched_ / "c.csv", "3");
    EXPECT_EQ(record_.Next(), ArgsOf(watched_ / "c.csv"));
    // A second file while the folder settles after the first: its report is
    // deferred, and the file taken once the folder has been quiet for the
    // settling interval (3 seconds, by a clock of whole seconds), without
    // another change.
    WaitUntilListed("c.csv");  // the scan is over: a file now is not taken in with it
    const auto arrived = std::chrono::steady_clock::now();
    test::ArriveByCopy(watched_ / "d.csv", "4");
    EXPECT_EQ(record_.Next(), ArgsOf(watched_ / "d.csv"));
    EXPECT_GE(std::chrono::steady_clock::now() - arrived, std::chrono::seconds(2)) << "the report was not deferred";
    WaitUntilListed("d.csv");  // the scan is over: the copy ends the ordinary way
    Quit(second);
    EXPECT_EQ(ExitStatus(second), 0);
}

#ifdef _WIN32
// Another process's windows give nothing to wait on: they are looked at
// every 50 ms until `done` holds.
template <class Done>
bool LookUntil(Done done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A dialog of the copy with this caption, once it is shown (its values are
// in place only then).
HWND DialogOf(const Process& process, const wchar_t* caption) {
    HWND found = nullptr;
    EXPECT_TRUE(LookUntil([&] {
        for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, L"#32770", caption)) != nullptr;) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == ::GetProcessId(process.get()) && ::IsWindowVisible(window)) {
                found = window;
                return true;
            }
        }
        return false;
    })) << "the dialog never opened";
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// The end of the Windows session while a watch's box asks: the copy ends at
// once with status 0, and the answer it never got starts nothing.
TEST_F(MolvarTest, TheEndOfTheSessionWinsOverAWatchsQuestion) {
    test::Store(setting_.entry.moveFolder, SjPath(root_.path()));
    setting_.entry.showMessage = 1;
    setting_.entry.afterAction = config::MoveTarget;
    WriteSetting();
    const Process copy = Start();
    const HWND frame = MainWindowOf(copy);
    test::ArriveByCopy(watched_ / "a.csv", "0");
    ASSERT_NE(DialogOf(copy, L"Molvar3"), nullptr);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(frame, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 20000, &ignored);
    EXPECT_EQ(ExitStatus(copy), 0);
    EXPECT_TRUE(fs::exists(watched_ / "a.csv"));
    EXPECT_FALSE(fs::exists(root_.path() / "a.csv"));
}

// The profile key Molvar3's values are kept under.
const wchar_t kProfileKey[] = L"Software\\アプリケーション ウィザードで生成されたローカル アプリケーション\\Molvar3";

// The whole program through real messages: the hidden frame as a second copy
// finds it, the tray menu's commands posted to it, the list dialog driven as
// the user clicks it, and what its Save leaves on disk, in the registry and
// in the Startup folder.
TEST_F(MolvarTest, TheTrayFrameOpensTheListDialogWhoseSaveWritesSettingsProfileAndShortcut) {
    const auto linkPath = platform::LoginLinkPath(text::Cp932String::FromBytes("Molvar"));
    ASSERT_TRUE(linkPath);
    const fs::path link = test::Utf8Path(text::ToUtf8ForDisplay(*linkPath));
    if (fs::exists(link)) {
        GTEST_SKIP() << "this user starts Molvar with Windows; the link is left alone";
    }
    const std::vector<std::uint8_t> settings = test::ReadBytes(dataFolder_ / "obsdat" / "dirinfo.dat");
    const Process copy = Start();
    const HWND frame = MainWindowOf(copy);
    ASSERT_NE(frame, nullptr);
    const LONG_PTR toolAndTopmost = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    EXPECT_EQ(::GetWindowLongPtrW(frame, GWL_EXSTYLE) & toolAndTopmost, toolAndTopmost);
    RECT rect{};
    ::GetWindowRect(frame, &rect);
    EXPECT_EQ(std::pair(rect.right - rect.left, rect.bottom - rect.top), std::pair(0L, 0L));  // no size
    EXPECT_FALSE(::IsWindowVisible(frame));

    Command(copy, res::ID_WATCH_SETTINGS);
    const HWND list = DialogOf(copy, L"監視フォルダ一覧");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(::GetLastActivePopup(frame), list);
    const HWND lines = ::GetDlgItem(list, res::IDC_ENTRY_LIST);
    EXPECT_EQ(::SendMessageW(lines, LB_GETCOUNT, 0, 0), 1);
    // A second copy ends at once, and the first one's dialog stays.
    EXPECT_EQ(ExitStatus(Start()), 0);
    EXPECT_TRUE(::IsWindow(list));

    // The line picked, switched to stopped, the start with Windows ticked, saved.
    ::SendMessageW(lines, LB_SETCURSEL, 0, 0);
    ::SendMessageW(list, WM_COMMAND, MAKEWPARAM(res::IDC_ENTRY_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(lines));
    ::SendMessageW(::GetDlgItem(list, res::IDC_SWITCH_ENTRY), BM_CLICK, 0, 0);
    EXPECT_EQ(TextOf(::GetDlgItem(list, res::IDC_SWITCH_ENTRY)), L"停  止  中");
    ::SendMessageW(::GetDlgItem(list, res::IDC_START_WITH_LOGIN), BM_CLICK, 0, 0);
    ::SendMessageW(::GetDlgItem(list, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(LookUntil([list] { return !::IsWindow(list); })) << "the dialog stayed";

    std::vector<std::uint8_t> stopped = settings;
    stopped[0] = stopped[1] = 0;  // the running flag
    EXPECT_EQ(test::ReadBytes(dataFolder_ / "obsdat" / "dirinfo.dat"), stopped);
    DWORD start = 0, size = sizeof start;
    const std::wstring section = std::wstring(kProfileKey) + L"\\Molvar";
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, section.c_str(), L"nStart", RRF_RT_REG_DWORD, nullptr, &start, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(start, 1u);
    EXPECT_TRUE(fs::exists(link));  // its content: the login link test

    Quit(copy);
    EXPECT_EQ(ExitStatus(copy), 0);
    if (kInstalled != nullptr) return;
    std::error_code ignored;
    fs::remove(link, ignored);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kProfileKey);
}
#endif

}  // namespace
}  // namespace molvar
