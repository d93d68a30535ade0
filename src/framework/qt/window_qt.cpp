// The Qt backend: every dialog is made of Qt widgets from its template, each
// control at its rectangle in the dialog font's units, and modal dialogs run
// in the framework's own loop.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "framework/backend_support/edit_limit.h"
#include "framework/backend_support/follow_size.h"
#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"
#include "text/convert.h"

namespace molvar::framework::qt {
namespace {

using res::ControlKind;
namespace style = res::style;

std::vector<QtWindow*>& Registry() {
    static std::vector<QtWindow*> windows;
    return windows;
}

// Windows' MulDiv: the product divided with rounding, half away from zero.
int MulDiv(int value, int numerator, int denominator) {
    const std::int64_t product = std::int64_t{value} * numerator;
    const std::int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// A label's text as shown: "&" marks the mnemonic, "&&" is an ampersand.
QString WithoutMnemonic(const QString& text) {
    QString shown;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (text[at] == u'&' && at + 1 < text.size()) {
            ++at;
        }
        shown += text[at];
    }
    return shown;
}

// A button's text broken into lines that fit `width` pixels, as a
// multi-line Windows button wraps it: at spaces where there are some, else
// between any two characters (Japanese has no spaces).
QString WrapToWidth(const QString& text, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    QString wrapped;
    QString line;
    for (const QString& word : text.split(u' ')) {
        const QString candidate = line.isEmpty() ? word : line + u' ' + word;
        if (metrics.horizontalAdvance(WithoutMnemonic(candidate)) <= width) {
            line = candidate;
            continue;
        }
        if (!line.isEmpty()) {
            wrapped += line + u'\n';
            line.clear();
        }
        for (const QChar character : word) {
            if (!line.isEmpty() && metrics.horizontalAdvance(WithoutMnemonic(line + character)) > width) {
                wrapped += line + u'\n';
                line.clear();
            }
            line += character;
        }
    }
    return wrapped + line;
}

std::optional<std::size_t> Cp932Bytes(std::u16string_view units) {
    const auto converted = ToCp932(QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())));
    return converted ? std::optional<std::size_t>(converted->size()) : std::nullopt;
}

// The close box cancels, as Escape does; the window itself stays until the
// dialog ends.
class CloseAsCancel final : public QObject {
public:
    explicit CloseAsCancel(CDialog& dialog) : dialog_(dialog) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close) {
            return false;
        }
        event->ignore();
        dialog_.OnCommand(IDCANCEL, BN_CLICKED);
        return true;
    }

private:
    CDialog& dialog_;
};

// A resizable dialog's controls follow each change of its size.
class SizeFollower final : public QObject {
public:
    explicit SizeFollower(QtWindow& window) : window_(window) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            window_.FollowSize();
        }
        return false;
    }

private:
    QtWindow& window_;
};

QString FromUtf8(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

unsigned VirtualKeyOf(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    default:
        // Letters and digits have the same codes in both.
        return (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)
                   ? static_cast<unsigned>(key)
                   : 0;
    }
}

// Key presses in the backend's windows, before the widgets see them: what
// PreTranslateMessage and the Windows dialog manager do with a key.
class DialogManager final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
            return false;
        }
        auto* widget = static_cast<QWidget*>(watched);
        // A key that the widget leaves goes on to its parents, each of
        // which comes past this filter again: only the first one, the
        // widget with the focus, counts.
        const QWidget* focus = widget->window()->focusWidget();
        if (focus != nullptr ? widget != focus : !widget->isWindow()) {
            return false;
        }
        QtWindow* holder = WindowHolding(widget);
        if (holder == nullptr || !InActiveModalDialog(holder->Dialog())) {
            return false;
        }
        const unsigned virtualKey = VirtualKeyOf(static_cast<QKeyEvent*>(event)->key());
        if (virtualKey == 0) {
            return false;
        }
        const auto* button = qobject_cast<QPushButton*>(widget);
        const int focusedPushButton = button != nullptr ? holder->ControlIdOf(button).value_or(0) : 0;
        if (OfferKeyToDialog(holder->Dialog(), virtualKey, focusedPushButton)) {
            return true;
        }
        // Tab and the other keys move the focus the way Qt does.
        return false;
    }
};

}  // namespace

