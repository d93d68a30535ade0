// A Qt message box. Widgets live on the user-interface thread only: a box
// asked for by another thread (a watch) is shown there, and the asking
// thread waits for the answer.
//
// As on Windows, a box asked while a dialog runs is modal to that dialog
// alone, and any other box (a watch's) is modal to nothing: the tray menu
// stays usable, and several watch boxes may wait side by side, each
// answered on its own.
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <future>
#include <map>
#include <memory>

#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"
#include "res/strings.h"

namespace molvar::framework::qt {
namespace {

// What a box that could not be shown, or was closed by the program's end,
// answers: nothing confirmed.
int Unanswered(unsigned type) { return type == MB_YESNO ? IDNO : IDOK; }

int AnswerOf(int button, unsigned type) {
    if (QuitRequested()) {
        return Unanswered(type);
    }
    switch (button) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Ok:
        return IDOK;
    default:
        return Unanswered(type);
    }
}

std::unique_ptr<QMessageBox> MakeBox(const text::Cp932String& message, unsigned type, QWidget* owner) {
    const bool yesNo = type == MB_YESNO;
    auto box = std::make_unique<QMessageBox>(yesNo ? QMessageBox::Question : QMessageBox::Information,
                                             ToQString(res::ApplicationTitle()), ToQString(message),
                                             yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    box->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    return box;
}

// The answer a waiting thread gets: the button, or "not confirmed" when the
// box goes without one (the program quits, the application is gone).
class PendingAnswer {
public:
    explicit PendingAnswer(unsigned type) : type_(type) {}
    ~PendingAnswer() { Give(Unanswered(type_)); }
    PendingAnswer(const PendingAnswer&) = delete;
    PendingAnswer& operator=(const PendingAnswer&) = delete;

    std::future<int> Future() { return promise_.get_future(); }
    void Give(int answer) {
        if (!given_) {
            given_ = true;
            promise_.set_value(answer);
        }
    }
    unsigned Type() const { return type_; }

private:
    unsigned type_;
    bool given_ = false;
    std::promise<int> promise_;
};

// The boxes that are modal to nothing, owned here until answered; touched
// on the user-interface thread only.
std::map<QMessageBox*, std::unique_ptr<QMessageBox>>& FreeBoxes() {
    static std::map<QMessageBox*, std::unique_ptr<QMessageBox>> boxes;
    return boxes;
}

// Shows a box that blocks no window and gives its answer to `pending` when
// it is closed. Returns at once.
void OpenFreeBox(const text::Cp932String& message, const std::shared_ptr<PendingAnswer>& pending) {
    if (QuitRequested()) {
        return;  // `pending` answers "not confirmed" as it goes
    }
    std::unique_ptr<QMessageBox> owned = MakeBox(message, pending->Type(), nullptr);
    QMessageBox* box = owned.get();
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QDialog::finished, box, [box, pending](int button) {
        pending->Give(AnswerOf(button, pending->Type()));
        // Not inside its own signal: the box goes once the signal is over.
        QMetaObject::invokeMethod(qApp, [box] { FreeBoxes().erase(box); }, Qt::QueuedConnection);
    });
    FreeBoxes().emplace(box, std::move(owned));
    BringForward(*box);
}

// On the user-interface thread: the innermost dialog, if one runs, owns the
// box and takes no input until it is answered.
int ShowHere(const text::Cp932String& message, unsigned type) {
    if (QuitRequested()) {
        return Unanswered(type);
    }
    if (QWidget* dialog = ActiveModalWidget()) {
        const std::unique_ptr<QMessageBox> box = MakeBox(message, type, dialog);
        box->setWindowModality(Qt::WindowModal);
        BringForward(*box);
        return AnswerOf(box->exec(), type);
    }
    const auto pending = std::make_shared<PendingAnswer>(type);
    std::future<int> answer = pending->Future();
    OpenFreeBox(message, pending);
    QEventLoop loop;
    while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready && !QuitRequested()) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? answer.get() : Unanswered(type);
}

class QtPresenter final : public MessageBoxPresenter {
public:
    int Present(const text::Cp932String& message, unsigned type) override {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return Unanswered(type);
        }
        if (QThread::currentThread() == app->thread()) {
            return ShowHere(message, type);
        }
        // The asking thread waits; the user-interface thread only opens the
        // box and goes on. When the application goes first, the request is
        // dropped with its answer, which then says "not confirmed".
        auto pending = std::make_shared<PendingAnswer>(type);
        std::future<int> answer = pending->Future();
        QMetaObject::invokeMethod(
            app, [message, pending = std::move(pending)] { OpenFreeBox(message, pending); }, Qt::QueuedConnection);
        return answer.get();
    }
};

}  // namespace

void CloseMessageBoxes() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            box->reject();
        }
    }
    // Whatever is still kept goes now: the loop that would have let it go
    // is ending.
    FreeBoxes().clear();
}

MessageBoxPresenter& MessageBoxes() {
    static QtPresenter presenter;
    return presenter;
}

}  // namespace molvar::framework::qt
