// Starting programs and handing files to the desktop. Failures are silent:
// the callers never report them.
#pragma once

#include <optional>

#include "text/cp932.h"

namespace molvar::platform {

// Starts `commandLine` (a program path, possibly followed by arguments, split
// by the Windows command-line rules) with `argument` appended as one more
// argument when given, and waits until the program has ended.
void RunAndWait(const text::Cp932String& commandLine, const std::optional<text::Cp932String>& argument);

// Hands `program` to the shell without waiting, with `parameter` as its one
// parameter when given.
void ShellRun(const text::Cp932String& program, const std::optional<text::Cp932String>& parameter);

// Opens a document with the application associated with it, without waiting.
void ShellOpenDocument(const text::Cp932String& path);

}  // namespace molvar::platform
