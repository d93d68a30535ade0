// What the tray program needs of the Qt backend beyond the scenarios every
// backend runs: Qt's loop routing the posted commands and ending on the
// exit command (also while a dialog or a message box is open), message
// boxes from the watch threads shown on the user-interface thread, the
// running copy found through its socket, and the file chooser's filters.
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/molvar_doc.h"
#include "framework/app.h"
#include "framework/executable_name.h"
#include "framework/frame.h"
#include "framework/message_loop.h"
#include "framework/posix/backend_choice.h"
#include "framework/qt/qt_app.h"
#include "platform/paths.h"
#include "platform/posix/os_path.h"
#include "res/resource.h"
#include "shell/main_frame.h"
#include "shell/molvar_app.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar {
namespace {

namespace fs = std::filesystem;
using framework::CCmdTarget;
using framework::CCmdUI;

constexpr unsigned kFirst = 32771;
constexpr unsigned kOpenAbout = 32772;
constexpr unsigned kQuit = 32774;

// Records the commands it is handed; the quit command posts the exit
// command, as the document's quit does; kOpenAbout opens the about box.
struct RecordingTarget final : CCmdTarget {
    bool OnCmdMsg(unsigned id, int code, CCmdUI*) override {
        EXPECT_EQ(code, framework::CN_COMMAND);
        routed.push_back(id);
        if (id == kQuit) {
            AfxPostCommand(framework::ID_APP_EXIT);
        }
        if (id == kOpenAbout) {
            shell::CAboutDlg about;
            aboutResult = about.DoModal();
        }
        return true;
    }

    std::vector<unsigned> routed;
    int aboutResult = 0;
};

class QtLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(framework::qt::Active());
        framework::PrepareMessageLoop();
    }
};

TEST_F(QtLoopTest, RoutesPostedCommandsInOrderUntilTheExitCommand) {
    RecordingTarget target;
    AfxPostCommand(kFirst);
    std::thread poster([] {
        AfxPostCommand(kFirst);
        AfxPostCommand(kQuit);
    });
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    poster.join();
    EXPECT_EQ(target.routed, (std::vector<unsigned>{kFirst, kFirst, kQuit}));
}

TEST_F(QtLoopTest, ARequestToEndTheProgramRoutesTheQuitCommand) {
    RecordingTarget target;
    // Blocked in this thread since PrepareMessageLoop: it waits for the loop.
    ASSERT_EQ(::pthread_kill(::pthread_self(), SIGTERM), 0);
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    EXPECT_EQ(target.routed, std::vector<unsigned>{kQuit});
}

TEST_F(QtLoopTest, TheExitCommandWhileADialogIsOpenCancelsItAndEndsTheLoop) {
    RecordingTarget target;
    AfxPostCommand(kOpenAbout);
    // Handled by the dialog's own loop, after it opened.
    AfxPostCommand(framework::ID_APP_EXIT);
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    EXPECT_EQ(target.routed, std::vector<unsigned>{kOpenAbout});
    EXPECT_EQ(target.aboutResult, IDCANCEL);
    EXPECT_EQ(framework::ActiveModalDialog(), nullptr);
}

TEST_F(QtLoopTest, CommandsAfterTheExitWaitForTheNextLoop) {
    RecordingTarget target;
    AfxPostCommand(framework::ID_APP_EXIT);
    AfxPostCommand(kFirst);
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    EXPECT_TRUE(target.routed.empty());
    // Its quit is over with it: dialogs run again.
    EXPECT_FALSE(framework::qt::QuitRequested());
    framework::PrepareMessageLoop();
    AfxPostCommand(kQuit);
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    EXPECT_EQ(target.routed, (std::vector<unsigned>{kFirst, kQuit}));
}

