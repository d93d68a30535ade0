// The application object and its hidden frame in this process, on the
// build's window backend (memory on Linux, real windows under Wine): the
// start-up, the tray menu as the user opens it, the about box, a second
// copy and the quit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "config/watch_record.h"
#include "engine/change_scan.h"
#include "engine/molvar_doc.h"
#include "framework/scripted_user/dialog_user.h"
#include "framework/executable_name.h"
#include "framework/message_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/session.h"
#include "res/resource.h"
#include "res/templates.h"
#include "shell/main_frame.h"
#include "shell/molvar_app.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

// After the program's headers, which name some of its macros' values.
#ifdef _WIN32
#include <windows.h>
#endif

namespace molvar {
namespace {

namespace fs = std::filesystem;
using framework::ShownMenuItem;
using shell::CMolvarApp;

// Handles what the window system has queued (a chosen menu item's command
// comes as a posted message on Windows).
void DispatchQueuedMessages() {
#ifdef _WIN32
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
#endif
}

// The user at the tray menu: each opening is answered with the next command
// (0 closes the menu without one); the items seen are kept.
class TrayUser {
public:
    TrayUser() {
        framework::SetPopupMenuHook([this](const std::vector<ShownMenuItem>& items) {
            shown.push_back(items);
            if (choices_.empty()) {
                ADD_FAILURE() << "a menu nobody expected";
                return 0u;
            }
            const unsigned choice = choices_.front();
            choices_.erase(choices_.begin());
            return choice;
        });
    }
    ~TrayUser() { framework::SetPopupMenuHook({}); }
    TrayUser(const TrayUser&) = delete;
    TrayUser& operator=(const TrayUser&) = delete;

    // A click on the icon: `mouseMessage` of icon `iconId`, as the
    // notification area sends it.
    void ClickIcon(framework::CFrameWnd& frame, unsigned mouseMessage, unsigned iconId = shell::kTrayIconId,
                   unsigned choice = 0) {
        choices_.push_back(choice);
        frame.WindowProc(shell::WM_TRAYNOTIFY, iconId, static_cast<std::intptr_t>(mouseMessage));
        DispatchQueuedMessages();
    }

    // Enabled states by command id, of the last menu shown: "10" for the
    // first enabled and the second not.
    std::string Enabled(std::initializer_list<unsigned> ids) const {
        std::string flags;
        for (const unsigned id : ids) {
            const auto it = std::ranges::find(shown.back(), id, &ShownMenuItem::id);
            EXPECT_NE(it, shown.back().end()) << id;
            flags += it != shown.back().end() && it->enabled ? '1' : '0';
        }
        return flags;
    }

    std::vector<std::vector<ShownMenuItem>> shown;

private:
    std::vector<unsigned> choices_;
};

class TrayProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program does before anything else: commands posted from
        // here on reach the loop.
        framework::PrepareMessageLoop();
        const auto appData = platform::ApplicationDataFolder();
        ASSERT_TRUE(appData.has_value());
        const fs::path torvel = test::Utf8Path(text::ToUtf8ForDisplay(*appData)) / "TORVEL";
        if (fs::exists(torvel / "Molvar3")) {
            GTEST_SKIP() << "Molvar is installed for this user; its data folder is left alone";
        }
        madeTorvel_ = !fs::exists(torvel);
        dataFolder_ = torvel / "Molvar3";
        fs::create_directories(dataFolder_ / "obsdat");
        fs::create_directory(watched_);
        config::WatchFileRecord setting;
        setting.running = 1;
        test::Store(setting.entry.folder, test::SjPath(watched_));
        test::WriteBytes(dataFolder_ / "obsdat" / "dirinfo.dat", test::BytesOfRecords(std::vector{setting}));
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(madeTorvel_ ? dataFolder_.parent_path() : dataFolder_, ignored);
        config::g_baseFolder = savedBase_;
    }

    engine::CMolvarDoc& Document(CMolvarApp& app) {
        return *dynamic_cast<engine::CMolvarDoc*>(app.DocTemplate()->Document());
    }

    test::TempFolder root_;
    test::ScopedEnv config_{"XDG_CONFIG_HOME", test::Utf8(root_.path() / "config")};  // Linux only
    fs::path watched_ = root_.path() / u8"受信";
    fs::path dataFolder_;
    bool madeTorvel_ = false;
    text::Cp932String savedBase_ = config::g_baseFolder;
};

