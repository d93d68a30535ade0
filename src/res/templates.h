// The program's dialogs and menus as data. Every backend builds its windows
// from these tables, so an id, a rectangle or a text is written here once.
// Texts are the UTF-8 source literals; a backend converts them at its edge.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace molvar::res {

// Dialog ids.
inline constexpr unsigned IDD_ABOUTBOX = 100;
inline constexpr unsigned IDD_DIRLIST = 132;
inline constexpr unsigned IDD_AFTERPROC = 133;
inline constexpr unsigned IDD_FILEPROC = 134;
inline constexpr unsigned IDD_NOTICEPROC = 135;
inline constexpr unsigned IDD_SETENV = 136;
inline constexpr unsigned IDD_HISTORY = 137;

// Menu and icon ids.
inline constexpr unsigned IDR_MAINFRAME = 128;
inline constexpr unsigned IDR_TRAYMENU = 131;
inline constexpr unsigned IDI_TRAY = 130;

// A control without an id of its own (labels, frames).
inline constexpr int IDC_STATIC = -1;

enum class ControlKind : std::uint8_t {
    PushButton,
    DefPushButton,
    CheckBox,     // automatic
    RadioButton,  // automatic
    GroupBox,
    Edit,
    Static,
    Icon,       // a static showing an icon; the text is the icon id in decimal
    BlackFrame, // sunken black frame
    GrayRect,   // sunken grey rectangle
    ListBox,
    TabControl,
    ReportList,  // rows of cells under column headers, one row selected at a time
};

// Style flags of a control beyond what its kind implies.
namespace style {
inline constexpr std::uint32_t kGroup = 1u << 0;          // starts a group
inline constexpr std::uint32_t kTabStop = 1u << 1;
inline constexpr std::uint32_t kHidden = 1u << 2;         // created without the visible style
inline constexpr std::uint32_t kMultiLine = 1u << 3;      // a button's text wraps
inline constexpr std::uint32_t kTextTop = 1u << 4;        // a button's text at its top
inline constexpr std::uint32_t kBorder = 1u << 5;
inline constexpr std::uint32_t kAutoHScroll = 1u << 6;    // edits
inline constexpr std::uint32_t kNotify = 1u << 7;         // list box: LBS_NOTIFY
inline constexpr std::uint32_t kNoSort = 1u << 8;         // list box: no LBS_SORT
inline constexpr std::uint32_t kNoIntegralHeight = 1u << 9;
inline constexpr std::uint32_t kVScroll = 1u << 10;
inline constexpr std::uint32_t kSunken = 1u << 11;        // SS_SUNKEN
// How a control of a resizable dialog follows the window's size: its right
// or bottom edge keeps its distance to the window's (grow), or the control
// keeps its size and moves along (follow).
inline constexpr std::uint32_t kGrowRight = 1u << 12;
inline constexpr std::uint32_t kGrowBottom = 1u << 13;
inline constexpr std::uint32_t kFollowRight = 1u << 14;
inline constexpr std::uint32_t kFollowBottom = 1u << 15;
}  // namespace style

// A rectangle in dialog units.
struct DluRect {
    std::int16_t x, y, cx, cy;
};

struct ControlTemplate {
    int id;  // IDC_STATIC for none
    ControlKind kind;
    std::uint32_t styles;
    DluRect rect;
    std::u8string_view text;
};

enum class DialogKind : std::uint8_t {
    Modal,  // pop-up with caption, system menu and modal frame
    Page,   // child window without border or caption, placed by its own rectangle
    Resizable,  // a modal dialog with a sizing border; its rectangle is its least size
};

struct DialogTemplate {
    unsigned id;
    DialogKind kind;
    DluRect rect;  // x and y place a page inside its parent
    std::u8string_view caption;
    std::uint16_t pointSize;
    std::u8string_view font;
    std::span<const ControlTemplate> controls;  // template order, which is the tab order
};

// The template of a dialog id; nullptr for an id that has none.
const DialogTemplate* FindDialogTemplate(unsigned id);

// The id of the dialog's default push button; 0 when it has none.
int DefaultButtonId(const DialogTemplate& dialog);

// A menu: top-level items, each a popup with its items (separators have id 0
// and no text).
struct MenuItemTemplate {
    unsigned id;
    std::u8string_view text;
};
struct PopupTemplate {
    std::u8string_view text;
    std::span<const MenuItemTemplate> items;
};
struct MenuTemplate {
    unsigned id;
    std::span<const PopupTemplate> popups;
};
const MenuTemplate* FindMenuTemplate(unsigned id);

// The string table; empty when the id has no string.
std::optional<std::u8string_view> FindString(unsigned id);

}  // namespace molvar::res
