// Shared pieces of the tests: temporary folders, file contents, code page 932
// literals and recorders for the effects the engine has on the user.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "framework/message_box.h"
#include "platform/services.h"
#include "text/cp932.h"

namespace molvar::test {

// Code page 932 from a UTF-8 test literal.
text::Cp932String Sj(std::u8string_view utf8);
// Code page 932 of a file system path.
text::Cp932String SjPath(const std::filesystem::path& path);
// The UTF-8 form of a path. path::string() is not UTF-8 on Windows, and a
// path made from a char string is not read as UTF-8 there either: tests
// write Japanese path pieces as u8 literals.
std::string Utf8(const std::filesystem::path& path);
// The path that a UTF-8 string names.
std::filesystem::path Utf8Path(std::string_view utf8);

// A fresh folder under the system's temporary folder, removed with its content.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
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
void WriteText(const std::filesystem::path& path, const std::string& text);
std::string ReadText(const std::filesystem::path& path);
// Puts a file into its folder the way a copy brings it. On Windows a copy
// also sets the file's attributes, which is what wakes a watch for
// attribute changes there (writing a new file alone does not); elsewhere
// the file is written and closed.
void ArriveByCopy(const std::filesystem::path& path, const std::string& text);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::filesystem::path& folder);

// Records what the engine does to the user, in order, instead of doing it:
// message boxes (answered OK or Yes, while the recorder lives), sounds,
// pauses and program starts. Tells a fixed time.
class EffectRecorder final : public platform::Services, public framework::MessageBoxPresenter {
public:
    std::optional<platform::LocalTime> localTime;  // what LocalTimeOf tells
    mutable std::atomic<std::int64_t> calendarTime{1335103509};  // what CalendarTime tells
    std::atomic<std::int64_t> calendarStep{0};  // how far the clock moves at each reading

    std::vector<std::string> events() const;
    // Waits until at least `count` events have been recorded (false after a
    // generous time-out, so a fault fails the test instead of hanging it).
    bool WaitForEvents(std::size_t count) const;

    int Present(const text::Cp932String& message, unsigned type) override;
    std::int64_t CalendarTime() const override { return calendarTime.fetch_add(calendarStep); }
    std::optional<platform::LocalTime> LocalTimeOf(std::int64_t) const override { return localTime; }
    void Sleep(std::chrono::milliseconds duration) const override;
    void Beep(unsigned frequencyHz, std::chrono::milliseconds duration) const override;
    void PlayWave(const text::Cp932String& path) const override;
    void RunAndWait(const text::Cp932String& commandLine,
                    const std::optional<text::Cp932String>& argument) const override;
    void ShellRun(const text::Cp932String& program, const std::optional<text::Cp932String>& parameter) const override;
    void ShellOpenDocument(const text::Cp932String& path) const override;

private:
    void Add(std::string event) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    mutable std::vector<std::string> events_;
    framework::ScopedMessageBoxPresenter installed_{*this};
};

// Stores a text into a record's field, cut to the field's width less its NUL.
void Store(std::span<char> field, const text::Cp932String& value);

// The data folder for the lifetime of the guard: `folder` with its "obsdat"
// sub-folder, set as g_baseFolder and restored afterwards.
class ScopedDataFolder {
public:
    explicit ScopedDataFolder(const std::filesystem::path& folder);
    ~ScopedDataFolder();
    ScopedDataFolder(const ScopedDataFolder&) = delete;
    ScopedDataFolder& operator=(const ScopedDataFolder&) = delete;
    std::filesystem::path Obsdat() const { return folder_ / "obsdat"; }
    std::filesystem::path ListingFile(int entryIndex) const { return Obsdat() / (std::to_string(entryIndex) + ".dir"); }

private:
    std::filesystem::path folder_;
    text::Cp932String saved_;
};

// Sets a file's last-write time to a calendar time (seconds since 1970 UTC).
void SetLastWriteTime(const std::filesystem::path& path, std::int64_t calendarTime);

// Sets an environment variable for the lifetime of the guard; programs
// started meanwhile inherit it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// The program runs on Wine rather than on Windows itself.
bool RunningUnderWine();

// The POSIX form of Central European time; the Wine run of the tests sets it too.
inline constexpr const char* kCentralEuropeanTimeZone = "CET-1CEST,M3.5.0,M10.5.0/3";

// Central European time (UTC+1, UTC+2 in summer) for the lifetime of the
// guard, where the process can have it: POSIX sets TZ; a Windows program
// cannot choose its zone and has it only when the system (or Wine, from TZ)
// already uses it.
class ScopedCentralEuropeanTime {
public:
    ScopedCentralEuropeanTime();
    ~ScopedCentralEuropeanTime();
    ScopedCentralEuropeanTime(const ScopedCentralEuropeanTime&) = delete;
    ScopedCentralEuropeanTime& operator=(const ScopedCentralEuropeanTime&) = delete;
    bool active() const { return active_; }

private:
    std::optional<ScopedEnv> zone_;
    bool active_ = false;
};

// The record_args helper, which writes its arguments (UTF-8, each followed by
// a NUL) to the file named by MOLVAR_ARGS_FILE.
std::filesystem::path RecordArgsProgram();

// The arguments the record_args helper wrote to `file`, one run after another.
std::vector<std::string> RecordedArgs(const std::filesystem::path& file);

// Where the record_args helpers started while it lives write (a FIFO on
// Linux, a named pipe on Windows), read as they write: a program that is not
// waited for is waited for by reading, never by sleeping.
class ProgramRecord {
public:
    ProgramRecord();
    ~ProgramRecord();
    ProgramRecord(const ProgramRecord&) = delete;
    ProgramRecord& operator=(const ProgramRecord&) = delete;
    // The arguments of the next program that writes; empty when none writes
    // within 20 seconds.
    std::optional<std::vector<std::string>> Next();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Keeps the record_args helpers started while the guard lives running after
// they have written their record, until the guard ends (or for two minutes
// at most): they wait while the file `hold` exists.
class HeldPrograms {
public:
    explicit HeldPrograms(const std::filesystem::path& hold);
    ~HeldPrograms();
    HeldPrograms(const HeldPrograms&) = delete;
    HeldPrograms& operator=(const HeldPrograms&) = delete;

private:
    std::filesystem::path hold_;
    ScopedEnv env_;
};

// Writes "dirinfo.dat" in `obsdat` with one running setting: each file that
// comes to `watched` is given to the record_args helper, which is waited for.
void WriteRecordArgsSetting(const std::filesystem::path& obsdat, const std::filesystem::path& watched);

}  // namespace molvar::test
