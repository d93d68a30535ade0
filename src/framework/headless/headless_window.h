// The headless backend's windows: every control's state in memory, so that
// dialogs run (and are tested) without a window system.
#pragma once

#include <cstddef>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/window_backend.h"
#include "res/templates.h"

namespace molvar::framework::headless {

struct ReportRow {
    std::vector<std::string> cells;
    bool marked = false;
};

struct ControlState {
    const res::ControlTemplate* source = nullptr;
    text::Cp932String text;
    std::size_t limit = std::numeric_limits<std::size_t>::max();
    int check = BST_UNCHECKED;
    bool enabled = true;
    bool visible = true;
    std::vector<text::Cp932String> lines;  // list box lines, tab labels or report column headers
    std::vector<ReportRow> rows;           // a report list's
    int selection = -1;
};

class HeadlessWindow final : public WindowPeer {
public:
    HeadlessWindow(const res::DialogTemplate& source, CDialog& dialog, CWnd* parent);
    ~HeadlessWindow() override;

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
    void ReportAddColumn(int id, const text::Cp932String& header) override { At(id).lines.push_back(header); }
    int ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) override;
    void ReportDeleteRow(int id, int index) override;
    int ReportRowCount(int id) const override { return static_cast<int>(At(id).rows.size()); }
    std::string ReportCell(int id, int row, int column) const override;
    bool ReportRowMarked(int id, int row) const override;
    void ReportFitColumns(int) override {}
    void ShowWindow() override { window_.visible = true; }

    CDialog& Dialog() const { return dialog_; }
    CWnd* Parent() const { return parent_; }
    // The control's state; null for an id the template does not have.
    ControlState* Find(int id);
    const ControlState* Find(int id) const;
    // Whether the user can reach it: it and every window around it are
    // enabled and visible.
    bool Reachable(int id) const;
    // The radio buttons of the group that `id` belongs to.
    std::vector<int> RadioGroupOf(int id) const;

private:
    ControlState& At(int id);
    const ControlState& At(int id) const;

    const res::DialogTemplate& source_;
    CDialog& dialog_;
    CWnd* parent_;
    ControlState window_;
    std::map<int, ControlState> controls_;
};

// The windows that exist, oldest first, and which control has the focus.
struct Desktop {
    std::vector<HeadlessWindow*> windows;
    HeadlessWindow* focusWindow = nullptr;
    int focusId = 0;
};
Desktop& TheDesktop();

}  // namespace molvar::framework::headless
