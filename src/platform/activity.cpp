#include "platform/activity.h"

#include <cstdio>
#include <mutex>

#include "text/convert.h"

namespace molvar::platform {

void ReportActivity(const ActivityEvent& event) {
    std::string line = "molvar: " + std::string(event.event);
    if (event.setting >= 0) {
        line += " (setting " + std::to_string(event.setting) + ")";
    }
    line += " " + text::ToUtf8ForDisplay(event.path);
    if (!event.detail.empty()) {
        line += ": " + event.detail;
    }
    line += '\n';
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    // Nobody may be reading standard error; the watch goes on regardless.
    if (std::fputs(line.c_str(), stderr) < 0 || std::fflush(stderr) != 0) {
        std::clearerr(stderr);
    }
}

}  // namespace molvar::platform
