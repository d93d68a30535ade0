// Programs are started without a shell: no file name is ever parsed by one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/command_line.h"
#include "platform/posix/os_path.h"
#include "platform/process.h"
#include "text/convert.h"

extern char** environ;

namespace molvar::platform {
namespace {

using posix::UniqueFd;

std::vector<char*> ArgvOf(std::vector<std::string>& words) {
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return argv;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::string ErrorText(int code) { return std::generic_category().message(code); }

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The executable a program name stands for: the name itself when it holds a
// slash, else the first match along PATH.
std::optional<std::string> FindExecutable(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? std::optional(name) : std::nullopt;
    }
    const char* searchPath = std::getenv("PATH");
    std::string_view folders = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const auto colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        folders.remove_prefix(colon + 1);
    }
}

// A started program begins with no blocked signals and default signal
// actions, whatever molvar's threads block or ignore.
class CleanSignalsAttr {
public:
    CleanSignalsAttr() {
        ::posix_spawnattr_init(&attr_);
        sigset_t none, all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        ::posix_spawnattr_setsigmask(&attr_, &none);
        ::posix_spawnattr_setsigdefault(&attr_, &all);
        ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~CleanSignalsAttr() { ::posix_spawnattr_destroy(&attr_); }
    CleanSignalsAttr(const CleanSignalsAttr&) = delete;
    CleanSignalsAttr& operator=(const CleanSignalsAttr&) = delete;
    const posix_spawnattr_t* get() const { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

// The same in a forked child; sigaction and sigprocmask are async-signal-safe.
void ResetSignalsInChild() {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &defaults, nullptr);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Starts a program that nobody waits for. The intermediate child exits at
// once and is reaped here, so the program is adopted by init and never left
// as a zombie of ours. Between fork and exec only async-signal-safe calls.
// A failed exec sends its errno through a pipe that a successful one closes.
Failure SpawnDetached(std::vector<std::string> words) {
    auto argv = ArgvOf(words);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return ErrorText(errno);
    }
    UniqueFd readEnd(pipeEnds[0]);
    UniqueFd writeEnd(pipeEnds[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        return ErrorText(errno);
    }
    if (child == 0) {
        ::setsid();  // a Ctrl-C meant for molvar does not reach the program
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ResetSignalsInChild();
            ::execve(argv[0], argv.data(), environ);
            const int code = errno;
            [[maybe_unused]] const auto sent = ::write(writeEnd.get(), &code, sizeof code);
            ::_exit(127);
        }
        if (grandchild < 0) {
            const int code = errno;
            [[maybe_unused]] const auto sent = ::write(writeEnd.get(), &code, sizeof code);
        }
        ::_exit(0);
    }
    writeEnd.reset();
    WaitFor(child);
    int code = 0;
    ssize_t got = 0;
    do {
        got = ::read(readEnd.get(), &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof code) ? Failure(ErrorText(code)) : std::nullopt;
}

}  // namespace

ProgramEnd RunAndWait(const text::Cp932String& programField, const std::optional<NativePath>& argument) {
    const auto utf8 = text::ToUtf8(programField);
    const ProgramField field = utf8 ? ReadProgramField(*utf8, FindExecutable) : ProgramField{};
    if (!field.program) {
        return {ErrorText(ENOENT), {}, {}};
    }
    std::vector<std::string> words{*field.program};
    for (std::string& word : SplitArguments(field.arguments)) {
        words.push_back(std::move(word));
    }
    if (argument) {
        words.push_back(argument->bytes());
    }
    auto argv = ArgvOf(words);
    pid_t pid = 0;
    const CleanSignalsAttr attr;
    if (const int failed = ::posix_spawn(&pid, argv[0], nullptr, attr.get(), argv.data(), environ); failed != 0) {
        return {ErrorText(failed), {}, {}};
    }
    const int status = WaitFor(pid);
    if (WIFSIGNALED(status)) {
        return {std::nullopt, std::nullopt, WTERMSIG(status)};
    }
    return {std::nullopt, WEXITSTATUS(status), std::nullopt};
}

Failure ShellRun(const text::Cp932String& programField, const std::optional<NativePath>& parameter) {
    const auto utf8 = text::ToUtf8(programField);
    if (!utf8) {
        return ErrorText(EILSEQ);
    }
    const ProgramField field = ReadProgramField(*utf8, FindExecutable);
    if (!field.program) {
        // Not a program: the desktop opens it like a document, as the Windows shell would.
        const auto document = NativeOf(programField);
        return document && !document->empty() ? ShellOpenDocument(*document) : Failure(ErrorText(ENOENT));
    }
    std::vector<std::string> words{*field.program};
    for (std::string& word : SplitArguments(field.arguments)) {
        words.push_back(std::move(word));
    }
    if (parameter) {
        words.push_back(parameter->bytes());
    }
    return SpawnDetached(std::move(words));
}

// xdg-open is not waited for (it may wait for the application it starts):
// what it cannot open later is not known here.
Failure ShellOpenDocument(const NativePath& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.bytes().c_str(), &info) != 0) {
        return ErrorText(path.empty() ? ENOENT : errno);
    }
    const auto opener = FindExecutable("xdg-open");
    if (!opener) {
        return "xdg-open: " + ErrorText(ENOENT);
    }
    return SpawnDetached({*opener, path.bytes()});
}

}  // namespace molvar::platform
