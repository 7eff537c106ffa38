// The file object, packed integers and alerts.
#include "core/picture/disk_file.h"

#include <gtest/gtest.h>

#include "../../test_support.h"
#include "core/picture/alert.h"
#include "core/picture/byte_order.h"

namespace kv {
namespace {

TEST(DiskFile, ClosedObjectRefusesEverything) {
    DiskFile f;
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), -1);
    EXPECT_EQ(f.Write(buf, 4), -1);
    EXPECT_FALSE(f.Seek(0, DiskFile::FromStart));
    FileSpec missing;
    missing.SetPath("/nonexistent/folder/file.bin");
    EXPECT_FALSE(f.Open(missing, DiskFile::OpenRead));
    EXPECT_EQ(f.Read(buf, 4), -1);
    EXPECT_STREQ(f.OpenedFileSpec().path,
                 missing.path);  // the fileSpec is kept even when opening fails
}

TEST(DiskFile, SeekOriginsAndBinaryBytes) {
    FileSpec fileSpec;
    fileSpec.SetPath((kvtest::TempDir("disk") + "/f.bin").c_str());
    DiskFile f;
    ASSERT_TRUE(f.Open(fileSpec, DiskFile::OpenWrite));
    const char data[] = {'a', '\r', '\n', 0, 'z'};
    EXPECT_EQ(f.Write(data, 5), 5);
    f.Close();
    ASSERT_TRUE(f.Open(fileSpec, DiskFile::OpenRead));
    char b[8] = {};
    EXPECT_EQ(f.Read(b, 2), 2);
    EXPECT_TRUE(f.Seek(0, DiskFile::FromCurrent));  // stays
    EXPECT_EQ(f.Read(b, 1), 1);
    EXPECT_EQ(b[0], '\n');
    EXPECT_TRUE(f.Seek(0, DiskFile::FromEnd));
    EXPECT_EQ(f.Read(b, 4), 0);
    EXPECT_FALSE(f.Seek(0, 3));
    EXPECT_TRUE(f.Seek(-2, DiskFile::FromEnd));
    EXPECT_EQ(f.Read(b, 8), 2);  // fewer at the end of the file
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 'z');
    EXPECT_EQ(f.Size(), 5);
}

TEST(ByteOrder, PackedIntsAndReversal) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ReadPackedInt(bytes, 2, true), 0x1234u);
    EXPECT_EQ(ReadPackedInt(bytes, 2, false), 0x3412u);
    EXPECT_EQ(ReadPackedInt(bytes, 4, true), 0x12345678u);
    EXPECT_EQ(ReadPackedInt(bytes, 4, false), 0x78563412u);
    EXPECT_EQ(ReadPackedInt(bytes, 1, false), 0x12u);
    uint8_t r[] = {1, 2, 3};
    ReverseBytes(r, 3);
    EXPECT_EQ(r[0], 3);
    EXPECT_EQ(r[2], 1);
}

TEST(Alert, CodeSuffixAndAnswers) {
    EXPECT_EQ(FormatAlert("Time", 123), "Time  [ 123 ]");
    EXPECT_EQ(FormatAlert("Time", NoAlertCode), "Time");
    EXPECT_EQ(FormatAlert("Neg", -5), "Neg  [ -5 ]");
    EXPECT_EQ(FormatAlert(std::string(400, 'a').c_str(), 1).size(), 255u);

    kvtest::AlertRecorder rec;
    Alert("Can't read image file", 3);
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_EQ(rec.texts[0], "Can't read image file  [ 3 ]");
    rec.answers = {Answer::Yes, Answer::No, Answer::Yes, Answer::No, Answer::Cancel};
    EXPECT_TRUE(AskYesNo("Q", "C"));
    EXPECT_FALSE(AskYesNo("Q", "C"));
    EXPECT_EQ(AskYesNoCancel("Q", "C"), 1);
    EXPECT_EQ(AskYesNoCancel("Q", "C"), 0);
    EXPECT_EQ(AskYesNoCancel("Q", "C"), -1);
    EXPECT_EQ(rec.captions.back(), "C");
}

TEST(Alert, ConsoleSinkPrintsAndTakesScriptedAnswers) {
    testing::internal::CaptureStderr();
    Alert("Time", 123);
    QueueScriptedAnswer(Answer::Yes);
    bool first = AskYesNo("Save changes?", "Kinevista");
    SetDefaultAnswer(Answer::Cancel);
    int second = AskYesNoCancel("Really?", "Q");
    SetDefaultAnswer(Answer::No);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(first);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(err, "Alert: Time  [ 123 ]\nAsk: Kinevista: Save changes?\nAsk: Q: Really?\n");
}

}  // namespace
}  // namespace kv
