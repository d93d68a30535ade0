// Profile values in "<profileName>.ini": "[section]" lines, each followed by
// its "entry=value" lines. A write changes or adds one line and keeps every
// other line (other sections, comments, lines it does not understand) as it
// was.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace molvar::platform {
namespace {

// A profile is a few lines; anything larger is not ours, and is neither
// parsed nor rewritten (a rewrite would cut it).
constexpr std::size_t kMaxProfileBytes = 64 * 1024;

std::optional<text::Cp932String> ProfilePath(const ProfileLocation& where) {
    if (where.folder.empty() || where.profileName.empty()) {
        return std::nullopt;
    }
    return JoinPath(where.folder, where.profileName + text::Cp932String::FromBytes(".ini"));
}

// The file's text; empty when it is missing, and nothing when it cannot be
// read or is too large.
std::optional<std::string> ReadProfileText(const text::Cp932String& path) {
    const FileHead head = ReadFileHead(path, kMaxProfileBytes + 1);
    if (head.status == ReadStatus::NotFound) {
        return std::string();
    }
    if (head.status != ReadStatus::Read || head.bytes.size() > kMaxProfileBytes) {
        return std::nullopt;
    }
    return std::string(head.bytes.begin(), head.bytes.end());
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal int with an optional sign and blanks around it, and nothing else.
std::optional<int> ParseInt(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// One line of the file: where it starts and the text without its line
// break (a CR of a CRLF break included).
struct Line {
    std::size_t start = 0;
    std::string_view text;
};

std::vector<Line> SplitLines(std::string_view file) {
    std::vector<Line> lines;
    for (std::size_t start = 0; start < file.size();) {
        const auto newline = file.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? file.size() : newline;
        std::string_view text = file.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
        lines.push_back({start, text});
        start = newline == std::string_view::npos ? file.size() : newline + 1;
    }
    return lines;
}

// The name of a "[section]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return line.substr(1, line.size() - 2);
}

// Where an entry of a section stands in the file. A section may appear more
// than once; the first line of the entry in any of them counts.
struct EntryPlace {
    std::optional<std::size_t> entryLine;        // the "entry=value" line
    std::optional<std::size_t> lastSectionLine;  // the first section's last non-blank line
    std::optional<std::string_view> value;
};

EntryPlace FindEntry(const std::vector<Line>& lines, std::string_view section, std::string_view entry) {
    EntryPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = lines[k].text;
        if (const auto name = SectionName(line)) {
            inSection = *name == section;
            inFirstSection = inSection && !place.lastSectionLine;
            if (inFirstSection) {
                place.lastSectionLine = k;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (inFirstSection && !TrimBlanks(line).empty()) {
            place.lastSectionLine = k;
        }
        const auto equals = line.find('=');
        if (equals != std::string_view::npos && line.substr(0, equals) == entry) {
            place.entryLine = k;
            place.value = line.substr(equals + 1);
            return place;
        }
    }
    return place;
}

// Names that would break the file's lines: the entry's name ends at its
// '=' (no code page 932 trail byte is a '=', CR or LF).
bool NamesFitTheFile(std::string_view section, std::string_view entry) {
    return section.find_first_of("\r\n") == std::string_view::npos && !entry.empty() &&
           entry.find_first_of("\r\n=") == std::string_view::npos;
}

}  // namespace

int ReadProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                   int defaultValue) {
    const auto path = ProfilePath(where);
    const auto file = path ? ReadProfileText(*path) : std::nullopt;
    if (!file || !NamesFitTheFile(section.bytes(), entry.bytes())) {
        return defaultValue;
    }
    const EntryPlace place = FindEntry(SplitLines(*file), section.bytes(), entry.bytes());
    return place.value ? ParseInt(*place.value).value_or(defaultValue) : defaultValue;
}

bool WriteProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                     int value) {
    const auto path = ProfilePath(where);
    if (!path || !NamesFitTheFile(section.bytes(), entry.bytes())) {
        return false;
    }
    const auto file = ReadProfileText(*path);
    if (!file) {
        return false;
    }
    const std::vector<Line> lines = SplitLines(*file);
    const EntryPlace place = FindEntry(lines, section.bytes(), entry.bytes());
    // New lines follow the file's own line breaks.
    const std::string newline = file->find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entryLine = entry.bytes() + "=" + std::to_string(value);

    std::string updated;
    if (place.entryLine) {
        const Line& old = lines[*place.entryLine];
        updated = file->substr(0, old.start) + entryLine + file->substr(old.start + old.text.size());
    } else if (place.lastSectionLine) {
        // After the section's last line, so that blank lines before the next
        // section stay where they are.
        const Line& last = lines[*place.lastSectionLine];
        std::size_t after = file->find('\n', last.start);
        std::string head = after == std::string::npos ? *file + newline : file->substr(0, after + 1);
        after = after == std::string::npos ? file->size() : after + 1;
        updated = head + entryLine + newline + file->substr(after);
    } else {
        updated = *file;
        if (!updated.empty() && updated.back() != '\n') {
            updated += newline;
        }
        updated += "[" + section.bytes() + "]" + newline + entryLine + newline;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(updated.data());
    return ReplaceFileAtomically(*path, std::span<const std::uint8_t>(bytes, updated.size())) == WriteStatus::Written;
}

}  // namespace molvar::platform