// Watches for message boxes as they show, and answers each with the button
// `answer` once its own loop runs.
class BoxWatcher final : public QObject {
public:
    explicit BoxWatcher(QMessageBox::StandardButton answer) : answer_(answer) { qApp->installEventFilter(this); }
    ~BoxWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box == nullptr || event->type() != QEvent::Show) {
            return false;
        }
        shown.push_back({box, box->windowModality(), box->parentWidget(), box->windowTitle().toStdString(),
                         box->text().toStdString(), box->standardButtons(),
                         QThread::currentThread() == qApp->thread()});
        if (onShow) {
            onShow();
        }
        if (answer_ != QMessageBox::NoButton) {
            const QPointer<QMessageBox> target(box);
            QTimer::singleShot(0, box, [target, this] {
                if (target != nullptr && target->button(answer_) != nullptr) {
                    target->button(answer_)->click();
                }
            });
        }
        return false;
    }

    struct Seen {
        QPointer<QMessageBox> box;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget* owner = nullptr;
        std::string caption;
        std::string text;
        QMessageBox::StandardButtons buttons;
        bool onUserInterfaceThread = false;
    };
    std::vector<Seen> shown;
    std::function<void()> onShow;

private:
    QMessageBox::StandardButton answer_;
};

// What `work` gives on another thread (a watch thread, or a second copy
// from its process), with the user-interface thread's loop running until
// that thread is done.
template <class Work>
auto FromAnotherThread(Work work) {
    QEventLoop loop;
    decltype(work()) result{};
    std::thread other([&] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    other.join();
    return result;
}
int PresentFromAnotherThread(const text::Cp932String& message, unsigned type) {
    return FromAnotherThread([&] { return framework::qt::MessageBoxes().Present(message, type); });
}
bool BringForwardFromAnotherThread() {
    return FromAnotherThread([] { return framework::BringWindowWithPropForward(framework::ExecutableName()); });
}

TEST(QtMessageBoxTest, EveryThreadsBoxShowsOnTheUserInterfaceThreadAndReturnsTheAnswer) {
    const struct {
        unsigned type;
        QMessageBox::StandardButton click;
        QMessageBox::StandardButtons buttons;
        int answer;
    } cases[] = {
        {MB_YESNO, QMessageBox::Yes, QMessageBox::Yes | QMessageBox::No, IDYES},
        {MB_YESNO, QMessageBox::No, QMessageBox::Yes | QMessageBox::No, IDNO},
        {MB_OK, QMessageBox::Ok, QMessageBox::Ok, IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        BoxWatcher watcher(c.click);
        EXPECT_EQ(PresentFromAnotherThread(test::Sj(u8"受信を処理中です"), c.type), c.answer);
        ASSERT_EQ(watcher.shown.size(), 1u);
        EXPECT_EQ(watcher.shown[0].caption, "Molvar3");
        EXPECT_EQ(watcher.shown[0].text, test::U8(u8"受信を処理中です"));
        EXPECT_EQ(watcher.shown[0].buttons, c.buttons);
        EXPECT_TRUE(watcher.shown[0].onUserInterfaceThread);
    }
    // The user-interface thread's own box is shown in place.
    BoxWatcher watcher(QMessageBox::Yes);
    EXPECT_EQ(framework::qt::MessageBoxes().Present(test::Sj(u8"削除しますか"), MB_YESNO), IDYES);
    EXPECT_EQ(watcher.shown.size(), 1u);
}

TEST_F(QtLoopTest, TheExitCommandClosesAnOpenBoxAsNotConfirmed) {
    BoxWatcher watcher(QMessageBox::NoButton);  // nobody answers
    watcher.onShow = [] { AfxPostCommand(framework::ID_APP_EXIT); };
    RecordingTarget target;
    int answer = 0;
    std::thread watch([&] { answer = framework::qt::MessageBoxes().Present(test::Sj(u8"続けますか"), MB_YESNO); });
    EXPECT_EQ(framework::RunMessageLoop(target, kQuit), 0);
    watch.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(watcher.shown.size(), 1u);
}

// The program in this process, with its data folder in a folder of the
// test's own.
class QtTrayProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(framework::qt::Active());
        framework::PrepareMessageLoop();
        const auto appData = platform::ApplicationDataFolder();
        ASSERT_TRUE(appData.has_value());
        dataFolder_ = test::Utf8Path(text::ToUtf8ForDisplay(*appData)) / "TORVEL" / "Molvar3";
        fs::create_directories(dataFolder_ / "obsdat");
        test::WriteBytes(dataFolder_ / "obsdat" / "dirinfo.dat", std::vector<std::uint8_t>{});
    }

    void TearDown() override { config::g_baseFolder = savedBase_; }

    fs::path Socket() const { return dataFolder_ / (text::ToUtf8ForDisplay(framework::ExecutableName()) + ".socket"); }

    test::TempFolder root_;
    test::ScopedEnv config_{"XDG_CONFIG_HOME", test::Utf8(root_.path() / "config")};
    fs::path dataFolder_;
    text::Cp932String savedBase_ = config::g_baseFolder;
};