QString ToQString(const text::Cp932String& value) {
    const std::string utf8 = text::ToUtf8(value).value_or(text::ToUtf8ForDisplay(value));
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString FromLiteral(std::u8string_view literal) {
    return QString::fromUtf8(reinterpret_cast<const char*>(literal.data()), static_cast<qsizetype>(literal.size()));
}

std::optional<text::Cp932String> ToCp932(const QString& value) { return text::FromUtf8(value.toStdString()); }

text::Cp932String Narrow(const QString& value) { return text::FromUtf16DroppingUnmapped(value.toStdU16String()); }

QFont DialogFont(const res::DialogTemplate& source) {
    const QString face = FromLiteral(source.font);
    // Proportional faces for the proportional UI fonts, the fixed one for
    // the fixed one; Noto Sans CJK where IPA Gothic is not installed.
    const bool fixed = face == QStringLiteral("ＭＳ ゴシック");
    QFont font(fixed ? QStringLiteral("IPAGothic") : QStringLiteral("IPAPGothic"));
    font.setFamilies({font.family(), QStringLiteral("Noto Sans CJK JP"), face});
    font.setPointSize(source.pointSize);
    return font;
}

QRect DialogUnits::ToPixels(const res::DluRect& rect) const {
    return QRect(MulDiv(rect.x, baseX, 4), MulDiv(rect.y, baseY, 8), MulDiv(rect.cx, baseX, 4),
                 MulDiv(rect.cy, baseY, 8));
}

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, metrics.height()};
}

QtWindow::QtWindow(const res::DialogTemplate& source, CDialog& dialog)
    : source_(source), dialog_(dialog), units_(DialogUnitsOf(DialogFont(source))) {}

QtWindow::~QtWindow() {
    std::erase(Registry(), this);
    if (!widget_) {
        static_cast<void>(owned_.release());  // Qt deleted it with its parent
    }
}

void QtWindow::Create(QtWindow* parent) {
    const bool page = source_.kind == res::DialogKind::Page;
    if (page) {
        // Owned here as well: a page that goes before its dialog takes its
        // widgets along.
        owned_ = std::make_unique<QWidget>();
        owned_->setParent(parent->Widget());
        widget_ = owned_.get();
        widget_->move(parent->Units().ToPixels({source_.rect.x, source_.rect.y, 0, 0}).topLeft());
    } else {
        const bool resizable = source_.kind == res::DialogKind::Resizable;
        owned_ = std::make_unique<QWidget>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                                        (resizable ? Qt::WindowMaximizeButtonHint : Qt::Widget));
        widget_ = owned_.get();
        widget_->setWindowTitle(FromLiteral(source_.caption));
        widget_->installEventFilter(MakeChild<CloseAsCancel>(*widget_, dialog_));
        if (parent != nullptr && parent->Widget() != nullptr) {
            // Above its owner, without being its child: a disabled owner
            // must not disable it.
            widget_->winId();
            if (QWindow* owner = parent->Widget()->window()->windowHandle()) {
                widget_->windowHandle()->setTransientParent(owner);
            }
        }
    }
    widget_->setFont(DialogFont(source_));
    const QSize size = units_.ToPixels({0, 0, source_.rect.cx, source_.rect.cy}).size();
    if (source_.kind == res::DialogKind::Resizable) {
        widget_->setMinimumSize(size);
        widget_->resize(size);
        widget_->installEventFilter(MakeChild<SizeFollower>(*widget_, *this));
    } else {
        widget_->setFixedSize(size);
    }
    QButtonGroup* radios = nullptr;
    for (const res::ControlTemplate& control : source_.controls) {
        QWidget* made = MakeControl(control, *widget_);
        if ((control.styles & style::kGroup) != 0) {
            radios = nullptr;
        }
        if (auto* radio = qobject_cast<QRadioButton*>(made)) {
            if (radios == nullptr) {
                radios = MakeChild<QButtonGroup>(*widget_);
            }
            radios->addButton(radio);
        }
        if (control.id != res::IDC_STATIC) {
            controls_[control.id] = made;
        }
    }
    Registry().push_back(this);
    ready_ = true;
}

