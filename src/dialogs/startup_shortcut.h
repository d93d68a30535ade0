// Starting Molvar when the user logs in: the link "Molvar" to the running
// executable (see platform/login_link.h for where each platform keeps it).
#pragma once

namespace molvar::dialogs {

// Makes or overwrites the link to the executable that is running now.
void CreateStartupShortcut();
// Removes the link; a missing one is no error.
void DeleteStartupShortcut();

}  // namespace molvar::dialogs
