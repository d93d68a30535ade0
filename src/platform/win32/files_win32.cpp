#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string_view>

#include "platform/file_write_gate.h"
#include "platform/files.h"
#include "platform/read_up_to.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace molvar::platform {
namespace {

using win32::OsPath;
using win32::UniqueHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Attributes that a replaced file keeps.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Errors that say the file or one of its folders does not exist.
bool IsMissing(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_DIRECTORY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return true;
        default:
            return false;
    }
}

bool IsNameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Renames over `target`. A reader that opened the target without letting
// others delete it (a virus scanner, an indexer, a backup, a user's editor
// reading it) blocks the rename only for as long as it reads: tried again
// for about a second before the write counts as failed.
bool RenameOver(const std::wstring& from, const std::wstring& target) {
    constexpr int kAttempts = 20;
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (attempt == kAttempts || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) {
            return false;
        }
        ::Sleep(50);
    }
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kChunk = 1u << 30;
    while (size > 0) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(size < kChunk ? size : kChunk);
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Temporary files are named "~mv<process id>-<random>.tmp" (hexadecimal),
// so that the leftovers of a killed process can be told from the files of one
// that runs; short, so that they fit wherever the real name fits. Another
// name is tried when one is taken.
constexpr std::wstring_view kTemporaryPrefix = L"~mv";
constexpr std::wstring_view kTemporarySuffix = L".tmp";

std::wstring TemporaryNameBeside(const std::wstring& beside) {
    static std::atomic<unsigned> counter{0};
    const unsigned mixed = static_cast<unsigned>(::GetTickCount64()) ^ (counter.fetch_add(1) * 2654435761u);
    wchar_t name[32];
    std::swprintf(name, 32, L"~mv%lx-%04x.tmp", ::GetCurrentProcessId(), (mixed >> 16) & 0xFFFF);
    return win32::FolderPrefixOf(beside) + name;
}

// The process id in the name of one of our temporary files: 0 for the name
// of an earlier version, which held none; empty for any other name.
std::optional<DWORD> TemporaryFileOwner(std::wstring_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) {
        return std::nullopt;
    }
    name = name.substr(kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
    const auto isHex = [](wchar_t c) { return std::iswxdigit(c) != 0; };
    const auto dash = name.find(L'-');
    if (dash == std::wstring_view::npos) {
        return name.size() == 8 && std::ranges::all_of(name, isHex) ? std::optional<DWORD>(0) : std::nullopt;
    }
    const auto id = name.substr(0, dash);
    const auto random = name.substr(dash + 1);
    if (id.empty() || id.size() > 8 || random.size() != 4 || !std::ranges::all_of(id, isHex) ||
        !std::ranges::all_of(random, isHex)) {
        return std::nullopt;
    }
    return static_cast<DWORD>(std::wcstoul(std::wstring(id).c_str(), nullptr, 16));
}

bool ProcessRuns(DWORD id) {
    if (id == 0) {
        return false;
    }
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process.valid()) {
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // one of another user
    }
    DWORD code = 0;
    return ::GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

constexpr int kNameAttempts = 64;

// A temporary file that is deleted again unless Keep() is called once it
// has been moved into place.
class TemporaryPath {
public:
    TemporaryPath() = default;
    ~TemporaryPath() {
        if (!path_.empty()) {
            ::DeleteFileW(path_.c_str());
        }
    }
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;

    void Own(std::wstring path) { path_ = std::move(path); }
    const std::wstring& path() const { return path_; }
    bool valid() const { return !path_.empty(); }
    void Keep() { path_.clear(); }

private:
    std::wstring path_;
};

// Creates a new empty file beside `target` for writing.
bool CreateTemporaryFile(const std::wstring& target, DWORD attributes, TemporaryPath& path, UniqueHandle& file) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::wstring candidate = TemporaryNameBeside(target);
        file = UniqueHandle(
            ::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
        if (file.valid()) {
            path.Own(std::move(candidate));
            return true;
        }
        if (!IsNameTaken(::GetLastError())) {
            return false;
        }
    }
    return false;
}

bool Flush(const std::wstring& path) {
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && ::FlushFileBuffers(file.get());
}

