// The user of the headless backend: acts on the windows in memory as a
// keyboard and a mouse would, and the dialogs hear the same notifications
// as from real controls.
#include <string>

#include "framework/posix/backend_choice.h"
#include "framework/dialog_user.h"
#include "framework/headless/headless_window.h"
#include "text/convert.h"

namespace molvar::framework {
namespace {

using headless::HeadlessWindow;
using headless::TheDesktop;

// Whether `window` is the modal dialog's window or one of its pages.
bool InActiveDialog(const HeadlessWindow& window) { return InActiveModalDialog(window.Dialog()); }

// The length of the UTF-8 character that starts with `lead`.
std::size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

class HeadlessUser final : public DialogUser {
public:
    bool HasWindow(unsigned templateId) const override { return FindWindow(templateId) != nullptr; }

    void Type(ControlRef control, std::string_view utf8) override {
        HeadlessWindow* window = Reachable(control);
        if (window == nullptr) {
            return;
        }
        headless::ControlState& state = *window->Find(control.id);
        window->SetFocus(control.id);
        // All of the old text is selected and replaced.
        if (!state.text.empty()) {
            state.text = {};
            window->Dialog().OnCommand(control.id, EN_CHANGE);
        }
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t length = Utf8Length(static_cast<unsigned char>(utf8[at]));
            const auto character = text::FromUtf8(utf8.substr(at, length));
            at += length;
            // A character without a code page 932 form, or one past the
            // limit, is refused as the edit refuses it.
            if (!character || state.text.size() + character->size() > state.limit) {
                continue;
            }
            state.text += *character;
            window->Dialog().OnCommand(control.id, EN_CHANGE);
        }
    }

    void Click(ControlRef control) override {
        HeadlessWindow* window = Reachable(control);
        if (window == nullptr) {
            return;
        }
        headless::ControlState& state = *window->Find(control.id);
        window->SetFocus(control.id);
        switch (state.source->kind) {
            case res::ControlKind::CheckBox:
                state.check = state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
                break;
            case res::ControlKind::RadioButton:
                for (int id : window->RadioGroupOf(control.id)) {
                    window->Find(id)->check = id == control.id ? BST_CHECKED : BST_UNCHECKED;
                }
                break;
            default:
                break;
        }
        window->Dialog().OnCommand(control.id, BN_CLICKED);
    }

    void PickTab(ControlRef control, int index) override {
        HeadlessWindow* window = Reachable(control);
        if (window == nullptr) {
            return;
        }
        headless::ControlState& state = *window->Find(control.id);
        // A click on the selected tab changes nothing and says nothing.
        if (index == state.selection || index < 0 || static_cast<std::size_t>(index) >= state.lines.size()) {
            return;
        }
        state.selection = index;
        long result = 0;
        window->Dialog().OnNotify(control.id, TCN_SELCHANGE, &result);
    }

    void PickListLine(ControlRef control, int index) override {
        HeadlessWindow* window = Reachable(control);
        if (window == nullptr || index < 0 || index >= window->ListCount(control.id)) {
            return;
        }
        window->SetFocus(control.id);
        window->ListSelect(control.id, index);
        window->Dialog().OnCommand(control.id, LBN_SELCHANGE);
    }

    void PressKey(unsigned virtualKey) override {
        CDialog* modal = ActiveModalDialog();
        if (modal == nullptr) {
            return;
        }
        HeadlessWindow* focus = TheDesktop().focusWindow;
        if (focus != nullptr && !InActiveDialog(*focus)) {
            focus = nullptr;
        }
        int focusedPushButton = 0;
        if (focus != nullptr) {
            const headless::ControlState* state = focus->Find(TheDesktop().focusId);
            if (state != nullptr && state->source != nullptr &&
                (state->source->kind == res::ControlKind::PushButton ||
                 state->source->kind == res::ControlKind::DefPushButton)) {
                focusedPushButton = TheDesktop().focusId;
            }
        }
        OfferKeyToDialog(focus != nullptr ? static_cast<CWnd&>(focus->Dialog()) : *modal, virtualKey, focusedPushButton);
    }

    std::string Text(ControlRef control) const override {
        const headless::ControlState* state = Find(control);
        return state != nullptr ? text::ToUtf8ForDisplay(state->text) : std::string();
    }

    bool IsChecked(ControlRef control) const override {
        const headless::ControlState* state = Find(control);
        return state != nullptr && state->check == BST_CHECKED;
    }

    bool IsEnabled(ControlRef control) const override {
        const headless::ControlState* state = Find(control);
        return state != nullptr && state->enabled;
    }

    bool IsVisible(ControlRef control) const override {
        const HeadlessWindow* window = FindWindow(control.templateId);
        return window != nullptr && window->Reachable(0) && window->Find(control.id) != nullptr &&
               window->Find(control.id)->visible;
    }

    int TabSelection(ControlRef control) const override {
        const headless::ControlState* state = Find(control);
        return state != nullptr ? state->selection : -1;
    }

    int ListSelection(ControlRef control) const override { return TabSelection(control); }

    ControlRef Focus() const override {
        const HeadlessWindow* focus = TheDesktop().focusWindow;
        if (focus == nullptr) {
            return {0, 0};
        }
        return {focus->Template().id, TheDesktop().focusId};
    }

private:
    HeadlessWindow* FindWindow(unsigned templateId) const {
        for (HeadlessWindow* window : TheDesktop().windows) {
            if (window->Template().id == templateId && InActiveDialog(*window)) {
                return window;
            }
        }
        return nullptr;
    }

    const headless::ControlState* Find(ControlRef control) const {
        const HeadlessWindow* window = FindWindow(control.templateId);
        return window != nullptr ? window->Find(control.id) : nullptr;
    }

    // The window of a control the user can act on, or null.
    HeadlessWindow* Reachable(ControlRef control) const {
        HeadlessWindow* window = FindWindow(control.templateId);
        return window != nullptr && window->Reachable(control.id) ? window : nullptr;
    }
};

}  // namespace

std::unique_ptr<DialogUser> headless::MakeDialogUser() { return std::make_unique<HeadlessUser>(); }

}  // namespace molvar::framework
