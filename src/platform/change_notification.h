// Change notifications for one folder (its own entries, not its
// sub-folders), and the stop signal that ends every wait of a run of the
// watch at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "text/cp932.h"

namespace molvar::platform {

// Raised once, by the thread that stops the watch; every wait on it ends and
// every later wait returns at once.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    bool IsRaised() const;
    // Blocks until the signal is raised.
    void Wait() const;
    // Blocks until the signal is raised (true) or `limit` has passed (false).
    bool WaitFor(std::chrono::milliseconds limit) const;

    struct State;
    const State& state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

// What wakes a folder's watcher, with the values of the Windows filters.
enum class ChangeFilter {
    FileName = 1,    // a file created, deleted or given another name
    Attributes = 4,  // a file's attributes changed (a copy sets them); on
                     // Linux, where a write changes none, also a file
                     // written and closed or moved in
};

// The kind of file system `folder` lies on ("NFS", "FUSE", ...) when that
// kind reports no change made by another machine or by a user-space server:
// such a folder has to be looked at on a timer as well. Empty for the others,
// and always on Windows, where network shares report their changes.
std::optional<std::string_view> FileSystemWithoutChangeReports(const text::Cp932String& folder);

#ifndef _WIN32
// The same for a statfs f_type magic number.
std::optional<std::string_view> FileSystemWithoutChangeReports(std::uint64_t fileSystemType);
#endif

class ChangeNotification {
public:
    // Starts watching `folder`; empty when it cannot be watched (missing, no
    // permission, no watch left). Released exactly once, when destroyed.
    static std::unique_ptr<ChangeNotification> Register(const text::Cp932String& folder, ChangeFilter filter);
    virtual ~ChangeNotification() = default;

    enum class Wake { Changed, Stopped, TimedOut };
    // Blocks until a change is reported since the previous wake (changes made
    // meanwhile count), until `stop` is raised or, when a timeout is given,
    // until it has passed. A folder deleted while watched reports one change
    // and then only the stop or the timeout.
    virtual Wake Wait(const StopSignal& stop, std::optional<std::chrono::milliseconds> timeout = std::nullopt) = 0;

    // The folder watched is gone from its path (deleted, given another name,
    // unmounted, unreachable): nothing more of the path is reported here,
    // and a folder put there later needs a registration of its own. Told
    // after the wake that reported it.
    virtual bool Broken() const { return false; }
};

}  // namespace molvar::platform
