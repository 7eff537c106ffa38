// The show file: sizes and bytes of written blocks, round trips in both byte orders, the
// version rules, clamping, the default ease code, refused blocks, atomic saves, the exchange
// file, and a show whose picture file has gone missing.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/render/show_loading.h"
#include "core/render/treatments.h"
#include "core/show/show.h"
#include "core/show/show_load_steps.h"
#include "tests/test_support.h"

namespace {

using kv::KeyFrame;
using kv::Show;

std::vector<uint8_t> Block(Show& show) {
    std::vector<uint8_t> b(kv::Serialise(show, nullptr));
    EXPECT_EQ(kv::Serialise(show, b.data()), b.size());
    return b;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void SetFloat(std::vector<uint8_t>& b, size_t at, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Set32(b, at, v);
}
float GetFloat(const std::vector<uint8_t>& b, size_t at) {
    const uint32_t v = U32(b, at);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

// A show with a (not loadable) picture and three keys.
void MakeShow(Show& show, const char* picture = "/nowhere/pic.bmp") {
    show.Reset();
    show.ShowPicError = true;
    show.length = 900;
    show.pictureCount = 1;
    show.pictures[0].fileSpec.SetPath(picture);
    show.pictures[0].keyCount = 3;
    for (int k = 0; k < 3; ++k) {
        KeyFrame& key = show.pictures[0].keys[k];
        key = KeyFrame{};
        key.x = 100.5f + k;
        key.y = 80.25f * (k + 1);
        key.width = 320.0f - 10 * k;
        key.sizeReserve = 3.0f;
        key.rotation = k == 2 ? 12.5f : 0.0f;
        key.tiltA = k == 1 ? -4.0f : 0.0f;
        key.easeCode = k == 1 ? 2041.0f : 0.0f;
        key.time = 100 * k;
    }
    show.MatteColor = 0x00123456;
    show.BorderSize = 7;
    show.PreBlur = 1;
    show.ContrastBrightness = (60 << 8) | 40;
}

std::vector<int32_t> Times(const Show& s) {
    std::vector<int32_t> t;
    for (int k = 0; k < s.pictures[0].keyCount; ++k) t.push_back(s.pictures[0].keys[k].time);
    return t;
}

void ExpectSameShow(const Show& a, const Show& b) {
    EXPECT_EQ(a.pictureCount, b.pictureCount);
    EXPECT_STREQ(a.pictures[0].fileSpec.path, b.pictures[0].fileSpec.path);
    ASSERT_EQ(a.pictures[0].keyCount, b.pictures[0].keyCount);
    for (int k = 0; k < a.pictures[0].keyCount; ++k)
        EXPECT_TRUE(a.pictures[0].keys[k] == b.pictures[0].keys[k]) << "key " << k;
    EXPECT_STREQ(a.audio.path, b.audio.path);
    EXPECT_EQ(a.MatteColor, b.MatteColor);
    EXPECT_EQ(a.BorderSize, b.BorderSize);
    EXPECT_EQ(a.PreBlur, b.PreBlur);
    EXPECT_EQ(a.ContrastBrightness, b.ContrastBrightness);
    EXPECT_EQ(a.showId, b.showId);
}

TEST(ShowFile, NewShowIsTwentyEightBytes) {
    kvtest::AlertRecorder alerts;
    Show show;
    show.Reset();
    std::vector<uint8_t> b = Block(show);
    ASSERT_EQ(b.size(), 28u);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x12);
    EXPECT_EQ(U32(b, 4), 28u);
    EXPECT_EQ(show.pictures[0].keys[0].stamp, 110.0f);
    EXPECT_FALSE(show.dirty);

    Show back;
    back.Reset();
    back.PreBlur = 1;
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(back.pictureCount, 0);
    EXPECT_EQ(back.pictures[0].keyCount, 1);
    EXPECT_EQ(back.pictures[0].keys[0].x, 200.0f);
    EXPECT_EQ(back.PreBlur, 0);  // no trailer read: the defaults stand
    EXPECT_EQ(back.ContrastBrightness, 0x3232);
}

TEST(ShowFile, LoneKeyIsDoubledAtOneSecond) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    show.FrameRate = 2997;
    show.pictures[0].keyCount = 1;
    std::vector<uint8_t> b = Block(show);
    EXPECT_EQ(b.size(), 406u);
    EXPECT_EQ(U32(b, 8 + 262), 2u);
    EXPECT_EQ(show.pictures[0].keyCount, 2);
    EXPECT_EQ(show.pictures[0].keys[1].time, 30);
    EXPECT_EQ(GetFloat(b, 8 + 266 + 4), 110.0f);   // stamp
    EXPECT_EQ(GetFloat(b, 8 + 266 + 44), 900.0f);  // showLength
    EXPECT_EQ(U32(b, 8 + 266 + 56 + 48), 30u);     // time of the copy
    EXPECT_EQ(U32(b, 406 - 20), 0x00123456u);      // trailer: MatteColor
    EXPECT_EQ(U32(b, 406 - 16), 7u);               // BorderSize
}

TEST(ShowFile, RoundTripsInBothByteOrders) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    show.audio.SetPath("/sounds/voice.wav");
    std::vector<uint8_t> b = Block(show);
    EXPECT_EQ(b.size(), 28u + 266 + 3 * 56 + 266);
    EXPECT_EQ(GetFloat(b, 8 + 266 + 32), 1000.0f);  // easeCode 0 written as the default code

