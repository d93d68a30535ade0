#include <algorithm>
#include <stdexcept>
#include <string>

#include "framework/posix/backend_choice.h"
#include "framework/headless/headless_window.h"
#include "text/convert.h"

namespace molvar::framework {
namespace headless {
namespace {

bool TakesFocusWithTab(const res::ControlTemplate& control) {
    return (control.styles & res::style::kTabStop) != 0 || control.kind == res::ControlKind::TabControl;
}

}  // namespace

Desktop& TheDesktop() {
    static Desktop desktop;
    return desktop;
}

HeadlessWindow::HeadlessWindow(const res::DialogTemplate& source, CDialog& dialog, CWnd* parent)
    : source_(source), dialog_(dialog), parent_(parent) {
    window_.visible = false;
    for (const res::ControlTemplate& control : source.controls) {
        if (control.id == res::IDC_STATIC) {
            continue;
        }
        ControlState& state = controls_[control.id];
        state.source = &control;
        state.visible = (control.styles & res::style::kHidden) == 0;
        if (control.kind != res::ControlKind::Edit && control.kind != res::ControlKind::ListBox &&
            control.kind != res::ControlKind::TabControl && control.kind != res::ControlKind::ReportList) {
            state.text = text::LiteralToCp932(control.text);
        }
    }
    TheDesktop().windows.push_back(this);
}

HeadlessWindow::~HeadlessWindow() {
    Desktop& desktop = TheDesktop();
    std::erase(desktop.windows, this);
    if (desktop.focusWindow == this) {
        desktop.focusWindow = nullptr;
        desktop.focusId = 0;
    }
}

ControlState* HeadlessWindow::Find(int id) {
    if (id == 0) {
        return &window_;
    }
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : &found->second;
}

const ControlState* HeadlessWindow::Find(int id) const { return const_cast<HeadlessWindow*>(this)->Find(id); }

// The framework only names controls its template has: anything else is a
// programming error, caught by the tests.
ControlState& HeadlessWindow::At(int id) {
    ControlState* state = Find(id);
    if (state == nullptr) {
        throw std::logic_error("no control " + std::to_string(id) + " in template " + std::to_string(source_.id));
    }
    return *state;
}

const ControlState& HeadlessWindow::At(int id) const { return const_cast<HeadlessWindow*>(this)->At(id); }

void HeadlessWindow::SetText(int id, const text::Cp932String& value) {
    ControlState& state = At(id);
    state.text = value;
    // An edit reports every change of its text, also one made by the program.
    if (state.source != nullptr && state.source->kind == res::ControlKind::Edit) {
        dialog_.OnCommand(id, EN_CHANGE);
    }
}

text::Cp932String HeadlessWindow::GetText(int id) const { return At(id).text; }

void HeadlessWindow::SetLimit(int id, std::size_t bytes) { At(id).limit = bytes; }

void HeadlessWindow::SetCheck(int id, int state) { At(id).check = state; }

int HeadlessWindow::GetCheck(int id) const { return At(id).check; }

void HeadlessWindow::Enable(int id, bool on) { At(id).enabled = on; }

bool HeadlessWindow::IsEnabled(int id) const { return At(id).enabled; }

void HeadlessWindow::Show(int id, bool on) { At(id).visible = on; }

bool HeadlessWindow::IsVisible(int id) const { return At(id).visible; }

void HeadlessWindow::SetFocus(int id) {
    At(id);
    TheDesktop().focusWindow = this;
    TheDesktop().focusId = id;
}

void HeadlessWindow::FocusFirstTabStop() {
    for (const res::ControlTemplate& control : source_.controls) {
        // Before the window shows, as the dialog manager does it.
        const ControlState* state = Find(control.id);
        if (state != nullptr && TakesFocusWithTab(control) && state->enabled && state->visible) {
            SetFocus(control.id);
            return;
        }
    }
}

int HeadlessWindow::ListInsert(int id, int index, const text::Cp932String& line) {
    auto& lines = At(id).lines;
    if (index < 0 || static_cast<std::size_t>(index) > lines.size()) {
        index = static_cast<int>(lines.size());
    }
    lines.insert(lines.begin() + index, line);
    return index;
}

void HeadlessWindow::ListDelete(int id, int index) {
    ControlState& state = At(id);
    if (index < 0 || static_cast<std::size_t>(index) >= state.lines.size()) {
        return;
    }
    state.lines.erase(state.lines.begin() + index);
    if (state.selection == index) {
        state.selection = -1;
    } else if (state.selection > index) {
        --state.selection;
    }
}

void HeadlessWindow::ListReset(int id) {
    At(id).lines.clear();
    At(id).selection = -1;
}

int HeadlessWindow::ListCount(int id) const { return static_cast<int>(At(id).lines.size()); }

text::Cp932String HeadlessWindow::ListText(int id, int index) const {
    const auto& lines = At(id).lines;
    return index >= 0 && static_cast<std::size_t>(index) < lines.size() ? lines[static_cast<std::size_t>(index)]
                                                                         : text::Cp932String();
}

void HeadlessWindow::ListSelect(int id, int index) {
    ControlState& state = At(id);
    state.selection = index >= 0 && static_cast<std::size_t>(index) < state.lines.size() ? index : -1;
}

int HeadlessWindow::ListSelection(int id) const { return At(id).selection; }

void HeadlessWindow::TabReset(int id) { ListReset(id); }

void HeadlessWindow::TabInsert(int id, int index, const text::Cp932String& label) {
    ListInsert(id, index, label);
    // The first tab is selected as it comes.
    if (At(id).selection < 0) {
        At(id).selection = 0;
    }
}

void HeadlessWindow::TabSelect(int id, int index) { ListSelect(id, index); }

int HeadlessWindow::TabSelection(int id) const { return ListSelection(id); }

int HeadlessWindow::TabCount(int id) const { return ListCount(id); }

int HeadlessWindow::ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) {
    auto& rows = At(id).rows;
    if (index < 0 || static_cast<std::size_t>(index) > rows.size()) {
        index = static_cast<int>(rows.size());
    }
    // A row has a cell for each column and no more, as a list view keeps it.
    ReportRow row{cells, marked};
    row.cells.resize(At(id).lines.size());
    rows.insert(rows.begin() + index, std::move(row));
    return index;
}

void HeadlessWindow::ReportDeleteRow(int id, int index) {
    auto& rows = At(id).rows;
    if (index >= 0 && static_cast<std::size_t>(index) < rows.size()) {
        rows.erase(rows.begin() + index);
    }
}

std::string HeadlessWindow::ReportCell(int id, int row, int column) const {
    const auto& rows = At(id).rows;
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) {
        return {};
    }
    const auto& cells = rows[static_cast<std::size_t>(row)].cells;
    return column >= 0 && static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                                           : std::string();
}

