#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/file_write_gate.h"
#include "platform/files.h"
#include "platform/read_up_to.h"
#include "platform/posix/os_path.h"

namespace molvar::platform {
namespace {

using posix::FolderOf;
using posix::OsPath;
using posix::UniqueFd;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// read() that retries when a signal interrupts it.
ssize_t ReadRetrying(int fd, std::uint8_t* data, std::size_t size) {
    ssize_t got;
    do {
        got = ::read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

// Temporary files are named ".molvar-<process id>-XXXXXX", so that the
// leftovers of a killed process can be told from the files of one that runs.
constexpr std::string_view kTemporaryPrefix = ".molvar-";
constexpr std::size_t kTemporaryRandomLength = 6;  // mkostemp's XXXXXX

// A uniquely named hidden file in `folder`, removed again unless Keep() is
// called once it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& folder) {
        path_ = folder + "/" + std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "-" +
                std::string(kTemporaryRandomLength, 'X');
        fd_ = UniqueFd(::mkostemp(path_.data(), O_CLOEXEC));
        if (!fd_.valid()) {
            path_.clear();
        }
    }
    ~TemporaryFile() {
        fd_.reset();
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool valid() const { return !path_.empty(); }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    bool FlushAndClose() { return ::fsync(fd_.get()) == 0 && fd_.Close(); }
    void Keep() { path_.clear(); }
    // Puts the file at `path` in the place of this one, which it replaces.
    bool TakeFrom(const std::string& path) {
        fd_.reset();
        return ::rename(path.c_str(), path_.c_str()) == 0;
    }

private:
    std::string path_;
    UniqueFd fd_;
};

void SyncFolder(const std::string& folder) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());  // best effort: the rename is durable on most file systems anyway
    }
}

// Renames without ever replacing an existing destination.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // File systems without RENAME_NOREPLACE: link() also refuses an existing name.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

bool Place(const std::string& from, const std::string& to, MoveMode mode) {
    if (mode == MoveMode::KeepExisting) {
        return RenameNoReplace(from, to);
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// Copies a regular file into the destination's folder under a temporary name,
// with its permissions and times, then renames it into place. A file that it
// replaces is set aside until the source is gone: a source that cannot be
// removed means the file did not move, and the old file gets its name back.
bool CopyAcross(const std::string& from, const std::string& to, MoveMode mode) {
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!source.valid() || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const std::string folder = FolderOf(to);
    TemporaryFile copy(folder);
    if (!copy.valid()) {
        return false;
    }
    std::vector<std::uint8_t> buffer(1 << 16);
    while (true) {
        const ssize_t got = ReadRetrying(source.get(), buffer.data(), buffer.size());
        if (got < 0 || !WriteAll(copy.fd(), buffer.data(), static_cast<std::size_t>(got))) {
            return false;
        }
        if (got == 0) {
            break;
        }
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::fchmod(copy.fd(), info.st_mode & 07777) != 0 || ::futimens(copy.fd(), times) != 0 ||
        !copy.FlushAndClose()) {
        return false;
    }
    std::optional<TemporaryFile> setAside;
    if (mode == MoveMode::ReplaceExisting) {
        setAside.emplace(folder);
        if (!setAside->valid()) {
            return false;
        }
        if (!setAside->TakeFrom(to)) {
            const bool nothingToReplace = errno == ENOENT;
            setAside.reset();
            if (!nothingToReplace) {
                return false;
            }
        }
    }
    // Gives the destination back its old file; kept under the temporary
    // name should even that fail, rather than lost.
    const auto restore = [&] {
        if (setAside) {
            ::rename(setAside->path().c_str(), to.c_str());
            setAside->Keep();
        }
    };
    if (!RenameNoReplace(copy.path(), to)) {
        restore();
        return false;
    }
    copy.Keep();
    if (::unlink(from.c_str()) != 0) {
        if (setAside) {
            restore();  // replaces the copy
        } else {
            ::unlink(to.c_str());
        }
        return false;
    }
    return true;  // the old file goes with setAside
}

// The process id in the name of one of our temporary files: 0 for the name
// of an earlier version, which held none; empty for any other name.
std::optional<pid_t> TemporaryFileOwner(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix)) {
        return std::nullopt;
    }
    name.remove_prefix(kTemporaryPrefix.size());
    const auto isAlnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    if (name.size() == kTemporaryRandomLength && std::ranges::all_of(name, isAlnum)) {
        return 0;
    }
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || name.size() - dash - 1 != kTemporaryRandomLength ||
        !std::ranges::all_of(name.substr(dash + 1), isAlnum)) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto digits = name.substr(0, dash);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

