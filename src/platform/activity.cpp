#include "platform/activity.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/history_file.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

constexpr char kFileName[] = "history.txt";
constexpr char kRotatedName[] = "history.1.txt";

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void AppendField(std::string& line, std::string_view field) {
    const std::size_t start = line.size();
    line += field;
    std::replace_if(line.begin() + static_cast<std::ptrdiff_t>(start), line.end(),
                    [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
}

std::string Utf8Path(const NativePath& path) { return path.empty() ? std::string() : Utf8ForDisplay(path); }

// Whole lines go in one write up to this size; a write of whole lines is
// never torn by another process's.
constexpr std::size_t kMostPendingBytes = 64 * 1024;

}  // namespace

std::string FormatHistoryLine(const HistoryLine& line) {
    std::string text;
    text.reserve(line.time.size() + line.setting.size() + line.event.size() + line.path.size() + line.detail.size() +
                 5);
    for (const std::string* field : {&line.time, &line.setting, &line.event, &line.path}) {
        AppendField(text, *field);
        text += '\t';
    }
    AppendField(text, line.detail);
    text += '\n';
    return text;
}

std::optional<HistoryLine> ParseHistoryLine(std::string_view line) {
    HistoryLine fields;
    std::string* parts[] = {&fields.time, &fields.setting, &fields.event, &fields.path, &fields.detail};
    for (std::size_t i = 0; i < 5; ++i) {
        const auto tab = line.find('\t');
        if ((tab == std::string_view::npos) != (i == 4)) {
            return std::nullopt;
        }
        parts[i]->assign(line.substr(0, tab));
        line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
    }
    return fields;
}

std::string IsoLocalTime(std::int64_t calendarTime) {
    const auto local = ToLocalTime(calendarTime);
    if (!local) {
        return "?";
    }
    // The offset is what the local fields, read as UTC, are ahead of the time.
    const std::int64_t asUtc =
        DaysFromCivil(local->year, static_cast<unsigned>(local->month), static_cast<unsigned>(local->day)) * 86400 +
        local->hour * 3600 + local->minute * 60 + std::min(local->second, 59);
    const std::int64_t offsetMinutes = (asUtc - calendarTime) / 60;
    const std::int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local->year, local->month, local->day,
                  local->hour, local->minute, local->second, offsetMinutes < 0 ? '-' : '+',
                  static_cast<int>(magnitude / 60), static_cast<int>(magnitude % 60));
    return text;
}

struct ActivityLog::State {
    NativePath folder;
    NativePath file;
    NativePath rotated;
    std::optional<AppendFile> appending;
    // Once a second the file held is looked for at its path: another copy
    // may have rotated it.
    std::int64_t checkedSecond = -1;
    // The time's text, made again when the second changes.
    std::int64_t second = -1;
    std::string secondText;
    std::uint64_t rotateBytes = 0;
    bool folderMade = false;
    bool echo = false;
    std::mutex mutex;  // one line at a time from this process, listeners included
    std::vector<std::pair<std::uint64_t, Listener>> listeners;
    std::uint64_t lastListener = 0;
};

// The lines of this thread's batch, and the history they are for.
struct ActivityBatch::Pending {
    std::shared_ptr<ActivityLog::State> state;
    std::string text;
};

namespace {

thread_local ActivityBatch::Pending* t_pending = nullptr;

void WriteLocked(ActivityLog::State& state, const std::string& text);

}  // namespace

ActivityLog::ActivityLog(NativePath folder, std::uint64_t rotateBytes) : state_(std::make_shared<State>()) {
    state_->file = ChildPath(folder, kFileName);
    state_->rotated = ChildPath(folder, kRotatedName);
    state_->folder = std::move(folder);
    state_->rotateBytes = rotateBytes;
}

ActivityLog::~ActivityLog() = default;

void ActivityLog::Record(const ActivityEvent& event) {
    State& state = *state_;
    HistoryLine line{{}, text::ToUtf8ForDisplay(event.setting), std::string(event.event), Utf8Path(event.path),
                     event.detail};
    const std::lock_guard lock(state.mutex);
    const bool newSecond = event.time != state.second;
    if (newSecond) {
        state.second = event.time;
        state.secondText = IsoLocalTime(event.time);
    }
    line.time = state.secondText;
    const std::string text = FormatHistoryLine(line);
    if (state.echo && (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)) {
        std::clearerr(stdout);  // nobody may be reading; the watch goes on regardless
    }
    for (const auto& [id, listener] : state.listeners) {
        listener(line);
    }
    if (state.folder.empty()) {
        return;
    }
    if (ActivityBatch::Pending* pending = t_pending;
        pending != nullptr && (pending->state == state_ || pending->text.empty())) {
        pending->state = state_;
        pending->text += text;
        if (pending->text.size() >= kMostPendingBytes) {
            WriteLocked(state, std::exchange(pending->text, {}));
        }
        return;
    }
    WriteLocked(state, text);
}

