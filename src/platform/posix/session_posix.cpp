#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/activity.h"
#include "platform/paths.h"
#include "platform/posix/os_path.h"
#include "platform/session.h"
#include "text/convert.h"

namespace molvar::platform {

struct SingleInstanceLock::State {
    posix::UniqueFd lockFile;  // the lock (a locked file or a bound socket) goes with the descriptor
};

namespace {

std::optional<std::string> HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home);
    }
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') {
        return std::string(user->pw_dir);
    }
    return std::nullopt;
}

}  // namespace

std::optional<text::Cp932String> ApplicationDataFolder() {
    // A relative $XDG_CONFIG_HOME is to be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        return text::FromUtf8(config);
    }
    const auto home = HomeFolder();
    if (!home) {
        return std::nullopt;
    }
    return text::FromUtf8(*home + "/.config");
}

std::optional<NativePath> HistoryFolder() {
    std::string state;
    // A relative $XDG_STATE_HOME is to be ignored too.
    if (const char* home = std::getenv("XDG_STATE_HOME"); home != nullptr && home[0] == '/') {
        state = home;
    } else if (const auto user = HomeFolder()) {
        state = *user + "/.local/state";
    } else {
        return std::nullopt;
    }
    return NativePath::FromOsBytes(state + "/TORVEL/Molvar3");
}

SingleInstanceLock::SingleInstanceLock(std::unique_ptr<State> state) : state_(std::move(state)) {}

SingleInstanceLock::~SingleInstanceLock() = default;

namespace {

using Outcome = SingleInstanceLock::Outcome;

// flock on "<folder>/<file>": Unavailable when the file cannot be made or
// locked there.
Outcome LockFileIn(const std::string& folder, const std::string& file, posix::UniqueFd& held, std::string& why) {
    const std::string path = folder + "/" + file;
    posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        why += path + ": " + std::strerror(errno) + "; ";
        return Outcome::Unavailable;
    }
    int locked = 0;
    while ((locked = ::flock(fd.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            return Outcome::HeldByAnotherCopy;
        }
        why += path + ": " + std::strerror(errno) + "; ";
        return Outcome::Unavailable;
    }
    held = std::move(fd);
    return Outcome::Acquired;
}

// A socket bound to a name in the abstract namespace, which needs no file
// system and goes with the process. The name is the user's and the
// executable's; a name too long for the address is cut.
Outcome AbstractSocket(const std::string& name, posix::UniqueFd& held, std::string& why) {
    posix::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string key = "TORVEL/Molvar3/" + std::to_string(::getuid()) + "/" + name;
    const std::size_t length = std::min(key.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, key.data(), length);  // sun_path[0] stays NUL: abstract
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (fd.valid() && ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), size) == 0) {
        held = std::move(fd);
        return Outcome::Acquired;
    }
    if (fd.valid() && errno == EADDRINUSE) {
        return Outcome::HeldByAnotherCopy;
    }
    why += std::string("abstract socket: ") + std::strerror(errno) + "; ";
    return Outcome::Unavailable;
}

}  // namespace

std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Acquire(const text::Cp932String& name,
                                                                const text::Cp932String& lockFolder,
                                                                Outcome& outcome, std::string* reason) {
    outcome = Outcome::Unavailable;
    std::string why;
    auto state = std::make_unique<State>();
    // The lock file in the data folder; where that folder cannot hold it (not
    // writable, a file in its place, a file system without locks), a lock
    // that needs no folder of ours, so that a second copy never runs beside
    // the first.
    if (const auto folder = posix::OsPath(lockFolder)) {
        outcome = LockFileIn(*folder, name.bytes() + ".lock", state->lockFile, why);
    }
    if (outcome == Outcome::Unavailable) {
        outcome = AbstractSocket(name.bytes(), state->lockFile, why);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        outcome == Outcome::Unavailable && runtime != nullptr && runtime[0] == '/') {
        outcome = LockFileIn(runtime, name.bytes() + "-" + std::to_string(::getuid()) + ".lock", state->lockFile, why);
    }
    if (outcome != Outcome::Acquired) {
        if (reason != nullptr) {
            *reason = why;
        }
        return nullptr;
    }
    return std::make_unique<SingleInstanceLock>(std::move(state));
}

}  // namespace molvar::platform