bool ProcessRuns(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

FileHead ReadFileHead(const text::Cp932String& path, std::size_t maxBytes) {
    FileHead head;
    const auto osPath = OsPath(path);
    if (!osPath) {
        head.status = ReadStatus::NotFound;
        return head;
    }
    // Non-blocking, so that a FIFO put where a file should be cannot hold the
    // thread at the open; only regular files are read.
    UniqueFd fd(::open(osPath->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        head.status = (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::NotFound : ReadStatus::Unreadable;
        return head;
    }
    head.status = ReadStatus::Unreadable;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return head;
    }
    auto bytes = ReadUpTo(maxBytes, static_cast<std::uint64_t>(info.st_size), [&](std::uint8_t* buffer, std::size_t room) {
        return static_cast<std::int64_t>(ReadRetrying(fd.get(), buffer, room));
    });
    if (!bytes) {
        return head;
    }
    head.bytes = std::move(*bytes);
    head.status = ReadStatus::Read;
    return head;
}

WriteStatus ReplaceFileAtomically(const text::Cp932String& path, std::span<const std::uint8_t> bytes) {
    const auto osPath = OsPath(path);
    if (!osPath) {
        return WriteStatus::OpenFailed;
    }
    const FileWriteScope writing;
    mode_t mode = 0600;
    struct stat existing {};
    if (::stat(osPath->c_str(), &existing) == 0) {
        // A file without any write permission is read-only, even for root, who
        // could otherwise rename over it.
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, osPath->c_str(), W_OK, AT_EACCESS) != 0) {
            return WriteStatus::OpenFailed;
        }
        mode = existing.st_mode & 07777;
    }
    const std::string folder = FolderOf(*osPath);
    TemporaryFile temporary(folder);
    if (!temporary.valid()) {
        return WriteStatus::OpenFailed;
    }
    if (::fchmod(temporary.fd(), mode) != 0 || !WriteAll(temporary.fd(), bytes.data(), bytes.size()) ||
        !temporary.FlushAndClose() || ::rename(temporary.path().c_str(), osPath->c_str()) != 0) {
        return WriteStatus::WriteFailed;
    }
    temporary.Keep();
    SyncFolder(folder);
    return WriteStatus::Written;
}

bool PathExists(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    struct stat info {};
    return osPath && ::stat(osPath->c_str(), &info) == 0;
}

bool MakeFolder(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && ::mkdir(osPath->c_str(), 0700) == 0;
}

namespace {

bool MakeOsFolderTree(const std::string& osPath) {
    for (std::size_t slash = osPath.find('/', 1);; slash = osPath.find('/', slash + 1)) {
        const std::string level = osPath.substr(0, slash);
        if (!level.empty() && ::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    return ::stat(osPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool MakeFolderTree(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && MakeOsFolderTree(*osPath);
}

bool MakeFolderTree(const NativePath& path) { return MakeOsFolderTree(path.bytes()); }

std::string LastErrorText() { return std::generic_category().message(errno); }

bool MoveFileTo(const text::Cp932String& from, const text::Cp932String& to, MoveMode mode) {
    const auto osFrom = OsPath(from);
    const auto osTo = OsPath(to);
    if (!osFrom || !osTo) {
        return false;
    }
    const FileWriteScope writing;
    if (Place(*osFrom, *osTo, mode)) {
        return true;
    }
    return errno == EXDEV && CopyAcross(*osFrom, *osTo, mode);
}

bool DeleteFileAt(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && ::unlink(osPath->c_str()) == 0;
}

bool IsOpenForWriting(const NativePath& path) {
    // Non-blocking: a lease that another process holds must not hold the scan.
    UniqueFd fd(::open(path.bytes().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN;
}

bool IsSameFile(const text::Cp932String& first, const text::Cp932String& second) {
    const auto osFirst = OsPath(first);
    const auto osSecond = OsPath(second);
    struct stat a {}, b {};
    return osFirst && osSecond && ::stat(osFirst->c_str(), &a) == 0 && ::stat(osSecond->c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsTemporaryFileName(std::string_view name) { return TemporaryFileOwner(name).has_value(); }

bool IsSameOrInsideFolder(const text::Cp932String& path, const text::Cp932String& folder) {
    const auto osPath = OsPath(path);
    const auto osFolder = OsPath(folder);
    struct stat target {};
    if (!osPath || !osFolder || osPath->empty() || ::stat(osFolder->c_str(), &target) != 0) {
        return false;
    }
    std::error_code error;
    std::filesystem::path at = std::filesystem::absolute(*osPath, error).lexically_normal();
    if (error) {
        return false;
    }
    for (;;) {
        struct stat info {};
        if (::stat(at.c_str(), &info) == 0 && info.st_dev == target.st_dev && info.st_ino == target.st_ino) {
            return true;
        }
        if (!at.has_relative_path()) {
            return false;  // the root
        }
        // "a/b/" names "a/b": its parent is "a".
        at = at.has_filename() ? at.parent_path() : at.parent_path().parent_path();
    }
}

bool PathExists(const NativePath& path) {
    struct stat info {};
    return ::stat(path.bytes().c_str(), &info) == 0;
}

bool MoveFileTo(const NativePath& from, const NativePath& to, MoveMode mode) {
    const FileWriteScope writing;
    if (Place(from.bytes(), to.bytes(), mode)) {
        return true;
    }
    return errno == EXDEV && CopyAcross(from.bytes(), to.bytes(), mode);
}

bool IsSameFile(const NativePath& first, const NativePath& second) {
    struct stat a {}, b {};
    return ::stat(first.bytes().c_str(), &a) == 0 && ::stat(second.bytes().c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void RemoveAbandonedTemporaryFiles(const text::Cp932String& folder) {
    const auto osFolder = OsPath(folder);
    if (!osFolder) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(osFolder->c_str()), ::closedir);
    if (!dir) {
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const auto owner = TemporaryFileOwner(entry->d_name);
        struct stat info {};
        if (!owner || ProcessRuns(*owner) ||
            ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

}  // namespace molvar::platform
