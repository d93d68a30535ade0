// A Qt message box. Widgets live on the user-interface thread only: a box
// asked for by another thread (a watch) is shown there, and the asking
// thread waits for the answer.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"

namespace molvar::framework::qt {
namespace {

// The caption every message box of the program has, as on Windows.
constexpr char kCaption[] = "Molvar3";

// What a box that could not be shown, or was closed by the program's end,
// answers: nothing confirmed.
int Unanswered(unsigned type) { return type == MB_YESNO ? IDNO : IDOK; }

int Show(const text::Cp932String& message, unsigned type) {
    if (QuitRequested()) {
        return Unanswered(type);
    }
    const bool yesNo = type == MB_YESNO;
    // Not owned by a dialog: the boxes of the watch threads come whatever
    // is open, and each comes to the front itself.
    QMessageBox box(yesNo ? QMessageBox::Question : QMessageBox::Information, QString::fromLatin1(kCaption),
                    ToQString(message), yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    BringForward(box);
    const int answer = box.exec();
    if (QuitRequested()) {
        return Unanswered(type);
    }
    switch (answer) {
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

class QtPresenter final : public MessageBoxPresenter {
public:
    int Present(const text::Cp932String& message, unsigned type) override {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return Unanswered(type);
        }
        if (QThread::currentThread() == app->thread()) {
            return Show(message, type);
        }
        // Blocks until the user-interface thread has answered; when the
        // application goes first, the call is dropped and the box counts as
        // not shown.
        int answer = Unanswered(type);
        QMetaObject::invokeMethod(
            app, [&message, type] { return Show(message, type); }, Qt::BlockingQueuedConnection, &answer);
        return answer;
    }
};

}  // namespace

MessageBoxPresenter& MessageBoxes() {
    static QtPresenter presenter;
    return presenter;
}

}  // namespace molvar::framework::qt
