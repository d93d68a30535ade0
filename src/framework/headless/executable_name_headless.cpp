#include <unistd.h>

#include <string>

#include "framework/executable_name.h"
#include "text/convert.h"

namespace molvar::framework {

text::Cp932String ExecutableName() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return text::FromUtf8(name).value_or(text::Cp932String());
}

}  // namespace molvar::framework