TEST_F(TrayProgramTest, StartsWithTheDataFolderSetAndAHiddenMarkedFrameWithItsIconAndASecondCopyEndsAtOnce) {
    CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    // The document read the settings of the data folder it was given.
    EXPECT_EQ(config::g_baseFolder, test::SjPath(dataFolder_));
    EXPECT_EQ(Document(app).entryCount(), 1);
    EXPECT_EQ(engine::g_bWatching.load(), 1);
    EXPECT_TRUE(fs::exists(dataFolder_ / "obsdat" / "0.dir"));

    framework::CFrameWnd& frame = *app.m_pMainWnd;
    framework::FramePeer& window = *frame.GetFramePeer();
    EXPECT_FALSE(window.IsVisible());
    constexpr std::uint32_t kToolAndTopmost = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    EXPECT_EQ(window.ExStyle() & kToolAndTopmost, kToolAndTopmost);
    EXPECT_EQ(window.Size().x, 0);
    EXPECT_EQ(window.Size().y, 0);
    EXPECT_TRUE(window.HasProperty(framework::ExecutableName()));
    EXPECT_TRUE(window.HasTrayIcon(shell::kTrayIconId));

    // A second copy ends at once and leaves the first running.
    const std::vector<std::uint8_t> settings = test::ReadBytes(dataFolder_ / "obsdat" / "dirinfo.dat");
    {
        CMolvarApp second;
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(second.ExitStatus(), 0);
        EXPECT_EQ(second.m_pMainWnd, nullptr);
    }
    EXPECT_EQ(framework::AfxGetApp(), &app);
    EXPECT_TRUE(window.HasProperty(framework::ExecutableName()));
    EXPECT_EQ(test::ReadBytes(dataFolder_ / "obsdat" / "dirinfo.dat"), settings);
    app.ExitInstance(0);
}

TEST_F(TrayProgramTest, TheRightButtonOpensTheMenuWithStartAndStopAsTheWatchIsAndItsAboutBox) {
    CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    framework::CFrameWnd& frame = *app.m_pMainWnd;
    TrayUser user;

    user.ClickIcon(frame, WM_RBUTTONUP, shell::kTrayIconId, res::ID_WATCH_STOP);
    ASSERT_EQ(user.shown.size(), 1u);
    std::vector<std::string> texts;
    for (const ShownMenuItem& item : user.shown[0]) {
        texts.push_back(text::ToUtf8ForDisplay(item.text));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{test::U8(u8"開始(&S)"), test::U8(u8"停止(&T)"), "",
                                               test::U8(u8"監視設定...(&U)"), test::U8(u8"処理履歴(&L)..."), "",
                                               test::U8(u8"トピックスの検索(&H)"), test::U8(u8"バージョン情報(&A)..."), "",
                                               test::U8(u8"終了(&X)")}));
    EXPECT_EQ(user.Enabled({res::ID_WATCH_START, res::ID_WATCH_STOP, res::ID_WATCH_SETTINGS, res::ID_SHOW_HISTORY,
                            res::ID_APP_ABOUT, res::ID_TRAY_EXIT}),
              "011111");
    // The help page lies beside the executable where it was installed.
    EXPECT_EQ(user.Enabled({res::ID_HELP_FINDER}), platform::PathExists(shell::HelpPagePath()) ? "1" : "0");
    EXPECT_EQ(engine::g_bWatching.load(), 0);  // Stop was chosen

    user.ClickIcon(frame, WM_RBUTTONUP);  // closed without a command
    EXPECT_EQ(user.Enabled({res::ID_WATCH_START, res::ID_WATCH_STOP}), "10");
    EXPECT_EQ(engine::g_bWatching.load(), 0);

    // Neither the left button nor another icon's message opens anything.
    for (const unsigned mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
        frame.WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, mouse);
    }
    frame.WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId + 1, WM_RBUTTONUP);
    EXPECT_EQ(user.shown.size(), 2u);

    user.ClickIcon(frame, WM_RBUTTONUP, shell::kTrayIconId, res::ID_WATCH_START);
    EXPECT_EQ(engine::g_bWatching.load(), 1);

    // The about box and the history; a right click while one is open
    // brings it forward rather than a second menu.
    for (const auto& opened : {std::pair(res::ID_APP_ABOUT, res::IDD_ABOUTBOX),
                               std::pair(res::ID_SHOW_HISTORY, res::IDD_HISTORY)}) {
        const unsigned command = opened.first;
        const std::size_t menus = user.shown.size();
        test::DialogScript script;
        script.Then([&](framework::DialogUser& dialogUser) {
            EXPECT_EQ(dialogUser.ModalTemplate(), opened.second);
            frame.WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, WM_RBUTTONUP);
            EXPECT_EQ(user.shown.size(), menus + 1);
            dialogUser.PressKey(VK_ESCAPE);
        });
        user.ClickIcon(frame, WM_RBUTTONUP, shell::kTrayIconId, command);
        EXPECT_EQ(framework::ActiveModalDialog(), nullptr);
    }
    app.ExitInstance(0);
}

