#include <climits>

#include "platform/paths.h"
#include "platform/posix/os_path.h"
#include "text/convert.h"

namespace molvar::platform {

const char kPathSeparator = '/';

namespace posix {

std::optional<std::string> OsPath(const text::Cp932String& path) {
    auto utf8 = text::ToUtf8(path);
    if (!utf8 || utf8->empty() || utf8->find('\0') != std::string::npos || utf8->size() >= PATH_MAX) {
        return std::nullopt;
    }
    return utf8;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace posix
}  // namespace molvar::platform