QWidget* QtWindow::MakeControl(const res::ControlTemplate& control, QWidget& parent) {
    QWidget* made = nullptr;
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        made = MakePushButton(control, parent);
        break;
    // Made with their text: a text that wraps is measured against the room
    // beside the box, which Qt's size hint of the whole button tells.
    case ControlKind::CheckBox:
        made = MakeChild<QCheckBox>(parent, FromLiteral(control.text));
        break;
    case ControlKind::RadioButton:
        made = MakeChild<QRadioButton>(parent, FromLiteral(control.text));
        static_cast<QRadioButton*>(made)->setAutoExclusive(false);  // its group in the template decides
        break;
    case ControlKind::GroupBox:
        made = MakeChild<QGroupBox>(parent, WithoutMnemonic(FromLiteral(control.text)));
        break;
    case ControlKind::Edit:
        made = MakeEdit(control, parent);
        break;
    case ControlKind::Static:
        made = MakeStatic(control, parent);
        break;
    case ControlKind::Icon:
        made = MakeIcon(control, parent);
        break;
    case ControlKind::BlackFrame:
    case ControlKind::GrayRect:
        made = MakeChild<QFrame>(parent);
        static_cast<QFrame*>(made)->setFrameStyle(
            QFrame::Box | ((control.styles & style::kSunken) != 0 ? QFrame::Sunken : QFrame::Plain));
        break;
    case ControlKind::ListBox:
        made = MakeListBox(control, parent);
        break;
    case ControlKind::TabControl:
        return MakeTabControl(control, parent);  // placed by itself
    case ControlKind::ReportList:
        made = MakeReportList(control, parent);
        break;
    }
    Place(*made, control);
    return made;
}

QWidget* QtWindow::MakePushButton(const res::ControlTemplate& control, QWidget& parent) {
    auto* button = MakeChild<QPushButton>(parent);
    button->setAutoDefault(false);
    button->setDefault(control.kind == ControlKind::DefPushButton);
    return button;
}

QWidget* QtWindow::MakeEdit(const res::ControlTemplate& control, QWidget& parent) {
    auto* edit = MakeChild<QLineEdit>(parent);
    edit->setFrame((control.styles & style::kBorder) != 0);
    const int id = control.id;
    edits_[id];
    QObject::connect(edit, &QLineEdit::textChanged, edit, [this, id] { OnEditChanged(id); });
    return edit;
}

QWidget* QtWindow::MakeStatic(const res::ControlTemplate& control, QWidget& parent) {
    const QString label = FromLiteral(control.text);
    auto* text = MakeChild<QLabel>(parent, WithoutMnemonic(label));
    templateTexts_[text] = label;
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return text;
}

QWidget* QtWindow::MakeIcon(const res::ControlTemplate& control, QWidget& parent) {
    auto* icon = MakeChild<QLabel>(parent);
    unsigned iconId = 0;
    const auto* first = reinterpret_cast<const char*>(control.text.data());
    std::from_chars(first, first + control.text.size(), iconId);
    const QString file = iconId == res::IDI_TRAY ? QStringLiteral(":/icons/tray.ico") : QStringLiteral(":/icons/app-48.png");
    icon->setPixmap(QIcon(file).pixmap(32, 32));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return icon;
}

QWidget* QtWindow::MakeListBox(const res::ControlTemplate& control, QWidget& parent) {
    auto* list = MakeChild<QListWidget>(parent);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    if ((control.styles & style::kNotify) != 0) {
        // The selection, not the current line: a list that takes the focus
        // makes its first line current without selecting it.
        const int id = control.id;
        QObject::connect(list, &QListWidget::itemSelectionChanged, list, [this, id] {
            if (ready_) dialog_.OnCommand(id, LBN_SELCHANGE);
        });
    }
    return list;
}

