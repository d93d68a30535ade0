#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/history_file.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace molvar::platform {

using win32::ApiPathOf;
using win32::UniqueHandle;

NativePath ChildPath(const NativePath& folder, std::string_view name) {
    std::wstring path = win32::WideOf(folder);
    if (path.empty() || (path.back() != L'\\' && path.back() != L'/')) {
        path += L'\\';
    }
    path.append(name.begin(), name.end());
    return win32::NativeOfWide(path);
}

namespace {

bool SameFile(HANDLE first, HANDLE second) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return ::GetFileInformationByHandle(first, &a) && ::GetFileInformationByHandle(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The lock that appends and the rotation take: on a byte no line reaches,
// so that it holds back nobody's reads.
class FarByteLock {
public:
    explicit FarByteLock(HANDLE file) : file_(file) {
        beyond_.OffsetHigh = 0x7FFFFFFF;
        locked_ = ::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond_) != 0;
    }
    ~FarByteLock() {
        if (locked_) {
            ::UnlockFileEx(file_, 0, 1, 0, &beyond_);
        }
    }
    FarByteLock(const FarByteLock&) = delete;
    FarByteLock& operator=(const FarByteLock&) = delete;
    bool locked() const { return locked_; }

private:
    HANDLE file_;
    OVERLAPPED beyond_{};
    bool locked_ = false;
};

UniqueHandle OpenToLookAt(const NativePath& path) {
    return UniqueHandle(::CreateFileW(ApiPathOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

struct AppendFile::Held {
    UniqueHandle file;
};

AppendFile::AppendFile(NativePath path) : path_(std::move(path)), held_(std::make_unique<Held>()) {}

AppendFile::~AppendFile() = default;

std::optional<std::uint64_t> AppendFile::Append(std::string_view bytes) {
    if (!held_->file.valid()) {
        // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the
        // end of the file as it is then, whoever else appends (read access
        // for the lock). FILE_SHARE_DELETE lets another copy rename the file
        // while this one holds it.
        held_->file = UniqueHandle(::CreateFileW(ApiPathOf(path_).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    DWORD written = 0;
    LARGE_INTEGER size{};
    // Windows appends atomically; Wine, between processes, only under a lock.
    const FarByteLock lock(held_->file.valid() ? held_->file.get() : nullptr);
    if (!held_->file.valid() || !lock.locked() || bytes.size() > MAXDWORD ||
        !::WriteFile(held_->file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !::GetFileSizeEx(held_->file.get(), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool AppendFile::StillAtPath() const {
    if (!held_->file.valid()) {
        return true;
    }
    const UniqueHandle named = OpenToLookAt(path_);
    return named.valid() && SameFile(held_->file.get(), named.get());
}

void AppendFile::Reopen() { held_->file.reset(); }

void RotateWhenPast(const NativePath& path, const NativePath& rotated, std::uint64_t limit) {
    const UniqueHandle file(::CreateFileW(ApiPathOf(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return;
    }
    const FarByteLock lock(file.get());
    if (!lock.locked()) {
        return;
    }
    // Another copy may have renamed it while this one waited for the lock.
    const UniqueHandle named = OpenToLookAt(path);
    LARGE_INTEGER size{};
    if (named.valid() && SameFile(file.get(), named.get()) && ::GetFileSizeEx(file.get(), &size) &&
        static_cast<std::uint64_t>(size.QuadPart) > limit) {
        ::MoveFileExW(ApiPathOf(path).c_str(), ApiPathOf(rotated).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

std::string ReadFileTail(const NativePath& path, std::size_t maxBytes) {
    const UniqueHandle file(::CreateFileW(ApiPathOf(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) {
        return {};
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(total > maxBytes ? total - maxBytes : 0);
    if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(total - static_cast<std::uint64_t>(start.QuadPart)), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + filled, ask, &got, nullptr) || got == 0) {
            break;
        }
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace molvar::platform