// Moves a file to another volume: a copy (which keeps the last-write time)
// under a temporary name beside the destination, renamed into place, then
// the source is removed. A read-only source could not be removed, so it is
// not copied.
bool CopyAcross(const std::wstring& from, const std::wstring& to, DWORD moveFlags) {
    const DWORD source = ::GetFileAttributesW(from.c_str());
    if (source == INVALID_FILE_ATTRIBUTES || (source & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return false;
    }
    TemporaryPath copy;
    for (int attempt = 0; attempt < kNameAttempts && !copy.valid(); ++attempt) {
        std::wstring candidate = TemporaryNameBeside(to);
        if (::CopyFileExW(from.c_str(), candidate.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS)) {
            copy.Own(std::move(candidate));
        } else if (!IsNameTaken(::GetLastError())) {
            return false;
        }
    }
    if (!copy.valid() || !Flush(copy.path())) {
        return false;
    }
    // A file that the copy replaces is set aside until the source is gone: a
    // source that cannot be removed means the file did not move, and the old
    // file gets its name back.
    TemporaryPath setAside;
    if ((moveFlags & MOVEFILE_REPLACE_EXISTING) != 0) {
        std::wstring aside = TemporaryNameBeside(to);
        if (::MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
            setAside.Own(std::move(aside));
        } else if (!IsMissing(::GetLastError())) {
            return false;
        }
    }
    // Kept under the temporary name should even that fail, rather than lost.
    const auto restore = [&] {
        if (setAside.valid()) {
            ::MoveFileExW(setAside.path().c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            setAside.Keep();
        }
    };
    if (!::MoveFileExW(copy.path().c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        restore();
        return false;
    }
    copy.Keep();
    if (!::DeleteFileW(from.c_str())) {
        if (setAside.valid()) {
            restore();  // replaces the copy
        } else {
            ::DeleteFileW(to.c_str());
        }
        return false;
    }
    return true;  // the old file goes with setAside
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the first folder level below the root begins: after "C:\",
// "\\server\share\" or "\", or at 0 for a relative path.
std::size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsSeparator(path[at])) {
                ++at;
            }
            if (at < path.size()) {
                ++at;
            }
        }
        return at;
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    }
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
}  // namespace