    Show back;
    back.Reset();
    back.length = show.length;
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
    ExpectSameShow(show, back);
    EXPECT_EQ(back.pictureCount, 1);
    EXPECT_EQ(back.pictures[0].keys[0].easeCode, 0.0f);
    EXPECT_EQ(back.pictures[0].keys[1].easeCode, 2041.0f);
    EXPECT_FALSE(back.dirty);

    ASSERT_TRUE(kv::SwapShowByteOrder(b.data(), static_cast<uint32_t>(b.size())));
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[1], 0x34);
    Show swapped;
    swapped.Reset();
    swapped.length = show.length;
    ASSERT_TRUE(kv::Parse(swapped, b.data(), static_cast<uint32_t>(b.size()), false));
    ExpectSameShow(show, swapped);
}

TEST(ShowFile, VersionRulesAndClamping) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    std::vector<uint8_t> b = Block(show);
    const size_t trailer = b.size() - 20;
    const size_t stamp = 8 + 266 + 4;
    auto parse = [&](Show& into) {
        into.Reset();
        into.MatteColor = 0;
        return kv::Parse(into, b.data(), static_cast<uint32_t>(b.size()), false);
    };

    Set32(b, trailer + 4, 250);
    Show s1;
    ASSERT_TRUE(parse(s1));
    EXPECT_EQ(s1.BorderSize, 100);
    Set32(b, trailer + 4, static_cast<uint32_t>(-7));
    ASSERT_TRUE(parse(s1));
    EXPECT_EQ(s1.BorderSize, -1);

    SetFloat(b, stamp, 100.0f);  // trailer without ContrastBrightness
    Show s2;
    ASSERT_TRUE(parse(s2));
    EXPECT_EQ(s2.MatteColor, 0x00123456u);
    EXPECT_EQ(s2.PreBlur, 1);
    EXPECT_EQ(s2.ContrastBrightness, 0x3232);

    SetFloat(b, stamp, 90.0f);  // no trailer at all
    Show s3;
    s3.PreBlur = 1;
    ASSERT_TRUE(parse(s3));
    EXPECT_EQ(s3.MatteColor, 0u);
    EXPECT_EQ(s3.BorderSize, 0);
    EXPECT_EQ(s3.PreBlur, 0);

    // ContrastBrightness is sign-extended from 16 bits; VideoColors is not taken.
    SetFloat(b, stamp, 110.0f);
    b[trailer + 14] = 0xFF;
    b[trailer + 15] = 0xFF;
    b[trailer + 12] = 0;
    Show s4;
    s4.VideoColors = true;
    ASSERT_TRUE(parse(s4));
    EXPECT_EQ(s4.ContrastBrightness, -1);
    EXPECT_TRUE(s4.VideoColors);
}

