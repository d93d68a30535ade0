#include "platform/file_write_gate.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/files.h"

namespace molvar::platform {
namespace {

struct WriteGate {
    std::mutex mutex;
    std::condition_variable changed;
    int writes = 0;
    bool ending = false;
};

WriteGate& Gate() {
    static WriteGate gate;
    return gate;
}

}  // namespace

FileWriteScope::FileWriteScope() {
    WriteGate& gate = Gate();
    std::unique_lock lock(gate.mutex);
    gate.changed.wait(lock, [&] { return !gate.ending; });
    ++gate.writes;
}

FileWriteScope::~FileWriteScope() {
    WriteGate& gate = Gate();
    std::lock_guard lock(gate.mutex);
    if (--gate.writes == 0) {
        gate.changed.notify_all();
    }
}

void EndProcessAfterFileWrites(int status) {
    WriteGate& gate = Gate();
    {
        std::unique_lock lock(gate.mutex);
        gate.ending = true;
        gate.changed.wait(lock, [&] { return gate.writes == 0; });
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace molvar::platform
