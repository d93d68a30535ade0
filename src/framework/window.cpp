#include "framework/window.h"

#include <algorithm>

#include "res/templates.h"

namespace molvar::framework {

CWnd::~CWnd() { ReleasePeer(); }

void CWnd::AttachPeer(std::unique_ptr<WindowPeer> peer, CWnd* parent) {
    ownedPeer_ = std::move(peer);
    peer_ = ownedPeer_.get();
    parent_ = parent;
    id_ = 0;
    if (parent_ != nullptr) {
        parent_->children_.push_back(this);
    }
}

void CWnd::ReleasePeer() {
    // Controls and pages go before the window that holds them.
    while (!children_.empty()) {
        CWnd* child = children_.back();
        children_.pop_back();
        child->parent_ = nullptr;
        child->ReleasePeer();
    }
    items_.clear();
    if (parent_ != nullptr) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        // A window made again gets its parent anew; until then it has none,
        // and its end never reaches a parent that went first.
        parent_ = nullptr;
    }
    ownedPeer_.reset();
    peer_ = nullptr;
}

void CWnd::AttachToControl(CWnd& owner, int id) {
    ReleasePeer();
    peer_ = owner.peer_;
    parent_ = &owner;
    id_ = id;
    owner.children_.push_back(this);
}

void CWnd::SetWindowText(const text::Cp932String& value) {
    if (peer_ != nullptr) {
        peer_->SetText(id_, value);
    }
}

text::Cp932String CWnd::GetWindowText() const { return peer_ != nullptr ? peer_->GetText(id_) : text::Cp932String(); }

void CWnd::EnableWindow(bool on) {
    if (peer_ != nullptr) {
        peer_->Enable(id_, on);
    }
}

bool CWnd::IsWindowEnabled() const { return peer_ != nullptr && peer_->IsEnabled(id_); }

void CWnd::ShowWindow(bool on) {
    if (peer_ != nullptr) {
        peer_->Show(id_, on);
    }
}

bool CWnd::IsWindowVisible() const { return peer_ != nullptr && peer_->IsVisible(id_); }

void CWnd::SetFocus() {
    if (peer_ != nullptr) {
        peer_->SetFocus(id_);
    }
}

CWnd* CWnd::GetDlgItem(int id) {
    if (peer_ == nullptr || id_ != 0) {
        return nullptr;
    }
    const auto& controls = peer_->Template().controls;
    if (std::none_of(controls.begin(), controls.end(), [id](const res::ControlTemplate& c) { return c.id == id; })) {
        return nullptr;
    }
    std::unique_ptr<CWnd>& item = items_[id];
    if (!item) {
        item = std::make_unique<CWnd>();
        item->peer_ = peer_;
        item->id_ = id;
    }
    return item.get();
}

void CWnd::SetDlgItemText(int id, const text::Cp932String& value) {
    if (peer_ != nullptr) {
        peer_->SetText(id, value);
    }
}

text::Cp932String CWnd::GetDlgItemText(int id) const {
    return peer_ != nullptr ? peer_->GetText(id) : text::Cp932String();
}

void CWnd::CheckDlgButton(int id, int state) {
    if (peer_ != nullptr) {
        peer_->SetCheck(id, state);
    }
}

int CWnd::IsDlgButtonChecked(int id) const { return peer_ != nullptr ? peer_->GetCheck(id) : BST_UNCHECKED; }

bool CWnd::DestroyWindow() {
    if (peer_ == nullptr) {
        return false;
    }
    ReleasePeer();
    return true;
}

bool CWnd::PreTranslateMessage(Message&) { return false; }

bool CWnd::OnCommand(int, unsigned) { return false; }

bool CWnd::OnNotify(int, unsigned, long*) { return false; }

}  // namespace molvar::framework