QWidget* QtWindow::MakeReportList(const res::ControlTemplate& control, QWidget& parent) {
    auto* list = MakeChild<QTreeWidget>(parent);
    list->setColumnCount(0);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setFrameShape((control.styles & style::kBorder) != 0 ? QFrame::StyledPanel : QFrame::NoFrame);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsClickable(false);
    return list;
}

// The tabs along the top of a panel; the pages are windows of their own,
// placed over the panel by their templates.
QWidget* QtWindow::MakeTabControl(const res::ControlTemplate& control, QWidget& parent) {
    const QRect at = units_.ToPixels(control.rect);
    auto* panel = MakeChild<QFrame>(parent);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    panel->lower();
    auto* tabs = MakeChild<QTabBar>(parent);
    tabs->setDrawBase(false);
    tabs->setExpanding(false);
    tabs->setFocusPolicy(Qt::TabFocus);
    // The bar is as high as one tab, tabs or not.
    tabs->addTab(QStringLiteral("X"));
    const int barHeight = tabs->sizeHint().height();
    tabs->removeTab(0);
    tabs->setGeometry(at.x(), at.y(), at.width(), barHeight);
    const int id = control.id;
    QObject::connect(tabs, &QTabBar::currentChanged, tabs, [this, id] {
        long result = 0;
        if (ready_) dialog_.OnNotify(id, TCN_SELCHANGE, &result);
    });
    panel->setGeometry(at.adjusted(0, barHeight - 2, 0, 0));
    panel->setVisible((control.styles & style::kHidden) == 0);
    tabs->setVisible((control.styles & style::kHidden) == 0);
    return tabs;
}

// What every control but the tab control gets: its rectangle, its text
// and click for a button, its focus policy and visibility.
void QtWindow::Place(QWidget& made, const res::ControlTemplate& control) {
    made.setGeometry(units_.ToPixels(control.rect));
    if (control.kind == ControlKind::GroupBox || control.kind == ControlKind::BlackFrame ||
        control.kind == ControlKind::GrayRect) {
        made.lower();  // frames lie under the controls they surround
    }
    if (auto* button = qobject_cast<QAbstractButton*>(&made)) {
        SetButtonText(*button, control, FromLiteral(control.text));
        const int id = control.id;
        QObject::connect(button, &QAbstractButton::clicked, button, [this, id] {
            if (ready_) dialog_.OnCommand(id, BN_CLICKED);
        });
    }
    const bool takesTab = (control.styles & style::kTabStop) != 0;
    if (control.kind != ControlKind::Static && control.kind != ControlKind::Icon) {
        made.setFocusPolicy(takesTab ? Qt::StrongFocus : Qt::ClickFocus);
    }
    made.setVisible((control.styles & style::kHidden) == 0);
}

void QtWindow::SetButtonText(QAbstractButton& button, const res::ControlTemplate& control, const QString& text) {
    templateTexts_[&button] = text;
    if ((control.styles & style::kMultiLine) == 0) {
        button.setText(text);
        return;
    }
    // The room beside the box of a check box or an option button.
    int room = button.width() - 8;
    if (qobject_cast<QCheckBox*>(&button) != nullptr || qobject_cast<QRadioButton*>(&button) != nullptr) {
        room = button.width() - button.sizeHint().width() + button.fontMetrics().horizontalAdvance(WithoutMnemonic(button.text()));
    }
    button.setText(WrapToWidth(text, widget_->font(), room));
}

void QtWindow::OnEditChanged(int id) {
    auto* edit = qobject_cast<QLineEdit*>(Control(id));
    EditState& state = edits_[id];
    if (edit == nullptr) {
        return;
    }
    std::u16string now = edit->text().toStdU16String();
    if (!state.programmatic) {
        std::size_t caret = 0;
        std::u16string kept = FitEdit(state.accepted, now, state.limit, caret, Cp932Bytes);
        if (kept != now) {
            const QSignalBlocker quiet(edit);
            edit->setText(QString::fromStdU16String(kept));
            edit->setCursorPosition(static_cast<int>(caret));
        }
        if (kept == state.accepted) {
            return;  // refused: nothing changed
        }
        now = std::move(kept);
    }
    state.accepted = std::move(now);
    if (ready_) {
        dialog_.OnCommand(id, EN_CHANGE);
    }
}

