// Reading the program field of a setting, one rule on every platform and for
// programs waited for or not, and splitting command-line arguments by the
// rules Windows programs use, so that a field written for Windows
// ("C:\Tools\conv.exe" -q) means the same here.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace molvar::platform {

// The executable file that a candidate program names (searched for as the
// platform does where it is a bare name), or nothing.
using ProgramResolver = std::function<std::optional<std::string>(const std::string& candidate)>;

struct ProgramField {
    std::optional<std::string> program;  // the executable file; empty when the field names none
    std::string arguments;               // what follows it in the field, as written
};

// The program a field names, and its own arguments after it:
// 1. the whole field, when it names an executable file;
// 2. else, when its first word holds a double quote, that word, the quotes
//    grouping and removed;
// 3. else the longest text before a blank that names an executable file, so
//    "/opt/my tools/conv -q" runs "/opt/my tools/conv" even where "/opt/my"
//    is a program too.
// The text must be in an encoding whose multibyte characters contain no ASCII
// bytes (UTF-8 or UTF-16, not code page 932).
ProgramField ReadProgramField(std::string_view field, const ProgramResolver& resolve);

// Arguments as a Windows program's run-time splits them: white space
// separates, double quotes group, "" inside quotes is a literal quote, and
// backslashes are literal unless they precede a quote (2n backslashes and a
// quote: n backslashes and the quote groups; 2n+1: n backslashes and a
// literal quote).
std::vector<std::string> SplitArguments(std::string_view arguments);

}  // namespace molvar::platform
