// What became of an operation that the user never sees fail in a box: it is
// told in the activity history instead.
#pragma once

#include <optional>
#include <string>

namespace molvar::platform {

// Empty when the operation was done; else why not, in a few words (UTF-8,
// the system's own where it gave any).
using Failure = std::optional<std::string>;

// How a program that was waited for ended.
struct ProgramEnd {
    Failure failure;                 // it could not be started
    std::optional<int> exitStatus;   // it ended by itself
    std::optional<int> endSignal;    // a signal ended it (POSIX)
};

}  // namespace molvar::platform
