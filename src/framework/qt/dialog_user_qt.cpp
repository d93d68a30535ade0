// The user of the Qt backend: sends the widgets the events a mouse, a
// keyboard and an input method send, so that the widgets' own behaviour
// (and the byte limits the backend keeps on the edits) takes part.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>

#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"

namespace molvar::framework::qt {
namespace {

void Press(QWidget& widget, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &up);
}

void ClickAt(QWidget& widget, QPoint at) {
    if ((widget.focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) {
        widget.setFocus(Qt::MouseFocusReason);
    }
    const QPointF local(at);
    const QPointF global(widget.mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

// Where a click takes a button: a check box or an option button only on
// its box and its text.
QPoint ClickPoint(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    if (qobject_cast<const QCheckBox*>(&button) != nullptr) {
        return button.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &button).center();
    }
    if (qobject_cast<const QRadioButton*>(&button) != nullptr) {
        return button.style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, &button).center();
    }
    return button.rect().center();
}

class QtUser final : public DialogUser {
public:
    bool HasWindow(unsigned templateId) const override { return FindWindow(templateId) != nullptr; }

    // Latin letters come as keys; every other character as an input
    // method (a Japanese one) commits it.
    void Type(ControlRef control, std::string_view utf8) override {
        auto* edit = qobject_cast<QLineEdit*>(Reachable(control));
        if (edit == nullptr) {
            return;
        }
        FindWindow(control.templateId)->SetFocus(control.id);
        edit->selectAll();
        if (!edit->text().isEmpty()) {
            Press(*edit, Qt::Key_Backspace);
        }
        const QString typed = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        for (qsizetype at = 0; at < typed.size();) {
            const qsizetype length = typed[at].isHighSurrogate() && at + 1 < typed.size() ? 2 : 1;
            const QString character = typed.mid(at, length);
            at += length;
            const char16_t unit = character[0].unicode();
            if (length == 1 && unit >= 0x20 && unit < 0x7F) {
                const int key = unit >= u'a' && unit <= u'z' ? Qt::Key_A + (unit - u'a') : unit;
                Press(*edit, key, character);
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(character);
                QApplication::sendEvent(edit, &commit);
            }
        }
    }

    void Click(ControlRef control) override {
        if (auto* button = qobject_cast<QAbstractButton*>(Reachable(control))) {
            ClickAt(*button, ClickPoint(*button));
        }
    }

    void PickTab(ControlRef control, int index) override {
        auto* tabs = qobject_cast<QTabBar*>(Reachable(control));
        if (tabs != nullptr && index >= 0 && index < tabs->count()) {
            ClickAt(*tabs, tabs->tabRect(index).center());
        }
    }

    void PickListLine(ControlRef control, int index) override {
        auto* list = qobject_cast<QListWidget*>(Reachable(control));
        if (list == nullptr || index < 0 || index >= list->count()) {
            return;
        }
        list->setFocus(Qt::MouseFocusReason);
        list->scrollToItem(list->item(index));
        ClickAt(*list->viewport(), list->visualItemRect(list->item(index)).center());
    }

    void PressKey(unsigned virtualKey) override {
        QWidget* modal = ActiveModalWidget();
        if (modal == nullptr) {
            return;
        }
        QWidget* target = modal->focusWidget() != nullptr ? modal->focusWidget() : modal;
        switch (virtualKey) {
        case VK_RETURN:
            Press(*target, Qt::Key_Return, QStringLiteral("\r"));
            break;
        case VK_ESCAPE:
            Press(*target, Qt::Key_Escape, QStringLiteral("\x1b"));
            break;
        case VK_TAB:
            Press(*target, Qt::Key_Tab, QStringLiteral("\t"));
            break;
        default:
            Press(*target, static_cast<int>(virtualKey));
            break;
        }
    }

    std::string Text(ControlRef control) const override {
        const QtWindow* window = FindWindow(control.templateId);
        if (window == nullptr || window->Control(control.id) == nullptr) {
            return {};
        }
        return ToQString(window->GetText(control.id)).toStdString();
    }

    bool IsChecked(ControlRef control) const override {
        const auto* button = qobject_cast<const QAbstractButton*>(Control(control));
        return button != nullptr && button->isChecked();
    }

    bool IsEnabled(ControlRef control) const override {
        const QtWindow* window = FindWindow(control.templateId);
        return window != nullptr && window->Control(control.id) != nullptr && window->IsEnabled(control.id);
    }

    bool IsVisible(ControlRef control) const override {
        const QWidget* widget = Control(control);
        return widget != nullptr && widget->isVisible();
    }

    int TabSelection(ControlRef control) const override {
        const auto* tabs = qobject_cast<const QTabBar*>(Control(control));
        return tabs != nullptr ? tabs->currentIndex() : -1;
    }

    int ListSelection(ControlRef control) const override {
        const QtWindow* window = FindWindow(control.templateId);
        return window != nullptr ? window->ListSelection(control.id) : -1;
    }

    ControlRef Focus() const override {
        const QWidget* modal = ActiveModalWidget();
        const QWidget* focus = modal != nullptr ? modal->focusWidget() : nullptr;
        const QtWindow* holder = focus != nullptr ? WindowHolding(focus) : nullptr;
        if (holder == nullptr) {
            return {0, 0};
        }
        return {holder->Template().id, holder->ControlIdOf(focus).value_or(0)};
    }

private:
    static QtWindow* FindWindow(unsigned templateId) {
        for (QtWindow* window : AllWindows()) {
            if (window->Template().id == templateId && InActiveModalDialog(window->Dialog())) {
                return window;
            }
        }
        return nullptr;
    }

    static QWidget* Control(ControlRef control) {
        const QtWindow* window = FindWindow(control.templateId);
        return window != nullptr ? window->Control(control.id) : nullptr;
    }

    // The control when the user can act on it: it and everything around it
    // shown and enabled.
    static QWidget* Reachable(ControlRef control) {
        QWidget* widget = Control(control);
        return widget != nullptr && widget->isVisible() && widget->isEnabled() ? widget : nullptr;
    }
};

}  // namespace

std::unique_ptr<DialogUser> MakeDialogUser() { return std::make_unique<QtUser>(); }

}  // namespace molvar::framework::qt
