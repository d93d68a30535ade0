// The Win32 backend: every dialog is a real window made from its template,
// written out as a DLGTEMPLATEEX in memory, and modal dialogs run in the
// framework's own loop.
#include "framework/win32/win32_window.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>
#include <utility>

#include "framework/backend_support/edit_limit.h"
#include "framework/backend_support/follow_size.h"
#include "platform/native_path.h"
#include "platform/win32/wide_path.h"
#include "text/convert.h"
#include "text/win32/wide.h"

namespace molvar::framework {
namespace win32 {
namespace {

using res::ControlKind;
namespace style = res::style;

// The predefined classes of a dialog template, by ordinal.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kListBoxClass = 0x0083;

std::vector<Win32Window*>& Registry() {
    static std::vector<Win32Window*> windows;
    return windows;
}

void Unregister(const Win32Window* window) { std::erase(Registry(), window); }

// The template texts are checked to have code page 932 forms; they go the
// way every other text goes.
std::wstring Wide(std::u8string_view literal) { return text::ToWideForDisplay(text::LiteralToCp932(literal)); }

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, buffer.data(), length + 1);
    buffer.resize(static_cast<std::size_t>(std::clamp(got, 0, length)));
    return buffer;
}

// Code page 932 of a control's text. The edits never hold a character
// without a form there; should one come anyway (a label), it is left out.
text::Cp932String Narrow(std::wstring_view wide) {
    return text::FromUtf16DroppingUnmapped(std::u16string(wide.begin(), wide.end()));
}

// The change as it fits the edit's limit (see FitEdit).
std::wstring FitWideEdit(const std::wstring& before, const std::wstring& now, std::size_t limit, std::size_t& caret) {
    return FitEdit(before, now, limit, caret, [](std::wstring_view units) -> std::optional<std::size_t> {
        const auto bytes = text::FromWide(units);
        return bytes ? std::optional<std::size_t>(bytes->size()) : std::nullopt;
    });
}

// A dialog template in memory: WORDs, with the DWORD alignment of the items
// counted from its start.
class TemplateWriter {
public:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Short(std::int16_t value) { Word(static_cast<WORD>(value)); }
    void String(const std::wstring& value) {
        for (const wchar_t unit : value) {
            Word(static_cast<WORD>(unit));
        }
        Word(0);
    }
    void AlignToDword() {
        if (words_.size() % 2 != 0) {
            Word(0);
        }
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;
};

bool IsButton(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton || kind == ControlKind::CheckBox ||
           kind == ControlKind::RadioButton || kind == ControlKind::GroupBox;
}

DWORD ControlStyle(const res::ControlTemplate& control) {
    const std::uint32_t flags = control.styles;
    DWORD result = WS_CHILD;
    if ((flags & style::kHidden) == 0) result |= WS_VISIBLE;
    if ((flags & style::kGroup) != 0) result |= WS_GROUP;
    if ((flags & style::kTabStop) != 0) result |= WS_TABSTOP;
    if ((flags & style::kBorder) != 0) result |= WS_BORDER;
    if ((flags & style::kVScroll) != 0) result |= WS_VSCROLL;
    if (IsButton(control.kind)) {
        if ((flags & style::kMultiLine) != 0) result |= BS_MULTILINE;
        if ((flags & style::kTextTop) != 0) result |= BS_TOP;
    }
    switch (control.kind) {
    case ControlKind::PushButton:
        return result | BS_PUSHBUTTON;
    case ControlKind::DefPushButton:
        return result | BS_DEFPUSHBUTTON;
    case ControlKind::CheckBox:
        return result | BS_AUTOCHECKBOX;
    case ControlKind::RadioButton:
        return result | BS_AUTORADIOBUTTON;
    case ControlKind::GroupBox:
        return result | BS_GROUPBOX;
    case ControlKind::Edit:
        return result | ES_LEFT | ((flags & style::kAutoHScroll) != 0 ? ES_AUTOHSCROLL : 0);
    case ControlKind::Static:
        return result | SS_LEFT;
    case ControlKind::Icon:
        return result | SS_ICON;
    // Frames and panels lie under the controls made before them: they must
    // not paint over those.
    case ControlKind::BlackFrame:
        return result | WS_CLIPSIBLINGS | SS_BLACKFRAME | ((flags & style::kSunken) != 0 ? SS_SUNKEN : 0);
    case ControlKind::GrayRect:
        return result | WS_CLIPSIBLINGS | SS_GRAYRECT | ((flags & style::kSunken) != 0 ? SS_SUNKEN : 0);
    case ControlKind::ListBox:
        return result | ((flags & style::kNotify) != 0 ? LBS_NOTIFY : 0) |
               ((flags & style::kNoIntegralHeight) != 0 ? LBS_NOINTEGRALHEIGHT : 0) |
               ((flags & style::kNoSort) != 0 ? 0 : LBS_SORT);
    case ControlKind::TabControl:
        // A page lies on top of it: it must not paint over the page.
        return result | WS_CLIPSIBLINGS;
    case ControlKind::ReportList:
        return result | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER;
    }
    return result;
}

// The text a control is made with: labels only; the icon comes after.
std::wstring InitialText(const res::ControlTemplate& control) {
    switch (control.kind) {
    case ControlKind::Edit:
    case ControlKind::ListBox:
    case ControlKind::TabControl:
    case ControlKind::ReportList:
    case ControlKind::Icon:
        return {};
    default:
        return Wide(control.text);
    }
}

TemplateWriter WriteTemplate(const res::DialogTemplate& source) {
    const bool page = source.kind == res::DialogKind::Page;
    // A page is a control of its parent (DS_CONTROL): Tab and the
    // mnemonics of the dialog around it reach into it. It is placed by
    // its parent's dialog units afterwards.
    const DWORD dialogStyle = DS_SETFONT | DS_3DLOOK |
                              (page ? WS_CHILD | DS_CONTROL
                                    : WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER) |
                              (source.kind == res::DialogKind::Resizable ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0);
    TemplateWriter writer;
    writer.Word(1);       // dlgVer
    writer.Word(0xFFFF);  // signature: DLGTEMPLATEEX
    writer.Dword(0);      // helpID
    writer.Dword(page ? WS_EX_CONTROLPARENT : 0);
    writer.Dword(dialogStyle);
    writer.Word(static_cast<WORD>(source.controls.size()));
    writer.Short(page ? 0 : source.rect.x);
    writer.Short(page ? 0 : source.rect.y);
    writer.Short(source.rect.cx);
    writer.Short(source.rect.cy);
    writer.Word(0);  // no menu
    writer.Word(0);  // the dialog class
    writer.String(Wide(source.caption));
    writer.Word(source.pointSize);
    writer.Word(FW_NORMAL);
    writer.Word(MAKEWORD(FALSE, SHIFTJIS_CHARSET));  // italic, charset
    writer.String(Wide(source.font));
    for (const res::ControlTemplate& control : source.controls) {
        writer.AlignToDword();
        writer.Dword(0);  // helpID
        writer.Dword(0);  // extended style
        writer.Dword(ControlStyle(control));
        writer.Short(control.rect.x);
        writer.Short(control.rect.y);
        writer.Short(control.rect.cx);
        writer.Short(control.rect.cy);
        writer.Dword(static_cast<DWORD>(control.id));
        switch (control.kind) {
        case ControlKind::Edit:
            writer.Word(0xFFFF);
            writer.Word(kEditClass);
            break;
        case ControlKind::Static:
        case ControlKind::Icon:
        case ControlKind::BlackFrame:
        case ControlKind::GrayRect:
            writer.Word(0xFFFF);
            writer.Word(kStaticClass);
            break;
        case ControlKind::ListBox:
            writer.Word(0xFFFF);
            writer.Word(kListBoxClass);
            break;
        case ControlKind::TabControl:
            writer.String(WC_TABCONTROLW);
            break;
        case ControlKind::ReportList:
            writer.String(WC_LISTVIEWW);
            break;
        default:
            writer.Word(0xFFFF);
            writer.Word(kButtonClass);
            break;
        }
        writer.String(InitialText(control));
        writer.Word(0);  // no creation data
    }
    return writer;
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    static_cast<void>(done);
}

// Report cells are UTF-8; the platform's native-path conversions carry them
// (bytes that are not UTF-8 show as U+FFFD).
std::wstring WideOfUtf8(std::string_view utf8) { return platform::win32::WideOf(platform::NativeFromUtf8(utf8)); }

std::string Utf8OfWide(std::wstring_view wide) { return platform::Utf8ForDisplay(platform::win32::NativeOfWide(wide)); }

// Puts the focus on `control` the way the dialog manager does (an edit's
// text selected, the default button following the focus).
void FocusControl(HWND dialog, HWND control) {
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

}  // namespace

Win32Window::Win32Window(const res::DialogTemplate& source, CDialog& dialog) : source_(source), dialog_(dialog) {
    for (const res::ControlTemplate& control : source.controls) {
        if (control.kind == ControlKind::Edit) {
            edits_[control.id];
        }
    }
}

Win32Window::~Win32Window() {
    Unregister(this);
    if (window_ != nullptr) {
        // Nothing of the window reaches the dialog any more.
        ::SetWindowLongPtrW(window_, DWLP_USER, 0);
        const HWND window = window_;
        window_ = nullptr;
        ::DestroyWindow(window);
    }
}

bool Win32Window::Create(HWND parent) {
    const TemplateWriter writer = WriteTemplate(source_);
    const HWND made = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), writer.Get(), parent, DialogProc,
                                                   reinterpret_cast<LPARAM>(this));
    if (made == nullptr) {
        window_ = nullptr;
        return false;
    }
    window_ = made;
    Registry().push_back(this);
    // The icon of a label is the program's own; a program without it (a
    // test) shows an empty label. The children are still in template order.
    HWND child = ::GetWindow(window_, GW_CHILD);
    for (const res::ControlTemplate& control : source_.controls) {
        if (child == nullptr) {
            break;
        }
        unsigned iconId = 0;
        const auto* first = reinterpret_cast<const char*>(control.text.data());
        if (control.kind == ControlKind::Icon &&
            std::from_chars(first, first + control.text.size(), iconId).ec == std::errc()) {
            if (const HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                 0, 0, LR_DEFAULTSIZE | LR_SHARED)) {
                ::SendMessageW(child, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
            }
        }
        if (control.kind == ControlKind::ReportList) {
            PrepareReportList(child);
        }
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
    if (source_.kind == res::DialogKind::Page) {
        PlaceInParent(parent);
    }
    if (source_.kind == res::DialogKind::Resizable) {
        KeepLayout();
    }
    ready_ = true;
    return true;
}

// A page stands at its template's position in its parent's dialog units,
// just above the parent's tab control: drawn over it, and reached with Tab
// right before it.
void Win32Window::PlaceInParent(HWND parent) {
    RECT at{source_.rect.x, source_.rect.y, 0, 0};
    ::MapDialogRect(parent, &at);
    HWND after = HWND_TOP;
    if (const Win32Window* holder = WindowHolding(parent)) {
        for (const res::ControlTemplate& control : holder->source_.controls) {
            if (control.kind == ControlKind::TabControl) {
                if (const HWND previous = ::GetWindow(holder->Control(control.id), GW_HWNDPREV)) {
                    after = previous;
                }
                break;
            }
        }
    }
    ::SetWindowPos(window_, after, at.left, at.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Window::PrepareReportList(HWND list) {
    constexpr DWORD kRowStyle = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kRowStyle, kRowStyle);
    // The list view destroys the image list with itself (it is not shared).
    const HIMAGELIST images = ::ImageList_Create(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 ILC_COLOR32 | ILC_MASK, 1, 0);
    const auto icon = static_cast<HICON>(::LoadImageW(nullptr, IDI_ERROR, IMAGE_ICON,
                                                      ::GetSystemMetrics(SM_CXSMICON),
                                                      ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (images != nullptr && icon != nullptr) {
        ::ImageList_AddIcon(images, icon);
    }
    ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void Win32Window::KeepLayout() {
    RECT window;
    RECT client;
    ::GetWindowRect(window_, &window);
    ::GetClientRect(window_, &client);
    leastWindow_ = {window.right - window.left, window.bottom - window.top};
    leastClient_ = {client.right, client.bottom};
    for (const res::ControlTemplate& control : source_.controls) {
        if ((control.styles & kFollowsSize) != 0 && control.id != res::IDC_STATIC) {
            RECT at;
            ::GetWindowRect(Control(control.id), &at);
            ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&at), 2);
            placed_[control.id] = at;
        }
    }
}

void Win32Window::FollowSize(int width, int height) {
    const int dx = std::max(0, width - static_cast<int>(leastClient_.cx));
    const int dy = std::max(0, height - static_cast<int>(leastClient_.cy));
    for (const auto& [id, at] : placed_) {
        const ControlEdges now = FollowedEdges({at.left, at.top, at.right, at.bottom}, Find(id)->styles, dx, dy);
        ::SetWindowPos(Control(id), nullptr, now.left, now.top, now.right - now.left, now.bottom - now.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Buttons moved over what the window painted before.
    ::InvalidateRect(window_, nullptr, TRUE);
}

INT_PTR CALLBACK Win32Window::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Window*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        return FALSE;  // the framework decides the focus
    }
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR Win32Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return OnControlCommand(static_cast<std::int16_t>(LOWORD(wParam)), HIWORD(wParam),
                                reinterpret_cast<HWND>(lParam))
                   ? TRUE
                   : FALSE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        const int id = static_cast<int>(header->idFrom);
        if (!ready_ || Find(id) == nullptr) {
            return FALSE;
        }
        const HWND window = window_;
        long result = 0;
        if (!dialog_.OnNotify(id, header->code, &result)) {
            return FALSE;
        }
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_GETMINMAXINFO:
        if (leastWindow_.cx > 0) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {leastWindow_.cx, leastWindow_.cy};
            return TRUE;
        }
        return FALSE;
    case WM_SIZE:
        if (!placed_.empty()) {
            FollowSize(LOWORD(lParam), HIWORD(lParam));
        }
        return FALSE;
    case WM_CLOSE:
        // The close box and Alt+F4 cancel, as Escape does.
        if (ready_ && source_.kind != res::DialogKind::Page) {
            dialog_.OnCommand(IDCANCEL, BN_CLICKED);
        }
        return TRUE;
    case WM_NCDESTROY:
        Unregister(this);
        window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

bool Win32Window::OnControlCommand(int id, unsigned code, HWND control) {
    const res::ControlTemplate* source = Find(id);
    const auto edit = edits_.find(id);
    if (edit != edits_.end() && control != nullptr) {
        EditState& state = edit->second;
        if (code == EN_UPDATE) {
            if (!state.fixing) {
                CheckEdit(id, state);
            }
            return true;
        }
        if (code != EN_CHANGE || state.fixing) {
            return code == EN_CHANGE;
        }
        if (state.programmatic) {
            state.accepted = WindowText(control);
            state.changed = false;
            state.reported = true;
        } else {
            CheckEdit(id, state);
            if (!state.changed) {
                return true;  // refused, or put back as it was
            }
            state.changed = false;
        }
        if (ready_) {
            dialog_.OnCommand(id, EN_CHANGE);
        }
        return true;
    }
    if (!ready_) {
        return false;  // made while the window is being made: nobody listens yet
    }
    const bool listBox = source != nullptr && source->kind == ControlKind::ListBox;
    if (code != (listBox ? LBN_SELCHANGE : BN_CLICKED)) {
        return false;
    }
    // IDOK and IDCANCEL also come from the dialog manager (Enter, Escape)
    // when the template has no such button.
    return dialog_.OnCommand(id, code);
}

void Win32Window::CheckEdit(int id, EditState& state) {
    const HWND edit = Control(id);
    std::wstring now = WindowText(edit);
    if (now == state.accepted) {
        return;
    }
    if (state.programmatic) {
        state.accepted = std::move(now);
        state.changed = true;
        return;
    }
    std::size_t caret = 0;
    std::wstring kept = FitWideEdit(state.accepted, now, state.limit, caret);
    if (kept != now) {
        state.fixing = true;
        ::SetWindowTextW(edit, kept.c_str());
        ::SendMessageW(edit, EM_SETSEL, caret, caret);
        state.fixing = false;
    }
    state.changed = state.changed || kept != state.accepted;
    state.accepted = std::move(kept);
}

const res::ControlTemplate* Win32Window::Find(int id) const {
    const auto found = std::find_if(source_.controls.begin(), source_.controls.end(),
                                    [id](const res::ControlTemplate& control) { return control.id == id; });
    return found != source_.controls.end() ? &*found : nullptr;
}

HWND Win32Window::Control(int id) const {
    if (window_ == nullptr) {
        return nullptr;
    }
    if (id == 0) {
        return window_;
    }
    return Find(id) != nullptr ? ::GetDlgItem(window_, id) : nullptr;
}

Win32Window* Win32Window::TopWindow() {
    if (window_ == nullptr) {
        return this;
    }
    Win32Window* top = WindowHolding(::GetAncestor(window_, GA_ROOT));
    return top != nullptr ? top : this;
}

void Win32Window::SetText(int id, const text::Cp932String& value) {
    const HWND control = Control(id);
    if (control == nullptr) {
        return;
    }
    const std::wstring wide = text::ToWideForDisplay(value);
    const auto edit = edits_.find(id);
    if (edit == edits_.end()) {
        ::SetWindowTextW(control, wide.c_str());
        return;
    }
    EditState& state = edit->second;
    state.programmatic = true;
    state.reported = false;
    ::SetWindowTextW(control, wide.c_str());
    state.programmatic = false;
    state.accepted = WindowText(control);
    // An edit reports every change of its text, also one made by the
    // program; the notification is made up where the edit kept still.
    if (!state.reported && ready_) {
        dialog_.OnCommand(id, EN_CHANGE);
    }
}

text::Cp932String Win32Window::GetText(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? Narrow(WindowText(control)) : text::Cp932String();
}

void Win32Window::SetLimit(int id, std::size_t bytes) {
    const auto edit = edits_.find(id);
    if (edit == edits_.end()) {
        return;
    }
    edit->second.limit = bytes;
    // What the edit holds stays, even past the new limit.
    edit->second.accepted = WindowText(Control(id));
}

void Win32Window::SetCheck(int id, int state) {
    if (const HWND control = Control(id)) {
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(state), 0);
    }
}

int Win32Window::GetCheck(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0)) : BST_UNCHECKED;
}

