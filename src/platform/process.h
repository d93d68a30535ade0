// Starting programs and handing files to the desktop. No failure shows a box;
// each is returned for the activity history.
#pragma once

#include <optional>

#include "platform/failure.h"
#include "platform/native_path.h"
#include "text/cp932.h"

namespace molvar::platform {

// Starts the program of a setting's program field (read by ReadProgramField,
// followed by its own arguments) with `argument` as one more argument when
// given, and waits until the program has ended. A field that names no
// executable file starts nothing.
ProgramEnd RunAndWait(const text::Cp932String& programField, const std::optional<NativePath>& argument);

// The same without waiting, through the shell: a field that names no
// program is handed to the shell whole, which opens it as a document.
Failure ShellRun(const text::Cp932String& programField, const std::optional<NativePath>& parameter);

// Opens a document with the application associated with it, without waiting.
Failure ShellOpenDocument(const NativePath& path);

}  // namespace molvar::platform
