// Change notifications with inotify. One inotify instance serves the whole
// process (the per-user limit on instances is small and shared with every
// other program): each folder is one watch, a reader thread takes the
// events and wakes the registrations of that watch through their eventfds.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/change_notification.h"
#include "platform/posix/os_path.h"

namespace molvar::platform {

struct StopSignal::State {
    posix::UniqueFd event;  // readable once raised; never read, so it stays so
    std::atomic<bool> raised{false};
};

namespace {

constexpr int kStopped = -1;   // also when poll fails for good
constexpr int kTimedOut = -2;

// Waits until one of the descriptors is readable and returns the index of
// the first readable one; kStopped once the stop is raised, kTimedOut once
// `timeout` has passed. Without a stop eventfd (none could be made), the
// stop flag is looked at once a second instead.
int WaitReadable(std::initializer_list<int> fds, const StopSignal::State* stop,
                 std::optional<std::chrono::milliseconds> timeout = std::nullopt) {
    using Clock = std::chrono::steady_clock;
    std::array<pollfd, 3> polled{};
    std::size_t count = 0;
    for (const int fd : fds) {
        polled[count++] = pollfd{fd, POLLIN, 0};
    }
    const bool stopPolled = stop != nullptr && stop->event.valid();
    if (stopPolled) {
        polled[count++] = pollfd{stop->event.get(), POLLIN, 0};
    }
    const std::optional<Clock::time_point> deadline =
        timeout ? std::optional(Clock::now() + *timeout) : std::nullopt;
    for (;;) {
        if (stop != nullptr && stop->raised.load()) {
            return kStopped;
        }
        long long waitMs = (stop != nullptr && !stopPolled) ? 1000 : -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) {
                return kTimedOut;
            }
            waitMs = waitMs < 0 ? left : std::min<long long>(waitMs, left);
        }
        const int ready = ::poll(polled.data(), count, static_cast<int>(std::min<long long>(waitMs, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            return kStopped;
        }
        for (std::size_t k = 0; ready > 0 && k < count; ++k) {
            if (polled[k].revents != 0) {
                return stopPolled && k == count - 1 ? kStopped : static_cast<int>(k);
            }
        }
    }
}

class InotifyNotification;

class InotifyHub {
public:
    static std::shared_ptr<InotifyHub> Get() {
        static std::mutex mutex;
        static std::weak_ptr<InotifyHub> current;
        std::lock_guard lock(mutex);
        if (auto hub = current.lock()) {
            return hub;
        }
        auto hub = std::make_shared<InotifyHub>();
        if (!hub->Started()) {
            return nullptr;
        }
        current = hub;
        return hub;
    }

    InotifyHub()
        : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (inotify_.valid() && wake_.valid()) {
            reader_ = std::thread([this] { ReadEvents(); });
        }
    }

    ~InotifyHub() {
        if (reader_.joinable()) {
            posix::PostEvent(wake_.get());
            reader_.join();
        }
    }

    InotifyHub(const InotifyHub&) = delete;
    InotifyHub& operator=(const InotifyHub&) = delete;

    bool Started() const { return reader_.joinable(); }

    // The watch descriptor, or -1 when the folder cannot be watched.
    int Add(const std::string& folder, InotifyNotification* registration) {
        // Every watch asks for the events of both filters, so that two
        // settings on one folder share one watch whatever their filters;
        // each registration takes only the events of its own.
        constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                          IN_CLOSE_WRITE | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
        std::lock_guard lock(mutex_);
        const int watch = ::inotify_add_watch(inotify_.get(), folder.c_str(), kEvents);
        if (watch >= 0) {
            byWatch_[watch].push_back(registration);
        }
        return watch;
    }

    void Remove(int watch, InotifyNotification* registration) {
        std::lock_guard lock(mutex_);
        const auto found = byWatch_.find(watch);
        if (found == byWatch_.end()) {
            return;  // the kernel removed the watch already (folder deleted)
        }
        auto& registrations = found->second;
        const auto at = std::find(registrations.begin(), registrations.end(), registration);
        if (at == registrations.end()) {
            return;
        }
        registrations.erase(at);
        if (registrations.empty()) {
            byWatch_.erase(found);
            ::inotify_rm_watch(inotify_.get(), watch);
        }
    }

private:
    void ReadEvents();
    void Deliver(const inotify_event& event);

    posix::UniqueFd inotify_;
    posix::UniqueFd wake_;
    std::mutex mutex_;
    std::unordered_map<int, std::vector<InotifyNotification*>> byWatch_;
    std::thread reader_;
};

class InotifyNotification final : public ChangeNotification {
public:
    InotifyNotification(std::shared_ptr<InotifyHub> hub, std::uint32_t events)
        : hub_(std::move(hub)), events_(events), pending_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    ~InotifyNotification() override {
        if (watch_ >= 0) {
            hub_->Remove(watch_, this);
        }
    }

    bool Start(const std::string& folder) {
        if (!pending_.valid()) {
            return false;
        }
        watch_ = hub_->Add(folder, this);
        return watch_ >= 0;
    }

    Wake Wait(const StopSignal& stop, std::optional<std::chrono::milliseconds> timeout) override {
        switch (WaitReadable({pending_.get()}, &stop.state(), timeout)) {
            case kStopped:
                return Wake::Stopped;
            case kTimedOut:
                return Wake::TimedOut;
            default:
                posix::DrainEvent(pending_.get());
                return Wake::Changed;
        }
    }