void Win32Window::Enable(int id, bool on) {
    if (const HWND control = Control(id)) {
        ::EnableWindow(control, on ? TRUE : FALSE);
    }
}

bool Win32Window::IsEnabled(int id) const {
    const HWND control = Control(id);
    return control != nullptr && (::GetWindowLongW(control, GWL_STYLE) & WS_DISABLED) == 0;
}

void Win32Window::Show(int id, bool on) {
    if (id == 0 && on) {
        ShowWindow();
    } else if (const HWND control = Control(id)) {
        ::ShowWindow(control, on ? SW_SHOWNA : SW_HIDE);
    }
}

bool Win32Window::IsVisible(int id) const {
    const HWND control = Control(id);
    return control != nullptr && (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Window::SetFocus(int id) {
    const HWND control = Control(id);
    if (control == nullptr) {
        return;
    }
    // A hidden dialog cannot be activated: its focus waits until it shows.
    Win32Window* top = TopWindow();
    if (!::IsWindowVisible(top->window_)) {
        top->pendingFocus_ = control;
        return;
    }
    if (control == window_) {
        ::SetFocus(control);
    } else {
        FocusControl(top->window_, control);
    }
}

void Win32Window::FocusFirstTabStop() {
    for (const res::ControlTemplate& control : source_.controls) {
        const bool tabStop = (control.styles & style::kTabStop) != 0 || control.kind == ControlKind::TabControl;
        if (control.id != res::IDC_STATIC && tabStop && IsEnabled(control.id) && IsVisible(control.id)) {
            SetFocus(control.id);
            return;
        }
    }
}

int Win32Window::ListInsert(int id, int index, const text::Cp932String& line) {
    const HWND control = Control(id);
    if (control == nullptr) {
        return LB_ERR;
    }
    if (index > ListCount(id)) {
        index = -1;  // past the end: appended
    }
    const std::wstring wide = text::ToWideForDisplay(line);
    const LRESULT at = ::SendMessageW(control, LB_INSERTSTRING, static_cast<WPARAM>(index < 0 ? -1 : index),
                                      reinterpret_cast<LPARAM>(wide.c_str()));
    return at < 0 ? LB_ERR : static_cast<int>(at);
}

void Win32Window::ListDelete(int id, int index) {
    if (const HWND control = Control(id); control != nullptr && index >= 0) {
        ::SendMessageW(control, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    }
}

void Win32Window::ListReset(int id) {
    if (const HWND control = Control(id)) {
        ::SendMessageW(control, LB_RESETCONTENT, 0, 0);
    }
}

int Win32Window::ListCount(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? std::max(0, static_cast<int>(::SendMessageW(control, LB_GETCOUNT, 0, 0))) : 0;
}

text::Cp932String Win32Window::ListText(int id, int index) const {
    const HWND control = Control(id);
    if (control == nullptr || index < 0) {
        return {};
    }
    const LRESULT length = ::SendMessageW(control, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) {
        return {};
    }
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got =
        ::SendMessageW(control, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line.data()));
    line.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, length)));
    return Narrow(line);
}

