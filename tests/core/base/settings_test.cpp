// The settings store's text rules: section line, substring search, replacement, limits.
#include "core/base/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../../test_support.h"

namespace kv {
namespace {

std::string FreshFile(const char* name, const std::string& content) {
    std::string path = kvtest::TempDir("settings") + "/" + name;
    kvtest::WriteFileBytes(path, content);
    return path;
}

TEST(Settings, FreshStoreHoldsTheSectionLineAndAppends) {
    Settings s;
    s.Load(kvtest::TempDir("settings") + "/missing.ini");
    EXPECT_EQ(s.Text(), "[Kinevista]\r\n");
    s.WriteInt("FrameRate", 2500);
    EXPECT_EQ(s.Text(), "[Kinevista]\r\nFrameRate=2500\r\n");
    EXPECT_EQ(s.ReadInt("FrameRate", 2997), 2500);
    EXPECT_EQ(s.ReadInt("Missing", -42), -42);
    EXPECT_EQ(s.ReadString("Missing", "dflt"), "dflt");
    // Save writes the text exactly, without a terminating NUL, and Load reads it back.
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(s.Path()), "[Kinevista]\r\nFrameRate=2500\r\n");
    Settings again;
    again.Load(s.Path());
    EXPECT_EQ(again.ReadInt("FrameRate", 0), 2500);
}

TEST(Settings, ReplacingKeepsOrderAndOtherLines) {
    Settings s;
    s.Load(FreshFile("a.ini", "[Kinevista]\r\nA=1\r\nBB=22\r\nC=3\r\n"));
    s.WriteString("BB", "a much longer value");
    EXPECT_EQ(s.Text(), "[Kinevista]\r\nA=1\r\nBB=a much longer value\r\nC=3\r\n");
    s.WriteString("BB", "");
    EXPECT_EQ(s.Text(), "[Kinevista]\r\nA=1\r\nBB=\r\nC=3\r\n");
    EXPECT_EQ(s.ReadString("BB", "x"), "");
    s.WriteString("C", "line\r\nbreak");
    EXPECT_EQ(s.ReadString("C", ""), "linebreak");
}

TEST(Settings, SubstringSearchAndMissingLineEnd) {
    Settings s;
    // "Width=" is found inside "MovieWidth=": a plain substring search.
    s.Load(FreshFile("b.ini", "[Kinevista]\r\nMovieWidth=720\r\nLast=9"));
    EXPECT_EQ(s.ReadString("Width", "none"), "720");
    EXPECT_EQ(s.ReadInt("Last", 5), 5);  // no "\r" after it: reads as missing
    s.WriteString("Last", "10");         // and cannot be replaced or appended
    EXPECT_EQ(s.Text(), "[Kinevista]\r\nMovieWidth=720\r\nLast=9");
}

TEST(Settings, AnyLineEndsReadAlikeAndAreKeptAsTheFileIsWritten) {
    const std::string crlf = "[Kinevista]\r\nAspectMode=5625\r\nEaseType=2\r\n";
    const char* const files[] = {
        "[Kinevista]\nAspectMode=5625\nEaseType=2\n",      // written by hand on Linux
        "[Kinevista]\r\nAspectMode=5625\nEaseType=2\r\n",  // mixed
        "[Kinevista]\rAspectMode=5625\r\nEaseType=2\n",    // a lone carriage return too
    };
    for (const char* content : files) {
        Settings s;
        const std::vector<int32_t> malformed = s.Load(FreshFile("ends.ini", content));
        EXPECT_TRUE(malformed.empty()) << content;
        EXPECT_EQ(s.ReadInt("AspectMode", 7500), 5625) << content;
        EXPECT_EQ(s.ReadInt("EaseType", 0), 2) << content;
        EXPECT_EQ(s.Text(), crlf) << content;
        // Written back with "\r\n" ends, a change in place and a new line alike.
        EXPECT_TRUE(s.WriteInt("EaseType", 3));
        EXPECT_TRUE(s.WriteInt("FrameRate", 2500));
        ASSERT_TRUE(s.Save());
        EXPECT_EQ(kvtest::ReadFileBytes(s.Path()),
                  "[Kinevista]\r\nAspectMode=5625\r\nEaseType=3\r\nFrameRate=2500\r\n")
            << content;
    }
    // A last line without its end stays without one.
    Settings last;
    last.LoadText("[Kinevista]\nA=1\nB=2", 20);
    EXPECT_EQ(last.Text(), "[Kinevista]\r\nA=1\r\nB=2");
    EXPECT_EQ(last.ReadInt("A", 0), 1);
}

TEST(Settings, TheLimitCountsTheTextAsWritten) {
    // About 1,000 bytes with "\n" ends: lines of 21 characters and their ends.
    std::string lf = "[Kinevista]\n";
    for (int i = 10; lf.size() + 20 <= 1000; ++i)
        lf += "Key" + std::to_string(i) + "=012345678901234\n";
    const size_t lines = static_cast<size_t>(std::count(lf.begin(), lf.end(), '\n'));
    ASSERT_LT(lf.size(), 1023u);
    ASSERT_GT(lf.size() + lines, 1023u);  // with "\r\n" ends the file would pass the limit
    Settings s;
    EXPECT_TRUE(s.LoadText(lf.data(), lf.size()).empty());
    const std::string text = s.Text();
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    // The lines that fit whole are read; the one the limit cuts is not, nor any after it.
    // "[Kinevista]\r\n" and lines of 23 characters with their ends.
    const size_t whole = (1023 - 13) / 23;
    EXPECT_EQ(s.ReadString(("Key" + std::to_string(10 + whole - 1)).c_str(), "none"),
              "012345678901234");
    EXPECT_EQ(s.ReadString(("Key" + std::to_string(10 + whole)).c_str(), "none"), "none");
    EXPECT_EQ(s.ReadString(("Key" + std::to_string(10 + whole + 1)).c_str(), "none"), "none");
    // No room is left for a new line, as for a file of 1,023 characters written with "\r\n".
    EXPECT_FALSE(s.WriteString("New", "1"));
}

TEST(Settings, LinesThatAreNeitherSectionsNorSettingsAreNumbered) {
    Settings s;
    const std::vector<int32_t> malformed = s.Load(FreshFile(
        "bad.ini", "[Kinevista]\n\nAspectMode 5625\r\n   \r\n=7\n[Other\nEaseType=2\nno end"));
    EXPECT_EQ(malformed, (std::vector<int32_t>{3, 5, 6, 8}));
    // The store reads what it can around them.
    EXPECT_EQ(s.ReadInt("EaseType", 0), 2);
    EXPECT_EQ(s.ReadInt("AspectMode", 7500), 7500);
    // Well-formed files, with a byte order mark, blank lines and blanks around the lines, have
    // none.
    Settings good;
    EXPECT_TRUE(
        good.Load(FreshFile("good.ini", "\xEF\xBB\xBF[Kinevista]\r\n\r\n  A=1 \n [B] \n")).empty());
    EXPECT_EQ(good.ReadString("A", ""), "1 ");
    // A line the limit cuts short is not blamed on the file.
    std::string full = "[Kinevista]\r\n";
    while (full.size() < 1100) full += "Setting=" + std::string(40, 'v') + "\r\n";
    Settings cut;
    EXPECT_TRUE(cut.LoadText(full.data(), full.size()).empty());
    std::string cutInKey = "[Kinevista]\r\nA=" + std::string(1004, 'v') + "\r\nKeyAtTheLimit=1\r\n";
    EXPECT_TRUE(cut.LoadText(cutInKey.data(), cutInKey.size()).empty());
    // A missing file has nothing to tell.
    Settings missing;
    EXPECT_TRUE(missing.Load(kvtest::TempDir("settings") + "/none.ini").empty());
}

TEST(Settings, ForeignFileStartsAfresh) {
    Settings s;
    s.Load(FreshFile("c.ini", "[Other]\r\nEaseType=3\r\n"));
    EXPECT_EQ(s.Text(), "[Kinevista]\r\n");
    EXPECT_EQ(s.ReadInt("EaseType", 0), 0);
}

TEST(Settings, IntegerConversion) {
    Settings s;
    s.Load(FreshFile("d.ini", "[Kinevista]\r\nA=abc\r\nB=-17xyz\r\nC= +42\r\nD=99999999999\r\n"));
    EXPECT_EQ(s.ReadInt("A", 7), 0);
    EXPECT_EQ(s.ReadInt("B", 7), -17);
    EXPECT_EQ(s.ReadInt("C", 7), 42);
    EXPECT_EQ(s.ReadInt("D", 7), INT32_MAX);  // saturates instead of overflowing
    s.WriteInt("E", -2147483647 - 1);
    EXPECT_EQ(s.ReadInt("E", 0), INT32_MIN);
}

TEST(Settings, WritesStopAtTheTextLimit) {
    Settings s;
    s.Load(kvtest::TempDir("settings") + "/limit.ini");
    int written = 0;
    for (int i = 0; i < 200; ++i) {
        std::string key = "Key" + std::to_string(i);
        s.WriteString(key.c_str(), "0123456789");
        if (s.ReadString(key.c_str(), "") == "0123456789") ++written;
    }
    const std::string text = s.Text();
    EXPECT_LE(text.size(), 1023u);
    EXPECT_GT(text.size(), 1000u);
    EXPECT_LT(written, 200);
    // Reads keep working; a replacement that would overflow is refused, a shorter one is made.
    EXPECT_EQ(s.ReadString("Key0", ""), "0123456789");
    s.WriteString("Key0", std::string(100, 'x').c_str());
    EXPECT_EQ(s.ReadString("Key0", ""), "0123456789");
    s.WriteString("Key0", "1");
    EXPECT_EQ(s.ReadString("Key0", ""), "1");
    // The longest accepted new line: length + key + "=" + value <= 1021.
    Settings t;
    t.Load(kvtest::TempDir("settings") + "/exact.ini");
    const size_t room = 1021 - t.Text().size() - 2;  // "K=" takes two characters
    t.WriteString("K", std::string(room + 1, 'v').c_str());
    EXPECT_EQ(t.ReadString("K", "none"), "none");
    t.WriteString("K", std::string(room, 'v').c_str());
    EXPECT_EQ(t.ReadString("K", "none").size(), room);
    EXPECT_EQ(t.Text().size(), 1023u);
}

// A store whose owner listens: every refused write is reported once, by key, and leaves the
// text as it was; writes that fit are stored and not reported.
struct ListeningStore {
    Settings store;
    std::vector<std::string> refused;
    ListeningStore() {
        store.SetWriteRefusedHandler([this](const std::string& key) { refused.push_back(key); });
    }
};

TEST(Settings, RefusedWritesAreReportedNotDropped) {
    ListeningStore l;
    Settings& s = l.store;
    // Fill the store to within a few characters of its limit.
    const size_t room = 1021 - s.Text().size() - 2;
    ASSERT_TRUE(s.WriteString("F", std::string(room - 20, 'f').c_str()));
    EXPECT_TRUE(l.refused.empty());
    const std::string full = s.Text();
    // A new key that does not fit: false, reported by name, nothing written.
    EXPECT_FALSE(s.WriteInt("ViewerWidth", 123456789));
    ASSERT_EQ(l.refused.size(), 1u);
    EXPECT_EQ(l.refused[0], "ViewerWidth");
    EXPECT_EQ(s.Text(), full);
    EXPECT_EQ(s.ReadInt("ViewerWidth", -1), -1);
    // A replacement that would grow past the limit is refused the same way.
    EXPECT_FALSE(s.WriteString("F", std::string(room + 5, 'g').c_str()));
    ASSERT_EQ(l.refused.size(), 2u);
    EXPECT_EQ(l.refused[1], "F");
    EXPECT_EQ(s.Text(), full);
    // A replacement that fits is still made in place, the key's line where it was.
    EXPECT_TRUE(s.WriteString("F", "short"));
    EXPECT_EQ(s.ReadString("F", ""), "short");
    EXPECT_EQ(s.Text(), "[Kinevista]\r\nF=short\r\n");
    EXPECT_EQ(l.refused.size(), 2u);
    // Once there is room again the key that was refused goes in.
    EXPECT_TRUE(s.WriteInt("ViewerWidth", 123456789));
    EXPECT_EQ(s.ReadInt("ViewerWidth", -1), 123456789);
    EXPECT_EQ(l.refused.size(), 2u);
}

TEST(Settings, LongPathsAreRefusedWholeNeverCut) {
    ListeningStore l;
    Settings& s = l.store;
    ASSERT_TRUE(s.WriteString("InitialFolder", "/home/a/shows/"));
    const std::string longest(MaxSettingPathBytes, 'p');
    const std::string tooLong = "/" + longest;
    for (const char* key : {"InitialFolder", "AltImageFolder", "TextureFolder"}) {
        SCOPED_TRACE(key);
        const size_t before = l.refused.size();
        EXPECT_FALSE(s.WriteString(key, tooLong.c_str()));
        ASSERT_EQ(l.refused.size(), before + 1);
        EXPECT_EQ(l.refused.back(), key);
    }
    // The folder written before is kept as it was, not cut to a prefix of the long one.
    EXPECT_EQ(s.ReadString("InitialFolder", ""), "/home/a/shows/");
    EXPECT_EQ(s.ReadString("AltImageFolder", "none"), "none");
    // The longest path that fits a path record is stored whole.
    EXPECT_TRUE(s.WriteString("AltImageFolder", longest.c_str()));
    EXPECT_EQ(s.ReadString("AltImageFolder", ""), longest);
    // Other keys take long values while the text has room.
    EXPECT_TRUE(s.WriteString("MovieStart", tooLong.c_str()));
    EXPECT_TRUE(s.WriteString("MovieHold", tooLong.c_str()));
    EXPECT_EQ(l.refused.size(), 3u);
    // Long values that each fit no longer fill the store silently: the write that does not fit
    // is refused and reported.
    EXPECT_FALSE(s.WriteString("TextureFolder", longest.c_str()));
    EXPECT_EQ(l.refused.back(), "TextureFolder");
    EXPECT_EQ(s.ReadString("TextureFolder", "none"), "none");
}

TEST(Settings, RefusalMessageNamesTheSetting) {
    EXPECT_EQ(WriteRefusedMessage("InitialFolder"),
              "The setting \"InitialFolder\" does not fit in the settings file and was not "
              "saved.");
    // Without a handler a refusal is only the false result.
    Settings s;
    EXPECT_FALSE(s.WriteString("TextureFolder", std::string(300, 'x').c_str()));
    EXPECT_TRUE(s.WriteString("TextureFolder", "x"));
}

TEST(Settings, SaveIsCompleteOrLeavesTheOldFile) {
    const std::string path = FreshFile("keep.ini", "[Kinevista]\r\nFrameRate=2500\r\n");
    Settings s;
    s.Load(path);
    s.WriteString("AltImageFolder", std::string(200, 'f').c_str());
#ifndef _WIN32  // Windows has no per-process file-size limit to make the write fail
    {
        kvtest::FileSizeLimit limit(40);
        EXPECT_FALSE(s.Save());
    }
#endif
    EXPECT_EQ(kvtest::ReadFileBytes(path), "[Kinevista]\r\nFrameRate=2500\r\n");
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(path), s.Text());
}