QWidget* QtWindow::Control(int id) const {
    if (id == 0) {
        return widget_.data();
    }
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second.data();
}

std::optional<int> QtWindow::ControlIdOf(const QWidget* widget) const {
    for (const QWidget* at = widget; at != nullptr; at = at->parentWidget()) {
        if (at == widget_) {
            return 0;
        }
        for (const auto& [id, control] : controls_) {
            if (control == at) {
                return id;
            }
        }
        if (at->isWindow()) {
            break;
        }
    }
    return std::nullopt;
}

QRect QtWindow::TemplateRect(int id) const {
    for (const res::ControlTemplate& control : source_.controls) {
        if (control.id == id) {
            return units_.ToPixels(control.rect);
        }
    }
    return {};
}

void QtWindow::SetText(int id, const text::Cp932String& value) {
    QWidget* control = Control(id);
    const QString shown = ToQString(value);
    if (id == 0 && widget_) {
        widget_->setWindowTitle(shown);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // The program's own text is taken as it is, also past the limit,
        // and reported as every change is, also when it is the same.
        EditState& state = edits_[id];
        const bool same = edit->text() == shown;
        state.programmatic = true;
        edit->setText(shown);
        state.programmatic = false;
        if (same) {
            state.accepted = shown.toStdU16String();
            if (ready_) {
                dialog_.OnCommand(id, EN_CHANGE);
            }
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        for (const res::ControlTemplate& item : source_.controls) {
            if (item.id == id) {
                SetButtonText(*button, item, shown);
            }
        }
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        templateTexts_[label] = shown;
        label->setText(WithoutMnemonic(shown));
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(WithoutMnemonic(shown));
    }
}

text::Cp932String QtWindow::GetText(int id) const {
    const QWidget* control = Control(id);
    if (control == nullptr) {
        return {};
    }
    if (id == 0) {
        return Narrow(control->windowTitle());
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return Narrow(edit->text());
    }
    if (const auto text = templateTexts_.find(control); text != templateTexts_.end()) {
        return Narrow(text->second);
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return Narrow(group->title());
    }
    return {};
}

void QtWindow::SetLimit(int id, std::size_t bytes) {
    const auto edit = edits_.find(id);
    if (edit != edits_.end()) {
        edit->second.limit = bytes;
    }
}

void QtWindow::SetCheck(int id, int state) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
        button->setChecked(state == BST_CHECKED);
    }
}

int QtWindow::GetCheck(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(Control(id));
    return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void QtWindow::Enable(int id, bool on) {
    if (QWidget* control = Control(id)) {
        control->setEnabled(on);
    }
}

bool QtWindow::IsEnabled(int id) const {
    const QWidget* control = Control(id);
    // The control's own state, as Windows keeps it, whatever its window's.
    return control != nullptr && !control->testAttribute(Qt::WA_ForceDisabled);
}

void QtWindow::Show(int id, bool on) {
    if (QWidget* control = Control(id)) {
        control->setVisible(on);
    }
}

bool QtWindow::IsVisible(int id) const {
    const QWidget* control = Control(id);
    return control != nullptr && control->isVisible();
}

void QtWindow::SetFocus(int id) {
    QWidget* control = Control(id);
    if (control == nullptr) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->selectAll();  // as the dialog manager puts the focus in an edit
    }
    control->setFocus(Qt::OtherFocusReason);
}

void QtWindow::FocusFirstTabStop() {
    for (const res::ControlTemplate& control : source_.controls) {
        QWidget* widget = Control(control.id);
        const bool takesTab = (control.styles & style::kTabStop) != 0 || control.kind == ControlKind::TabControl;
        if (widget != nullptr && takesTab && widget->isEnabled() && !widget->isHidden()) {
            SetFocus(control.id);
            return;
        }
    }
}

