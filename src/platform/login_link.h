// The link that starts a program when the user logs in. On Windows a shell
// link "<name>.lnk" in the user's Startup folder (made when missing); on
// POSIX a desktop entry "<name>.desktop" in $XDG_CONFIG_HOME/autostart
// (default ~/.config/autostart, made when missing), written by the Desktop
// Entry and Autostart specifications.
#pragma once

#include <optional>

#include "text/cp932.h"

namespace molvar::platform {

// Makes or replaces the link `name` that starts `target` without arguments
// (shown normally; on POSIX Exec holds the path, quoted and escaped as the
// Desktop Entry rules require). False when it could not be made; an older link
// of that name may then stay.
bool CreateLoginLink(const text::Cp932String& name, const text::Cp932String& target,
                     const text::Cp932String& description);

// Removes the link; a link that is not there is no error.
bool DeleteLoginLink(const text::Cp932String& name);

// The path of the link `name`; empty when the folder cannot be told.
std::optional<text::Cp932String> LoginLinkPath(const text::Cp932String& name);

}  // namespace molvar::platform