    // Called by the hub's reader with the hub's lock held.
    void Offer(std::uint32_t mask) {
        if ((mask & kGone) != 0) {
            broken_ = true;
        }
        if ((mask & (events_ | kGone | IN_Q_OVERFLOW)) != 0) {
            posix::PostEvent(pending_.get());
        }
    }

    bool Broken() const override { return broken_.load(); }

    // The folder left its path: deleted or unmounted (the kernel drops the
    // watch), or given another name (the watch would follow it).
    static constexpr std::uint32_t kGone = IN_IGNORED | IN_UNMOUNT | IN_MOVE_SELF;

private:
    std::shared_ptr<InotifyHub> hub_;
    std::uint32_t events_;
    posix::UniqueFd pending_;
    int watch_ = -1;
    std::atomic<bool> broken_{false};
};

void InotifyHub::ReadEvents() {
    alignas(inotify_event) std::array<char, 16 * 1024> buffer{};
    for (;;) {
        if (WaitReadable({wake_.get(), inotify_.get()}, nullptr) != 1) {
            return;  // woken to end (or poll failed for good)
        }
        const ssize_t got = ::read(inotify_.get(), buffer.data(), buffer.size());
        if (got <= 0) {
            continue;  // EAGAIN or EINTR
        }
        std::lock_guard lock(mutex_);
        for (ssize_t at = 0; at < got;) {
            inotify_event event{};
            std::copy_n(buffer.data() + at, sizeof event, reinterpret_cast<char*>(&event));
            Deliver(event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

void InotifyHub::Deliver(const inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        // Events were lost: every folder counts as changed (the scan lists
        // the folder anyway, so nothing is missed).
        for (auto& [watch, registrations] : byWatch_) {
            for (InotifyNotification* registration : registrations) {
                registration->Offer(IN_Q_OVERFLOW);
            }
        }
        return;
    }
    const auto found = byWatch_.find(event.wd);
    if (found == byWatch_.end()) {
        return;
    }
    const bool gone = (event.mask & InotifyNotification::kGone) != 0;
    // Changes to sub-folders' entries in the folder are not file changes.
    if ((event.mask & IN_ISDIR) != 0 && !gone) {
        return;
    }
    for (InotifyNotification* registration : found->second) {
        registration->Offer(event.mask);
    }
    if (gone) {
        // The folder is gone from its path; its watch with it, so that a
        // folder renamed away no longer wakes the settings of the path.
        if ((event.mask & IN_IGNORED) == 0) {
            ::inotify_rm_watch(inotify_.get(), event.wd);
        }
        byWatch_.erase(found);
    }
}

}  // namespace

StopSignal::StopSignal() : state_(std::make_unique<State>()) {
    state_->event.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

StopSignal::~StopSignal() = default;

void StopSignal::Raise() {
    state_->raised = true;
    if (state_->event.valid()) {
        posix::PostEvent(state_->event.get());
    }
}

bool StopSignal::IsRaised() const { return state_->raised.load(); }

void StopSignal::Wait() const { WaitReadable({}, state_.get()); }

bool StopSignal::WaitFor(std::chrono::milliseconds limit) const {
    return WaitReadable({}, state_.get(), limit) == kStopped;
}

std::optional<std::string_view> FileSystemWithoutChangeReports(std::uint64_t fileSystemType) {
    // statfs(2) and <linux/magic.h>: file systems whose server or other
    // clients change files without inotify hearing of it.
    struct Kind {
        std::uint64_t magic;
        std::string_view name;
    };
    static constexpr Kind kKinds[] = {
        {0x6969, "NFS"},         {0x517B, "SMB"},         {0xFF534D42, "CIFS"},     {0xFE534D42, "SMB2"},
        {0x65735546, "FUSE"},    {0x01021997, "9p"},      {0x5346414F, "AFS"},      {0x6B414653, "AFS"},
        {0x00C36400, "Ceph"},    {0x73757245, "Coda"},    {0x0BD00BD0, "Lustre"},   {0x47504653, "GPFS"},
    };
    for (const Kind& kind : kKinds) {
        if (kind.magic == fileSystemType) {
            return kind.name;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> FileSystemWithoutChangeReports(const text::Cp932String& folder) {
    const auto osFolder = posix::OsPath(folder);
    struct statfs info {};
    if (!osFolder || ::statfs(osFolder->c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileSystemWithoutChangeReports(static_cast<std::uint64_t>(static_cast<std::uint32_t>(info.f_type)));
}

std::unique_ptr<ChangeNotification> ChangeNotification::Register(const text::Cp932String& folder,
                                                                 ChangeFilter filter) {
    const auto osFolder = posix::OsPath(folder);
    if (!osFolder) {
        return nullptr;
    }
    auto hub = InotifyHub::Get();
    if (!hub) {
        return nullptr;
    }
    // A write changes no attribute on Linux: the attribute filter also takes
    // a file written and closed, or moved in, as a file created or updated.
    const std::uint32_t events = filter == ChangeFilter::FileName
                                     ? IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO
                                     : IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_TO;
    auto notification = std::make_unique<InotifyNotification>(std::move(hub), events);
    if (!notification->Start(*osFolder)) {
        return nullptr;
    }
    return notification;
}

}  // namespace molvar::platform
