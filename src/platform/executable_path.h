// Where the running program's file lies. Its name without folder and
// extension, which the framework keeps for the application, is
// framework::ExecutableName.
#pragma once

#include <optional>

#include "text/cp932.h"

namespace molvar::platform {

// The full path of the running executable; empty when it cannot be told or
// has no code page 932 form.
std::optional<text::Cp932String> RunningExecutablePath();

}  // namespace molvar::platform
