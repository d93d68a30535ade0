// Helpers shared by the POSIX backend files.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include "text/cp932.h"

namespace molvar::platform::posix {

// The UTF-8 form of a path, or empty when it cannot be converted, holds a NUL
// or is longer than the OS accepts.
std::optional<std::string> OsPath(const text::Cp932String& path);

// The folder part of a UTF-8 path ("." when there is none).
std::string FolderOf(const std::string& path);

// An open file descriptor, closed when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now and reports whether the close succeeded (it can report a
    // delayed write error).
    bool Close() {
        const int fd = release();
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

// Adds one to an eventfd counter; it stays readable until it is drained.
inline void PostEvent(int eventFd) {
    const std::uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

// Reads (and so resets) an eventfd counter.
inline void DrainEvent(int eventFd) {
    std::uint64_t count = 0;
    while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace molvar::platform::posix