TEST_F(QtTrayProgramTest, ASecondCopyReachesTheRunningOneThroughItsSocketUntilItEnds) {
    // Left by a copy that died: the running copy takes the place.
    test::WriteText(Socket(), "");
    shell::CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    framework::FramePeer& window = *app.m_pMainWnd->GetFramePeer();
    EXPECT_TRUE(window.HasTrayIcon(shell::kTrayIconId));
    EXPECT_TRUE(BringForwardFromAnotherThread());
    // Asked on its own thread, the running copy answers itself.
    EXPECT_TRUE(framework::BringWindowWithPropForward(framework::ExecutableName()));

    EXPECT_EQ(app.ExitInstance(0), 0);
    EXPECT_FALSE(fs::exists(Socket()));
    EXPECT_FALSE(BringForwardFromAnotherThread());
}

TEST_F(QtTrayProgramTest, WithoutADataFolderThereIsNoSocketAndNoCopyIsFound) {
    framework::CWinApp app;  // m_profileFolder empty
    framework::CFrameWnd frame;
    const auto peer = framework::MakeFramePeer(frame);
    EXPECT_TRUE(peer->SetProperty(framework::ExecutableName()));
    EXPECT_TRUE(peer->HasProperty(framework::ExecutableName()));
    EXPECT_FALSE(BringForwardFromAnotherThread());
}

// Types one key into each popup menu as it opens, once the menu's own loop
// runs.
class MenuTyper final : public QObject {
public:
    explicit MenuTyper(std::vector<std::vector<int>> keys) : keys_(std::move(keys)) { qApp->installEventFilter(this); }
    ~MenuTyper() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu == nullptr || event->type() != QEvent::Show) {
            return false;
        }
        if (keys_.empty()) {
            ADD_FAILURE() << "a menu nobody expected";
            return false;
        }
        QTimer::singleShot(0, menu, [menu, keys = keys_.front()] {
            for (const int key : keys) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Escape ? QString() : QString(QChar(key)));
                QApplication::sendEvent(menu, &press);
            }
        });
        keys_.erase(keys_.begin());
        return false;
    }

    bool Done() const { return keys_.empty(); }

private:
    std::vector<std::vector<int>> keys_;
};

TEST_F(QtTrayProgramTest, TheMenuTakesItsMnemonicsAndADisabledItemGivesNoCommand) {
    shell::CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    framework::CFrameWnd& frame = *app.m_pMainWnd;
    // Nothing runs: Stop is disabled, so its key does nothing and Escape
    // closes the menu; then the about box's key opens it.
    MenuTyper typer({{Qt::Key_T, Qt::Key_Escape}, {Qt::Key_A}});
    test::DialogScript script;
    script.Then([](framework::DialogUser& user) {
        EXPECT_EQ(user.ModalTemplate(), res::IDD_ABOUTBOX);
        // The command came once the menu had closed.
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        user.PressKey(VK_ESCAPE);
    });
    frame.WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, WM_RBUTTONUP);
    EXPECT_EQ(engine::g_bWatching.load(), 0);
    frame.WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, WM_RBUTTONUP);
    EXPECT_TRUE(typer.Done());
    EXPECT_EQ(framework::ActiveModalDialog(), nullptr);
    app.ExitInstance(0);
}

