// Path composition and the platform's limits on paths.
#pragma once

#include "text/cp932.h"

namespace molvar::platform {

// '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

// `folder`, the separator, `name`.
text::Cp932String JoinPath(const text::Cp932String& folder, const text::Cp932String& name);

}  // namespace molvar::platform
