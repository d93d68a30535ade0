#include "config/watch_record.h"

#include <algorithm>
#include <type_traits>

namespace molvar::config {
namespace {

namespace layout = record_layout;

// Offsets of the layout are those of the record; an entry starts 2 bytes in.
template <std::size_t Size>
struct ByteView {
    std::span<const std::uint8_t, Size> bytes;
    std::size_t base;

    std::int16_t Int16(FieldSpan field) const {
        const std::size_t at = field.offset - base;
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8));
    }
    template <std::size_t Width>
    void Text(FieldSpan field, std::array<char, Width>& out) const {
        static_assert(Width > 0);
        const auto source = bytes.subspan(field.offset - base, Width);
        std::transform(source.begin(), source.end(), out.begin(), [](std::uint8_t b) { return static_cast<char>(b); });
    }
};

template <std::size_t Size>
struct ByteSink {
    std::span<std::uint8_t, Size> bytes;
    std::size_t base;

    void Int16(FieldSpan field, std::int16_t value) const {
        const auto raw = static_cast<std::uint16_t>(value);
        bytes[field.offset - base] = static_cast<std::uint8_t>(raw & 0xFF);
        bytes[field.offset - base + 1] = static_cast<std::uint8_t>(raw >> 8);
    }
    template <std::size_t Width>
    void Text(FieldSpan field, const std::array<char, Width>& in) const {
        std::transform(in.begin(), in.end(), bytes.begin() + static_cast<std::ptrdiff_t>(field.offset - base),
                       [](char c) { return static_cast<std::uint8_t>(c); });
    }
};

// The one list of the entry's fields, used for reading and for writing.
template <typename Io, typename Entry>
void VisitEntryFields(const Io& io, Entry& entry) {
    io(layout::targetKind, entry.targetKind);
    io(layout::triggerKind, entry.triggerKind);
    io(layout::showMessage, entry.showMessage);
    io(layout::soundKind, entry.soundKind);
    io(layout::afterAction, entry.afterAction);
    io(layout::openTarget, entry.openTarget);
    io(layout::waitForExit, entry.waitForExit);
    io(layout::overwriteMoved, entry.overwriteMoved);
    io(layout::title, entry.title);
    io(layout::folder, entry.folder);
    io(layout::namePattern, entry.namePattern);
    io(layout::program, entry.program);
    io(layout::moveFolder, entry.moveFolder);
    io(layout::soundFile, entry.soundFile);
}

template <std::size_t Size>
void ReadEntry(ByteView<Size> view, WatchEntry& entry) {
    VisitEntryFields(
        [&view](FieldSpan field, auto& member) {
            if constexpr (std::is_same_v<std::remove_reference_t<decltype(member)>, std::int16_t>) {
                member = view.Int16(field);
            } else {
                view.Text(field, member);
            }
        },
        entry);
}

template <std::size_t Size>
void WriteEntry(ByteSink<Size> sink, const WatchEntry& entry) {
    VisitEntryFields(
        [&sink](FieldSpan field, const auto& member) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(member)>, std::int16_t>) {
                sink.Int16(field, member);
            } else {
                sink.Text(field, member);
            }
        },
        entry);
}

std::int16_t AsFlag(int value) { return value != 0 ? 1 : 0; }

}  // namespace

WatchEntry WatchEntry::FromBytes(std::span<const std::uint8_t, kSize> bytes) {
    WatchEntry entry;
    ReadEntry(ByteView<kSize>{bytes, layout::kEntryOffset}, entry);
    return entry;
}

void WatchEntry::ToBytes(std::span<std::uint8_t, kSize> bytes) const {
    WriteEntry(ByteSink<kSize>{bytes, layout::kEntryOffset}, *this);
}

WatchFileRecord WatchFileRecord::FromBytes(std::span<const std::uint8_t, kSize> bytes) {
    WatchFileRecord record;
    const ByteView<kSize> view{bytes, 0};
    record.running = view.Int16(layout::running);
    ReadEntry(view, record.entry);
    return record;
}

void WatchFileRecord::ToBytes(std::span<std::uint8_t, kSize> bytes) const {
    const ByteSink<kSize> sink{bytes, 0};
    sink.Int16(layout::running, running);
    WriteEntry(sink, entry);
}

void PutSettingIntoRecord(const WatchSettingValues& values, WatchFileRecord& record) {
    record.running = 1;
    WatchEntry& entry = record.entry;
    entry.targetKind = static_cast<std::int16_t>(values.targetKind);
    entry.triggerKind = static_cast<std::int16_t>(values.triggerKind);
    entry.showMessage = AsFlag(values.showMessage);
    entry.soundKind = static_cast<std::int16_t>(values.soundKind);
    entry.afterAction = static_cast<std::int16_t>(values.afterAction);
    entry.openTarget = AsFlag(values.openTarget);
    entry.waitForExit = AsFlag(values.waitForExit);
    entry.overwriteMoved = AsFlag(values.overwriteMoved);
    text::StoreField(entry.title, values.title, text_limit::title);
    text::StoreField(entry.folder, values.folder, text_limit::folder);
    text::StoreField(entry.namePattern, values.namePattern, text_limit::namePattern);
    text::StoreField(entry.program, values.program, text_limit::program);
    text::StoreField(entry.moveFolder, values.moveFolder, text_limit::moveFolder);
    text::StoreField(entry.soundFile, values.soundFile, text_limit::soundFile);
}

WatchSettingValues SettingFromRecord(const WatchFileRecord& record) {
    const WatchEntry& entry = record.entry;
    WatchSettingValues values;
    values.targetKind = entry.targetKind;
    values.triggerKind = entry.triggerKind;
    values.showMessage = entry.showMessage;
    values.soundKind = entry.soundKind;
    values.afterAction = entry.afterAction;
    values.openTarget = entry.openTarget != 0;
    values.waitForExit = entry.waitForExit != 0;
    values.overwriteMoved = entry.overwriteMoved;
    values.title = FieldText(entry.title);
    values.folder = FieldText(entry.folder);
    values.namePattern = FieldText(entry.namePattern);
    values.program = FieldText(entry.program);
    values.moveFolder = FieldText(entry.moveFolder);
    values.soundFile = FieldText(entry.soundFile);
    return values;
}

void ToggleRunning(WatchFileRecord& record) { record.running = record.running == 0 ? 1 : 0; }

}  // namespace molvar::config
