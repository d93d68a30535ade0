// Change notifications with FindFirstChangeNotificationW. A wait takes the
// stop event and the change handle together, the stop first, so that a stop
// wins over a change that comes at the same moment.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <optional>
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

using Clock = std::chrono::steady_clock;

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder's volume and file index: a folder put in the place of the one
// watched (renamed away) is another folder at the same path.
using FolderIdentity = std::array<DWORD, 3>;
std::optional<FolderIdentity> IdentityOf(const std::wstring& path) {
    const win32::UniqueHandle folder(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info)) {
        return std::nullopt;
    }
    return FolderIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<Clock::time_point> DeadlineAfter(std::optional<std::chrono::milliseconds> timeout) {
    return timeout ? std::optional(Clock::now() + *timeout) : std::nullopt;
}

// What is left until the deadline, for a Windows wait: INFINITE without one.
DWORD MillisecondsLeft(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) {
        return INFINITE;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
}

enum class WaitEnd { Signalled, Stopped, TimedOut };

// Waits until `handle` is signalled, the stop is raised or the deadline has
// passed; without a handle only for the stop or the deadline. A handle that
// cannot be waited on leaves only the stop and the deadline.
WaitEnd WaitUnlessStopped(HANDLE handle, const StopSignal::State& stop,
                          const std::optional<Clock::time_point>& deadline) {
    for (;;) {
        if (stop.raised.load()) {
            return WaitEnd::Stopped;
        }
        const DWORD left = MillisecondsLeft(deadline);
        if (left == 0) {
            return WaitEnd::TimedOut;
        }
        if (!stop.event.valid()) {
            const DWORD slice = std::min(left, kStopPollMs);
            const DWORD result = handle != nullptr ? ::WaitForSingleObject(handle, slice) : WAIT_FAILED;
            if (result == WAIT_OBJECT_0 && !stop.raised.load()) {
                return WaitEnd::Signalled;
            }
            if (result == WAIT_FAILED) {
                ::Sleep(slice);  // nothing else to wait on but the flag
            }
            continue;
        }
        const HANDLE handles[2] = {stop.event.get(), handle};
        switch (::WaitForMultipleObjects(handle != nullptr ? 2 : 1, handles, FALSE, left)) {
            case WAIT_OBJECT_0:
                return WaitEnd::Stopped;
            case WAIT_OBJECT_0 + 1:
                return WaitEnd::Signalled;
            case WAIT_TIMEOUT:
                continue;  // the deadline is told at the top
            default:
                if (handle == nullptr) {
                    ::Sleep(std::min(left, kStopPollMs));  // not even the stop event: only the flag is left
                }
                handle = nullptr;  // the change handle cannot be waited on
                break;
        }
    }
}

class Win32Notification final : public ChangeNotification {
public:
    Win32Notification(win32::ChangeHandle handle, std::wstring folder)
        : handle_(std::move(handle)), folder_(std::move(folder)), identity_(IdentityOf(folder_)) {}

    Wake Wait(const StopSignal& stop, std::optional<std::chrono::milliseconds> timeout) override {
        // The handle of a folder that is gone may stay signalled: waiting on
        // it would spin.
        switch (WaitUnlessStopped(gone_ ? nullptr : handle_.get(), stop.state(), DeadlineAfter(timeout))) {
            case WaitEnd::Stopped:
                return Wake::Stopped;
            case WaitEnd::TimedOut:
                return Wake::TimedOut;
            case WaitEnd::Signalled:
                break;
        }
        // Re-armed at once, before the caller looks at the folder: what
        // changes from here on wakes the next wait, and what changed before
        // is there to be seen. (Windows would also keep changes made until
        // a later re-arm; Wine drops them.)
        gone_ = !::FindNextChangeNotification(handle_.get()) || !IsFolder(folder_) || IdentityOf(folder_) != identity_;
        return Wake::Changed;
    }

    bool Broken() const override { return gone_; }

private:
    win32::ChangeHandle handle_;  // closed exactly once, with this object
    std::wstring folder_;
    std::optional<FolderIdentity> identity_;  // of the folder the handle watches
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

void StopSignal::Wait() const { WaitUnlessStopped(nullptr, *state_, std::nullopt); }

bool StopSignal::WaitFor(std::chrono::milliseconds limit) const {
    return WaitUnlessStopped(nullptr, *state_, DeadlineAfter(limit)) == WaitEnd::Stopped;
}

std::optional<std::string_view> FileSystemWithoutChangeReports(const text::Cp932String&) { return std::nullopt; }

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
