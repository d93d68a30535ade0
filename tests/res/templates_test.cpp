#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "res/resource.h"
#include "res/templates.h"
#include "text/convert.h"

namespace molvar::res {
namespace {

constexpr unsigned kDialogIds[] = {IDD_ABOUTBOX, IDD_DIRLIST, IDD_AFTERPROC, IDD_FILEPROC, IDD_NOTICEPROC, IDD_SETENV,
                                   IDD_HISTORY};
constexpr unsigned kPageIds[] = {IDD_AFTERPROC, IDD_FILEPROC, IDD_NOTICEPROC};

// The backends hand every text to the ANSI side in code page 932 at some
// point; a character without a form there would abort or come out mangled.
void ExpectCp932(std::u8string_view text) {
    const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size());
    EXPECT_TRUE(text::FromUtf8(bytes)) << bytes;
}

// The id of the group a control belongs to: the group starts at the last
// control with the group style at or before it.
std::size_t GroupStart(std::span<const ControlTemplate> controls, std::size_t index) {
    while (index > 0 && !(controls[index].styles & style::kGroup)) --index;
    return index;
}

TEST(Templates, DialogsAreWellFormedAndTheirTextsHaveCp932Forms) {
    for (unsigned id : kDialogIds) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        ASSERT_FALSE(dialog->controls.empty());
        // Tab and arrow navigation wrap to the first control: it starts a group.
        EXPECT_TRUE(dialog->controls.front().styles & style::kGroup);
        ExpectCp932(dialog->caption);
        ExpectCp932(dialog->font);

        std::set<int> ids;
        for (const ControlTemplate& control : dialog->controls) {
            SCOPED_TRACE(control.id);
            EXPECT_GE(control.rect.x, 0);
            EXPECT_GE(control.rect.y, 0);
            EXPECT_LE(control.rect.x + control.rect.cx, dialog->rect.cx);
            EXPECT_LE(control.rect.y + control.rect.cy, dialog->rect.cy);
            if (control.id != IDC_STATIC) {
                EXPECT_TRUE(ids.insert(control.id).second) << "duplicate id";
            }
            ExpectCp932(control.text);
        }
    }
}

TEST(Templates, PagesFitInsideTheSettingsTabs) {
    const DialogTemplate* settings = FindDialogTemplate(IDD_SETENV);
    ASSERT_NE(settings, nullptr);
    const auto tabs = std::ranges::find(settings->controls, IDC_PAGE_TABS, &ControlTemplate::id);
    ASSERT_NE(tabs, settings->controls.end());
    for (unsigned id : kPageIds) {
        SCOPED_TRACE(id);
        const DialogTemplate* page = FindDialogTemplate(id);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->kind, DialogKind::Page);
        EXPECT_GE(page->rect.x, tabs->rect.x);
        EXPECT_GE(page->rect.y, tabs->rect.y);
        EXPECT_LE(page->rect.x + page->rect.cx, tabs->rect.x + tabs->rect.cx);
        EXPECT_LE(page->rect.y + page->rect.cy, tabs->rect.y + tabs->rect.cy);
    }
}

// Arrow keys move between the option buttons of one group, and only those:
// each set of options must be exactly the radio buttons of one group, and
// its first button a tab stop so that the keyboard can reach it.
TEST(Templates, EachSetOfOptionsIsOneRadioGroup) {
    const std::pair<unsigned, std::vector<int>> sets[] = {
        {IDD_AFTERPROC, {IDC_LEAVE_FILE, IDC_DELETE_TARGET, IDC_MOVE_TARGET}},
        {IDD_FILEPROC, {IDC_ALL_FILES, IDC_NAMED_FILES}},
        {IDD_FILEPROC, {IDC_CREATE_OR_UPDATE, IDC_CREATE_RENAME_DELETE}},
        {IDD_NOTICEPROC, {IDC_BEEP, IDC_WAVE}},
    };
    for (const auto& [dialogId, radios] : sets) {
        SCOPED_TRACE(radios.front());
        const DialogTemplate* dialog = FindDialogTemplate(dialogId);
        ASSERT_NE(dialog, nullptr);
        const auto controls = dialog->controls;
        const auto first = static_cast<std::size_t>(std::ranges::find(controls, radios.front(), &ControlTemplate::id) -
                                                    controls.begin());
        ASSERT_LT(first, controls.size());
        EXPECT_TRUE(controls[first].styles & style::kTabStop);
        const std::size_t group = GroupStart(controls, first);
        std::vector<int> radiosInGroup;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (controls[i].kind == ControlKind::RadioButton && GroupStart(controls, i) == group) {
                radiosInGroup.push_back(controls[i].id);
            }
        }
        EXPECT_EQ(radiosInGroup, radios);
    }
}

TEST(Templates, MenusAndStringsHaveCp932Forms) {
    for (unsigned id : {IDR_MAINFRAME, IDR_TRAYMENU}) {
        SCOPED_TRACE(id);
        const MenuTemplate* menu = FindMenuTemplate(id);
        ASSERT_NE(menu, nullptr);
        for (const PopupTemplate& popup : menu->popups) {
            ExpectCp932(popup.text);
            for (const MenuItemTemplate& item : popup.items) {
                ExpectCp932(item.text);
                EXPECT_EQ(item.id == 0, item.text.empty()) << "a separator has neither id nor text";
            }
        }
    }
    for (unsigned id : {AFX_IDS_APP_TITLE, IDP_OLE_INIT_FAILED, IDR_MAINFRAME}) {
        const auto text = FindString(id);
        ASSERT_TRUE(text) << id;
        ExpectCp932(*text);
    }
}

}  // namespace
}  // namespace molvar::res
