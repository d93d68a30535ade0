#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/history_file.h"
#include "platform/posix/os_path.h"

namespace molvar::platform {

using posix::UniqueFd;

NativePath ChildPath(const NativePath& folder, std::string_view name) {
    std::string path = folder.bytes();
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return NativePath::FromOsBytes(path.append(name));
}

struct AppendFile::Held {
    UniqueFd fd;
};

AppendFile::AppendFile(NativePath path) : path_(std::move(path)), held_(std::make_unique<Held>()) {}

AppendFile::~AppendFile() = default;

std::optional<std::uint64_t> AppendFile::Append(std::string_view bytes) {
    if (!held_->fd.valid()) {
        held_->fd = UniqueFd(::open(path_.bytes().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
        if (!held_->fd.valid()) {
            return std::nullopt;
        }
    }
    ssize_t written = 0;
    do {
        written = ::write(held_->fd.get(), bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    // A short write leaves a torn line; it is not taken for a written one.
    if (written != static_cast<ssize_t>(bytes.size())) {
        return std::nullopt;
    }
    // An append leaves the offset at the end of what it wrote.
    const off_t end = ::lseek(held_->fd.get(), 0, SEEK_CUR);
    return end < 0 ? std::nullopt : std::optional(static_cast<std::uint64_t>(end));
}

bool AppendFile::StillAtPath() const {
    struct stat held {}, named {};
    return !held_->fd.valid() || (::fstat(held_->fd.get(), &held) == 0 && ::stat(path_.bytes().c_str(), &named) == 0 &&
                                  held.st_dev == named.st_dev && held.st_ino == named.st_ino);
}

void AppendFile::Reopen() { held_->fd.reset(); }

void RotateWhenPast(const NativePath& path, const NativePath& rotated, std::uint64_t limit) {
    const UniqueFd fd(::open(path.bytes().c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid() || ::flock(fd.get(), LOCK_EX) != 0) {
        return;
    }
    // Another process may have renamed it while this one waited for the lock.
    struct stat held {}, named {};
    if (::fstat(fd.get(), &held) == 0 && ::stat(path.bytes().c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino && static_cast<std::uint64_t>(held.st_size) > limit) {
        ::rename(path.bytes().c_str(), rotated.bytes().c_str());
    }
}

std::string ReadFileTail(const NativePath& path, std::size_t maxBytes) {
    const UniqueFd fd(::open(path.bytes().c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        return {};
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t start = size > maxBytes ? size - maxBytes : 0;
    std::string bytes(static_cast<std::size_t>(size - start), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::pread(fd.get(), bytes.data() + filled, bytes.size() - filled,
                                    static_cast<off_t>(start + filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace molvar::platform