TEST(ShowFile, DefaultEaseCodeFollowsEaseType) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    show.EaseType = 3 | kv::EaseNoCurves;
    std::vector<uint8_t> b = Block(show);
    EXPECT_EQ(GetFloat(b, 8 + 266 + 32), 4001.0f);

    Show same;
    same.Reset();
    same.EaseType = 3 | kv::EaseNoCurves;
    ASSERT_TRUE(kv::Parse(same, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(same.pictures[0].keys[0].easeCode, 0.0f);

    // After a change of EaseType the key keeps the old default as its own code.
    Show changed;
    changed.Reset();
    changed.EaseType = 0;
    ASSERT_TRUE(kv::Parse(changed, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(changed.pictures[0].keys[0].easeCode, 4001.0f);
}

TEST(ShowFile, RefusesBlocksItCannotHold) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    const std::vector<uint8_t> good = Block(show);
    auto refused = [](std::vector<uint8_t> b, uint32_t size) {
        Show s;
        s.Reset();
        s.PreBlur = 3;
        const bool ok = kv::Parse(s, b.data(), size, false);
        if (!ok) {
            // A refused block leaves the reset show exactly as it was.
            EXPECT_EQ(s.PreBlur, 3);
            EXPECT_EQ(s.pictureCount, 0);
        }
        return !ok;
    };
    const auto size = static_cast<uint32_t>(good.size());
    EXPECT_FALSE(refused(good, size));
    EXPECT_TRUE(refused(good, size - 1));  // size field beyond the bytes given
    EXPECT_TRUE(refused(good, 7));
    std::vector<uint8_t> b = good;
    b[0] = 0x35;
    EXPECT_TRUE(refused(b, size));  // wrong magic
    b = good;
    Set32(b, 8 + 262, 65);  // more than 64 keys
    EXPECT_TRUE(refused(b, size));
    b = good;
    Set32(b, 8 + 262, 4);  // keys run past the block
    EXPECT_TRUE(refused(b, size));
    b = good;
    Set32(b, 4, 4);  // size field below the header
    EXPECT_TRUE(refused(b, size));
    EXPECT_FALSE(kv::Parse(show, nullptr, 0, false));

    // A 4096-byte stored block with zero padding after S reads normally.
    std::vector<uint8_t> padded = good;
    padded.resize(kv::PluginBlockBytes, 0);
    EXPECT_FALSE(refused(padded, kv::PluginBlockBytes));
}

TEST(ShowFile, MissingPictureKeepsItsRecordAndKeys) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("missing");
    Show show;
    MakeShow(show, (dir + "/moved-away.bmp").c_str());
    ASSERT_TRUE(kv::SaveShow(show, dir + "/a.kvx"));

    Show loaded;
    ASSERT_TRUE(kv::LoadShow(loaded, dir + "/a.kvx", false));
    EXPECT_EQ(loaded.lastLoadResult, 0);
    EXPECT_EQ(loaded.pictureCount, 1);
    EXPECT_STREQ(loaded.pictures[0].fileSpec.path, (dir + "/moved-away.bmp").c_str());
    EXPECT_EQ(loaded.pictures[0].keyCount, 3);
    EXPECT_STREQ(loaded.showFile.path, (dir + "/a.kvx").c_str());

    // Saving it again loses nothing.
    ASSERT_TRUE(kv::SaveShow(loaded, dir + "/b.kvx"));
    Show again;
    ASSERT_TRUE(kv::LoadShow(again, dir + "/b.kvx", false));
    EXPECT_EQ(again.pictures[0].keyCount, 3);
    EXPECT_EQ(again.pictures[0].keys[2].rotation, 12.5f);
    EXPECT_STREQ(again.pictures[0].fileSpec.path, (dir + "/moved-away.bmp").c_str());
}

// A 3 x 2 grey TIFF whose EXIF orientation (6) says it is shown turned a quarter clockwise.
std::string TurnedTiff() {
    std::string t("II*\0\x08\0\0\0", 8);
    const auto put16 = [&t](uint32_t v) {
        t += static_cast<char>(v & 0xFF);
        t += static_cast<char>(v >> 8);
    };
    const auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const uint32_t entries[][3] = {{256, 3, 3}, {257, 3, 2},   {258, 3, 8}, {259, 3, 1},
                                   {262, 3, 1}, {273, 4, 134}, {274, 3, 6}, {277, 3, 1},
                                   {278, 3, 2}, {279, 4, 6}};
    put16(10);
    for (const auto& e : entries) {
        put16(e[0]);
        put16(e[1]);
        put32(1);
        if (e[1] == 3) {
            put16(e[2]);
            put16(0);
        } else {
            put32(e[2]);
        }
    }
    put32(0);
    t += std::string("\x10\x20\x30\x40\x50\x60", 6);
    return t;
}

TEST(ShowFile, PictureOrientationIsChosenOnLoadAndKeptInTheShow) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("orientation");
    const std::string path = dir + "/turned.tif";
    kvtest::WriteFileBytes(path, TurnedTiff());
    kv::FileSpec picture;
    picture.SetPath(path.c_str());

    // A picture newly loaded into a show follows the setting, on by default: upright, 2 x 3.
    Show show;
    ASSERT_TRUE(show.UsePictureOrientation);
    kv::PrepPicture(show, picture, 0, 0);
    ASSERT_EQ(show.lastLoadResult, 1);
    EXPECT_EQ(show.image.Width(), 2);
    EXPECT_EQ(show.image.Height(), 3);
    EXPECT_TRUE(show.pictures[0].uprightOrientation);
    std::vector<uint8_t> block = Block(show);
    EXPECT_EQ(std::memcmp(&block[8], "KVup", 4), 0);

    // The choice round-trips through the show file.
    Show loaded;
    ASSERT_TRUE(kv::Parse(loaded, block.data(), static_cast<uint32_t>(block.size()), false));
    EXPECT_TRUE(loaded.pictures[0].uprightOrientation);
    EXPECT_EQ(loaded.image.Width(), 2);
    EXPECT_EQ(loaded.image.Height(), 3);
    // Preparing the show's own picture again keeps its choice whatever the setting says now.
    loaded.UsePictureOrientation = false;
    kv::PrepPicture(loaded, picture, 0, 0);
    EXPECT_EQ(loaded.image.Width(), 2);
    EXPECT_TRUE(loaded.pictures[0].uprightOrientation);

    // Shows saved before (reserved bytes zero, or the original system's numbers there) keep the
    // stored pixels, so their keys still frame what they framed, and save them again as before.
    for (const uint8_t fill : {0x00, 0x07}) {
        SCOPED_TRACE(static_cast<int>(fill));
        std::vector<uint8_t> old = block;
        std::memset(&old[8], 0, 6);
        if (fill) old[8] = old[10] = fill, old[9] = old[11] = 0x27;  // 9991, 9991
        Show oldShow;
        ASSERT_TRUE(kv::Parse(oldShow, old.data(), static_cast<uint32_t>(old.size()), false));
        EXPECT_FALSE(oldShow.pictures[0].uprightOrientation);
        EXPECT_EQ(oldShow.image.Width(), 3);
        EXPECT_EQ(oldShow.image.Height(), 2);
        const std::vector<uint8_t> again = Block(oldShow);
        EXPECT_EQ(std::memcmp(&again[8], "\0\0\0\0\0\0", 6), 0);
    }

    // With the setting off, a new picture comes in as stored.
    Show off;
    off.UsePictureOrientation = false;
    kv::PrepPicture(off, picture, 0, 0);
    ASSERT_EQ(off.lastLoadResult, 1);
    EXPECT_EQ(off.image.Width(), 3);
    EXPECT_EQ(off.image.Height(), 2);
    EXPECT_FALSE(off.pictures[0].uprightOrientation);
}