// Two programs share the file: each save applies only the keys its store changed to the file
// as it is then, so neither undoes the other's settings.
TEST(Settings, TwoStoresOnOneFileKeepEachOthersChanges) {
    const std::string path = FreshFile("shared.ini", "[Kinevista]\r\nStageScale=50\r\n");
    Settings first, second;
    first.Load(path);
    second.Load(path);
    first.WriteInt("MultiProcess", 1);
    ASSERT_TRUE(first.Save());
    second.WriteInt("DraftRender", 1);
    second.WriteInt("StageScale", 25);
    ASSERT_TRUE(second.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(path),
              "[Kinevista]\r\nStageScale=25\r\nMultiProcess=1\r\nDraftRender=1\r\n");
    // The second store now reads what the first saved.
    EXPECT_EQ(second.ReadInt("MultiProcess", 0), 1);
    // A later save of the first (at its exit) applies nothing it did not change since: the
    // second's StageScale stays, the first's newer change arrives.
    first.WriteInt("CenterPic", 1);
    ASSERT_TRUE(first.Save());
    ASSERT_TRUE(first.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(path),
              "[Kinevista]\r\nStageScale=25\r\nMultiProcess=1\r\nDraftRender=1\r\n"
              "CenterPic=1\r\n");
}

TEST(Settings, AMissingOrForeignFileIsReplacedByTheWholeStore) {
    const std::string path = FreshFile("gone.ini", "[Kinevista]\r\nStageScale=50\r\n");
    Settings s;
    s.Load(path);
    s.WriteInt("FrameRate", 2500);
    std::remove(path.c_str());
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(path), "[Kinevista]\r\nStageScale=50\r\nFrameRate=2500\r\n");
    kvtest::WriteFileBytes(path, "something else entirely");
    s.WriteInt("FrameRate", 2397);
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(kvtest::ReadFileBytes(path), "[Kinevista]\r\nFrameRate=2397\r\n");
}

