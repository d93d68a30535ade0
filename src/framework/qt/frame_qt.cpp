// The Qt frame: the hidden main window is bookkeeping only (nothing of it
// is ever shown), its notification-area icons are QSystemTrayIcons and its
// popup menu a QMenu. Its property is a local socket in the data folder,
// by which a second copy finds the running one and brings its dialog
// forward.
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "framework/app.h"
#include "framework/backend_support/kept_frame.h"
#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"
#include "platform/posix/os_path.h"
#include "res/templates.h"
#include "text/convert.h"

namespace molvar::framework::qt {
namespace {

constexpr char kForwardRequest[] = "forward\n";
constexpr char kForwardAnswer[] = "done\n";
constexpr int kConnectMs = 1000;
constexpr int kAnswerMs = 3000;

// The socket that stands for property `name` of the running copy: in the
// data folder, which only its user can enter. Empty without a data folder
// (or when its path has no UTF-8 form).
QString SocketPath(const text::Cp932String& name) {
    const CWinApp* app = AfxGetApp();
    if (app == nullptr || app->m_profileFolder.empty()) {
        return {};
    }
    const auto folder = text::ToUtf8(app->m_profileFolder);
    const auto file = text::ToUtf8(name);
    if (!folder || !file || file->empty()) {
        return {};
    }
    return QString::fromStdString(*folder + '/' + *file + ".socket");
}

// How long a connection may stay without a whole request before it is
// dropped, so that idle connections cannot pile up.
std::atomic<int> g_silentConnectionLimitMs{5000};
// How long accepting rests after the process ran out of descriptors: the
// connections wait in the backlog meanwhile instead of waking the loop at once.
constexpr int kAcceptRestMs = 500;

// The running copy's end of the socket. It accepts the connections itself:
// QLocalServer closes for good, and removes the socket, at the first accept
// that fails, which running out of descriptors does.
void BringModalForward();

class ForwardServer final : public QObject {
public:
    static std::unique_ptr<ForwardServer> Listen(const QString& path);
    ForwardServer(platform::posix::UniqueFd fd, QByteArray path) : fd_(std::move(fd)), path_(std::move(path)) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { AcceptWaiting(); });
        rest_.setSingleShot(true);
        QObject::connect(&rest_, &QTimer::timeout, this, [this] {
            notifier_->setEnabled(true);
            AcceptWaiting();
        });
    }
    ~ForwardServer() override {
        notifier_.reset();
        ::unlink(path_.constData());
    }
    ForwardServer(const ForwardServer&) = delete;
    ForwardServer& operator=(const ForwardServer&) = delete;

private:
    void AcceptWaiting();
    void Serve(int connected);

    platform::posix::UniqueFd fd_;
    QByteArray path_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer rest_;
};

std::unique_ptr<ForwardServer> ForwardServer::Listen(const QString& path) {
    const QByteArray file = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A path longer than a socket address holds cannot be listened on: the
    // second copy then ends without bringing anything forward.
    if (file.isEmpty() || static_cast<std::size_t>(file.size()) >= sizeof address.sun_path) {
        return nullptr;
    }
    std::memcpy(address.sun_path, file.constData(), static_cast<std::size_t>(file.size()));
    platform::posix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    // The single-instance lock is held, so a socket that is there already
    // was left by a copy that died.
    ::unlink(file.constData());
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return nullptr;
    }
    ::chmod(file.constData(), S_IRUSR | S_IWUSR);
    if (::listen(fd.get(), SOMAXCONN) != 0) {
        ::unlink(file.constData());
        return nullptr;
    }
    return std::make_unique<ForwardServer>(std::move(fd), file);
}

void ForwardServer::AcceptWaiting() {
    for (;;) {
        const int connected = ::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (connected >= 0) {
            Serve(connected);
            continue;
        }
        switch (errno) {
        case EINTR:
        case ECONNABORTED:
            continue;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            // Out of descriptors or memory: rest, still listening.
            notifier_->setEnabled(false);
            rest_.start(kAcceptRestMs);
            return;
        default:
            return;  // nothing waits (EAGAIN), or the next wake tries again
        }
    }
}

