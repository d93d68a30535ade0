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

#include <cstdlib>
#include <random>

#include "config/snapshot.h"

namespace molvar::test {

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
    // Tests that make a file read-only make it writable again: Windows
    // refuses to delete read-only files. A destructor must not throw.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScopedDataFolder::ListedNames(int entryIndex) const {
    const auto bytes = ReadBytes(ListingFile(entryIndex));
    EXPECT_EQ(bytes.size() % config::SnapshotRecord::kSize, 0u);
    std::vector<std::string> names;
    for (std::size_t at = 0; at + config::SnapshotRecord::kSize <= bytes.size(); at += config::SnapshotRecord::kSize) {
        // The name follows the size, the date, the time and 4 reserved bytes.
        names.emplace_back(reinterpret_cast<const char*>(bytes.data() + at + 16));
    }
    std::sort(names.begin(), names.end());
    return names;
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

#ifdef _WIN32
namespace {

// The process environment that CreateProcess hands on, in UTF-16; the C
// run-time's copy (getenv) is not what started programs see.
std::wstring Wide(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring(); }

std::optional<std::string> GetEnv(const std::string& name) {
    const std::wstring wideName = Wide(name);
    const DWORD needed = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
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
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}

}  // namespace
#endif

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name), previous_(GetEnv(name)) {
    SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, previous_); }

#ifdef _WIN32
void RemoveTestProfile(const std::string& profileName) {
    const std::wstring tests = L"Software\\Molvar tests";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (tests + L"\\" + Utf8Path(profileName).wstring()).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, tests.c_str());  // only when no other run is using it
}
#else
void RemoveTestProfile(const std::string&) {}
#endif

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

// The arguments the record_args helper wrote, one run after another.
static std::vector<std::string> SplitRecord(std::string_view content) {
    std::vector<std::string> args;
    for (std::size_t end; (end = content.find('\0')) != std::string_view::npos; content.remove_prefix(end + 1)) {
        args.emplace_back(content.substr(0, end));
    }
    return args;
}

#ifdef _WIN32
// A mailslot: each program's record is one message.
struct ProgramRecord::State {
    std::wstring name = LR"(\\.\mailslot\molvar-test-)" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(::GetTickCount64());
    platform::win32::UniqueHandle slot{::CreateMailslotW(name.c_str(), 0, 20000, nullptr)};
    std::optional<ScopedEnv> recordTo;
};

ProgramRecord::ProgramRecord() : state_(std::make_unique<State>()) {
    EXPECT_TRUE(state_->slot.valid());
    state_->recordTo.emplace("MOLVAR_ARGS_FILE", Utf8(std::filesystem::path(state_->name)));
}

std::optional<std::vector<std::string>> ProgramRecord::Next() {
    char content[4096];
    DWORD got = 0;
    if (!::ReadFile(state_->slot.get(), content, sizeof content, &got, nullptr)) {
        ADD_FAILURE() << "no program wrote";
        return std::nullopt;
    }
    return SplitRecord(std::string(content, got));
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

}  // namespace molvar::test
