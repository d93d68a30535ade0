// Appends COUNT history lines for setting TAG to the history in FOLDER,
// rotated at ROTATE bytes: one of the processes of the history tests.
//   history_writer FOLDER TAG COUNT ROTATE
#include <string>

#include "platform/activity.h"
#include "text/convert.h"

int main(int argc, char** argv) {
    using namespace molvar;
    if (argc != 5) return 2;
    platform::ActivityLog log(platform::NativeFromUtf8(argv[1]), std::stoull(argv[4]));
    const auto tag = text::FromUtf8(argv[2]);
    const int count = std::stoi(argv[3]);
    for (int k = 0; k < count; ++k) {
        log.Record({0, tag.value_or(text::Cp932String{}), "found", platform::NativeFromUtf8("/watched/a.txt"),
                    std::to_string(k) + std::string(40, '.')});
    }
    return 0;
}