void ForwardServer::Serve(int connected) {
    auto owned = std::make_unique<QLocalSocket>();
    if (!owned->setSocketDescriptor(connected)) {
        ::close(connected);
        return;
    }
    // From here the server owns it as its Qt parent; it goes when the peer does.
    owned->setParent(this);
    QLocalSocket* connection = owned.release();
    QObject::connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    QTimer::singleShot(g_silentConnectionLimitMs.load(), connection, [connection] {
        connection->abort();
        connection->deleteLater();
    });
    QObject::connect(connection, &QLocalSocket::readyRead, connection, [connection] {
        if (!connection->readAll().contains('\n')) {
            return;  // the request is not complete yet
        }
        BringModalForward();
        connection->write(kForwardAnswer);
        connection->disconnectFromServer();
    });
}

// Qt's icon on an X11 tray reports a right press that comes within the
// double-click interval of the one before as nothing at all: it is taken
// here as the press it is, so every right click opens the menu.
class RightDoubleClickAsPress final : public QObject {
public:
    explicit RightDoubleClickAsPress(std::function<bool(const QObject*)> isTrayIcon)
        : isTrayIcon_(std::move(isTrayIcon)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonDblClick || !isTrayIcon_(watched)) {
            return false;
        }
        const auto* click = static_cast<QMouseEvent*>(event);
        if (click->button() != Qt::RightButton) {
            return false;  // a left double click stays one
        }
        QMouseEvent press(QEvent::MouseButtonPress, click->position(), click->scenePosition(),
                          click->globalPosition(), click->button(), click->buttons(), click->modifiers());
        QCoreApplication::sendEvent(watched, &press);
        return true;
    }

private:
    std::function<bool(const QObject*)> isTrayIcon_;
};

// The sockets this process listens on; touched on the user-interface
// thread only.
std::set<QString>& OwnSockets() {
    static std::set<QString> paths;
    return paths;
}

bool OnUserInterfaceThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void BringModalForward() {
    if (QWidget* modal = ActiveModalWidget()) {
        BringForward(*modal);
    }
}

// The mouse message the notification area of Windows sends for a click.
std::optional<unsigned> MouseMessageOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return WM_RBUTTONUP;
    case QSystemTrayIcon::Trigger:
        return WM_LBUTTONUP;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    default:
        return std::nullopt;
    }
}

class QtFrame final : public KeptFrame {
public:
    explicit QtFrame(CFrameWnd& frame) : KeptFrame(frame) { qApp->installEventFilter(&rightClicks_); }
    QtFrame(const QtFrame&) = delete;
    QtFrame& operator=(const QtFrame&) = delete;

    void Destroy() override {
        KeptFrame::Destroy();
        servers_.clear();
        icons_.clear();
    }

    bool SetProperty(const text::Cp932String& name) override {
        KeptFrame::SetProperty(name);
        if (servers_.find(name) == servers_.end()) {
            if (auto server = ListenFor(name)) {
                servers_.emplace(name, std::move(server));
            }
        }
        return true;
    }

    void RemoveProperty(const text::Cp932String& name) override {
        KeptFrame::RemoveProperty(name);
        servers_.erase(name);  // closing it removes its socket
    }

