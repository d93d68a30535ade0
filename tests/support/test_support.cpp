#include "support/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "config/data_folder.h"
#include "text/convert.h"

namespace molvar::test {

text::Cp932String Sj(std::u8string_view utf8) { return text::LiteralToCp932(utf8); }

text::Cp932String SjPath(const std::filesystem::path& path) {
    auto converted = text::FromUtf8(path.string());
    EXPECT_TRUE(converted.has_value()) << path;
    return converted.value_or(text::Cp932String());
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "molvar-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
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

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
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

void EffectRecorder::ShellRun(const text::Cp932String& program,
                              const std::optional<text::Cp932String>& parameter) const {
    Add("shell-run:" + text::ToUtf8ForDisplay(program) + "|" +
        (parameter ? text::ToUtf8ForDisplay(*parameter) : std::string("(none)")));
}

void EffectRecorder::ShellOpenDocument(const text::Cp932String& path) const {
    Add("shell-open:" + text::ToUtf8ForDisplay(path));
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        previous_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

std::vector<std::string> RecordedArgs(const std::filesystem::path& file) { return SplitRecord(ReadText(file)); }

std::vector<std::string> SplitRecord(const std::string& content) {
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\0', start)) != std::string::npos; start = end + 1) {
        args.push_back(content.substr(start, end - start));
    }
    return args;
}

}  // namespace molvar::test