void Win32Window::ListSelect(int id, int index) {
    if (const HWND control = Control(id)) {
        const bool inRange = index >= 0 && index < ListCount(id);
        ::SendMessageW(control, LB_SETCURSEL, static_cast<WPARAM>(inRange ? index : -1), 0);
    }
}

int Win32Window::ListSelection(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? static_cast<int>(::SendMessageW(control, LB_GETCURSEL, 0, 0)) : LB_ERR;
}

void Win32Window::TabReset(int id) {
    if (const HWND control = Control(id)) {
        ::SendMessageW(control, TCM_DELETEALLITEMS, 0, 0);
    }
}

void Win32Window::TabInsert(int id, int index, const text::Cp932String& label) {
    const HWND control = Control(id);
    if (control == nullptr) {
        return;
    }
    std::wstring wide = text::ToWideForDisplay(label);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = wide.data();
    ::SendMessageW(control, TCM_INSERTITEMW, static_cast<WPARAM>(std::max(index, 0)),
                   reinterpret_cast<LPARAM>(&item));
    // The first tab is selected as it comes.
    if (::SendMessageW(control, TCM_GETCURSEL, 0, 0) < 0) {
        ::SendMessageW(control, TCM_SETCURSEL, 0, 0);
    }
}

void Win32Window::TabSelect(int id, int index) {
    if (const HWND control = Control(id)) {
        ::SendMessageW(control, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

int Win32Window::TabSelection(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? static_cast<int>(::SendMessageW(control, TCM_GETCURSEL, 0, 0)) : -1;
}

int Win32Window::TabCount(int id) const {
    const HWND control = Control(id);
    return control != nullptr ? static_cast<int>(::SendMessageW(control, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

void Win32Window::ReportAddColumn(int id, const text::Cp932String& header) {
    const HWND list = Control(id);
    if (list == nullptr) {
        return;
    }
    const HWND headers = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = headers != nullptr ? static_cast<int>(::SendMessageW(headers, HDM_GETITEMCOUNT, 0, 0)) : 0;
    std::wstring wide = text::ToWideForDisplay(header);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = wide.data();
    column.cx = 80;
    column.iSubItem = count;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(&column));
}

int Win32Window::ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) {
    const HWND list = Control(id);
    if (list == nullptr) {
        return -1;
    }
    const int count = ReportRowCount(id);
    std::wstring first = WideOfUtf8(cells.empty() ? std::string_view() : std::string_view(cells.front()));
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index < 0 || index > count ? count : index;
    item.pszText = first.data();
    item.iImage = marked ? 0 : I_IMAGENONE;
    const int at = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) {
        return -1;
    }
    for (std::size_t column = 1; column < cells.size(); ++column) {
        std::wstring wide = WideOfUtf8(cells[column]);
        LVITEMW cell{};
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = wide.data();
        ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&cell));
    }
    return at;
}

void Win32Window::ReportDeleteRow(int id, int index) {
    if (const HWND list = Control(id); list != nullptr && index >= 0) {
        ::SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    }
}

int Win32Window::ReportRowCount(int id) const {
    const HWND list = Control(id);
    return list != nullptr ? static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string Win32Window::ReportCell(int id, int row, int column) const {
    const HWND list = Control(id);
    if (list == nullptr || row < 0 || column < 0) {
        return {};
    }
    // The list view says how much it copied, not how long the text is.
    for (std::size_t size = 256;; size *= 4) {
        std::wstring text(size, L'\0');
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = text.data();
        cell.cchTextMax = static_cast<int>(size);
        const auto got = static_cast<std::size_t>(
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell)));
        if (got + 1 < size || size >= 65536) {
            text.resize(std::min(got, size - 1));
            return Utf8OfWide(text);
        }
    }
}