TEST_F(TrayProgramTest, WithoutARunningSettingStartIsOfferedAndStopIsNot) {
    test::WriteBytes(dataFolder_ / "obsdat" / "dirinfo.dat", std::vector<std::uint8_t>{});
    CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    TrayUser user;
    user.ClickIcon(*app.m_pMainWnd, WM_RBUTTONUP);
    EXPECT_EQ(user.Enabled({res::ID_WATCH_START, res::ID_WATCH_STOP}), "10");
    app.ExitInstance(0);
}

TEST_F(TrayProgramTest, QuitFromTheMenuEndsTheLoopStopsTheWatchAndTakesTheIconAndMarkAway) {
    CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    framework::FramePeer& window = *app.m_pMainWnd->GetFramePeer();
    TrayUser user;
    user.ClickIcon(*app.m_pMainWnd, WM_RBUTTONUP, shell::kTrayIconId, res::ID_TRAY_EXIT);
    EXPECT_EQ(engine::g_bWatching.load(), 0);
    const int status = app.Run();
    EXPECT_EQ(status, 0);
    // What the end does first: the window goes, and its icon and mark with it.
    app.m_pMainWnd->DestroyWindow();
    EXPECT_FALSE(window.Exists());
    EXPECT_FALSE(window.HasTrayIcon(shell::kTrayIconId));
    EXPECT_FALSE(window.HasProperty(framework::ExecutableName()));
    EXPECT_EQ(app.ExitInstance(status), 0);
    // A new copy may start at once.
    platform::SingleInstanceLock::Outcome outcome{};
    const auto lock = platform::SingleInstanceLock::Acquire(framework::ExecutableName(), config::g_baseFolder, outcome);
    EXPECT_EQ(outcome, platform::SingleInstanceLock::Outcome::Acquired);
}

TEST(HelpPageTest, LiesBesideTheExecutableOrInTheSharedDataOfAnInstalledTree) {
    const struct {
        std::u8string_view executable;
        std::u8string_view page;
        std::u8string_view installed;
    } cases[] = {
        {u8"C:\\Program Files\\Molvar\\Molvar3.exe", u8"C:\\Program Files\\Molvar\\Molvar3.html",
         u8"C:\\Program Files\\Molvar\\..\\share\\molvar\\Molvar3.html"},
        // The second bytes of ソ and 表 are the separator's: neither ends a
        // folder, so the extension "表" is the one replaced.
        {u8"C:\\ソフト\\Molvar3.exe", u8"C:\\ソフト\\Molvar3.html", u8"C:\\ソフト\\..\\share\\molvar\\Molvar3.html"},
        {u8"C:\\dir\\Molvar3.表", u8"C:\\dir\\Molvar3.html", u8"C:\\dir\\..\\share\\molvar\\Molvar3.html"},
        {u8"C:\\v1.2\\Molvar3", u8"C:\\v1.2\\Molvar3.html", u8"C:\\v1.2\\..\\share\\molvar\\Molvar3.html"},
        {u8"\\usr\\bin\\molvar", u8"\\usr\\bin\\molvar.html", u8"\\usr\\bin\\..\\share\\molvar\\molvar.html"},
        {u8"\\opt\\.molvar", u8"\\opt\\.molvar.html", u8"\\opt\\..\\share\\molvar\\.molvar.html"},
    };
    // Each path with this platform's separator.
    const auto native = [](std::u8string_view path) {
        std::string utf8 = test::U8(path);
        std::replace(utf8.begin(), utf8.end(), '\\', platform::kPathSeparator);
        return test::Cp(utf8);
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shell::HelpPageOf(native(c.executable)), native(c.page)) << test::U8(c.executable);
        EXPECT_EQ(shell::InstalledHelpPageOf(native(c.executable)), native(c.installed)) << test::U8(c.executable);
    }
}

}  // namespace
}  // namespace molvar
