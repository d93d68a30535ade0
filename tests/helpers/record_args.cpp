// Test helper: writes its arguments (without the program name), each followed
// by a NUL, in one write to the file named by MOLVAR_ARGS_FILE, which may be a
// FIFO the test reads from; then waits while the file MOLVAR_ARGS_HOLD names
// exists.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    std::string record;
    for (int i = 1; i < argc; ++i) record.append(argv[i], std::strlen(argv[i]) + 1);
    const char* target = std::getenv("MOLVAR_ARGS_FILE");
    const int fd = target ? ::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd < 0) return target ? 3 : 2;
    const bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    ::close(fd);
    // A program that runs on, for two minutes at the most.
    const char* hold = std::getenv("MOLVAR_ARGS_HOLD");
    for (int waits = 0; hold && waits < 2400 && ::access(hold, F_OK) == 0; ++waits) ::usleep(50'000);
    return written ? 0 : 4;
}