bool Win32Window::ReportRowMarked(int id, int row) const {
    const HWND list = Control(id);
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    return list != nullptr && row >= 0 &&
           ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE && item.iImage == 0;
}

void Win32Window::ReportFitColumns(int id) {
    const HWND list = Control(id);
    const HWND headers = list != nullptr ? reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0)) : nullptr;
    if (headers == nullptr) {
        return;
    }
    const int count = static_cast<int>(::SendMessageW(headers, HDM_GETITEMCOUNT, 0, 0));
    // The wider of the cells and the header; the last column would
    // otherwise fill whatever room is left, however little.
    for (int column = 0; column < count; ++column) {
        const auto fit = [&](LPARAM how) {
            ::SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), how);
            return ::SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0);
        };
        const LRESULT cells = fit(LVSCW_AUTOSIZE);
        const LRESULT header = fit(LVSCW_AUTOSIZE_USEHEADER);
        if (column + 1 == count || cells > header) {
            fit(std::max(cells, header));
        }
    }
}

void Win32Window::ShowWindow() {
    if (window_ == nullptr) {
        return;
    }
    if (source_.kind == res::DialogKind::Page) {
        ::ShowWindow(window_, SW_SHOWNA);
        return;
    }
    ::ShowWindow(window_, SW_SHOW);
    const HWND focus = std::exchange(pendingFocus_, nullptr);
    if (focus != nullptr && ::IsWindow(focus) && ::IsChild(window_, focus)) {
        FocusControl(window_, focus);
    }
}