FileHead ReadFileHead(const text::Cp932String& path, std::size_t maxBytes) {
    FileHead head;
    const auto osPath = OsPath(path);
    if (!osPath) {
        head.status = ReadStatus::NotFound;
        return head;
    }
    UniqueHandle file(::CreateFileW(osPath->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
        // A folder cannot be opened this way and gives access denied.
        head.status = IsMissing(::GetLastError()) ? ReadStatus::NotFound : ReadStatus::Unreadable;
        return head;
    }
    head.status = ReadStatus::Unreadable;
    // Only files on disk: a device name such as NUL or COM1 opens too.
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return head;
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    auto bytes = ReadUpTo(maxBytes, size, [&](std::uint8_t* buffer, std::size_t room) -> std::int64_t {
        DWORD got = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30));
        return ::ReadFile(file.get(), buffer, chunk, &got, nullptr) ? static_cast<std::int64_t>(got) : -1;
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
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    const DWORD existing = ::GetFileAttributesW(osPath->c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        // Checked here, not left to the rename: Wine running as root would
        // rename over a read-only file.
        if ((existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return WriteStatus::OpenFailed;
        }
        // Refused where opening the file for writing would be refused
        // (access rights, another program holding it).
        UniqueHandle probe(::CreateFileW(osPath->c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.valid()) {
            return WriteStatus::OpenFailed;
        }
        if ((existing & kKeptAttributes) != 0) {
            attributes = existing & kKeptAttributes;
        }
    } else if (!IsMissing(::GetLastError())) {
        return WriteStatus::OpenFailed;
    }
    const FileWriteScope writing;
    TemporaryPath temporary;
    UniqueHandle file;
    if (!CreateTemporaryFile(*osPath, attributes, temporary, file)) {
        return WriteStatus::OpenFailed;
    }
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !::FlushFileBuffers(file.get()) || !file.Close() ||
        !RenameOver(temporary.path(), *osPath)) {
        return WriteStatus::WriteFailed;
    }
    temporary.Keep();
    return WriteStatus::Written;
}

bool PathExists(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && ::GetFileAttributesW(osPath->c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && ::CreateDirectoryW(osPath->c_str(), nullptr);
}

namespace {

bool MakeWideFolderTree(const std::wstring& osPath) {
    // Every level is tried; whether the whole path is a folder in the end
    // is what counts (a level may exist but refuse creation, such as a
    // drive's root or a share).
    for (std::size_t at = RootLength(osPath); at <= osPath.size(); ++at) {
        if (at == osPath.size() || IsSeparator(osPath[at])) {
            const std::wstring level = osPath.substr(0, at);
            if (!level.empty() && !IsSeparator(level.back())) {
                ::CreateDirectoryW(level.c_str(), nullptr);
            }
        }
    }
    return IsFolder(osPath);
}

}  // namespace

bool MakeFolderTree(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && MakeWideFolderTree(*osPath);
}

bool MakeFolderTree(const NativePath& path) { return MakeWideFolderTree(win32::WideOf(path)); }

std::string LastErrorText() {
    const DWORD code = ::GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return Utf8ForDisplay(win32::NativeOfWide(text));
}

bool MoveFileTo(const text::Cp932String& from, const text::Cp932String& to, MoveMode mode) {
    const auto osFrom = OsPath(from);
    const auto osTo = OsPath(to);
    if (!osFrom || !osTo) {
        return false;
    }
    const FileWriteScope writing;
    DWORD flags = 0;
    if (mode == MoveMode::ReplaceExisting) {
        // One atomic replacement: deleting the old file first would lose it
        // whenever the move then fails. A read-only file is never replaced.
        const DWORD existing = ::GetFileAttributesW(osTo->c_str());
        if (existing != INVALID_FILE_ATTRIBUTES &&
            (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return false;
        }
        flags = MOVEFILE_REPLACE_EXISTING;
    }
    if (::MoveFileExW(osFrom->c_str(), osTo->c_str(), flags)) {
        return true;
    }
    return ::GetLastError() == ERROR_NOT_SAME_DEVICE && CopyAcross(*osFrom, *osTo, flags);
}

bool DeleteFileAt(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath && ::DeleteFileW(osPath->c_str());
}

namespace {

struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
    // Backup semantics let a folder open as well.
    UniqueHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::optional<FileIdentity> IdentityOf(const text::Cp932String& path) {
    const auto osPath = OsPath(path);
    return osPath ? IdentityOf(*osPath) : std::nullopt;
}

}  // namespace

bool IsTemporaryFileName(std::string_view name) {
    // The names are ASCII: byte for byte the same as their wide form.
    return TemporaryFileOwner(std::wstring(name.begin(), name.end())).has_value();
}

bool IsOpenForWriting(const NativePath& path) {
    const UniqueHandle file(::CreateFileW(win32::ApiPathOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool PathExists(const NativePath& path) {
    return ::GetFileAttributesW(win32::ApiPathOf(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MoveFileTo(const NativePath& from, const NativePath& to, MoveMode mode) {
    const std::wstring osFrom = win32::ApiPathOf(from);
    const std::wstring osTo = win32::ApiPathOf(to);
    const FileWriteScope writing;
    DWORD flags = 0;
    if (mode == MoveMode::ReplaceExisting) {
        const DWORD existing = ::GetFileAttributesW(osTo.c_str());
        if (existing != INVALID_FILE_ATTRIBUTES &&
            (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return false;
        }
        flags = MOVEFILE_REPLACE_EXISTING;
    }
    if (::MoveFileExW(osFrom.c_str(), osTo.c_str(), flags)) {
        return true;
    }
    return ::GetLastError() == ERROR_NOT_SAME_DEVICE && CopyAcross(osFrom, osTo, flags);
}

bool IsSameFile(const NativePath& first, const NativePath& second) {
    const auto a = IdentityOf(win32::ApiPathOf(first));
    const auto b = IdentityOf(win32::ApiPathOf(second));
    return a && b && *a == *b;
}

bool IsSameFile(const text::Cp932String& first, const text::Cp932String& second) {
    const auto a = IdentityOf(first);
    const auto b = IdentityOf(second);
    return a && b && *a == *b;
}

bool IsSameOrInsideFolder(const text::Cp932String& path, const text::Cp932String& folder) {
    const auto osPath = OsPath(path);
    const auto target = IdentityOf(folder);
    if (!osPath || osPath->empty() || !target) {
        return false;
    }
    // The full path, "." and ".." resolved.
    const DWORD needed = ::GetFullPathNameW(osPath->c_str(), 0, nullptr, nullptr);
    std::wstring at(needed, L'\0');
    const DWORD length = needed == 0 ? 0 : ::GetFullPathNameW(osPath->c_str(), needed, at.data(), nullptr);
    if (length == 0 || length >= needed) {
        return false;
    }
    at.resize(length);
    for (;;) {
        if (IdentityOf(at) == target) {
            return true;
        }
        while (!at.empty() && (at.back() == L'\\' || at.back() == L'/')) {
            at.pop_back();
        }
        const std::size_t separator = at.find_last_of(L"\\/");
        if (separator == std::wstring::npos) {
            return false;
        }
        at.resize(separator + 1);  // "C:\" stays a path of the root
    }
}

void RemoveAbandonedTemporaryFiles(const text::Cp932String& folder) {
    const auto osFolder = OsPath(folder);
    if (!osFolder) {
        return;
    }
    const std::wstring prefix = *osFolder + L"\\";
    WIN32_FIND_DATAW found;
    win32::FindHandle search(::FindFirstFileW((prefix + L"~mv*.tmp").c_str(), &found));
    if (!search.valid()) {
        return;
    }
    do {
        const auto owner = TemporaryFileOwner(found.cFileName);
        if (owner && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !ProcessRuns(*owner)) {
            // A file that a write still holds open cannot be deleted.
            ::DeleteFileW((prefix + found.cFileName).c_str());
        }
    } while (::FindNextFileW(search.get(), &found));
}

}  // namespace molvar::platform
