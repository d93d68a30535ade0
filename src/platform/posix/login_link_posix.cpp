// The login link as a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart), following the freedesktop Desktop Entry and
// Autostart specifications.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/login_link.h"
#include "platform/paths.h"
#include "platform/posix/os_path.h"
#include "platform/session.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

bool HasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// A string value of a desktop entry: backslash and the line-breaking
// characters are escaped.
std::string EscapeString(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// The program as Exec's one quoted argument: inside the quotes '"', '`', '$'
// and '\' take a backslash and '%' is doubled (a single one would start a
// field code). Exec is a string value too, so its escapes come on top.
std::string ExecValue(std::string_view program) {
    std::string quoted = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    quoted += '"';
    return EscapeString(quoted);
}

std::optional<text::Cp932String> AutostartFolder() {
    const auto config = ApplicationDataFolder();
    if (!config) {
        return std::nullopt;
    }
    return JoinPath(*config, text::Cp932String::FromBytes("autostart"));
}

}  // namespace

std::optional<text::Cp932String> LoginLinkPath(const text::Cp932String& name) {
    const auto folder = AutostartFolder();
    if (!folder || name.empty() || name.bytes().find('/') != std::string::npos) {
        return std::nullopt;
    }
    return JoinPath(*folder, name + text::Cp932String::FromBytes(".desktop"));
}

bool CreateLoginLink(const text::Cp932String& name, const text::Cp932String& target,
                     const text::Cp932String& description) {
    const auto path = LoginLinkPath(name);
    const auto nameUtf8 = text::ToUtf8(name);
    const auto targetUtf8 = text::ToUtf8(target);
    const auto descriptionUtf8 = text::ToUtf8(description);
    // A relative Exec would be looked up in PATH; a control character in it
    // is read differently by different desktops, so it is refused rather
    // than escaped.
    if (!path || !nameUtf8 || !targetUtf8 || !descriptionUtf8 || targetUtf8->empty() || targetUtf8->front() != '/' ||
        HasControlCharacter(*targetUtf8)) {
        return false;
    }
    // Values hold no control characters but the escaped ones.
    const std::string nameValue = EscapeString(*nameUtf8);
    const std::string comment = EscapeString(*descriptionUtf8);
    if (HasControlCharacter(nameValue) || HasControlCharacter(comment)) {
        return false;
    }
    const auto folder = AutostartFolder();
    if (!folder || !MakeFolderTree(*folder)) {
        return false;
    }
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=" + nameValue + "\n"
                              "Comment=" + comment + "\n"
                              "Exec=" + ExecValue(*targetUtf8) + "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(entry.data());
    return ReplaceFileAtomically(*path, std::span<const std::uint8_t>(bytes, entry.size())) == WriteStatus::Written;
}

bool DeleteLoginLink(const text::Cp932String& name) {
    const auto path = LoginLinkPath(name);
    const auto osPath = path ? posix::OsPath(*path) : std::nullopt;
    if (!osPath) {
        return false;
    }
    return ::unlink(osPath->c_str()) == 0 || errno == ENOENT;
}

}  // namespace molvar::platform
