// Path composition and the platform's limits on paths.
#pragma once

#include "text/cp932.h"

namespace molvar::platform {

// '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// `folder`, the separator, `name`.
text::Cp932String JoinPath(const text::Cp932String& folder, const text::Cp932String& name);

// True when the path can be handed to the OS: it converts to the OS encoding
// and fits the OS's path limit. A path that does not is never cut (it would
// name another file); the caller skips what it meant to do with it.
bool PathFitsPlatform(const text::Cp932String& path);

}  // namespace molvar::platform
