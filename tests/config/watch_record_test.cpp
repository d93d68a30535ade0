#include <gtest/gtest.h>

#include <cstring>

#include "config/watch_record.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

using text::Cp932String;
using Record = std::array<std::uint8_t, WatchFileRecord::kSize>;

// A record written byte by byte from the documented layout: the numbers
// (running .. overwriteMoved), then the texts (title .. soundFile), over
// bytes that an older version of a text would leave after its NUL.
Record RecordBytes(const std::vector<int>& numbers, const std::vector<std::string>& texts) {
    Record bytes;
    bytes.fill(0xCC);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(numbers[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((numbers[i] >> 8) & 0xFF);
    }
    const std::size_t offsets[] = {18, 76, 204, 248, 376, 504};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::memcpy(bytes.data() + offsets[i], texts[i].c_str(), texts[i].size() + 1);
    }
    return bytes;
}

// Distinct, so that two fields read from each other's place show.
const std::vector<int> kNumbers = {2, 11, 12, 13, 14, 15, 16, 17, -3};
const std::vector<std::string> kTexts = {"Inbox", "D:\\In", "*.csv", "C:\\Tools\\conv.exe", "D:\\Done", "C:\\ding.wav"};

TEST(WatchFileRecord, ReadsEveryFieldAtItsOffsetAndWritesBackEveryByte) {
    const Record bytes = RecordBytes(kNumbers, kTexts);
    const WatchFileRecord record = WatchFileRecord::FromBytes(bytes);
    const WatchEntry& e = record.entry;
    EXPECT_EQ((std::vector<int>{record.running, e.targetKind, e.triggerKind, e.showMessage, e.soundKind, e.afterAction,
                                e.openTarget, e.waitForExit, e.overwriteMoved}),
              kNumbers);
    EXPECT_EQ((std::vector<std::string>{FieldText(e.title).bytes(), FieldText(e.folder).bytes(),
                                        FieldText(e.namePattern).bytes(), FieldText(e.program).bytes(),
                                        FieldText(e.moveFolder).bytes(), FieldText(e.soundFile).bytes()}),
              kTexts);

    Record written{};
    record.ToBytes(written);
    EXPECT_EQ(written, bytes);
    // The entry is the record without its first two bytes.
    std::array<std::uint8_t, WatchEntry::kSize> entryBytes{};
    e.ToBytes(entryBytes);
    EXPECT_TRUE(std::equal(entryBytes.begin(), entryBytes.end(), bytes.begin() + 2));
    EXPECT_EQ(WatchEntry::FromBytes(entryBytes), e);
}

// Dialog values put over a stopped setting's record: it runs, flags are
// stored as 1, texts are cut to their stored lengths without splitting a
// character, and the bytes after each NUL stay as they were.
TEST(PutSettingIntoRecord, CutsTextsStoresFlagsAndKeepsTheBytesAfterEachText) {
    WatchFileRecord record = WatchFileRecord::FromBytes(RecordBytes(kNumbers, kTexts));
    record.running = 0;
    WatchSettingValues values = SettingFromRecord(record);
    EXPECT_EQ(std::pair(values.openTarget, values.waitForExit), std::pair(1, 1));  // check boxes: 0 or 1
    values.showMessage = values.openTarget = values.waitForExit = -1;  // any value other than 0
    values.title = test::Sj(std::u8string(55, u8'a') + u8"あ");        // 57 bytes, a lead byte at 56
    values.folder = Cp932String::FromBytes(std::string(126, 'f'));
    values.namePattern = Cp932String::FromBytes(std::string(45, '*'));
    values.moveFolder = Cp932String::FromBytes(std::string(127, 'm'));  // the page admits 127
    PutSettingIntoRecord(values, record);
    Record written{};
    record.ToBytes(written);
    EXPECT_EQ(written, RecordBytes({1, 11, 12, 1, 14, 15, 1, 1, 1},
                                   {std::string(55, 'a'), std::string(126, 'f'), std::string(40, '*'), kTexts[3],
                                    std::string(126, 'm'), kTexts[5]}));
}

}  // namespace
}  // namespace molvar::config