TEST(ShowFile, SaveIsAtomicAndDrawsNewIds) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("atomic");
    Show show;
    MakeShow(show);
    const std::string path = dir + "/show.kvx";
    ASSERT_TRUE(kv::SaveShow(show, path));
    const uint16_t first = show.showId;
    const std::string before = kvtest::ReadFileBytes(path);
    ASSERT_EQ(before.size(), kv::Serialise(show, nullptr));
    ASSERT_TRUE(kv::SaveShow(show, path));
    EXPECT_NE(show.showId, first);
    EXPECT_LE(show.showId, 32767);

    // A save that cannot complete (the target is a folder) leaves no temporary file behind.
    const std::string blocked = dir + "/blocked.kvx";
    ASSERT_TRUE(std::filesystem::create_directory(blocked));
    kvtest::WriteFileBytes(blocked + "/x", "");
    EXPECT_FALSE(kv::SaveShow(show, blocked));
    EXPECT_STREQ(show.showFile.path, path.c_str());
    int entries = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++entries;
        closedir(d);
    }
    EXPECT_EQ(entries, 2);  // show.kvx and the folder
    EXPECT_FALSE(kv::SaveShow(show, dir + "/no/such/folder/x.kvx"));
}

TEST(ShowFile, LoadShowFailures) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("loadfail");
    Show show;
    MakeShow(show);
    EXPECT_FALSE(kv::LoadShow(show, dir + "/absent.kvx", false));
    EXPECT_EQ(show.pictures[0].keyCount, 3);  // unchanged
    kvtest::WriteFileBytes(dir + "/text.kvx", "not a show at all");
    EXPECT_FALSE(kv::LoadShow(show, dir + "/text.kvx", false));
    EXPECT_EQ(show.pictureCount, 0);  // a new show
    EXPECT_TRUE(show.showFile.Empty());
}

