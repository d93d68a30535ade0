#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "platform/directory_search.h"
#include "platform/posix/os_path.h"
#include "text/convert.h"

namespace molvar::platform {

struct DirectorySearch::State {
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, CloseDir> dir;
    std::string pattern;  // UTF-8, as the names are matched
    bool matchesEverything = false;
    DirectoryItem item;  // the one Next returned last, its memory reused
};

DirectorySearch::DirectorySearch(const text::Cp932String& folder, const text::Cp932String& pattern)
    : state_(std::make_unique<State>()) {
    state_->matchesEverything = pattern.bytes() == "*" || pattern.bytes() == "*.*";
    auto utf8Pattern = text::ToUtf8(pattern);
    if (!utf8Pattern) {
        return;  // a pattern that is no text matches nothing
    }
    state_->pattern = std::move(*utf8Pattern);
    if (const auto osFolder = posix::OsPath(folder)) {
        state_->dir.reset(::opendir(osFolder->c_str()));
    }
}

DirectorySearch::~DirectorySearch() = default;

const DirectoryItem* DirectorySearch::Next() {
    DIR* const dir = state_->dir.get();
    if (dir == nullptr) {
        return nullptr;
    }
    // readdir() also ends with nullptr on a read error: the search ends there,
    // as FindNextFile's does.
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!state_->matchesEverything && !MatchesWildcard(name, state_->pattern)) {
            continue;
        }
        // Follows symbolic links, as Windows reports a link's target; a
        // dangling link or an item gone since readdir is passed over.
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0) {
            continue;
        }
        if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
            continue;
        }
        DirectoryItem& item = state_->item;
        item.name.AssignOsBytes(name);
        item.cp932Name = text::FromUtf8(name);
        if (item.cp932Name && item.cp932Name->size() > kMaxCp932NameBytes) {
            item.cp932Name.reset();
        }
        item.isDirectory = S_ISDIR(info.st_mode);
        item.size = static_cast<std::uint64_t>(info.st_size);
        item.lastWriteTime = static_cast<std::int64_t>(info.st_mtime);
        return &item;
    }
    return nullptr;
}

}  // namespace molvar::platform
