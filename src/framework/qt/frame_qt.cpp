// The Qt frame: the hidden main window is bookkeeping only (nothing of it
// is ever shown), its notification-area icons are QSystemTrayIcons and its
// popup menu a QMenu. Its property is a local socket in the data folder,
// by which a second copy finds the running one and brings its dialog
// forward.
#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "framework/app.h"
#include "framework/kept_frame.h"
#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"
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
    explicit QtFrame(CFrameWnd& frame) : KeptFrame(frame) {}
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
    // dialog forward. The single-instance lock is held, so a socket that is
    // there already was left by a copy that died.
    std::unique_ptr<QLocalServer> ListenFor(const text::Cp932String& name) {
        const QString path = SocketPath(name);
        if (path.isEmpty()) {
            return nullptr;
        }
        QLocalServer::removeServer(path);
        auto server = std::make_unique<QLocalServer>();
        server->setSocketOptions(QLocalServer::UserAccessOption);
        // A path longer than a socket address holds cannot be listened on:
        // the second copy then ends without bringing anything forward.
        if (!server->listen(path)) {
            return nullptr;
        }
        QLocalServer* listening = server.get();
        OwnSockets().insert(path);
        QObject::connect(listening, &QObject::destroyed, [path] { OwnSockets().erase(path); });
        QObject::connect(listening, &QLocalServer::newConnection, listening, [listening] {
            while (QLocalSocket* connection = listening->nextPendingConnection()) {
                QObject::connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
                QObject::connect(connection, &QLocalSocket::readyRead, connection, [connection] {
                    if (!connection->readAll().contains('\n')) {
                        return;  // the request is not complete yet
                    }
                    BringModalForward();
                    connection->write(kForwardAnswer);
                    connection->disconnectFromServer();
                });
            }
        });
        return server;
    }

    std::map<text::Cp932String, std::unique_ptr<QLocalServer>> servers_;
    std::vector<TrayIcon> icons_;
    // Posted messages and icon clicks are delivered through it; they go
    // with the frame.
    QObject context_;
};

}  // namespace

std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) { return std::make_unique<QtFrame>(frame); }

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
