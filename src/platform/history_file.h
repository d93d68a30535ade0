// The file operations of the activity history, one backend per OS.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/native_path.h"

namespace molvar::platform {

// `folder`, the separator, `name` (a name of ASCII letters).
NativePath ChildPath(const NativePath& folder, std::string_view name);

// A file held open for appending only (made when missing), so that the
// lines of several processes never tear.
class AppendFile {
public:
    explicit AppendFile(NativePath path);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Appends `bytes` in one write to the end of the file as it is then. The
    // file's size after the write; empty when it failed.
    std::optional<std::uint64_t> Append(std::string_view bytes);
    // Whether the file held is still the one at the path (another process
    // may have renamed it away).
    bool StillAtPath() const;
    // The next append opens the path afresh.
    void Reopen();

private:
    struct Held;
    NativePath path_;
    std::unique_ptr<Held> held_;
};

// Renames `path` to `rotated`, replacing it, when it is still longer than
// `limit`: under a lock, so that of several processes that saw it grow past
// the limit only the first renames it.
void RotateWhenPast(const NativePath& path, const NativePath& rotated, std::uint64_t limit);

// The file's bytes, at most the last `maxBytes`; empty when it cannot be read.
std::string ReadFileTail(const NativePath& path, std::size_t maxBytes);

}  // namespace molvar::platform
