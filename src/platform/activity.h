// Watch events worth telling the user without stopping the watch for them:
// a listing kept in memory, a folder that went away or came back. The
// engine hands them over as values and never formats or writes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/cp932.h"

namespace molvar::platform {

struct ActivityEvent {
    std::int64_t time = 0;   // calendar time
    int setting = -1;        // entry index; -1 for none
    std::string_view event;  // one word, such as "listing-kept"
    text::Cp932String path;  // the file or folder concerned
    std::string detail;      // a few words for the user
};

// The one place every event goes through: one line on standard error for
// now, never a message box.
void ReportActivity(const ActivityEvent& event);

}  // namespace molvar::platform
