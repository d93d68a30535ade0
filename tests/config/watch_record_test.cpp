#include <gtest/gtest.h>

#include <cstring>

#include "config/watch_record.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

using test::Sj;
using test::SjPath;
using Record = std::array<std::uint8_t, WatchFileRecord::kSize>;

// A record written byte by byte from the documented layout, with leftovers
// after each NUL as an older version of a text would leave them.
Record HandBuiltRecord() {
    Record bytes;
    bytes.fill(0xCC);
    // Distinct numbers, so that two fields read from each other's place show.
    const std::int16_t numbers[] = {2, 11, 12, 13, 14, 15, 16, 17, -3};  // running .. overwriteMoved
    for (std::size_t i = 0; i < 9; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(numbers[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((numbers[i] >> 8) & 0xFF);
    }
    const auto put = [&bytes](std::size_t offset, const std::string& text) {
        std::memcpy(bytes.data() + offset, text.c_str(), text.size() + 1);
    };
    put(18, "Inbox");
    put(76, "D:\\In");
    put(204, "*.csv");
    put(248, "C:\\Tools\\conv.exe");
    put(376, "D:\\Done");
    put(504, "C:\\ding.wav");
    return bytes;
}

TEST(WatchFileRecord, ReadsEveryFieldAtItsOffset) {
    const Record bytes = HandBuiltRecord();
    const WatchFileRecord record = WatchFileRecord::FromBytes(bytes);
    EXPECT_EQ(record.running, 2);
    const WatchEntry& e = record.entry;
    EXPECT_EQ((std::vector<int>{e.targetKind, e.triggerKind, e.showMessage, e.soundKind, e.afterAction, e.openTarget,
                                e.waitForExit, e.overwriteMoved}),
              (std::vector<int>{11, 12, 13, 14, 15, 16, 17, -3}));
    EXPECT_EQ((std::vector<std::string>{FieldText(e.title).bytes(), FieldText(e.folder).bytes(),
                                        FieldText(e.namePattern).bytes(), FieldText(e.program).bytes(),
                                        FieldText(e.moveFolder).bytes(), FieldText(e.soundFile).bytes()}),
              (std::vector<std::string>{"Inbox", "D:\\In", "*.csv", "C:\\Tools\\conv.exe", "D:\\Done", "C:\\ding.wav"}));
}

TEST(WatchFileRecord, WritesBackEveryByteItRead) {
    const Record bytes = HandBuiltRecord();
    Record written{};
    WatchFileRecord::FromBytes(bytes).ToBytes(written);
    EXPECT_EQ(written, bytes);

    // The entry is the record without its first two bytes.
    std::array<std::uint8_t, WatchEntry::kSize> entryBytes{};
    WatchFileRecord::FromBytes(bytes).entry.ToBytes(entryBytes);
    EXPECT_TRUE(std::equal(entryBytes.begin(), entryBytes.end(), bytes.begin() + 2));
}

TEST(PutSettingIntoRecord, CutsTextsToTheirStoredLengths) {
    WatchSettingValues values;
    values.title = Sj(std::u8string(55, u8'a') + u8"あ");  // 57 bytes, a lead byte at 56
    values.folder = text::Cp932String::FromBytes(std::string(126, 'f'));
    values.namePattern = text::Cp932String::FromBytes(std::string(45, '*'));
    values.moveFolder = text::Cp932String::FromBytes(std::string(127, 'm'));  // the page admits 127
    values.openTarget = 5;
    values.showMessage = -1;
    WatchFileRecord record;
    PutSettingIntoRecord(values, record);
    EXPECT_EQ(FieldText(record.entry.title).bytes(), std::string(55, 'a'));
    EXPECT_EQ(FieldText(record.entry.folder).size(), 126u);
    EXPECT_EQ(FieldText(record.entry.namePattern).size(), 40u);
    EXPECT_EQ(FieldText(record.entry.moveFolder).size(), 126u);
    EXPECT_EQ(record.entry.openTarget, 1);
    EXPECT_EQ(record.entry.showMessage, 1);
    EXPECT_EQ(SettingFromRecord(record).moveFolder.size(), 126u);
}

TEST(PutSettingIntoRecord, AChangedStoppedSettingRunsAndKeepsItsOldBytes) {
    WatchFileRecord record = WatchFileRecord::FromBytes(HandBuiltRecord());
    record.running = 0;
    WatchSettingValues values = SettingFromRecord(record);
    EXPECT_EQ(values.openTarget, 1);
    values.title = text::Cp932String::FromBytes("In");
    PutSettingIntoRecord(values, record);
    EXPECT_EQ(record.running, 1);
    EXPECT_EQ(FieldText(record.entry.title).bytes(), "In");
    EXPECT_EQ(std::string(record.entry.title.data(), 8), std::string("In\0ox\0\xCC\xCC", 8));
    EXPECT_EQ(record.entry.overwriteMoved, 1);  // stored as a flag
}

}  // namespace
}  // namespace molvar::config