TEST(ShowFile, LoadFailuresSayWhy) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("loadwhy");
    Show show;
    kv::ShowLoadError why = kv::ShowLoadError::None;
    EXPECT_FALSE(kv::LoadShow(show, dir + "/absent.kvx", false, &why));
    EXPECT_EQ(why, kv::ShowLoadError::Missing);
    EXPECT_FALSE(
        kv::LoadShowLocatingPicture(show, dir + "/" + std::string(5000, 'x'), false, &why));
    EXPECT_EQ(why, kv::ShowLoadError::CannotOpen);  // too long a name is not "not a show"
    EXPECT_FALSE(kv::LoadShow(show, dir, false, &why));
    EXPECT_EQ(why, kv::ShowLoadError::NotAShow);  // a folder opens but reads as nothing
    kvtest::WriteFileBytes(dir + "/text.kvx", "not a show at all");
    EXPECT_FALSE(kv::LoadShowLocatingPicture(show, dir + "/text.kvx", false, &why));
    EXPECT_EQ(why, kv::ShowLoadError::NotAShow);
}

TEST(ShowFile, SavesLongNamesThroughLinksAndKeepsTheOldFileOnFailure) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("savehard");
    Show show;
    MakeShow(show);
    // Names up to the file system's limit save (the temporary name never grows past it).
    for (size_t length : {249u, 252u, 255u}) {
        const std::string path = dir + "/" + std::string(length - 4, 's') + ".kvx";
        ASSERT_TRUE(kv::SaveShow(show, path)) << length;
        Show back;
        back.length = show.length;
        ASSERT_TRUE(kv::LoadShow(back, path, false)) << length;
        ExpectSameShow(show, back);
    }
    const std::string real = dir + "/real.kvx";
    ASSERT_TRUE(kv::SaveShow(show, real));
#ifndef _WIN32  // links and file-size limits are POSIX matters
    // Saving through a symbolic link updates the file it points to; the link stays a link.
    ASSERT_EQ(symlink("real.kvx", (dir + "/link.kvx").c_str()), 0);
    show.pictures[0].keys[1].x = 123.0f;
    ASSERT_TRUE(kv::SaveShow(show, dir + "/link.kvx"));
    struct stat st {};
    ASSERT_EQ(lstat((dir + "/link.kvx").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    Show back;
    back.length = show.length;
    ASSERT_TRUE(kv::LoadShow(back, real, false));
    EXPECT_EQ(back.pictures[0].keys[1].x, 123.0f);

    // A save and the exchange file that hit a file-size limit leave the previous files whole.
    ASSERT_TRUE(kv::SaveExchangeFile(show));
    const std::string oldShow = kvtest::ReadFileBytes(real);
    const std::string oldExchange = kvtest::ReadFileBytes(kv::ExchangePath());
    show.pictures[0].keys[1].x = 7.0f;
    {
        kvtest::FileSizeLimit limit(100);
        EXPECT_FALSE(kv::SaveShow(show, real));
        EXPECT_FALSE(kv::SaveExchangeFile(show));
    }
    EXPECT_EQ(kvtest::ReadFileBytes(real), oldShow);
    EXPECT_EQ(kvtest::ReadFileBytes(kv::ExchangePath()), oldExchange);
#endif
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
}

TEST(ShowFile, ExchangeFileRoundTrip) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    ASSERT_TRUE(kv::SaveExchangeFile(show));
#ifdef _WIN32
    EXPECT_EQ(kv::ExchangePath(), std::string(getenv("KINEVISTA_PUBLIC")) + "\\kvdata.kvx");
#else
    EXPECT_EQ(kv::ExchangePath(), std::string(getenv("KINEVISTA_PUBLIC")) + "/kvdata.kvx");
#endif
    // The plug-in keeps a 4096-byte block: the file padded to that size reads the same.
    std::string bytes = kvtest::ReadFileBytes(kv::ExchangePath());
    bytes.resize(kv::PluginBlockBytes, '\0');
    kvtest::WriteFileBytes(kv::ExchangePath(), bytes);
    Show back;
    back.length = show.length;
    ASSERT_TRUE(kv::LoadExchangeFile(back, false));
    ExpectSameShow(show, back);
}

