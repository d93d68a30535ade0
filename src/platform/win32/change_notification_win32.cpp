// Change notifications with FindFirstChangeNotificationW. A wait takes the
// stop event and the change handle together, the stop first, so that a stop
// wins over a change that comes at the same moment.
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/change_notification.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace molvar::platform {

struct StopSignal::State {
    win32::UniqueHandle event;  // manual reset: once set, every wait ends at once
    std::atomic<bool> raised{false};
};

namespace {

static_assert(static_cast<DWORD>(ChangeFilter::FileName) == FILE_NOTIFY_CHANGE_FILE_NAME);
static_assert(static_cast<DWORD>(ChangeFilter::Attributes) == FILE_NOTIFY_CHANGE_ATTRIBUTES);

// Without a stop event (none could be made) the stop flag is looked at once
// a second instead.
constexpr DWORD kStopPollMs = 1000;

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Waits until `handle` is signalled (true) or the stop is raised (false).
// A wait that fails for good reads as a stop only once the stop is raised.
bool WaitUnlessStopped(HANDLE handle, const StopSignal::State& stop) {
    for (;;) {
        if (stop.raised.load()) {
            return false;
        }
        if (!stop.event.valid()) {
            const DWORD result = ::WaitForSingleObject(handle, kStopPollMs);
            if (result == WAIT_OBJECT_0) {
                return !stop.raised.load();
            }
            if (result == WAIT_FAILED) {
                ::Sleep(kStopPollMs);  // nothing else to wait on but the flag
            }
            continue;
        }
        const HANDLE handles[2] = {stop.event.get(), handle};
        switch (::WaitForMultipleObjects(2, handles, FALSE, INFINITE)) {
        case WAIT_OBJECT_0:
            return false;
        case WAIT_OBJECT_0 + 1:
            return true;
        default:
            // The change handle cannot be waited on: only the stop is left.
            ::WaitForSingleObject(stop.event.get(), INFINITE);
            return false;
        }
    }
}

class Win32Notification final : public ChangeNotification {
public:
    Win32Notification(win32::ChangeHandle handle, std::wstring folder)
        : handle_(std::move(handle)), folder_(std::move(folder)) {}

    Wake Wait(const StopSignal& stop) override {
        if (gone_) {
            // The handle of a folder that is gone may stay signalled: waiting
            // on it would spin.
            stop.Wait();
            return Wake::Stopped;
        }
        if (!WaitUnlessStopped(handle_.get(), stop.state())) {
            return Wake::Stopped;
        }
        // Re-armed at once, before the caller looks at the folder: what
        // changes from here on wakes the next wait, and what changed before
        // is there to be seen. (Windows would also keep changes made until
        // a later re-arm; Wine drops them.)
        gone_ = !::FindNextChangeNotification(handle_.get()) || !IsFolder(folder_);
        return Wake::Changed;
    }

private:
    win32::ChangeHandle handle_;  // closed exactly once, with this object
    std::wstring folder_;
    bool gone_ = false;  // the folder no longer exists: only the stop can wake
};

}  // namespace

StopSignal::StopSignal() : state_(std::make_unique<State>()) {
    state_->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

StopSignal::~StopSignal() = default;

void StopSignal::Raise() {
    state_->raised = true;
    if (state_->event.valid()) {
        ::SetEvent(state_->event.get());
    }
}

bool StopSignal::IsRaised() const { return state_->raised.load(); }

void StopSignal::Wait() const {
    while (!state_->raised.load()) {
        if (!state_->event.valid() || ::WaitForSingleObject(state_->event.get(), INFINITE) == WAIT_FAILED) {
            ::Sleep(kStopPollMs);
        }
    }
}

std::unique_ptr<ChangeNotification> ChangeNotification::Register(const text::Cp932String& folder,
                                                                 ChangeFilter filter) {
    auto osFolder = win32::OsPath(folder);
    if (!osFolder || !IsFolder(*osFolder)) {
        return nullptr;
    }
    win32::ChangeHandle handle(::FindFirstChangeNotificationW(osFolder->c_str(), FALSE, static_cast<DWORD>(filter)));
    if (!handle.valid()) {
        return nullptr;
    }
    return std::make_unique<Win32Notification>(std::move(handle), std::move(*osFolder));
}

}  // namespace molvar::platform
