#include <climits>

#include "platform/native_path.h"
#include "platform/posix/os_path.h"
#include "platform/utf8.h"
#include "text/convert.h"

namespace molvar::platform {

const std::size_t kMaxNativeNameBytes = NAME_MAX;

std::optional<NativePath> NativeOf(const text::Cp932String& text) {
    auto utf8 = text::ToUtf8(text);
    if (!utf8 || utf8->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return NativePath::FromOsBytes(std::move(*utf8));
}

std::optional<text::Cp932String> Cp932FormOf(const NativePath& name) { return text::FromUtf8(name.bytes()); }

NativePath NativeFromUtf8(std::string_view utf8) { return NativePath::FromOsBytes(std::string(utf8)); }

std::string Utf8ForDisplay(const NativePath& path) {
    const std::string& bytes = path.bytes();
    std::string shown;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = DecodeUtf8(bytes, at).second;
        shown += length == 0 ? std::string_view("?") : std::string_view(bytes).substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return shown;
}

std::optional<NativePath> JoinPath(const text::Cp932String& folder, const NativePath& name) {
    const auto osFolder = posix::OsPath(folder);
    if (!osFolder || name.bytes().find('\0') != std::string::npos ||
        osFolder->size() + 1 + name.bytes().size() >= PATH_MAX) {
        return std::nullopt;
    }
    return NativePath::FromOsBytes(*osFolder + "/" + name.bytes());
}

std::vector<std::size_t> CharacterStarts(const NativePath& name) {
    const std::string& bytes = name.bytes();
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < bytes.size(); at += Utf8CharacterWidth(bytes, at)) {
        starts.push_back(at);
    }
    starts.push_back(bytes.size());
    return starts;
}

}  // namespace molvar::platform