// Spins the user-interface thread's loop until `done` holds (false after a
// generous time, so that a fault fails instead of hanging).
template <class Done>
bool SpinUntil(Done done) {
    QTimer giveUp;
    giveUp.setSingleShot(true);
    giveUp.start(20000);
    while (!done() && giveUp.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

TEST_F(QtTrayProgramTest, WatchBoxesBlockNothingAndAreEachAnsweredOnTheirOwn) {
    shell::CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    BoxWatcher watcher(QMessageBox::NoButton);
    int first = 0, second = 0;
    std::thread one([&] { first = framework::qt::MessageBoxes().Present(test::Sj(u8"一"), MB_YESNO); });
    std::thread two([&] { second = framework::qt::MessageBoxes().Present(test::Sj(u8"二"), MB_OK); });
    ASSERT_TRUE(SpinUntil([&] { return watcher.shown.size() == 2; }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (const auto& seen : watcher.shown) EXPECT_EQ(std::pair(seen.modality, seen.owner), std::pair(Qt::NonModal, static_cast<QWidget*>(nullptr)));
    // The tray menu opens, and its about box runs, while both wait.
    MenuTyper typer(std::vector<std::vector<int>>{{Qt::Key_A}});
    test::DialogScript script(false);
    script.Then([](framework::DialogUser& user) {
        EXPECT_EQ(user.ModalTemplate(), res::IDD_ABOUTBOX);
        user.PressKey(VK_ESCAPE);
    });
    app.m_pMainWnd->WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, WM_RBUTTONUP);
    EXPECT_TRUE(typer.Done());
    // The later box answered first: its thread goes on, the other waits.
    const auto withText = [&](std::u8string_view text) {
        for (const auto& seen : watcher.shown) if (seen.text == test::U8(text)) return seen.box;
        return QPointer<QMessageBox>();
    };
    withText(u8"二")->button(QMessageBox::Ok)->click();
    two.join();
    EXPECT_EQ(std::pair(first, second), std::pair(0, IDOK));
    withText(u8"一")->button(QMessageBox::No)->click();
    one.join();
    EXPECT_EQ(first, IDNO);
    app.ExitInstance(0);
}

TEST_F(QtTrayProgramTest, ADialogsBoxIsModalToItAloneAndTheTrayBringsTheDialogForward) {
    shell::CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    MenuTyper noMenu(std::vector<std::vector<int>>{});
    BoxWatcher watcher(QMessageBox::Yes);
    watcher.onShow = [&] { app.m_pMainWnd->WindowProc(shell::WM_TRAYNOTIFY, shell::kTrayIconId, WM_RBUTTONUP); };
    int answer = 0;
    QWidget* dialog = nullptr;
    test::DialogScript script(false);
    script
        .Then([&](framework::DialogUser&) {
            dialog = framework::qt::ActiveModalWidget();
            answer = AfxMessageBox(test::Sj(u8"削除しますか"), MB_YESNO);
        })
        .Then([](framework::DialogUser& user) { user.PressKey(VK_ESCAPE); });
    shell::CAboutDlg about;
    about.DoModal();
    EXPECT_EQ(answer, IDYES);
    ASSERT_EQ(watcher.shown.size(), 1u);
    EXPECT_EQ(std::pair(watcher.shown[0].modality, watcher.shown[0].owner), std::pair(Qt::WindowModal, dialog));
    app.ExitInstance(0);
}

// Two right presses within the double-click interval come from Qt's X11
// tray icon as a press and a double click; the double click is the second
// press. (Offscreen has no tray: a widget stands for Qt's icon window.)
TEST(QtTrayIconTest, ARightDoubleClickIsASecondPressAndALeftOneStaysADoubleClick) {
    struct Icon final : QWidget {
        void mousePressEvent(QMouseEvent* event) override { presses.push_back(event->button()); }
        void mouseDoubleClickEvent(QMouseEvent*) override { ++doubleClicks; }
        std::vector<Qt::MouseButton> presses;
        int doubleClicks = 0;
    } icon;
    const auto filter = framework::qt::MakeRightDoubleClickAsPress([&](const QObject* o) { return o == &icon; });
    qApp->installEventFilter(filter.get());
    for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        for (const QEvent::Type type :
             {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
            QMouseEvent event(type, QPointF(4, 4), QPointF(4, 4), button, held, Qt::NoModifier);
            QApplication::sendEvent(&icon, &event);
        }
    }
    EXPECT_EQ(icon.presses, (std::vector{Qt::RightButton, Qt::RightButton, Qt::LeftButton}));
    EXPECT_EQ(icon.doubleClicks, 1);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

platform::posix::UniqueFd ConnectTo(const fs::path& socket) {
    platform::posix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    if (fd.valid() && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fd.reset();
    }
    return fd;
}

// Descriptors run out while connections are accepted: the socket stays and
// answers once there are descriptors again; a connection that sends
// nothing is dropped.
TEST_F(QtTrayProgramTest, TheSocketOutlivesRunningOutOfDescriptorsAndDropsSilentConnections) {
    if (kSanitized) {
        GTEST_SKIP() << "the sanitizers' own checks need the descriptors this test takes away";
    }
    framework::qt::SetSilentConnectionLimit(std::chrono::milliseconds(200));
    shell::CMolvarApp app;
    ASSERT_TRUE(app.InitInstance());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    {
        const platform::posix::UniqueFd probe(::dup(0));
        rlimit low = saved;
        low.rlim_cur = static_cast<rlim_t>(probe.get()) + 32;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    }
    std::vector<platform::posix::UniqueFd> clients;
    for (auto client = ConnectTo(Socket()); client.valid(); client = ConnectTo(Socket())) {
        clients.push_back(std::move(client));
        QCoreApplication::processEvents();
    }
    // The last descriptor goes to a client that waits: the accept fails.
    clients.pop_back();
    clients.push_back(ConnectTo(Socket()));
    for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents();
    EXPECT_TRUE(fs::exists(Socket()));
    clients.clear();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(BringForwardFromAnotherThread());

    const platform::posix::UniqueFd silent = ConnectTo(Socket());
    ASSERT_TRUE(silent.valid());
    bool dropped = false;
    QSocketNotifier readable(silent.get(), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        char byte = 0;
        dropped = ::read(silent.get(), &byte, 1) == 0;
    });
    EXPECT_TRUE(SpinUntil([&] { return dropped; }));
    framework::qt::SetSilentConnectionLimit(std::chrono::seconds(5));
    app.ExitInstance(0);
}

TEST(QtChooserTest, NameFiltersShowEachDescriptionWithThePatternsLinuxNeeds) {
    const struct {
        std::u8string_view description;
        std::string_view patterns;
        std::u8string_view filter;
    } cases[] = {
        {u8"プログラムファイル (*.EXE)", "*.EXE", u8"プログラムファイル (*.EXE *.exe)"},
        {u8"全てのファイル (*.*)", "*.*", u8"全てのファイル (*)"},
        {u8"Sounds", "*.wav", u8"Sounds (*.wav)"},
        {u8"Programs", "*.EXE;*.Bat; *.com", u8"Programs (*.EXE *.exe *.Bat *.bat *.com)"},
        {u8"Notes (plain)", "*.TXT", u8"Notes (plain) (*.TXT *.txt)"},
    };
    for (const auto& c : cases) {
        framework::OpenFileRequest request;
        request.filters.emplace_back(test::Sj(c.description), test::Cp(c.patterns));
        const QStringList filters = framework::qt::NameFiltersOf(request);
        ASSERT_EQ(filters.size(), 1) << test::U8(c.description);
        EXPECT_EQ(filters[0].toStdString(), test::U8(c.filter));
    }
    framework::OpenFileRequest both;
    both.filters = {{test::Sj(u8"A"), test::Cp("*.A")}, {test::Sj(u8"Empty"), test::Cp("")}, {test::Sj(u8"B"), test::Cp("*.b")}};
    EXPECT_EQ(framework::qt::NameFiltersOf(both), (QStringList{QStringLiteral("A (*.A *.a)"), QStringLiteral("B (*.b)")}));
}

}  // namespace
}  // namespace molvar