int g_hookCalls = 0;
int32_t g_hookFrame = -1;
void Hook(Show&, int32_t frame) {
    ++g_hookCalls;
    g_hookFrame = frame;
}

TEST(ShowFile, ParseRendersFrameZeroAndFitsTheLength) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    std::vector<uint8_t> b = Block(show);
    kv::SetParseRenderHook(Hook);
    Show back;
    back.Reset();
    back.currentFrame = 77;
    back.length = 150;  // shorter than the show: keys beyond are clipped
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), true));
    kv::SetParseRenderHook(nullptr);
    EXPECT_EQ(g_hookCalls, 1);
    EXPECT_EQ(g_hookFrame, 0);
    EXPECT_EQ(back.currentFrame, 0);
    EXPECT_TRUE(back.rotationInUse);
    EXPECT_EQ(back.pictures[0].keyCount, 3);
    EXPECT_EQ(back.pictures[0].keys[2].time, 150);
    EXPECT_EQ(back.undoIndex, -1);

    // Auto-Rescale: the stored length 900 stretched to 1800 doubles the times.
    Show rescaled;
    rescaled.Reset();
    rescaled.RescaleShow = true;
    rescaled.length = 1800;
    ASSERT_TRUE(kv::Parse(rescaled, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(rescaled.pictures[0].keys[1].time, 200);
    EXPECT_EQ(rescaled.pictures[0].keys[2].time, 400);
}

int g_prepared = 0, g_prepIndex = -1, g_firstFrames = 0, g_frameAtRender = -1;
void CountPrepare(Show&, const kv::FileSpec&, int index, int32_t) {
    ++g_prepared;
    g_prepIndex = index;
}
void CountFirstFrame(Show& show) {
    ++g_firstFrames;
    g_frameAtRender = show.currentFrame;
}

TEST(ShowFile, ParsePreparesAndRendersThroughTheStepsItIsHanded) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    std::vector<uint8_t> b = Block(show);
    static const kv::ShowLoadSteps counting{&CountPrepare, &CountFirstFrame};
    kv::SetShowLoadSteps(counting);
    Show back;
    back.Reset();
    back.currentFrame = 40;
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), true));
    EXPECT_EQ(g_prepared, 1);
    EXPECT_EQ(g_prepIndex, 0);
    EXPECT_EQ(g_firstFrames, 1);
    EXPECT_EQ(g_frameAtRender, 0);  // frame 0 is current before it is rendered
    // Without the render flag the picture is still prepared, frame 0 is not rendered.
    back.Reset();
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(g_prepared, 2);
    EXPECT_EQ(g_firstFrames, 1);
    // The editor's viewer hook takes frame 0 over from the steps.
    kv::SetParseRenderHook(Hook);
    const int hookCalls = g_hookCalls;
    back.Reset();
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), true));
    kv::SetParseRenderHook(nullptr);
    EXPECT_EQ(g_hookCalls, hookCalls + 1);
    EXPECT_EQ(g_firstFrames, 1);
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
}

TEST(ShowFile, HostileNumbersInKeys) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    std::vector<uint8_t> b = Block(show);
    const size_t key0 = 8 + 266;
    SetFloat(b, key0 + 36, std::numeric_limits<float>::quiet_NaN());  // pictureStart
    SetFloat(b, key0 + 44, std::numeric_limits<float>::quiet_NaN());  // showLength
    Show back;
    back.Reset();
    back.RescaleShow = true;
    back.length = 900;
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(back.pictures[0].keys[0].pictureStart, 0.0f);
    EXPECT_EQ(back.PictureStart(0), 0);
    EXPECT_EQ(Times(back), (std::vector<int32_t>{0, 100, 200}));  // no rescale from NaN

    // A stored length of 100 with a key far beyond it: held at 100, then rescaled to 900.
    SetFloat(b, key0 + 44, 100.0f);
    Set32(b, key0 + 2 * 56 + 48, 0x7FFFFFF0u);
    back.Reset();
    ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(Times(back), (std::vector<int32_t>{0, 900, 900}));
}

}  // namespace

