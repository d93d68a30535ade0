#include "platform/activity.h"

#include <cstdio>
#include <mutex>

#include "text/convert.h"

namespace molvar::platform {

void ReportActivity(const ActivityEvent& event) {
    // Appended piece by piece: g++ 12 at -O3 warns (falsely) of an overlap
    // in `"literal" + std::string&&`.
    std::string line = "molvar: ";
    line += event.event;
    line.append(" ").append(text::ToUtf8ForDisplay(event.setting));
    line.append(" ").append(Utf8ForDisplay(event.path));
    if (!event.detail.empty()) {
        line.append(": ").append(event.detail);
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
