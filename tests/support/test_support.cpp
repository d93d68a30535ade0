#include "support/test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/handle.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <random>

#include "config/data_folder.h"
#include "config/watch_record.h"
#include "text/convert.h"

namespace molvar::test {

text::Cp932String Sj(std::u8string_view utf8) { return text::LiteralToCp932(utf8); }

text::Cp932String SjPath(const std::filesystem::path& path) {
    auto converted = text::FromUtf8(Utf8(path));
    EXPECT_TRUE(converted.has_value()) << Utf8(path);
    return converted.value_or(text::Cp932String());
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::filesystem::path Utf8Path(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }

TempFolder::TempFolder() {
    // create_directory reports whether it made the folder, so a name that
    // is taken is never shared with another test run.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("molvar-test-" + std::to_string(random() % 100000000000ULL));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    ADD_FAILURE() << "no temporary folder could be made";
}

TempFolder::~TempFolder() {
    if (path_.empty()) {
        return;
    }
    // Windows refuses to delete read-only files, which some tests leave.
    // Error codes throughout: a destructor must not throw.
    std::error_code walking, ignored;
    for (std::filesystem::recursive_directory_iterator item(path_, walking), end; !walking && item != end;
         item.increment(walking)) {
        std::filesystem::permissions(item->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::filesystem::path& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void ArriveByCopy(const std::filesystem::path& path, const std::string& text) {
#ifdef _WIN32
    const TempFolder staging;
    const auto source = staging.path() / path.filename();
    WriteText(source, text);
    EXPECT_TRUE(::CopyFileW(source.c_str(), path.c_str(), FALSE)) << Utf8(path);
#else
    WriteText(path, text);
#endif
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(Utf8(item.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Store(std::span<char> field, const text::Cp932String& value) { text::StoreField(field, value, field.size() - 1); }

ScopedDataFolder::ScopedDataFolder(const std::filesystem::path& folder)
    : folder_(folder), saved_(config::g_baseFolder) {
    std::filesystem::create_directories(Obsdat());
    config::g_baseFolder = SjPath(folder);
}

ScopedDataFolder::~ScopedDataFolder() { config::g_baseFolder = saved_; }

void SetLastWriteTime(const std::filesystem::path& path, std::int64_t calendarTime) {
    const std::chrono::sys_seconds time{std::chrono::seconds(calendarTime)};
    std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(time));
}

void EffectRecorder::Add(std::string event) const {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    added_.notify_all();
}

bool EffectRecorder::WaitForEvents(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, std::chrono::seconds(20), [&] { return events_.size() >= count; });
}

std::vector<std::string> EffectRecorder::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int EffectRecorder::Present(const text::Cp932String& message, unsigned type) {
    Add("message:" + text::ToUtf8ForDisplay(message));
    return type == MB_YESNO ? IDYES : IDOK;
}

void EffectRecorder::Sleep(std::chrono::milliseconds duration) const {
    Add("sleep:" + std::to_string(duration.count()));
}

void EffectRecorder::Beep(unsigned frequencyHz, std::chrono::milliseconds duration) const {
    Add("beep:" + std::to_string(frequencyHz) + "Hz," + std::to_string(duration.count()) + "ms");
}

void EffectRecorder::PlayWave(const text::Cp932String& path) const { Add("wave:" + text::ToUtf8ForDisplay(path)); }

namespace {

std::string ProgramEvent(const char* kind, const text::Cp932String& program,
                         const std::optional<text::Cp932String>& argument) {
    return kind + text::ToUtf8ForDisplay(program) + "|" +
           (argument ? text::ToUtf8ForDisplay(*argument) : std::string("(none)"));
}

}  // namespace

void EffectRecorder::RunAndWait(const text::Cp932String& commandLine,
                                const std::optional<text::Cp932String>& argument) const {
    Add(ProgramEvent("run:", commandLine, argument));
}

void EffectRecorder::ShellRun(const text::Cp932String& program,
                              const std::optional<text::Cp932String>& parameter) const {
    Add(ProgramEvent("shell-run:", program, parameter));
}

void EffectRecorder::ShellOpenDocument(const text::Cp932String& path) const {
    Add("shell-open:" + text::ToUtf8ForDisplay(path));
}

#ifdef _WIN32
namespace {

// The process environment that CreateProcess hands on, in UTF-16; the C
// run-time's copy (getenv) is not what started programs see.
std::wstring Wide(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring(); }

std::optional<std::string> GetEnv(const std::string& name) {
    const std::wstring wideName = Wide(name);
    const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) {
        return std::nullopt;
    }
    std::wstring value(needed, L'\0');
    value.resize(::GetEnvironmentVariableW(wideName.c_str(), value.data(), needed));
    return Utf8(std::filesystem::path(value));
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
    ::SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
}

}  // namespace
#else
namespace {

std::optional<std::string> GetEnv(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

}  // namespace
#endif

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name), previous_(GetEnv(name)) {
    SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, previous_); }

bool RunningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

#ifdef _WIN32
ScopedCentralEuropeanTime::ScopedCentralEuropeanTime() {
    TIME_ZONE_INFORMATION zone;
    active_ = ::GetTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID && zone.Bias == -60 &&
              zone.DaylightBias == -60 && zone.DaylightDate.wMonth == 3 && zone.StandardDate.wMonth == 10;
}

ScopedCentralEuropeanTime::~ScopedCentralEuropeanTime() = default;
#else
ScopedCentralEuropeanTime::ScopedCentralEuropeanTime() {
    zone_.emplace("TZ", kCentralEuropeanTimeZone);
    ::tzset();
    active_ = true;
}

ScopedCentralEuropeanTime::~ScopedCentralEuropeanTime() {
    zone_.reset();
    ::tzset();
}
#endif

std::filesystem::path RecordArgsProgram() {
#ifdef _WIN32
    // Beside the running test program.
    std::wstring self(MAX_PATH, L'\0');
    DWORD length;
    while ((length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()))) == self.size()) {
        self.resize(self.size() * 2);
    }
    self.resize(length);
    return std::filesystem::path(self).parent_path() / "record_args.exe";
#else
    return MOLVAR_RECORD_ARGS;
#endif
}

namespace {

std::vector<std::string> SplitRecord(const std::string& content) {
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\0', start)) != std::string::npos; start = end + 1) {
        args.push_back(content.substr(start, end - start));
    }
    return args;
}

}  // namespace

std::vector<std::string> RecordedArgs(const std::filesystem::path& file) { return SplitRecord(ReadText(file)); }

#ifdef _WIN32
using platform::win32::UniqueHandle;

struct ProgramRecord::State {
    std::wstring name = LR"(\\.\pipe\molvar-test-)" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(::GetTickCount64());
    UniqueHandle pipe{::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr)};
    UniqueHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped{};
    std::optional<ScopedEnv> recordTo;

