// The headless frame: a window in memory. It has no notification area (an
// icon is only kept) and no other process can see it; its popup menu is shown to the popup-menu hook
// (a test) and closes without a command when there is none.
#include <algorithm>
#include <vector>

#include "framework/posix/backend_choice.h"
#include "framework/backend_support/kept_frame.h"
#include "res/templates.h"
#include "text/convert.h"

namespace molvar::framework {
namespace {

class HeadlessFrame final : public KeptFrame {
public:
    explicit HeadlessFrame(CFrameWnd& frame) : KeptFrame(frame) {}

    void Destroy() override {
        KeptFrame::Destroy();
        icons_.clear();
    }

    // There is no notification area: the icon is only kept.
    bool AddTrayIcon(const TrayIconData& icon) override {
        DeleteTrayIcon(icon.id);
        icons_.push_back(icon.id);
        return false;
    }
    bool DeleteTrayIcon(unsigned id) override { return std::erase(icons_, id) != 0; }
    bool HasTrayIcon(unsigned id) const override { return std::find(icons_.begin(), icons_.end(), id) != icons_.end(); }

    CPoint CursorPos() const override { return {}; }
    void SetForeground() override {}
    void BringLastActivePopupForward() override {}

    void TrackPopupMenu(const res::PopupTemplate& popup, CPoint) override {
        std::vector<ShownMenuItem> items;
        for (const res::MenuItemTemplate& item : popup.items) {
            ShownMenuItem shown;
            shown.id = item.id;
            shown.text = text::LiteralToCp932(item.text);
            shown.enabled = item.id != 0 && frame_.IsCommandEnabled(item.id);
            items.push_back(std::move(shown));
        }
        const PopupMenuHook& hook = CurrentPopupMenuHook();
        const unsigned chosen = hook ? hook(items) : 0;
        const auto it = std::find_if(items.begin(), items.end(),
                                     [chosen](const ShownMenuItem& item) { return item.id == chosen; });
        if (chosen != 0 && it != items.end() && it->enabled) {
            frame_.WindowProc(WM_COMMAND, chosen, 0);
        }
    }

    // Nothing of the program's own handles a posted window message here.
    void Post(unsigned, std::uintptr_t, std::intptr_t) override {}

private:
    std::vector<unsigned> icons_;
};

}  // namespace

std::unique_ptr<FramePeer> headless::MakeFramePeer(CFrameWnd& frame) { return std::make_unique<HeadlessFrame>(frame); }

bool AfxOleInit() { return true; }

// No other process's windows can be seen without a window system.
bool headless::BringWindowWithPropForward(const text::Cp932String&) { return false; }

}  // namespace molvar::framework
