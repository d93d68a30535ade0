// Splitting a command line by the rules Windows programs use, so that a
// program field written for Windows ("C:\Tools\conv.exe" -q) means the same here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace molvar::platform {

// The first word is the program: double quotes group and are removed, nothing
// else is special. In later words white space separates, double quotes group,
// "" inside quotes is a literal quote, and backslashes are literal unless they
// precede a quote (2n backslashes and a quote: n backslashes and the quote
// groups; 2n+1: n backslashes and a literal quote).
// The text must be in an encoding whose multibyte characters contain no ASCII
// bytes (UTF-8 or UTF-16, not code page 932).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace molvar::platform
