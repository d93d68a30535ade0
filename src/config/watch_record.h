// One watch setting as stored: the 630-byte WatchEntry and the 632-byte
// WatchFileRecord of the settings file. Integers are 16-bit signed
// little-endian; texts are NUL-terminated code page 932 in fixed fields whose
// bytes after the NUL are kept as they were read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "text/cp932.h"

namespace molvar::config {

enum TargetKind : std::int16_t { AllFiles = 0, NamedFiles = 1 };
enum TriggerKind : std::int16_t { CreateOrUpdate = 0, CreateRenameDelete = 1 };
enum SoundKind : std::int16_t { NoSound = 0, BeepSound = 1, WaveFile = 2 };
enum AfterAction : std::int16_t { LeaveFile = 0, DeleteTarget = 1, MoveTarget = 2 };

// Byte positions within a WatchFileRecord.
struct FieldSpan {
    std::size_t offset;
    std::size_t width;
    constexpr std::size_t end() const { return offset + width; }
};

namespace record_layout {
inline constexpr FieldSpan running{0, 2};
inline constexpr FieldSpan targetKind{2, 2};
inline constexpr FieldSpan triggerKind{4, 2};
inline constexpr FieldSpan showMessage{6, 2};
inline constexpr FieldSpan soundKind{8, 2};
inline constexpr FieldSpan afterAction{10, 2};
inline constexpr FieldSpan openTarget{12, 2};
inline constexpr FieldSpan waitForExit{14, 2};
inline constexpr FieldSpan overwriteMoved{16, 2};
inline constexpr FieldSpan title{18, 58};
inline constexpr FieldSpan folder{76, 128};
inline constexpr FieldSpan namePattern{204, 44};
inline constexpr FieldSpan program{248, 128};
inline constexpr FieldSpan moveFolder{376, 128};
inline constexpr FieldSpan soundFile{504, 128};
inline constexpr std::size_t kRecordSize = 632;
// The WatchEntry is the record without `running`.
inline constexpr std::size_t kEntryOffset = targetKind.offset;
inline constexpr std::size_t kEntrySize = kRecordSize - kEntryOffset;

// The fields follow each other without gaps and fill the record exactly.
static_assert(targetKind.offset == running.end() && triggerKind.offset == targetKind.end() &&
              showMessage.offset == triggerKind.end() && soundKind.offset == showMessage.end() &&
              afterAction.offset == soundKind.end() && openTarget.offset == afterAction.end() &&
              waitForExit.offset == openTarget.end() && overwriteMoved.offset == waitForExit.end() &&
              title.offset == overwriteMoved.end() && folder.offset == title.end() &&
              namePattern.offset == folder.end() && program.offset == namePattern.end() &&
              moveFolder.offset == program.end() && soundFile.offset == moveFolder.end() &&
              soundFile.end() == kRecordSize);
static_assert(kEntrySize == 630);
}  // namespace record_layout

// The longest text each field keeps when a setting is put into a record.
namespace text_limit {
inline constexpr std::size_t title = 56;
inline constexpr std::size_t folder = 126;
inline constexpr std::size_t namePattern = 40;
inline constexpr std::size_t program = 126;
inline constexpr std::size_t moveFolder = 126;
inline constexpr std::size_t soundFile = 126;
// The settings dialog's destination field takes the whole field but its NUL,
// one byte more than the setting keeps; the dialog cuts it when it collects it.
inline constexpr std::size_t moveFolderField = record_layout::moveFolder.width - 1;
static_assert(moveFolderField == moveFolder + 1);
}  // namespace text_limit

struct WatchEntry {
    static constexpr std::size_t kSize = record_layout::kEntrySize;

    std::int16_t targetKind = AllFiles;
    std::int16_t triggerKind = CreateOrUpdate;
    std::int16_t showMessage = 0;
    std::int16_t soundKind = NoSound;
    std::int16_t afterAction = LeaveFile;
    std::int16_t openTarget = 0;
    std::int16_t waitForExit = 0;
    std::int16_t overwriteMoved = 0;
    std::array<char, record_layout::title.width> title{};
    std::array<char, record_layout::folder.width> folder{};
    std::array<char, record_layout::namePattern.width> namePattern{};
    std::array<char, record_layout::program.width> program{};
    std::array<char, record_layout::moveFolder.width> moveFolder{};
    std::array<char, record_layout::soundFile.width> soundFile{};

    static WatchEntry FromBytes(std::span<const std::uint8_t, kSize> bytes);
    void ToBytes(std::span<std::uint8_t, kSize> bytes) const;

    friend bool operator==(const WatchEntry&, const WatchEntry&) = default;
};

struct WatchFileRecord {
    static constexpr std::size_t kSize = record_layout::kRecordSize;

    std::int16_t running = 0;  // 0 stopped, any other value running
    WatchEntry entry;

    static WatchFileRecord FromBytes(std::span<const std::uint8_t, kSize> bytes);
    void ToBytes(std::span<std::uint8_t, kSize> bytes) const;

    friend bool operator==(const WatchFileRecord&, const WatchFileRecord&) = default;
};

// The text of a field, up to its NUL or its whole width.
inline text::Cp932String FieldText(std::span<const char> field) { return text::ReadField(field); }

// The values of one setting as the settings dialog edits them, under the
// names of the record's fields.
struct WatchSettingValues {
    int targetKind = AllFiles;
    int triggerKind = CreateOrUpdate;
    int showMessage = 0;
    int soundKind = NoSound;
    int afterAction = LeaveFile;
    int openTarget = 0;
    int waitForExit = 0;
    int overwriteMoved = 0;
    text::Cp932String title;
    text::Cp932String folder;
    text::Cp932String namePattern;
    text::Cp932String program;
    text::Cp932String moveFolder;
    text::Cp932String soundFile;
};

// Writes confirmed dialog values over `record` (a copy of the old record for
// a changed setting, so the bytes after each NUL stay). The setting becomes
// running; flags are stored as 0 or 1; texts are cut to their stored length
// without splitting a double-byte character.
void PutSettingIntoRecord(const WatchSettingValues& values, WatchFileRecord& record);

// The values of a stored setting as the settings dialog starts with them.
WatchSettingValues SettingFromRecord(const WatchFileRecord& record);

// Running becomes stopped (0), stopped becomes running (1).
void ToggleRunning(WatchFileRecord& record);

}  // namespace molvar::config