Win32Window* WindowHolding(HWND hwnd) {
    const auto& windows = Registry();
    for (HWND at = hwnd; at != nullptr; at = ::GetAncestor(at, GA_PARENT)) {
        const auto found =
            std::find_if(windows.begin(), windows.end(), [at](const Win32Window* w) { return w->Handle() == at; });
        if (found != windows.end()) {
            return *found;
        }
        if ((::GetWindowLongW(at, GWL_STYLE) & WS_CHILD) == 0) {
            break;  // a top-level window that is not ours
        }
    }
    return nullptr;
}

const std::vector<Win32Window*>& AllWindows() { return Registry(); }

HWND HandleOf(const CWnd* window) {
    if (window == nullptr) {
        return nullptr;
    }
    if (const auto* frame = dynamic_cast<const CFrameWnd*>(window)) {
        return FrameHandle(frame->GetFramePeer());
    }
    const auto* peer = dynamic_cast<const Win32Window*>(window->Peer());
    return peer != nullptr ? peer->Handle() : nullptr;
}

HWND ActiveModalWindow() { return HandleOf(ActiveModalDialog()); }

namespace {

class Win32Backend final : public WindowBackend {
public:
    std::unique_ptr<WindowPeer> CreateDialogWindow(const res::DialogTemplate& source, CDialog& dialog,
                                                   CWnd* parent) override {
        EnsureCommonControls();
        HWND parentWindow = HandleOf(parent);
        if (source.kind == res::DialogKind::Page) {
            if (parentWindow == nullptr) {
                return nullptr;  // a page lives inside a window
            }
        } else if (parentWindow != nullptr) {
            parentWindow = ::GetAncestor(parentWindow, GA_ROOT);  // owners are top-level windows
        }
        auto window = std::make_unique<Win32Window>(source, dialog);
        if (!window->Create(parentWindow)) {
            return nullptr;
        }
        return window;
    }

