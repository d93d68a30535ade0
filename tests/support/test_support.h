// Shared pieces of the tests: temporary folders, file contents, code page 932
// literals, recorders for the effects the engine has on the user, and the
// program that records the arguments it is started with.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/data_folder.h"
#include "framework/message_box.h"
#include "platform/activity.h"
#include "platform/native_path.h"
#include "platform/services.h"
#include "text/convert.h"
#include "text/cp932.h"

namespace molvar::test {

namespace fs = std::filesystem;

// The name of a temporary file that a copy killed while writing left behind
// (its process id is one that no process has).
#ifdef _WIN32
inline const fs::path kAbandoned = "~mvfffffffc-0a1b.tmp";
#else
inline const fs::path kAbandoned = ".molvar-2147483647-a1B2c3";
#endif

// Guards of a state for the lifetime of the object are not copied.
struct Guard {
    Guard() = default;
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// Code page 932 from a UTF-8 test literal.
inline text::Cp932String Sj(std::u8string_view utf8) { return text::LiteralToCp932(utf8); }
// A file name in the OS form from UTF-8 (on Linux any bytes, kept as they are).
inline platform::NativePath Native(std::string_view utf8) { return platform::NativeFromUtf8(utf8); }
// The UTF-8 form of a path. path::string() is not UTF-8 on Windows, and a
// path made from a char string is not read as UTF-8 there either: tests
// write Japanese path pieces as u8 literals.
inline std::string Utf8(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}
// The path that a UTF-8 string names (on Linux any bytes, kept as they are).
inline fs::path Utf8Path(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }
// Code page 932 of a file system path (empty when it has none).
inline text::Cp932String SjPath(const fs::path& path) { return text::FromUtf8(Utf8(path)).value_or(text::Cp932String()); }

// A fresh folder under the system's temporary folder, removed with its content.
class TempFolder : Guard {
public:
    TempFolder();
    ~TempFolder();
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline std::string ReadText(const fs::path& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}
template <class Bytes>
void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
inline void WriteText(const fs::path& path, const std::string& text) { WriteBytes(path, text); }
// The bytes of a file of fixed-size records (settings or a listing), one
// after the other.
template <class Record>
std::vector<std::uint8_t> BytesOfRecords(const std::vector<Record>& records) {
    std::vector<std::uint8_t> bytes(records.size() * Record::kSize);
    for (std::size_t k = 0; k < records.size(); ++k) {
        records[k].ToBytes(std::span<std::uint8_t, Record::kSize>(bytes.data() + k * Record::kSize, Record::kSize));
    }
    return bytes;
}
// Puts a file into its folder the way a copy brings it. On Windows a copy
// also sets the file's attributes, which is what wakes a watch for
// attribute changes there (writing a new file alone does not); elsewhere
// the file is written and closed.
void ArriveByCopy(const fs::path& path, const std::string& text);
// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.push_back(Utf8(item.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}
// Sets a file's last-write time to a calendar time (seconds since 1970 UTC).
inline void SetLastWriteTime(const fs::path& path, std::int64_t calendarTime) {
    fs::last_write_time(path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds(calendarTime)}));
}

// Stores a text into a record's field, cut to the field's width less its NUL.
inline void Store(std::span<char> field, const text::Cp932String& value) {
    text::StoreField(field, value, field.size() - 1);
}

// Records what the engine does to the user, in order, instead of doing it:
// message boxes (answered OK or Yes, while the recorder lives), sounds,
// pauses and program starts. Tells a fixed time.
class EffectRecorder final : public platform::Services, public framework::MessageBoxPresenter {
public:
    std::optional<platform::LocalTime> localTime;  // what LocalTimeOf tells
    mutable std::atomic<std::int64_t> calendarTime{1335103509};  // what CalendarTime tells
    std::atomic<std::int64_t> calendarStep{0};  // how far the clock moves at each reading
    std::function<void()> whileShown;  // runs while a message box is shown: what the user does meanwhile
    platform::ProgramEnd programEnd{std::nullopt, 0, std::nullopt};  // what RunAndWait tells
    platform::Failure shellFailure;  // what ShellRun, ShellOpenDocument and PlayWave tell

    std::vector<std::string> events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    // Waits until at least `count` events have been recorded (false after a
    // generous time-out, so a fault fails the test instead of hanging it).
    bool WaitForEvents(std::size_t count) const {
        std::unique_lock lock(mutex_);
        return added_.wait_for(lock, std::chrono::seconds(20), [&] { return events_.size() >= count; });
    }

