// The Qt backend's windows: Qt widgets made from a dialog template, each
// control placed at its rectangle in the dialog font's units. Shared by the
// parts of the backend (the scripted user, the frame, the loops).
#pragma once

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/dialog.h"
#include "framework/window_backend.h"
#include "res/templates.h"

class QAbstractButton;
class QFont;

namespace molvar::framework::qt {

// Text at the backend's edge. A byte string without a code page 932 reading
// shows what can be read of it.
QString ToQString(const text::Cp932String& value);
QString FromLiteral(std::u8string_view literal);
// Empty when a character has no code page 932 form; Narrow leaves such
// characters out instead.
std::optional<text::Cp932String> ToCp932(const QString& value);
text::Cp932String Narrow(const QString& value);

// The installed font that stands for a template's font (the Windows
// Japanese UI fonts map to IPA Gothic, else Noto Sans CJK JP).
QFont DialogFont(const res::DialogTemplate& source);

// Dialog units as Windows computes them for a font: the horizontal base is
// the average width of "A".."Z" and "a".."z", the vertical one the font's
// height.
struct DialogUnits {
    int baseX = 0;
    int baseY = 0;
    QRect ToPixels(const res::DluRect& rect) const;
};
DialogUnits DialogUnitsOf(const QFont& font);

class QtWindow final : public WindowPeer {
public:
    QtWindow(const res::DialogTemplate& source, CDialog& dialog);
    ~QtWindow() override;
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    // Makes the widgets: a modal dialog owned by `parent`'s window, or a
    // page inside `parent`.
    void Create(QtWindow* parent);

    const res::DialogTemplate& Template() const override { return source_; }
    void SetText(int id, const text::Cp932String& value) override;
    text::Cp932String GetText(int id) const override;
    void SetLimit(int id, std::size_t bytes) override;
    void SetCheck(int id, int state) override;
    int GetCheck(int id) const override;
    void Enable(int id, bool on) override;
    bool IsEnabled(int id) const override;
    void Show(int id, bool on) override;
    bool IsVisible(int id) const override;
    void SetFocus(int id) override;
    void FocusFirstTabStop() override;
    int ListInsert(int id, int index, const text::Cp932String& line) override;
    void ListDelete(int id, int index) override;
    void ListReset(int id) override;
    int ListCount(int id) const override;
    text::Cp932String ListText(int id, int index) const override;
    void ListSelect(int id, int index) override;
    int ListSelection(int id) const override;
    void TabReset(int id) override;
    void TabInsert(int id, int index, const text::Cp932String& label) override;
    void TabSelect(int id, int index) override;
    int TabSelection(int id) const override;
    int TabCount(int id) const override;
    void ReportAddColumn(int id, const text::Cp932String& header) override;
    int ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) override;
    void ReportDeleteRow(int id, int index) override;
    int ReportRowCount(int id) const override;
    std::string ReportCell(int id, int row, int column) const override;
    bool ReportRowMarked(int id, int row) const override;
    void ReportFitColumns(int id) override;
    void ShowWindow() override;
    // A resizable dialog's controls follow its size (see res::style).
    void FollowSize();

    CDialog& Dialog() const { return dialog_; }
    QWidget* Widget() const { return widget_.data(); }
    // Control `id` (0: the window itself); null when the template has none.
    QWidget* Control(int id) const;
    // The template's control behind `widget` (or a widget inside it): 0 for
    // the window itself; none when the widget is not this window's.
    std::optional<int> ControlIdOf(const QWidget* widget) const;
    const DialogUnits& Units() const { return units_; }
    // Where the template puts control `id`, in pixels of this window.
    QRect TemplateRect(int id) const;

private:
    struct EditState {
        std::size_t limit = std::numeric_limits<std::size_t>::max();
        std::u16string accepted;
        bool programmatic = false;
    };

    // One maker per kind of control.
    QWidget* MakeControl(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakePushButton(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeEdit(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeStatic(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeIcon(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeListBox(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeTabControl(const res::ControlTemplate& control, QWidget& parent);
    QWidget* MakeReportList(const res::ControlTemplate& control, QWidget& parent);
    void Place(QWidget& made, const res::ControlTemplate& control);
    void SetButtonText(QAbstractButton& button, const res::ControlTemplate& control, const QString& text);
    void OnEditChanged(int id);

    const res::DialogTemplate& source_;
    CDialog& dialog_;
    DialogUnits units_;
    // Owned here unless Qt deleted it with its parent (a page inside a
    // dialog that went first).
    std::unique_ptr<QWidget> owned_;
    QPointer<QWidget> widget_;
    std::map<int, QPointer<QWidget>> controls_;
    std::map<int, EditState> edits_;
    // The texts of buttons and labels as given, with their "&" mnemonics
    // (what is shown drops or wraps them).
    std::map<const QWidget*, QString> templateTexts_;
    bool ready_ = false;  // the dialog hears the controls from now on
};

// Every window of the backend, oldest first.
const std::vector<QtWindow*>& AllWindows();
// The window whose widgets hold `widget`; null when it is not ours.
QtWindow* WindowHolding(const QWidget* widget);
QtWindow* WindowOf(const CWnd* window);
QWidget* WidgetOf(const CWnd* window);

// Offers every key press in one of the backend's windows to
// PreTranslateMessage first, then acts as the Windows dialog manager does
// (Enter presses the default button, Escape cancels). Once, at start-up.
void InstallDialogManager();

// Makes a widget that its parent owns and deletes.
template <class Widget, class... Args>
Widget* MakeChild(QWidget& parent, Args&&... args) {
    auto child = std::make_unique<Widget>(std::forward<Args>(args)...);
    child->setParent(&parent);
    return child.release();
}

}  // namespace molvar::framework::qt
