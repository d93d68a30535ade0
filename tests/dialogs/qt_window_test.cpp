// What the Qt backend promises beyond the scenarios that every backend
// runs: dialog units converted as Windows converts them, every control at
// its template rectangle with its text whole, and the edits' byte limits
// holding against an input method and a paste as well as typing.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/set_env_dlg.h"
#include "framework/dialog.h"
#include "framework/qt/qt_window.h"
#include "res/resource.h"
#include "res/templates.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar::test {
namespace {

using framework::CDialog;
using framework::DialogUser;
using framework::qt::DialogUnits;
using framework::qt::QtWindow;

struct UnitCase {
    res::DluRect rect;
    QRect pixels;
};

class DialogUnitTest : public ::testing::TestWithParam<UnitCase> {};

// Windows rounds each of the four values by itself, halves away from zero.
TEST_P(DialogUnitTest, ConvertsLikeMapDialogRect) {
    const DialogUnits units{7, 15};  // x: 7/4 pixels per unit, y: 15/8
    EXPECT_EQ(units.ToPixels(GetParam().rect), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(QtDialogUnits, DialogUnitTest,
                         ::testing::Values(UnitCase{{0, 0, 4, 8}, QRect(0, 0, 7, 15)},
                                           UnitCase{{2, 4, 6, 12}, QRect(4, 8, 11, 23)},     // 3.5, 7.5, 10.5, 22.5
                                           UnitCase{{1, 1, 1, 1}, QRect(2, 2, 2, 2)},        // 1.75, 1.875
                                           UnitCase{{275, 289, 275, 289}, QRect(481, 542, 481, 542)}));

// The control widgets of a window, in template order; the tab control is its
// bar of tabs.
void ExpectLaidOut(const QtWindow& window) {
    const res::DialogTemplate& source = window.Template();
    const QRect inside = window.Widget()->rect();
    for (const res::ControlTemplate& control : source.controls) {
        if (control.id == res::IDC_STATIC) {
            continue;
        }
        SCOPED_TRACE(testing::Message() << "template " << source.id << ", control " << control.id);
        const QWidget* widget = window.Control(control.id);
        ASSERT_NE(widget, nullptr);
        const QRect expected = window.Units().ToPixels(control.rect);
        EXPECT_TRUE(inside.contains(expected)) << "outside its window";
        if (control.kind == res::ControlKind::TabControl) {
            EXPECT_EQ(widget->pos(), expected.topLeft());
            EXPECT_EQ(widget->width(), expected.width());
            EXPECT_GE(widget->height(), widget->sizeHint().height()) << "tabs cut off";
            continue;
        }
        EXPECT_EQ(widget->geometry(), expected);
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            EXPECT_EQ(window.GetText(control.id), text::LiteralToCp932(control.text));
            // A label cut off at the right is a text the user cannot read.
            if (qobject_cast<const QCheckBox*>(button) != nullptr || qobject_cast<const QRadioButton*>(button) != nullptr) {
                EXPECT_LE(button->sizeHint().width(), expected.width() + 2) << button->text().toStdString();
                const auto lines = button->text().count(u'\n') + 1;
                EXPECT_LE(lines * button->fontMetrics().lineSpacing(), expected.height()) << button->text().toStdString();
            }
        }
    }
}

class LayoutTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(LayoutTest, ControlsStandAtTheirTemplateRectanglesWithTheirTexts) {
    CDialog dialog(GetParam());
    DialogScript script;
    script.Then([&](DialogUser&) {
        const QtWindow* window = framework::qt::WindowOf(&dialog);
        ASSERT_NE(window, nullptr);
        ExpectLaidOut(*window);
        EXPECT_EQ(window->Widget()->size(), window->Units().ToPixels(window->Template().rect).size());
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

INSTANTIATE_TEST_SUITE_P(QtTemplates, LayoutTest,
                         ::testing::Values(res::IDD_ABOUTBOX, res::IDD_DIRLIST, res::IDD_SETENV, res::IDD_HISTORY));

// The history window grows with its list and its buttons along; it never
// gets smaller than its template.
TEST(QtLayoutTest, TheHistoryFollowsItsSizeDownToItsTemplate) {
    CDialog dialog(res::IDD_HISTORY);
    DialogScript script;
    script.Then([&](DialogUser&) {
        const QtWindow* window = framework::qt::WindowOf(&dialog);
        const QSize least = window->Widget()->size();
        window->Widget()->resize(least + QSize(100, 50));
        QApplication::processEvents();
        EXPECT_EQ(window->Control(res::IDC_HISTORY_LIST)->geometry(),
                  window->TemplateRect(res::IDC_HISTORY_LIST).adjusted(0, 0, 100, 50));
        EXPECT_EQ(window->Control(IDCANCEL)->geometry(), window->TemplateRect(IDCANCEL).translated(100, 50));
        EXPECT_EQ(window->Control(res::IDC_OPEN_HISTORY_FILE)->geometry(),
                  window->TemplateRect(res::IDC_OPEN_HISTORY_FILE).translated(0, 50));
        EXPECT_EQ(window->Widget()->minimumSize(), least);
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

// The pages, each inside the settings dialog's window over its tab control.
TEST(QtLayoutTest, PagesStandOverTheTabControlAtTheirPositions) {
    CDialog dialog(res::IDD_SETENV);
    DialogScript script;
    script.Then([&](DialogUser&) {
        const QtWindow* parent = framework::qt::WindowOf(&dialog);
        const auto& controls = parent->Template().controls;
        const QRect tabs = parent->Units().ToPixels(
            std::ranges::find(controls, res::IDC_PAGE_TABS, &res::ControlTemplate::id)->rect);
        for (const unsigned id : {res::IDD_FILEPROC, res::IDD_NOTICEPROC, res::IDD_AFTERPROC}) {
            CDialog page(id);
            ASSERT_TRUE(page.Create(id, &dialog));
            const QtWindow* window = framework::qt::WindowOf(&page);
            ASSERT_NE(window, nullptr);
            ExpectLaidOut(*window);
            const res::DluRect& at = window->Template().rect;
            EXPECT_EQ(window->Widget()->pos(), parent->Units().ToPixels({at.x, at.y, 0, 0}).topLeft());
            EXPECT_TRUE(tabs.contains(window->Widget()->geometry()));
        }
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

// A page that is left goes with its widgets: only the page of the picked tab
// shows over the tab control.
TEST(QtLayoutTest, OnlyThePickedPageShows) {
    dialogs::CSetEnvDlg dialog;
    DialogScript script;
    const auto pagesShown = [&] {
        int shown = 0;
        for (const QObject* child : framework::qt::WindowOf(&dialog)->Widget()->children()) {
            const auto* widget = qobject_cast<const QWidget*>(child);
            shown += widget != nullptr && widget->metaObject() == &QWidget::staticMetaObject && widget->isVisible();
        }
        return shown;
    };
    for (const int tab : {1, 2, 0}) {
        script.Then([&, tab](DialogUser& user) {
            user.PickTab({res::IDD_SETENV, res::IDC_PAGE_TABS}, tab);
            EXPECT_EQ(user.TabSelection({res::IDD_SETENV, res::IDC_PAGE_TABS}), tab);
            EXPECT_EQ(pagesShown(), 1);
        });
    }
    script.Then([&](DialogUser&) { dialog.EndDialog(IDCANCEL); });
    dialog.DoModal();
}

// The settings dialog's title field with a byte limit, counting what it
// reports.
class LimitedFieldDialog : public CDialog {
public:
    explicit LimitedFieldDialog(std::size_t limit) : CDialog(res::IDD_SETENV), limit_(limit) {}
    text::Cp932String title;
    int changes = 0;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override { DDX_Text(pDX, res::IDC_TITLE, title, limit_); }
    bool OnDialogMessage(int id, unsigned code, long*) override {
        changes += id == res::IDC_TITLE && code == EN_CHANGE ? 1 : 0;
        return false;
    }

private:
    std::size_t limit_;
};

struct LimitCase {
    const char* name;
    std::size_t limit;
    std::string typed;   // UTF-8, one character at a time
    std::string pasted;  // UTF-8, in one piece after the typing
    std::string kept;
    int changes;  // EN_CHANGE for the accepted changes only
};

class QtLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(QtLimitTest, TheEditKeepsWhatFitsAndReportsOnlyThat) {
    const LimitCase& c = GetParam();
    LimitedFieldDialog dialog(c.limit);
    DialogScript script;
    script.Then([&](DialogUser& user) {
        constexpr framework::ControlRef kTitle{res::IDD_SETENV, res::IDC_TITLE};
        dialog.changes = 0;
        user.Type(kTitle, c.typed);
        if (!c.pasted.empty()) {
            auto* edit = qobject_cast<QLineEdit*>(framework::qt::WindowOf(&dialog)->Control(res::IDC_TITLE));
            edit->insert(QString::fromStdString(c.pasted));  // as a paste inserts
        }
        EXPECT_EQ(user.Text(kTitle), c.kept);
        EXPECT_EQ(dialog.changes, c.changes);
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

INSTANTIATE_TEST_SUITE_P(
    QtEdit, QtLimitTest,
    ::testing::Values(LimitCase{"DoubleByteUpToTheLimit", 5, "aあいう", "", "aあい", 3},
                      LimitCase{"RefusedCharacterDoesNotStopTheNext", 4, "あaいb", "", "あab", 3},
                      LimitCase{"NoCodePage932FormRefused", 8, "x\xE2\x82\xAC\xF0\x9F\x98\x80y", "", "xy", 2},
                      LimitCase{"PasteCutAtACharacter", 5, "a", "かきく", "aかき", 2},
                      LimitCase{"PasteThatFitsTakenWhole", 8, "ab", "漢字", "ab漢字", 3},
                      LimitCase{"PasteWithoutFormCutBeforeIt", 10, "", "あ\xE2\x82\xAC" "い", "あ", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace molvar::test