namespace {

// The show's own shape rides in the trailer's last four bytes.
TEST(ShowFileShape, OwnShapeRoundTripsInBothByteOrdersAndOthersWriteNothing) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    std::vector<uint8_t> plain = Block(show);
    EXPECT_EQ(U32(plain, plain.size() - 4), 0u);  // no shape of its own: the slack stays 0

    kv::SetOwnShape(show, 17775);
    std::vector<uint8_t> b = Block(show);
    ASSERT_EQ(b.size(), plain.size());
    EXPECT_EQ(U32(b, b.size() - 4), 0x4B56u << 16 | 17775u);
    for (bool swapped : {false, true}) {
        if (swapped) {
            ASSERT_TRUE(kv::SwapShowByteOrder(b.data(), static_cast<uint32_t>(b.size())));
        }
        Show back;
        back.Reset();
        back.length = show.length;
        ASSERT_TRUE(kv::Parse(back, b.data(), static_cast<uint32_t>(b.size()), false));
        EXPECT_TRUE(back.ownShape) << swapped;
        EXPECT_EQ(back.AspectMode, 17775) << swapped;
        EXPECT_FLOAT_EQ(back.aspect, 1.7775f) << swapped;
    }
}

TEST(ShowFileShape, UnmarkedSlackHostsAndRequiredShapesLeaveTheFileShapeAside) {
    kvtest::AlertRecorder alerts;
    Show show;
    MakeShow(show);
    kv::SetOwnShape(show, 10000);
    std::vector<uint8_t> b = Block(show);

    // Anything else in the slack (older files hold what they like there) is no shape.
    std::vector<uint8_t> other = b;
    Set32(other, other.size() - 4, 0x12345678u);
    Show a;
    a.settingsAspectMode = 5625;
    a.AspectMode = 5625;
    a.aspect = 0.5625f;
    ASSERT_TRUE(kv::Parse(a, other.data(), static_cast<uint32_t>(other.size()), false));
    EXPECT_FALSE(a.ownShape);
    EXPECT_EQ(a.AspectMode, 5625);

    // A host hands its shape in through AspectMode.
    Show host;
    host.hostMode = true;
    ASSERT_TRUE(kv::Parse(host, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_FALSE(host.ownShape);
    EXPECT_EQ(host.AspectMode, 7500);

    // A shape asked for by the program wins over the file's.
    Show required;
    required.requiredShape = 12500;
    ASSERT_TRUE(kv::Parse(required, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(required.AspectMode, 12500);

    // A show loaded after one with a shape of its own takes the setting again.
    Show editor;
    editor.settingsAspectMode = 5625;
    ASSERT_TRUE(kv::Parse(editor, b.data(), static_cast<uint32_t>(b.size()), false));
    EXPECT_EQ(editor.AspectMode, 10000);
    std::vector<uint8_t> none = b;
    Set32(none, none.size() - 4, 0);
    ASSERT_TRUE(kv::Parse(editor, none.data(), static_cast<uint32_t>(none.size()), false));
    EXPECT_FALSE(editor.ownShape);
    EXPECT_EQ(editor.AspectMode, 5625);
    // And New Show drops an own shape too.
    kv::SetOwnShape(editor, 17775);
    editor.Reset();
    EXPECT_EQ(editor.AspectMode, 5625);
}

TEST(ShowShape, AspectTextsAreStoredAsMultiplesOfFive) {
    struct Case {
        const char* text;
        int32_t mode;
    } cases[] = {{"16:9", 5625}, {"9:16", 17775}, {"1:1", 10000}, {"4:5", 12500},
                 {"4:3", 7500},  {"21:9", 4285},  {"3:2", 6665}};
    for (const Case& c : cases) {
        int32_t mode = 0;
        ASSERT_TRUE(kv::AspectModeFromText(c.text, mode)) << c.text;
        EXPECT_EQ(mode, c.mode) << c.text;
    }
    int32_t mode = 0;
    for (const char* bad :
         {"", "16", "16:", ":9", "0:9", "16:0", "a:b", "16:9x", "-4:3", "1:100", "100:1", "1:7"})
        EXPECT_FALSE(kv::AspectModeFromText(bad, mode)) << bad;
}

}  // namespace
