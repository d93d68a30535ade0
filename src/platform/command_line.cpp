#include "platform/command_line.h"

namespace molvar::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) {
        ++pos;
    }
    if (pos == line.size()) {
        return words;
    }

    // The program name: quotes group, backslashes are path separators.
    std::string program;
    bool quoted = false;
    for (; pos < line.size() && (quoted || !IsBlank(line[pos])); ++pos) {
        if (line[pos] == '"') {
            quoted = !quoted;
        } else {
            program += line[pos];
        }
    }
    words.push_back(std::move(program));

    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) {
            ++pos;
        }
        if (pos == line.size()) {
            break;
        }
        std::string word;
        quoted = false;
        while (pos < line.size() && (quoted || !IsBlank(line[pos]))) {
            if (line[pos] == '\\') {
                std::size_t backslashes = 0;
                while (pos < line.size() && line[pos] == '\\') {
                    ++backslashes;
                    ++pos;
                }
                if (pos < line.size() && line[pos] == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++pos;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
            } else if (line[pos] == '"') {
                if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
                    word += '"';  // "" inside quotes
                    pos += 2;
                } else {
                    quoted = !quoted;
                    ++pos;
                }
            } else {
                word += line[pos++];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace molvar::platform
