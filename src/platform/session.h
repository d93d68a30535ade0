// What the application needs of the user's session at start-up: where
// per-user application data lives, and a guard against a second running copy.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "text/cp932.h"

namespace molvar::platform {

// The user's application-data folder (Windows: the roaming AppData folder;
// Linux: $XDG_CONFIG_HOME, else ~/.config). Empty when it cannot be told.
std::optional<text::Cp932String> ApplicationDataFolder();

// Held by the one running copy of the program per executable name, for as
// long as the object lives (Windows: a named mutex; POSIX: a lock on the
// file "<name>.lock" in `lockFolder`, and where that folder cannot hold one,
// a socket in the abstract namespace or a lock file in $XDG_RUNTIME_DIR,
// named by the user and the executable).
class SingleInstanceLock {
public:
    enum class Outcome {
        Acquired,
        HeldByAnotherCopy,
        Unavailable,  // the lock itself could not be made
    };

    // `reason`, when given, says why a lock was Unavailable.
    static std::unique_ptr<SingleInstanceLock> Acquire(const text::Cp932String& name,
                                                       const text::Cp932String& lockFolder, Outcome& outcome,
                                                       std::string* reason = nullptr);
    struct State;  // the backend's hold on the lock
    explicit SingleInstanceLock(std::unique_ptr<State> state);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

private:
    std::unique_ptr<State> state_;
};

}  // namespace molvar::platform
