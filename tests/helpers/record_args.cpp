// Test helper: writes its arguments (without the program name), each followed
// by a NUL, in one write to the file named by MOLVAR_ARGS_FILE, which may be a
// FIFO the test reads from.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* target = std::getenv("MOLVAR_ARGS_FILE");
    if (target == nullptr) {
        return 2;
    }
    std::string record;
    for (int i = 1; i < argc; ++i) {
        record += argv[i];
        record += '\0';
    }
    const int fd = ::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return 3;
    }
    const bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    ::close(fd);
    return written ? 0 : 4;
}
