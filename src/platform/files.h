// Files and folders. Every path is code page 932 and converted here at the
// OS boundary; a path that does not convert behaves like one that is missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/native_path.h"
#include "text/cp932.h"

namespace molvar::platform {

enum class ReadStatus {
    Read,        // opened and read (possibly 0 bytes)
    NotFound,    // no such file, or its folder is missing
    Unreadable,  // exists but cannot be read as a file (no permission, a folder or FIFO, I/O error)
};

struct FileHead {
    ReadStatus status = ReadStatus::NotFound;
    std::vector<std::uint8_t> bytes;  // at most the requested number of bytes
};

// Reads the first `maxBytes` bytes of a file (fewer when it is shorter). The
// buffer follows the file's size, so the limit may be generous.
FileHead ReadFileHead(const text::Cp932String& path, std::size_t maxBytes);

enum class WriteStatus {
    Written,
    OpenFailed,   // the file is read-only, its folder is missing or not writable
    WriteFailed,  // writing or flushing failed (disk full)
};

// Replaces the file's content as a whole: the new bytes go to a temporary file
// in the same folder, are flushed and renamed over the old file. On any
// failure the old file is untouched and no temporary file is left behind.
// A read-only file is refused with OpenFailed, as opening it for writing would be.
WriteStatus ReplaceFileAtomically(const text::Cp932String& path, std::span<const std::uint8_t> bytes);

// A file or a folder exists at the path.
bool PathExists(const text::Cp932String& path);

// Creates one folder level; false when it could not be created.
bool MakeFolder(const text::Cp932String& path);

// Creates a folder with every missing parent (on POSIX with mode 0700);
// true when the folder exists afterwards.
bool MakeFolderTree(const text::Cp932String& path);

enum class MoveMode {
    KeepExisting,     // the move fails when the destination exists
    ReplaceExisting,  // an existing destination file is replaced
};

// Moves a file, across file systems too (copy with its last-write time, then
// removal of the source). The destination never holds a half-copied file,
// and a file it replaces is kept until the source is gone: a move that fails
// leaves both where they were.
bool MoveFileTo(const text::Cp932String& from, const text::Cp932String& to, MoveMode mode);

bool DeleteFileAt(const text::Cp932String& path);

// Another process (or this one) holds the file open for writing: it is still
// being written. Linux: a read lease cannot be had; Windows: it cannot be
// opened while denying writers. A file that cannot be asked (another
// owner's, a file system without leases) counts as complete.
bool IsOpenForWriting(const NativePath& path);

// Both paths name one existing file (the same path written twice, or two
// names of one file).
bool IsSameFile(const text::Cp932String& first, const text::Cp932String& second);

// `path` is `folder` or lies inside it, as the file system sees it: each
// existing folder on the way up from `path` (made absolute, "." and ".."
// resolved) is compared with `folder` by identity, so letter case, a
// trailing separator and links to it do not hide it. `path` need not exist.
bool IsSameOrInsideFolder(const text::Cp932String& path, const text::Cp932String& folder);

// The name of a temporary file that ReplaceFileAtomically or MoveFileTo makes
// while it writes.
bool IsTemporaryFileName(std::string_view name);

// The same for the native paths of files found in a watched folder, which
// may have no code page 932 form.
bool PathExists(const NativePath& path);
bool MoveFileTo(const NativePath& from, const NativePath& to, MoveMode mode);
bool IsSameFile(const NativePath& first, const NativePath& second);
bool MakeFolderTree(const NativePath& path);

// The system's words (UTF-8) for the last failure of this thread: why a
// MoveFileTo that returned false failed, for instance.
std::string LastErrorText();

// Removes the temporary files that ReplaceFileAtomically and MoveFileTo
// leave in `folder` when their process is killed in the middle of a write.
// Those of a process that still runs (another copy saving at this moment)
// are left alone.
void RemoveAbandonedTemporaryFiles(const text::Cp932String& folder);

// Ends the process with `status` at once, without waiting for its other
// threads, but not in the middle of a file write: the writes in progress
// (ReplaceFileAtomically, MoveFileTo) finish first, and a write that would
// begin afterwards waits for the end instead.
[[noreturn]] void EndProcessAfterFileWrites(int status);

}  // namespace molvar::platform
