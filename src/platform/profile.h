// Profile values: small integers a program keeps per user between runs,
// by section and entry name.
#pragma once

#include "text/cp932.h"

namespace molvar::platform {

// Where the values live. On Windows the registry, as the framework lays it
// out for a registry key: HKCU\Software\<registryKey>\<profileName>\<section>,
// each value a REG_DWORD named after its entry. Elsewhere the INI-style file
// "<profileName>.ini" in `folder` ("[section]" lines, then "entry=value"
// lines), replaced atomically on each write.
struct ProfileLocation {
    text::Cp932String registryKey;
    text::Cp932String profileName;
    text::Cp932String folder;  // POSIX only
};

// The stored value; `defaultValue` when it is missing, not a number (on
// Windows: not a REG_DWORD) or cannot be read.
int ReadProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                   int defaultValue);

// Stores the value, creating what is missing on the way; false when it
// could not be stored (what was stored before stays as it was).
bool WriteProfileInt(const ProfileLocation& where, const text::Cp932String& section, const text::Cp932String& entry,
                     int value);

}  // namespace molvar::platform
