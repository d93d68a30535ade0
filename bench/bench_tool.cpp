// Helper of bench/watch_bench: writes a settings file, stamps the start of a
// started program, and writes a file reporting when it was closed.
//   bench_tool settings FILE PROGRAM FOLDER...   one running setting per folder
//   bench_tool stamp ARG                         appends "<ns> ARG" to $MOLVAR_STAMP_FILE
//   bench_tool write PATH                        writes PATH, prints the ns at its close
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "config/watch_record.h"
#include "text/convert.h"

namespace {

using namespace molvar;

long long NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

int WriteSettings(const char* file, const char* program, char** folders, int count) {
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < count; ++k) {
        config::WatchFileRecord record;
        record.running = 1;
        record.entry.openTarget = 1;
        record.entry.waitForExit = 1;
        const auto folder = text::FromUtf8(folders[k]);
        const auto command = text::FromUtf8(program);
        if (!folder || !command) {
            return 2;
        }
        text::StoreField(record.entry.folder, *folder, config::text_limit::folder);
        text::StoreField(record.entry.program, *command, config::text_limit::program);
        bytes.resize(bytes.size() + config::WatchFileRecord::kSize);
        record.ToBytes(std::span<std::uint8_t, config::WatchFileRecord::kSize>(bytes.end() - config::WatchFileRecord::kSize,
                                                                               config::WatchFileRecord::kSize));
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "settings") == 0) {
        return WriteSettings(argv[2], argv[3], argv + 4, argc - 4);
    }
    if (argc == 3 && std::strcmp(argv[1], "stamp") == 0) {
        const long long started = NowNs();
        const char* file = std::getenv("MOLVAR_STAMP_FILE");
        if (file == nullptr) {
            return 2;
        }
        std::ofstream(file, std::ios::app) << started << ' ' << argv[2] << '\n';
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        std::ofstream out(argv[2]);
        out << "sample\n";
        out.flush();
        // Taken before the close: a watcher may start its program before
        // this process runs again after the close.
        const long long closing = NowNs();
        out.close();
        std::printf("%lld\n", closing);
        return 0;
    }
    std::fputs("usage: bench_tool settings FILE PROGRAM FOLDER... | stamp ARG | write PATH\n", stderr);
    return 2;
}