    // The icon is kept also where the desktop has no tray.
    bool AddTrayIcon(const TrayIconData& data) override {
        DeleteTrayIcon(data.id);
        TrayIcon& icon = icons_.emplace_back();
        icon.data = data;
        icon.shown = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/icons/tray.ico")));
        icon.shown->setToolTip(ToQString(data.tip));
        const unsigned id = data.id;
        const unsigned callback = data.callbackMessage;
        QObject::connect(icon.shown.get(), &QSystemTrayIcon::activated, &context_, [this, id, callback](QSystemTrayIcon::ActivationReason reason) {
            // As the notification area posts it: the menu opens after the
            // click has been handled, never inside the icon's own signal.
            if (const auto mouse = MouseMessageOf(reason)) {
                Post(callback, id, static_cast<std::intptr_t>(*mouse));
            }
        });
        // The program starts on Qt only where the desktop has a tray; Qt puts
        // a shown icon in again when the tray is made anew.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            return false;
        }
        icon.shown->show();
        return icon.shown->isVisible();
    }

    bool DeleteTrayIcon(unsigned id) override {
        return std::erase_if(icons_, [id](const TrayIcon& icon) { return icon.data.id == id; }) != 0;
    }

    bool HasTrayIcon(unsigned id) const override {
        return std::any_of(icons_.begin(), icons_.end(), [id](const TrayIcon& icon) { return icon.data.id == id; });
    }

    CPoint CursorPos() const override {
        const QPoint at = QCursor::pos();
        return {at.x(), at.y()};
    }

    // The hidden frame has nothing to show: an open dialog comes forward.
    void SetForeground() override { BringLastActivePopupForward(); }
    void BringLastActivePopupForward() override { BringModalForward(); }

    void TrackPopupMenu(const res::PopupTemplate& popup, CPoint at) override {
        const auto menu = std::make_unique<QMenu>();
        unsigned chosen = 0;
        for (const res::MenuItemTemplate& item : popup.items) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            // "&" marks the mnemonic in Qt as in Windows menus.
            QAction* action = menu->addAction(FromLiteral(item.text));
            action->setData(item.id);
            action->setEnabled(frame_.IsCommandEnabled(item.id));
            const unsigned id = item.id;
            QObject::connect(action, &QAction::triggered, menu.get(), [&chosen, id] { chosen = id; });
        }
        const QPoint where = at.x == 0 && at.y == 0 ? QCursor::pos() : QPoint(at.x, at.y);
        if (const PopupMenuHook& hook = CurrentPopupMenuHook()) {
            // Open while the hook looks, as the user would see it.
            menu->popup(where);
            RunHook(hook, *menu);
        } else {
            menu->exec(where);
        }
        // As a click on the item does: the command comes once the menu is closed.
        menu->hide();
        if (chosen != 0 && exists_) {
            frame_.WindowProc(WM_COMMAND, chosen, 0);
        }
    }

    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        QMetaObject::invokeMethod(
            &context_,
            [this, message, wParam, lParam] {
                if (exists_) {
                    frame_.WindowProc(message, wParam, lParam);
                }
            },
            Qt::QueuedConnection);
    }

private:
    struct TrayIcon {
        TrayIconData data;
        std::unique_ptr<QSystemTrayIcon> shown;
    };

    // The items as shown, read back from the menu, to the hook; the item it
    // chooses is triggered as a click would.
    static void RunHook(const PopupMenuHook& hook, QMenu& menu) {
        std::vector<ShownMenuItem> items;
        for (const QAction* action : menu.actions()) {
            ShownMenuItem shown;
            shown.id = action->isSeparator() ? 0 : action->data().toUInt();
            shown.text = Narrow(action->text());
            shown.enabled = shown.id != 0 && action->isEnabled();
            items.push_back(std::move(shown));
        }
        const unsigned choice = hook(items);
        if (choice == 0) {
            return;
        }
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator() && action->data().toUInt() == choice && action->isEnabled()) {
                action->trigger();
                return;
            }
        }
    }

    // A server on the property's socket: a connection brings the open
    // dialog forward.
    static std::unique_ptr<ForwardServer> ListenFor(const text::Cp932String& name) {
        const QString path = SocketPath(name);
        auto server = path.isEmpty() ? nullptr : ForwardServer::Listen(path);
        if (server) {
            OwnSockets().insert(path);
            QObject::connect(server.get(), &QObject::destroyed, [path] { OwnSockets().erase(path); });
        }
        return server;
    }

    std::map<text::Cp932String, std::unique_ptr<ForwardServer>> servers_;
    std::vector<TrayIcon> icons_;
    // Posted messages and icon clicks are delivered through it; they go
    // with the frame.
    QObject context_;
    // Qt's own icon window on an X11 tray.
    RightDoubleClickAsPress rightClicks_{[](const QObject* watched) { return watched->inherits("QSystemTrayIconSys"); }};
};

}  // namespace

std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) { return std::make_unique<QtFrame>(frame); }

void SetSilentConnectionLimit(std::chrono::milliseconds limit) {
    g_silentConnectionLimitMs = static_cast<int>(limit.count());
}

std::unique_ptr<QObject> MakeRightDoubleClickAsPress(std::function<bool(const QObject*)> isTrayIcon) {
    return std::make_unique<RightDoubleClickAsPress>(std::move(isTrayIcon));
}

bool BringWindowWithPropForward(const text::Cp932String& name) {
    const QString path = SocketPath(name);
    if (path.isEmpty()) {
        return false;
    }
    // The server of this very thread could not answer while it waits here.
    if (OnUserInterfaceThread() && OwnSockets().contains(path)) {
        BringModalForward();
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    socket.write(kForwardRequest);
    if (!socket.waitForBytesWritten(kConnectMs)) {
        return false;
    }
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(kAnswerMs)) {
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer.startsWith(kForwardAnswer);
}

}  // namespace molvar::framework::qt