int QtWindow::ListInsert(int id, int index, const text::Cp932String& line) {
    auto* list = qobject_cast<QListWidget*>(Control(id));
    if (list == nullptr) {
        return LB_ERR;
    }
    const QSignalBlocker quiet(list);
    if (index < 0 || index > list->count()) {
        index = list->count();
    }
    list->insertItem(index, ToQString(line));
    return index;
}

void QtWindow::ListDelete(int id, int index) {
    auto* list = qobject_cast<QListWidget*>(Control(id));
    if (list == nullptr || index < 0 || index >= list->count()) {
        return;
    }
    const int selected = ListSelection(id);
    {
        const QSignalBlocker quiet(list);
        std::unique_ptr<QListWidgetItem> gone(list->takeItem(index));
    }
    // The selection goes with its line, as in a Windows list box.
    ListSelect(id, selected == index ? -1 : (selected > index ? selected - 1 : selected));
}

void QtWindow::ListReset(int id) {
    if (auto* list = qobject_cast<QListWidget*>(Control(id))) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
}

int QtWindow::ListCount(int id) const {
    const auto* list = qobject_cast<const QListWidget*>(Control(id));
    return list != nullptr ? list->count() : 0;
}

text::Cp932String QtWindow::ListText(int id, int index) const {
    const auto* list = qobject_cast<const QListWidget*>(Control(id));
    const QListWidgetItem* item = list != nullptr ? list->item(index) : nullptr;
    return item != nullptr ? Narrow(item->text()) : text::Cp932String();
}

void QtWindow::ListSelect(int id, int index) {
    if (auto* list = qobject_cast<QListWidget*>(Control(id))) {
        const QSignalBlocker quiet(list);
        const QSignalBlocker quietSelection(list->selectionModel());
        if (index >= 0 && index < list->count()) {
            list->setCurrentRow(index);
        } else {
            list->clearSelection();
            list->setCurrentRow(-1);
        }
        list->viewport()->update();
    }
}

int QtWindow::ListSelection(int id) const {
    const auto* list = qobject_cast<const QListWidget*>(Control(id));
    if (list == nullptr) {
        return LB_ERR;
    }
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? LB_ERR : list->row(selected.front());
}

void QtWindow::TabReset(int id) {
    if (auto* tabs = qobject_cast<QTabBar*>(Control(id))) {
        const QSignalBlocker quiet(tabs);
        while (tabs->count() > 0) {
            tabs->removeTab(0);
        }
    }
}

void QtWindow::TabInsert(int id, int index, const text::Cp932String& label) {
    if (auto* tabs = qobject_cast<QTabBar*>(Control(id))) {
        const QSignalBlocker quiet(tabs);
        tabs->insertTab(index, ToQString(label));
    }
}

void QtWindow::TabSelect(int id, int index) {
    if (auto* tabs = qobject_cast<QTabBar*>(Control(id))) {
        const QSignalBlocker quiet(tabs);
        tabs->setCurrentIndex(index);
    }
}

int QtWindow::TabSelection(int id) const {
    const auto* tabs = qobject_cast<const QTabBar*>(Control(id));
    return tabs != nullptr ? tabs->currentIndex() : -1;
}

int QtWindow::TabCount(int id) const {
    const auto* tabs = qobject_cast<const QTabBar*>(Control(id));
    return tabs != nullptr ? tabs->count() : 0;
}

void QtWindow::ReportAddColumn(int id, const text::Cp932String& header) {
    if (auto* list = qobject_cast<QTreeWidget*>(Control(id))) {
        const int column = list->columnCount();
        list->setColumnCount(column + 1);
        list->headerItem()->setText(column, ToQString(header));
    }
}

