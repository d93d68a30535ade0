#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/paths.h"
#include "platform/posix/os_path.h"
#include "platform/session.h"
#include "text/convert.h"

namespace molvar::platform {

struct SingleInstanceLock::State {
    posix::UniqueFd lockFile;  // the lock goes with the descriptor
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

SingleInstanceLock::SingleInstanceLock(std::unique_ptr<State> state) : state_(std::move(state)) {}

SingleInstanceLock::~SingleInstanceLock() = default;

std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Acquire(const text::Cp932String& name,
                                                                const text::Cp932String& lockFolder,
                                                                Outcome& outcome) {
    outcome = Outcome::Unavailable;
    text::Cp932String fileName = name;
    fileName += text::Cp932String::FromBytes(".lock");
    const auto osPath = posix::OsPath(JoinPath(lockFolder, fileName));
    if (!osPath) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->lockFile.reset(::open(osPath->c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!state->lockFile.valid()) {
        return nullptr;
    }
    int locked = 0;
    while ((locked = ::flock(state->lockFile.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        outcome = errno == EWOULDBLOCK ? Outcome::HeldByAnotherCopy : Outcome::Unavailable;
        return nullptr;
    }
    outcome = Outcome::Acquired;
    return std::make_unique<SingleInstanceLock>(std::move(state));
}

}  // namespace molvar::platform
