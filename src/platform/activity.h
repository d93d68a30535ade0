// The activity history: what the watches did and what failed, one line per
// event in a UTF-8 file the user can read, filter and send to whoever helps
// them. The engine hands events over as values and never formats or writes
// them; the history window reads the file and hears of new lines as they
// are written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/native_path.h"
#include "text/cp932.h"

namespace molvar::platform {

struct ActivityEvent {
    std::int64_t time = 0;           // calendar time
    text::Cp932String setting;       // the setting's title; empty for none
    std::string_view event;          // one of the fixed words, such as "moved"
    NativePath path;                 // the file or folder concerned; may be empty
    std::string detail;              // UTF-8, a few words for the user; may be empty
};

// One line of the history file, its five fields as UTF-8 text.
struct HistoryLine {
    std::string time;
    std::string setting;
    std::string event;
    std::string path;
    std::string detail;
    friend bool operator==(const HistoryLine&, const HistoryLine&) = default;
};

// "time\tsetting\tevent\tpath\tdetail\n", with tabs, carriage returns and
// line feeds inside a field made spaces.
std::string FormatHistoryLine(const HistoryLine& line);
// The fields of one line (without its line end); empty for a line that does
// not have five fields.
std::optional<HistoryLine> ParseHistoryLine(std::string_view line);
// "2026-12-07T14:03:05+09:00": local time with its offset, whole seconds.
std::string IsoLocalTime(std::int64_t calendarTime);

class ActivityLog {
public:
    // The file "history.txt" in `folder` (made when missing), renamed to
    // "history.1.txt" once it passes `rotateBytes`.
    ActivityLog(NativePath folder, std::uint64_t rotateBytes = kRotateBytes);
    ~ActivityLog();
    ActivityLog(const ActivityLog&) = delete;
    ActivityLog& operator=(const ActivityLog&) = delete;

    static constexpr std::uint64_t kRotateBytes = 1024 * 1024;

    // Appends the event's line in one write (or with the rest of this
    // thread's ActivityBatch), and hands it to every listener (on the
    // recording thread). A write that fails is dropped.
    void Record(const ActivityEvent& event);

    // The latest `count` lines of history.txt and history.1.txt, newest first.
    std::vector<HistoryLine> Latest(std::size_t count) const;

    // Listeners hear of every line recorded from now on, for as long as the
    // returned token lives. They run on the thread that records and must not
    // block; they may not record themselves.
    using Listener = std::function<void(const HistoryLine&)>;
    [[nodiscard]] std::shared_ptr<void> Listen(Listener listener);

    // Empty for a log that has no folder.
    NativePath FilePath() const;
    // Headless runs also print each line on standard output.
    void EchoToStandardOutput(bool echo);

    struct State;  // the log's own

private:
    friend class ActivityBatch;
    std::shared_ptr<State> state_;
};

// While one lives, the lines this thread records go to the file together,
// in as few writes as whole lines allow, when it ends or Flush is called: a
// scan of many files then costs the disk a few writes instead of one per
// line. Listeners and standard output still hear each line at once.
class ActivityBatch {
public:
    ActivityBatch();
    ~ActivityBatch();
    ActivityBatch(const ActivityBatch&) = delete;
    ActivityBatch& operator=(const ActivityBatch&) = delete;

    // Writes what this thread holds: before anything that may take long (a
    // message box, a program waited for), so that the file is never behind.
    static void Flush();

    struct Pending;

private:
    // Held by the outermost batch: a thread-local object with a destructor
    // is not safe at thread exit under every Windows run-time.
    std::unique_ptr<Pending> owned_;
};

// The history of this user: $XDG_STATE_HOME/TORVEL/Molvar3 (else
// ~/.local/state/...) on Linux, %LOCALAPPDATA%\TORVEL\Molvar3 on Windows.
// Empty when the folder cannot be told.
std::optional<NativePath> HistoryFolder();

// The process's history, opened at HistoryFolder() on first use (a log with
// no folder records nothing). Tests may put their own in its place.
ActivityLog& TheActivityLog();
void UseActivityLog(std::unique_ptr<ActivityLog> log);

// The one place every event goes through.
void ReportActivity(const ActivityEvent& event);

}  // namespace molvar::platform
