#include "platform/command_line.h"

namespace molvar::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

ProgramField ReadProgramField(std::string_view field, const ProgramResolver& resolve) {
    field = TrimBlanks(field);
    if (field.empty()) {
        return {};
    }
    if (auto whole = resolve(std::string(field))) {
        return {std::move(whole), std::string()};
    }
    const std::size_t firstBlank = field.find_first_of(" \t");
    if (field.substr(0, firstBlank).find('"') != std::string_view::npos) {
        // Quotes group and are removed; nothing else is special in a program name.
        std::string program;
        bool quoted = false;
        std::size_t pos = 0;
        for (; pos < field.size() && (quoted || !IsBlank(field[pos])); ++pos) {
            if (field[pos] == '"') {
                quoted = !quoted;
            } else {
                program += field[pos];
            }
        }
        return {resolve(program), std::string(TrimBlanks(field.substr(pos)))};
    }
    // Longest first: the shortest would run C:\Program.exe for an unquoted
    // C:\Program Files\... wherever such a file exists.
    for (std::size_t blank = field.find_last_of(" \t"); blank != std::string_view::npos && blank > 0;
         blank = field.find_last_of(" \t", blank - 1)) {
        if (IsBlank(field[blank - 1])) {
            continue;  // the prefix ending at the first of these blanks is tried
        }
        if (auto program = resolve(std::string(field.substr(0, blank)))) {
            return {std::move(program), std::string(TrimBlanks(field.substr(blank)))};
        }
    }
    return {};
}

std::vector<std::string> SplitArguments(std::string_view line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && IsBlank(line[pos])) {
            ++pos;
        }
        if (pos == line.size()) {
            break;
        }
        std::string word;
        bool quoted = false;
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