TEST(Settings, AChangeThatDoesNotFitBesideTheOthersKeysWritesTheWholeStore) {
    const std::string path = FreshFile("full.ini", "[Kinevista]\r\n");
    Settings mine, other;
    mine.Load(path);
    other.Load(path);
    // The other program fills the file almost to the limit.
    other.WriteString("AltImageFolder", std::string(200, 'a').c_str());
    other.WriteString("InitialFolder", std::string(250, 'b').c_str());
    other.WriteString("TextureFolder", std::string(250, 'c').c_str());
    other.WriteString("MovieReverse", std::string(250, 'd').c_str());
    ASSERT_TRUE(other.Save());
    // This store's change fits its own text but not the other's: its setting is not lost.
    ASSERT_TRUE(mine.WriteString("CodecType", std::string(120, 'e').c_str()));
    ASSERT_TRUE(mine.Save());
    Settings back;
    back.Load(path);
    EXPECT_EQ(back.ReadString("CodecType", ""), std::string(120, 'e'));
}

TEST(Settings, OutOfRangeValuesFallBackWithAWarning) {
    Settings s;
    testing::internal::CaptureStderr();
    s.Load(FreshFile("rate.ini", "[Kinevista]\r\nFrameRate=100000000\r\nMultiProcOffset=-7\r\n"));
    const std::string warned = testing::internal::GetCapturedStderr();
    EXPECT_NE(warned.find("FrameRate 100000000 is not 2997, 2500 or 2397; 2997 is used"),
              std::string::npos)
        << warned;
    EXPECT_EQ(s.ReadInt("FrameRate", 0), 2997);
    EXPECT_EQ(s.ReadInt("MultiProcOffset", 5), 0);

    // Values set later (the tools' --set) are checked on request; good ones pass unchanged.
    for (const char* rate : {"0", "-2997", "3000", "2147483647"}) {
        s.WriteString("FrameRate", rate);
        EXPECT_EQ(s.CheckValues().size(), 1u) << rate;
        EXPECT_EQ(s.ReadInt("FrameRate", 0), 2997) << rate;
    }
    for (const char* rate : {"2997", "2500", "2397"}) {
        s.WriteString("FrameRate", rate);
        EXPECT_TRUE(s.CheckValues().empty()) << rate;
        EXPECT_EQ(s.ReadString("FrameRate", ""), rate);
    }
}

}  // namespace
}  // namespace kv