    ModalState BeginModal(CDialog& dialog, CWnd* owner) override {
        const HWND window = HandleOf(&dialog);
        HWND ownerWindow = HandleOf(owner);
        ownerWindow = ownerWindow != nullptr ? ::GetAncestor(ownerWindow, GA_ROOT)
                                             : (window != nullptr ? ::GetWindow(window, GW_OWNER) : nullptr);
        ModalState state;
        state.owner = reinterpret_cast<std::uintptr_t>(ownerWindow);
        state.disabledOwner = ownerWindow != nullptr && ::IsWindowEnabled(ownerWindow);
        if (state.disabledOwner) {
            ::EnableWindow(ownerWindow, FALSE);
        }
        // Written before the flag is read again: EndDialog on another thread
        // either sees this thread or ends the loop before it waits.
        state.outerLoop = loopThread_.exchange(::GetCurrentThreadId());
        return state;
    }

    void EndModal(CDialog& dialog, const ModalState& state) override {
        loopThread_ = static_cast<DWORD>(state.outerLoop);
        const auto ownerWindow = reinterpret_cast<HWND>(state.owner);
        // The owner comes back before the window goes, so that it gets the
        // activation rather than another program.
        if (state.disabledOwner) {
            ::EnableWindow(ownerWindow, TRUE);
        }
        const HWND window = HandleOf(&dialog);
        if (window != nullptr && ::IsWindow(window)) {
            const bool wasActive = ::GetActiveWindow() == window;
            ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
            if (wasActive && ownerWindow != nullptr) {
                ::SetActiveWindow(ownerWindow);
            }
        }
    }