int QtWindow::ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) {
    auto* list = qobject_cast<QTreeWidget*>(Control(id));
    if (list == nullptr) {
        return -1;
    }
    if (index < 0 || index > list->topLevelItemCount()) {
        index = list->topLevelItemCount();
    }
    auto row = std::make_unique<QTreeWidgetItem>();
    const int columns = std::min(list->columnCount(), static_cast<int>(cells.size()));
    for (int column = 0; column < columns; ++column) {
        row->setText(column, FromUtf8(cells[static_cast<std::size_t>(column)]));
    }
    // The system's error icon and red text; the other rows keep the icon's
    // room empty, so that the first column's texts line up.
    const int iconSize = list->style()->pixelMetric(QStyle::PM_SmallIconSize);
    if (marked) {
        row->setIcon(0, list->style()->standardIcon(QStyle::SP_MessageBoxCritical));
        row->setData(0, Qt::UserRole, true);
        for (int column = 0; column < list->columnCount(); ++column) {
            row->setForeground(column, QColor(0xB0, 0x00, 0x00));
        }
    } else {
        QPixmap room(iconSize, iconSize);
        room.fill(Qt::transparent);
        row->setIcon(0, QIcon(room));
    }
    const QSignalBlocker quiet(list);
    list->insertTopLevelItem(index, row.release());
    return index;
}

void QtWindow::ReportDeleteRow(int id, int index) {
    if (auto* list = qobject_cast<QTreeWidget*>(Control(id))) {
        const QSignalBlocker quiet(list);
        std::unique_ptr<QTreeWidgetItem> gone(list->takeTopLevelItem(index));
    }
}

int QtWindow::ReportRowCount(int id) const {
    const auto* list = qobject_cast<const QTreeWidget*>(Control(id));
    return list != nullptr ? list->topLevelItemCount() : 0;
}

std::string QtWindow::ReportCell(int id, int row, int column) const {
    const auto* list = qobject_cast<const QTreeWidget*>(Control(id));
    const QTreeWidgetItem* item = list != nullptr ? list->topLevelItem(row) : nullptr;
    return item != nullptr && column >= 0 && column < list->columnCount() ? item->text(column).toStdString()
                                                                        : std::string();
}

bool QtWindow::ReportRowMarked(int id, int row) const {
    const auto* list = qobject_cast<const QTreeWidget*>(Control(id));
    const QTreeWidgetItem* item = list != nullptr ? list->topLevelItem(row) : nullptr;
    return item != nullptr && item->data(0, Qt::UserRole).toBool();
}

void QtWindow::ReportFitColumns(int id) {
    if (auto* list = qobject_cast<QTreeWidget*>(Control(id))) {
        for (int column = 0; column < list->columnCount(); ++column) {
            list->resizeColumnToContents(column);
        }
    }
}

void QtWindow::FollowSize() {
    if (!widget_) {
        return;
    }
    const QSize least = units_.ToPixels({0, 0, source_.rect.cx, source_.rect.cy}).size();
    const int dx = std::max(0, widget_->width() - least.width());
    const int dy = std::max(0, widget_->height() - least.height());
    for (const res::ControlTemplate& control : source_.controls) {
        QWidget* made = Control(control.id);
        if (made == nullptr || (control.styles & kFollowsSize) == 0) {
            continue;
        }
        const QRect at = units_.ToPixels(control.rect);
        const ControlEdges now = FollowedEdges({at.left(), at.top(), at.right(), at.bottom()}, control.styles, dx, dy);
        made->setGeometry(QRect(QPoint(now.left, now.top), QPoint(now.right, now.bottom)));
    }
}

void QtWindow::ShowWindow() {
    if (!widget_) {
        return;
    }
    if (source_.kind == res::DialogKind::Page) {
        widget_->show();
        return;
    }
    // In the middle of its owner, else of the screen, as DS_CENTER puts it.
    const QWindow* owner = widget_->windowHandle() != nullptr ? widget_->windowHandle()->transientParent() : nullptr;
    const QRect around = owner != nullptr ? owner->geometry()
                         : widget_->screen() != nullptr ? widget_->screen()->availableGeometry()
                                                        : QRect();
    if (around.isValid()) {
        widget_->move(around.center() - widget_->rect().center());
    }
    QWidget* focus = widget_->focusWidget();
    BringForward(*widget_);
    if (focus != nullptr) {
        focus->setFocus(Qt::OtherFocusReason);
    }
}

const std::vector<QtWindow*>& AllWindows() { return Registry(); }

