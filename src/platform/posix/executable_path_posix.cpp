#include <unistd.h>

#include <string>

#include "platform/executable_path.h"
#include "text/convert.h"

namespace molvar::platform {

std::optional<text::Cp932String> RunningExecutablePath() {
    // readlink does not say that it cut the path: a result that fills the
    // buffer is read again into a larger one.
    for (std::string path(256, '\0'); path.size() <= 64 * 1024; path.resize(path.size() * 2)) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return text::FromUtf8(path);
        }
    }
    return std::nullopt;
}

}  // namespace molvar::platform
