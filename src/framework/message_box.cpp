#include "framework/message_box.h"

#include <atomic>

namespace molvar::framework {
namespace {

std::atomic<MessageBoxPresenter*> g_installedPresenter{nullptr};

}  // namespace

ScopedMessageBoxPresenter::ScopedMessageBoxPresenter(MessageBoxPresenter& presenter)
    : previous_(g_installedPresenter.exchange(&presenter)) {}

ScopedMessageBoxPresenter::~ScopedMessageBoxPresenter() { g_installedPresenter.store(previous_); }

}  // namespace molvar::framework

int AfxMessageBox(const molvar::text::Cp932String& message, unsigned type) {
    using namespace molvar::framework;
    MessageBoxPresenter* presenter = g_installedPresenter.load();
    return (presenter ? *presenter : BackendMessageBoxPresenter()).Present(message, type);
}