namespace {

void WriteLocked(ActivityLog::State& state, const std::string& text) {
    if (!state.folderMade) {
        state.folderMade = MakeFolderTree(state.folder);
    }
    const std::int64_t now = CalendarTimeNow();
    if (!state.appending) {
        state.appending.emplace(state.file);
    } else if (now != state.checkedSecond && !state.appending->StillAtPath()) {
        state.appending->Reopen();
    }
    state.checkedSecond = now;
    // A write that fails is dropped: the history never stops a watch.
    const auto size = state.appending->Append(text);
    if (!size) {
        state.appending->Reopen();  // the folder may be back by the next line
    } else if (*size > state.rotateBytes) {
        RotateWhenPast(state.file, state.rotated, state.rotateBytes);
        state.appending->Reopen();
    }
}

}  // namespace

ActivityBatch::ActivityBatch() {
    if (t_pending == nullptr) {
        owned_ = std::make_unique<Pending>();
        t_pending = owned_.get();
    }
}

ActivityBatch::~ActivityBatch() {
    if (owned_) {
        Flush();
        t_pending = nullptr;
    }
}

void ActivityBatch::Flush() {
    Pending* pending = t_pending;
    if (pending == nullptr || pending->text.empty() || !pending->state) {
        return;
    }
    const std::lock_guard lock(pending->state->mutex);
    WriteLocked(*pending->state, std::exchange(pending->text, {}));
}

std::vector<HistoryLine> ActivityLog::Latest(std::size_t count) const {
    std::vector<HistoryLine> lines;
    if (state_->folder.empty()) {
        return lines;
    }
    // A line is at most a few hundred bytes; the files themselves are
    // rotated at about the limit, so their tails hold what is asked for.
    const std::size_t tailBytes = std::max<std::size_t>(state_->rotateBytes + 4096, count * 1024);
    for (const NativePath* file : {&state_->file, &state_->rotated}) {
        const std::string bytes = ReadFileTail(*file, tailBytes);
        std::string_view rest(bytes);
        // Only whole lines: a tail may begin within one, and a line being
        // written by another process may not have its end yet.
        if (const auto end = rest.rfind('\n'); end != std::string_view::npos) {
            rest = rest.substr(0, end + 1);
        } else {
            rest = {};
        }
        while (!rest.empty() && lines.size() < count) {
            rest.remove_suffix(1);  // the line end
            const auto start = rest.rfind('\n');
            const std::string_view line = start == std::string_view::npos ? rest : rest.substr(start + 1);
            const bool whole = start != std::string_view::npos || bytes.size() < tailBytes;
            if (const auto fields = whole ? ParseHistoryLine(line) : std::nullopt) {
                lines.push_back(*fields);
            }
            rest.remove_suffix(line.size());
        }
    }
    return lines;
}

std::shared_ptr<void> ActivityLog::Listen(Listener listener) {
    const std::lock_guard lock(state_->mutex);
    const std::uint64_t id = ++state_->lastListener;
    state_->listeners.emplace_back(id, std::move(listener));
    // Releasing the token waits for a line being handed out, so that no
    // listener runs once its token is gone; it holds the state, so a token
    // may outlive the log.
    return std::shared_ptr<void>(nullptr, [state = state_, id](void*) {
        const std::lock_guard lock(state->mutex);
        std::erase_if(state->listeners, [id](const auto& entry) { return entry.first == id; });
    });
}

NativePath ActivityLog::FilePath() const { return state_->folder.empty() ? NativePath{} : state_->file; }

void ActivityLog::EchoToStandardOutput(bool echo) {
    const std::lock_guard lock(state_->mutex);
    state_->echo = echo;
}

namespace {

std::mutex g_logMutex;
// Shared, so that a watch thread still recording while the program ends or a
// test puts another log in place keeps the one it took.
std::shared_ptr<ActivityLog> g_log;

std::shared_ptr<ActivityLog> CurrentLog() {
    const std::lock_guard lock(g_logMutex);
    if (!g_log) {
        g_log = std::make_shared<ActivityLog>(HistoryFolder().value_or(NativePath{}));
    }
    return g_log;
}

}  // namespace

ActivityLog& TheActivityLog() { return *CurrentLog(); }

void UseActivityLog(std::unique_ptr<ActivityLog> log) {
    const std::lock_guard lock(g_logMutex);
    g_log = std::move(log);
}

void ReportActivity(const ActivityEvent& event) { CurrentLog()->Record(event); }

}  // namespace molvar::platform