    // Waits up to 20 s for the operation just started; `alsoDone` is an
    // error that says it had happened already.
    bool Complete(BOOL started, DWORD alsoDone, DWORD* transferred = nullptr) {
        if (!started) {
            const DWORD error = ::GetLastError();
            if (alsoDone != 0 && error == alsoDone) {
                return true;
            }
            if (error != ERROR_IO_PENDING) {
                return false;
            }
        }
        DWORD count = 0;
        if (::WaitForSingleObject(event.get(), 20000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "no program wrote";
            ::CancelIoEx(pipe.get(), &overlapped);
            ::GetOverlappedResult(pipe.get(), &overlapped, &count, TRUE);
            ::SetLastError(ERROR_TIMEOUT);
            return false;
        }
        const BOOL ok = ::GetOverlappedResult(pipe.get(), &overlapped, &count, FALSE);
        if (transferred) {
            *transferred = count;
        }
        return ok;
    }
    OVERLAPPED* Start() {
        overlapped = OVERLAPPED{};
        ::ResetEvent(event.get());
        overlapped.hEvent = event.get();
        return &overlapped;
    }
};

ProgramRecord::ProgramRecord() : state_(std::make_unique<State>()) {
    EXPECT_TRUE(state_->pipe.valid());
    state_->recordTo.emplace("MOLVAR_ARGS_FILE", Utf8(std::filesystem::path(state_->name)));
}

std::optional<std::vector<std::string>> ProgramRecord::Next() {
    State& s = *state_;
    if (!s.Complete(::ConnectNamedPipe(s.pipe.get(), s.Start()), ERROR_PIPE_CONNECTED)) {
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (s.Complete(::ReadFile(s.pipe.get(), buffer, sizeof buffer, nullptr, s.Start()), 0, &got)) {
        content.append(buffer, got);
    }
    const bool ended = ::GetLastError() == ERROR_BROKEN_PIPE;  // the program closed its end
    ::DisconnectNamedPipe(s.pipe.get());
    return ended ? std::optional(SplitRecord(content)) : std::nullopt;
}
#else
struct ProgramRecord::State {
    TempFolder folder;
    std::filesystem::path fifo = folder.path() / "record";
    int reader = -1;
    int writer = -1;  // the test's own, so that a program closing its end leaves the FIFO open
    std::optional<ScopedEnv> recordTo;
};

ProgramRecord::ProgramRecord() : state_(std::make_unique<State>()) {
    EXPECT_EQ(::mkfifo(state_->fifo.c_str(), 0600), 0);
    state_->reader = ::open(state_->fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    state_->writer = ::open(state_->fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    state_->recordTo.emplace("MOLVAR_ARGS_FILE", state_->fifo.string());
}

std::optional<std::vector<std::string>> ProgramRecord::Next() {
    pollfd ready{state_->reader, POLLIN, 0};
    if (::poll(&ready, 1, 20000) != 1) {
        ADD_FAILURE() << "no program wrote";
        return std::nullopt;
    }
    char content[4096];
    const ssize_t got = ::read(state_->reader, content, sizeof content);
    return SplitRecord(std::string(content, got > 0 ? static_cast<std::size_t>(got) : 0));
}
#endif

ProgramRecord::~ProgramRecord() {
#ifndef _WIN32
    ::close(state_->writer);
    ::close(state_->reader);
#endif
}

HeldPrograms::HeldPrograms(const std::filesystem::path& hold) : hold_(hold), env_("MOLVAR_ARGS_HOLD", Utf8(hold)) {
    WriteText(hold_, "");
}

HeldPrograms::~HeldPrograms() {
    std::error_code ignored;
    std::filesystem::remove(hold_, ignored);
}

void WriteRecordArgsSetting(const std::filesystem::path& obsdat, const std::filesystem::path& watched) {
    config::WatchFileRecord setting;
    setting.running = 1;
    Store(setting.entry.folder, SjPath(watched));
    Store(setting.entry.program, SjPath(RecordArgsProgram()));
    setting.entry.openTarget = 1;
    setting.entry.waitForExit = 1;
    WriteBytes(obsdat / "dirinfo.dat", BytesOfRecords(std::vector{setting}));
}

}  // namespace molvar::test