bool HeadlessWindow::ReportRowMarked(int id, int row) const {
    const auto& rows = At(id).rows;
    return row >= 0 && static_cast<std::size_t>(row) < rows.size() && rows[static_cast<std::size_t>(row)].marked;
}

bool HeadlessWindow::Reachable(int id) const {
    const ControlState* state = Find(id);
    if (state == nullptr || !state->enabled || !state->visible || !window_.enabled || !window_.visible) {
        return false;
    }
    // A page is reachable only while the window around it is; every
    // window here is one of this backend's.
    if (source_.kind == res::DialogKind::Page && parent_ != nullptr && parent_->Peer() != nullptr) {
        return static_cast<const HeadlessWindow*>(parent_->Peer())->Reachable(0);
    }
    return true;
}

std::vector<int> HeadlessWindow::RadioGroupOf(int id) const {
    std::vector<int> group;
    bool containsId = false;
    for (const res::ControlTemplate& control : source_.controls) {
        if ((control.styles & res::style::kGroup) != 0) {
            if (containsId) {
                break;
            }
            group.clear();
        }
        if (control.kind == res::ControlKind::RadioButton) {
            group.push_back(control.id);
            containsId = containsId || control.id == id;
        }
    }
    return containsId ? group : std::vector<int>{};
}

}  // namespace headless

namespace {

class HeadlessBackend final : public WindowBackend {
public:
    std::unique_ptr<WindowPeer> CreateDialogWindow(const res::DialogTemplate& source, CDialog& dialog,
                                                   CWnd* parent) override {
        return std::make_unique<headless::HeadlessWindow>(source, dialog, parent);
    }

    ModalState BeginModal(CDialog&, CWnd* owner) override {
        ModalState state;
        WindowPeer* ownerPeer = owner != nullptr ? owner->Peer() : nullptr;
        if (ownerPeer != nullptr && ownerPeer->IsEnabled(0)) {
            ownerPeer->Enable(0, false);
            state.owner = reinterpret_cast<std::uintptr_t>(owner);
            state.disabledOwner = true;
        }
        return state;
    }

    void EndModal(CDialog&, const ModalState& state) override {
        if (state.disabledOwner) {
            if (WindowPeer* ownerPeer = reinterpret_cast<CWnd*>(state.owner)->Peer()) {
                ownerPeer->Enable(0, true);
            }
        }
    }

    // Without a display nothing ever happens: unless a test acts as the
    // user, the dialog ends at once as cancelled.
    Pumped PumpOne(CDialog&, bool) override { return Pumped::Nothing; }

    void WakeModalLoop() override {}

    MessageBoxPresenter& MessageBoxes() override { return headless::MessageBoxes(); }
    Choosers& FileChoosers() override { return headless::FileChoosers(); }
    std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) override { return headless::MakeFramePeer(frame); }
    bool BringWindowWithPropForward(const text::Cp932String& name) override {
        return headless::BringWindowWithPropForward(name);
    }
    int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) override {
        return headless::RunMessageLoop(target, quitCommand);
    }
};

}  // namespace

WindowBackend& headless::Backend() {
    static HeadlessBackend backend;
    return backend;
}

}  // namespace molvar::framework