    int Present(const text::Cp932String& message, unsigned type) override {
        Add("message:", message);
        if (whileShown) whileShown();
        return type == MB_YESNO ? IDYES : IDOK;
    }
    std::int64_t CalendarTime() const override { return calendarTime.fetch_add(calendarStep); }
    std::optional<platform::LocalTime> LocalTimeOf(std::int64_t) const override { return localTime; }
    void Sleep(std::chrono::milliseconds time) const override { Add("sleep:" + std::to_string(time.count())); }
    void Beep(unsigned hz, std::chrono::milliseconds time) const override {
        Add("beep:" + std::to_string(hz) + "Hz," + std::to_string(time.count()) + "ms");
    }
    platform::Failure PlayWave(const text::Cp932String& path) const override { return Add("wave:", path), shellFailure; }
    platform::ProgramEnd RunAndWait(const text::Cp932String& line, const std::optional<platform::NativePath>& arg) const override {
        return Add("run:", line, arg), programEnd;
    }
    platform::Failure ShellRun(const text::Cp932String& program, const std::optional<platform::NativePath>& arg) const override {
        return Add("shell-run:", program, arg), shellFailure;
    }
    platform::Failure ShellOpenDocument(const platform::NativePath& path) const override {
        return Add("shell-open:" + Utf8ForDisplay(path)), shellFailure;
    }

private:
    // A text, and a program's argument after a bar ("(none)" for none).
    void Add(std::string event, const text::Cp932String& text,
             std::optional<std::optional<platform::NativePath>> arg = std::nullopt) const {
        event += text::ToUtf8ForDisplay(text);
        if (arg) event += "|" + (*arg ? Utf8ForDisplay(**arg) : std::string("(none)"));
        Add(std::move(event));
    }
    void Add(std::string event) const {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        added_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    mutable std::vector<std::string> events_;
    framework::ScopedMessageBoxPresenter installed_{*this};
};

// The process's activity history, in a folder of its own while the guard
// lives. Lines come oldest first, each as "setting|event|path|detail".
class ScopedHistory : Guard {
public:
    explicit ScopedHistory(std::uint64_t rotateBytes = platform::ActivityLog::kRotateBytes) {
        platform::UseActivityLog(std::make_unique<platform::ActivityLog>(Native(Utf8(folder_.path())), rotateBytes));
    }
    ~ScopedHistory() { platform::UseActivityLog(nullptr); }
    std::vector<std::string> Lines() const {
        auto lines = platform::TheActivityLog().Latest(100000);
        std::vector<std::string> told;
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            told.push_back(line->setting + "|" + line->event + "|" + line->path + "|" + line->detail);
        }
        return told;
    }
    const fs::path& folder() const { return folder_.path(); }

private:
    TempFolder folder_;
};

// The data folder for the lifetime of the guard: `folder` with its "obsdat"
// sub-folder, set as g_baseFolder and restored afterwards.
class ScopedDataFolder : Guard {
public:
    explicit ScopedDataFolder(const fs::path& folder) : folder_(folder), saved_(config::g_baseFolder) {
        fs::create_directories(Obsdat());
        config::g_baseFolder = SjPath(folder);
    }
    ~ScopedDataFolder() { config::g_baseFolder = saved_; }
    fs::path Obsdat() const { return folder_ / "obsdat"; }
    fs::path ListingFile(int entryIndex) const { return Obsdat() / (std::to_string(entryIndex) + ".dir"); }
    // The names that a listing file holds, sorted.
    std::vector<std::string> ListedNames(int entryIndex) const;

private:
    fs::path folder_;
    text::Cp932String saved_;
};

// Sets an environment variable for the lifetime of the guard; programs
// started meanwhile inherit it.
class ScopedEnv : Guard {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Removes a profile a test wrote under "Molvar tests": its registry key on
// Windows. An INI file of POSIX goes with the test's temporary folder.
void RemoveTestProfile(const std::string& profileName);

// The POSIX form of Central European time; the Wine run of the tests sets it too.
inline constexpr const char* kCentralEuropeanTimeZone = "CET-1CEST,M3.5.0,M10.5.0/3";

// Central European time (UTC+1, UTC+2 in summer) for the lifetime of the
// guard, where the process can have it: POSIX sets TZ; a Windows program
// cannot choose its zone and has it only when the system (or Wine, from TZ)
// already uses it.
class ScopedCentralEuropeanTime : Guard {
public:
    ScopedCentralEuropeanTime();
    ~ScopedCentralEuropeanTime();
    bool active() const { return active_; }

private:
    std::optional<ScopedEnv> zone_;
    bool active_ = false;
};

// The record_args helper, which writes its arguments (UTF-8, each followed by
// a NUL) to the file named by MOLVAR_ARGS_FILE.
fs::path RecordArgsProgram();

// Where the record_args helpers started while it lives write (a FIFO on
// Linux, a mailslot on Windows), read as they write: a program that is not
// waited for is waited for by reading, never by sleeping.
class ProgramRecord : Guard {
public:
    ProgramRecord();
    ~ProgramRecord();
    // The arguments of the next program that writes; empty when none writes
    // within 20 seconds.
    std::optional<std::vector<std::string>> Next();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace molvar::test