    Pumped PumpOne(CDialog& dialog, bool wait) override {
        const HWND window = HandleOf(&dialog);
        if (window == nullptr || !::IsWindow(window)) {
            return Pumped::Gone;
        }
        MSG message;
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!wait) {
                return Pumped::Nothing;
            }
            ::WaitMessage();
            return Pumped::Handled;
        }
        if (message.message == WM_QUIT) {
            quitStatus_ = message.wParam;
            return Pumped::Quit;
        }
        Dispatch(message, window);
        return Pumped::Handled;
    }

    // The loop outside ends too.
    void PassQuitOn() override { ::PostQuitMessage(static_cast<int>(quitStatus_)); }

    MessageBoxPresenter& MessageBoxes() override { return win32::MessageBoxes(); }
    Choosers& FileChoosers() override { return win32::FileChoosers(); }
    std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) override { return win32::MakeFramePeer(frame); }
    bool BringWindowWithPropForward(const text::Cp932String& name) override {
        return win32::BringWindowWithPropForward(name);
    }
    int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) override {
        return win32::RunMessageLoop(target, quitCommand);
    }

    void WakeModalLoop() override {
        if (const DWORD thread = loopThread_.load()) {
            ::PostThreadMessageW(thread, WM_NULL, 0, 0);
        }
    }

private:
    // A key goes to PreTranslateMessage of the window holding the focus and
    // its parents first, then to the dialog manager: Windows' own, which
    // also moves the focus and takes mnemonics.
    static void Dispatch(MSG& message, HWND dialogWindow) {
        if (message.message == WM_KEYDOWN) {
            if (Win32Window* holder = WindowHolding(message.hwnd)) {
                Message key{WM_KEYDOWN, static_cast<unsigned>(message.wParam), &holder->Dialog()};
                if (PreTranslateThroughParents(key)) {
                    return;
                }
            }
        }
        if (::IsDialogMessageW(dialogWindow, &message)) {
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }

    WPARAM quitStatus_ = 0;
    std::atomic<DWORD> loopThread_{0};
};

}  // namespace
}  // namespace win32

WindowBackend& PlatformBackend() {
    static win32::Win32Backend backend;
    return backend;
}

}  // namespace molvar::framework
