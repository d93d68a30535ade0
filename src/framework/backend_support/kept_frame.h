// A frame window that no window system shows, its state kept in memory: the
// headless frame, and the hidden main window of the Qt desktop (where only
// the tray icons and the menu are Qt's). The backends add what they show.
#pragma once

#include <algorithm>
#include <vector>

#include "framework/frame.h"

namespace molvar::framework {

class KeptFrame : public FramePeer {
public:
    explicit KeptFrame(CFrameWnd& frame) : frame_(frame) {}

    bool Create(const CREATESTRUCTA& params) override {
        exists_ = true;
        exStyle_ = params.dwExStyle;
        size_ = {params.cx == CW_USEDEFAULT ? 0 : params.cx, params.cy == CW_USEDEFAULT ? 0 : params.cy};
        visible_ = true;
        if (frame_.WindowProc(WM_CREATE, 0, 0).value_or(0) == -1) {
            Destroy();
            return false;
        }
        return true;
    }

    void Destroy() override {
        if (!exists_) {
            return;
        }
        frame_.WindowProc(WM_DESTROY, 0, 0);
        exists_ = false;
        props_.clear();
    }

    bool Exists() const override { return exists_; }
    void Show(int command) override { visible_ = command != SW_HIDE; }
    bool IsVisible() const override { return exists_ && visible_; }
    std::uint32_t ExStyle() const override { return exStyle_; }
    void SetTopmost(bool on) override {
        exStyle_ = on ? (exStyle_ | WS_EX_TOPMOST) : (exStyle_ & ~WS_EX_TOPMOST);
    }
    CPoint Size() const override { return size_; }

    bool SetProperty(const text::Cp932String& name) override {
        if (!HasProperty(name)) {
            props_.push_back(name);
        }
        return true;
    }
    void RemoveProperty(const text::Cp932String& name) override { std::erase(props_, name); }
    bool HasProperty(const text::Cp932String& name) const override {
        return std::find(props_.begin(), props_.end(), name) != props_.end();
    }

protected:
    CFrameWnd& frame_;
    bool exists_ = false;

private:
    bool visible_ = false;
    std::uint32_t exStyle_ = 0;
    CPoint size_;
    std::vector<text::Cp932String> props_;
};

}  // namespace molvar::framework