QtWindow* WindowHolding(const QWidget* widget) {
    for (QtWindow* window : Registry()) {
        if (window->ControlIdOf(widget)) {
            // A page's widgets are inside its parent's too: the innermost.
            QtWindow* inner = window;
            for (QtWindow* other : Registry()) {
                if (other != window && other->ControlIdOf(widget) && window->Widget() != nullptr &&
                    window->Widget()->isAncestorOf(other->Widget())) {
                    inner = other;
                }
            }
            return inner;
        }
    }
    return nullptr;
}

QtWindow* WindowOf(const CWnd* window) {
    return window != nullptr ? dynamic_cast<QtWindow*>(window->Peer()) : nullptr;
}

QWidget* WidgetOf(const CWnd* window) {
    const QtWindow* peer = WindowOf(window);
    return peer != nullptr ? peer->Widget() : nullptr;
}

QWidget* ActiveModalWidget() { return WidgetOf(ActiveModalDialog()); }

void BringForward(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

void InstallDialogManager() {
    static DialogManager manager;
    qApp->installEventFilter(&manager);
}

namespace {

class QtBackend final : public WindowBackend {
public:
    std::unique_ptr<WindowPeer> CreateDialogWindow(const res::DialogTemplate& source, CDialog& dialog,
                                                   CWnd* parent) override {
        QtWindow* parentWindow = WindowOf(parent);
        if (source.kind == res::DialogKind::Page && (parentWindow == nullptr || parentWindow->Widget() == nullptr)) {
            return nullptr;  // a page lives inside a window
        }
        auto window = std::make_unique<QtWindow>(source, dialog);
        window->Create(parentWindow);
        return window;
    }

    ModalState BeginModal(CDialog& dialog, CWnd* owner) override {
        QWidget* ownerWindow = WidgetOf(owner);
        ownerWindow = ownerWindow != nullptr ? ownerWindow->window() : nullptr;
        ModalState state;
        state.disabledOwner = ownerWindow != nullptr && ownerWindow->isEnabled();
        if (state.disabledOwner) {
            ownerWindow->setEnabled(false);
        }
        // Held as a QPointer across the loop: the owner may go meanwhile.
        owners_.emplace_back(state.disabledOwner ? ownerWindow : nullptr);
        windows_.emplace_back(WidgetOf(&dialog));
        return state;
    }

    void EndModal(CDialog&, const ModalState& state) override {
        const QPointer<QWidget> owner = owners_.back();
        const QPointer<QWidget> window = windows_.back();
        owners_.pop_back();
        windows_.pop_back();
        if (state.disabledOwner && owner != nullptr) {
            owner->setEnabled(true);
        }
        if (window != nullptr) {
            window->hide();
        }
        if (state.disabledOwner && owner != nullptr) {
            owner->activateWindow();
        }
    }

    Pumped PumpOne(CDialog&, bool wait) override {
        if (windows_.empty() || windows_.back() == nullptr) {
            return Pumped::Gone;
        }
        if (QuitRequested()) {
            return Pumped::Quit;
        }
        if (wait) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return Pumped::Handled;
        }
        // A test acts as the user once what is pending has been handled.
        QCoreApplication::processEvents();
        return Pumped::Nothing;
    }

    void WakeModalLoop() override {
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(qApp->thread())) {
            dispatcher->wakeUp();
        }
    }

    MessageBoxPresenter& MessageBoxes() override { return qt::MessageBoxes(); }
    Choosers& FileChoosers() override { return qt::FileChoosers(); }
    std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) override { return qt::MakeFramePeer(frame); }
    bool BringWindowWithPropForward(const text::Cp932String& name) override {
        return qt::BringWindowWithPropForward(name);
    }
    int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) override {
        return qt::RunMessageLoop(target, quitCommand);
    }
    void End() override { qt::End(); }

private:
    // Of the loops that run, innermost last.
    std::vector<QPointer<QWidget>> owners_;
    std::vector<QPointer<QWidget>> windows_;
};

}  // namespace

WindowBackend& Backend() {
    static QtBackend backend;
    return backend;
}

}  // namespace molvar::framework::qt
