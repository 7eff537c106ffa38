// kinevista-cli as a whole: the exit-status rule, paths that do not fit, write failures that
// keep the old file, missing shows and pictures, settings values out of range.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/cli/cli_show_fixture.h"

namespace kvclitest {
namespace {

// Runs the CLI with standard error captured into *err.
int CliErr(const std::string& args, std::string* err, const std::string& before = "") {
    const std::string file = kvtest::TempDir("cli-main-err") + "/err.txt";
    const int rc = kvtest::Run(before + std::string(KV_BIN_DIR) + "/kinevista-cli " + args +
                               " >/dev/null 2>" + Q(file));
    *err = kvtest::ReadFileBytes(file);
    return rc;
}

bool NoTemporaryFiles(const std::string& dir) {
    for (const std::string& name : kvtest::ListFolder(dir))
        if (name.find("~kv") != std::string::npos) return false;
    return true;
}

using CliMain = CliShow;

TEST_F(CliMain, PathsThatDoNotFitAreUsageErrorsNotCut) {
    std::string err;
    const std::string longName = dir + "/" + std::string(300 - dir.size(), 'a') + ".tga";
    const std::string cut = longName.substr(0, 255);
    EXPECT_EQ(CliErr("render " + Q(path) + " --frame 0 --size 64x48 --out " + Q(longName), &err),
              2);
    EXPECT_NE(err.find("paths of at most 255 bytes"), std::string::npos) << err;
    EXPECT_NE(err.find("usage: kinevista-cli render"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(cut), "");
    EXPECT_EQ(kvtest::ListFolder(dir).size(), 2u);  // the picture and the show only

    const std::string deep = dir + "/../../" + std::string(4300, 'b') + ".bmp";
    EXPECT_EQ(CliErr("picture " + Q(picture) + " --out " + Q(deep), &err), 2);
    EXPECT_EQ(CliErr("prep " + Q(picture) + " --out " + Q(deep), &err), 2);
    EXPECT_EQ(CliErr("still " + Q(path) + " --out " + Q(longName), &err), 2);
    EXPECT_EQ(CliErr("resave " + Q(path) + " " + Q(longName + ".kvx"), &err), 2);
    EXPECT_EQ(CliErr("info " + Q(dir + "/" + std::string(5000, 'c')), &err), 2);
    EXPECT_EQ(err.find("is not a show"), std::string::npos) << err;
}

TEST_F(CliMain, WriteFailuresExitOneAndKeepTheOldFile) {
    std::string err;
    const std::string old = dir + "/old.tga";
    std::string oldBytes(300 * 1024, '\0');
    for (size_t i = 0; i < oldBytes.size(); ++i) oldBytes[i] = static_cast<char>(i * 7);
    kvtest::WriteFileBytes(old, oldBytes);
    // 64 KiB of file size: the 200 x 150 frame (120 KB) cannot be written.
    EXPECT_EQ(CliErr("render " + Q(path) + " --frame 0 --size 200x150 --out " + Q(old), &err,
                     "ulimit -f 64; "),
              1);
    EXPECT_NE(err.find("could not write"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(old), oldBytes);
    EXPECT_EQ(CliErr("picture " + Q(picture) + " --out " + Q(old), &err, "ulimit -f 4; "), 1);
    EXPECT_EQ(CliErr("prep " + Q(picture) + " --out " + Q(old), &err, "ulimit -f 4; "), 1);
    EXPECT_EQ(kvtest::ReadFileBytes(old), oldBytes);
    EXPECT_TRUE(NoTemporaryFiles(dir));

    EXPECT_EQ(CliErr("picture " + Q(picture) + " --out /dev/full", &err), 1);
    EXPECT_EQ(CliErr("prep " + Q(picture) + " --out /dev/full", &err), 1);
    EXPECT_NE(err.find("could not write /dev/full"), std::string::npos) << err;

    // Without a limit the same commands replace the file.
    EXPECT_EQ(CliErr("render " + Q(path) + " --frame 0 --size 200x150 --out " + Q(old), &err), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(old).size(), 18u + 200 * 150 * 4);
}

TEST_F(CliMain, MissingShowsAndPicturesAreFailures) {
    std::string err;
    EXPECT_EQ(CliErr("info " + Q(dir + "/absent.kvx"), &err), 1);
    EXPECT_NE(err.find("absent.kvx is missing"), std::string::npos) << err;
    kvtest::WriteFileBytes(dir + "/text.kvx", "plain text");
    EXPECT_EQ(CliErr("info " + Q(dir + "/text.kvx"), &err), 1);
    EXPECT_NE(err.find("text.kvx is not a show"), std::string::npos) << err;

    // The show's picture goes away: rendering fails unless the placeholder is allowed.
    ASSERT_EQ(std::rename(picture.c_str(), (dir + "/moved.bmp").c_str()), 0);
    const std::string out = dir + "/f.bmp";
    EXPECT_EQ(CliErr("render " + Q(path) + " --frame 0 --size 64x48 --out " + Q(out), &err), 1);
    EXPECT_NE(err.find("could not be loaded"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(out), "");
    EXPECT_EQ(CliErr("still " + Q(path) + " --out " + Q(dir + "/s.tga"), &err), 1);
    EXPECT_EQ(CliErr("render " + Q(path) + " --frame 0 --size 64x48 --out " + Q(out) +
                         " --allow-placeholder --set ShowPicError=0",
                     &err),
              0);
    EXPECT_EQ(kvtest::ReadFileBytes(out).size(), 54u + 64 * 48 * 4);
}

TEST_F(CliMain, NamesBeyondAsciiAreKeptLetterForLetter) {
    // A picture in a folder named with Latin, Nordic and Chinese letters; the show elsewhere,
    // so that the picture is found by the path the show keeps.
    const std::string letters = "Straße é Ø 中文";
    ASSERT_EQ(kvtest::Run("mkdir -p " + Q(dir + "/" + letters) + " " + Q(dir + "/shows")), 0);
    const std::string pictureThere = dir + "/" + letters + "/" + letters + ".bmp";
    kvtest::WriteFileBytes(pictureThere, kvtest::ReadFileBytes(picture));
    const std::string show = dir + "/shows/" + letters + ".kvx";
    std::string err;
    ASSERT_EQ(CliErr("new " + Q(pictureThere) + " --out " + Q(show), &err), 0) << err;
    std::string json;
    ASSERT_EQ(Cli("info " + Q(show), &json), 0);
    EXPECT_NE(json.find(letters + "/" + letters + ".bmp"), std::string::npos) << json;
    const std::string frame = dir + "/Bild " + letters + ".bmp";
    EXPECT_EQ(CliErr("render " + Q(show) + " --frame 0 --size 64x48 --out " + Q(frame), &err), 0)
        << err;
    EXPECT_EQ(kvtest::ReadFileBytes(frame).size(), 54u + 64 * 48 * 4);

    // Names one accent apart are two files.
    ASSERT_EQ(kvtest::Run("mkdir " + Q(dir + "/saved")), 0);
    EXPECT_EQ(CliErr("resave " + Q(path) + " " + Q(dir + "/saved/Fête.kvx"), &err), 0) << err;
    EXPECT_EQ(CliErr("resave " + Q(path) + " " + Q(dir + "/saved/Fète.kvx"), &err), 0) << err;
    EXPECT_EQ(kvtest::ListFolder(dir + "/saved"),
              (std::vector<std::string>{"Fète.kvx", "Fête.kvx"}));

    EXPECT_EQ(CliErr("info " + Q(dir + "/Schöner.kvx"), &err), 1);
    EXPECT_NE(err.find("Schöner.kvx is missing"), std::string::npos) << err;
}

TEST_F(CliMain, FrameRatesOutOfRangeWarnAndUse2997) {
    std::string out;
    const std::string errFile = dir + "/warn.txt";
    for (const char* rate : {"100000000", "0", "-5"}) {
        ASSERT_EQ(Cli("info " + Q(path) + " --set FrameRate=" + rate, &out, "2>" + Q(errFile)), 0);
        EXPECT_NE(kvtest::ReadFileBytes(errFile).find(std::string("FrameRate ") + rate +
                                                      " is not 2997, 2500 or 2397; 2997 is used"),
                  std::string::npos);
        // Five minutes at 29.97 frames per second.
        EXPECT_NE(out.find("\"length\": 8990,"), std::string::npos) << rate << out;
    }
    std::string err;
    EXPECT_EQ(CliErr("info " + Q(path) + " --frame-rate 100000000", &err), 2);
    EXPECT_EQ(CliErr("info " + Q(path) + " --frame-rate 2500", &err), 0);
    EXPECT_EQ(CliErr("nonsense", &err), 2);
    EXPECT_EQ(CliErr("info " + Q(path) + " --bogus", &err), 2);
}

}  // namespace
// "--" ends the options: a name that starts with "--" is a name. A movie larger than the
// writers take is refused, not cut; a show rate that is not the movie's is warned of.
TEST_F(CliMain, NamesAfterDashDashSizesAboveTheLimitAndRatesApart) {
    std::string err;
    ASSERT_EQ(kvtest::Run("cp " + Q(path) + " " + Q(dir + "/--odd.kvx")), 0);
    const std::string inDir = "cd " + Q(dir) + " && ";
    EXPECT_EQ(CliErr("info -- --odd.kvx", &err, inDir), 0) << err;
    EXPECT_EQ(CliErr("info --odd.kvx", &err, inDir), 2);  // without it, an unknown option
    EXPECT_EQ(CliErr("resave -- --odd.kvx --copy.kvx", &err, inDir), 0) << err;
    EXPECT_NE(kvtest::ReadFileBytes(dir + "/--copy.kvx"), "");

    const std::string movie = dir + "/big.avi";
    EXPECT_EQ(CliErr("movie " + Q(path) + " --size 8192x8192 --out " + Q(movie), &err), 2);
    EXPECT_NE(err.find("movies are at most 4096 x 4096 pixels"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(movie), "");

    EXPECT_EQ(
        CliErr("movie " + Q(path) + " --size 16x16 --frame-rate 2500 --out " + Q(movie), &err), 0);
    EXPECT_NE(err.find("the movie is written at 29.97 frames a second"), std::string::npos) << err;
    EXPECT_NE(err.find("add --fps 25 to write it"), std::string::npos) << err;
    EXPECT_EQ(
        CliErr("movie " + Q(path) + " --size 16x16 --frame-rate 2500 --fps 25 --out " + Q(movie),
               &err),
        0);
    EXPECT_EQ(err.find("warning"), std::string::npos) << err;
}

TEST_F(CliMain, SettingsThatDoNotFitAreToldNotDropped) {
    std::string err;
    // A folder longer than a path record is refused whole and named on standard error; the run
    // goes on with the folder the store held.
    const std::string folder = "/" + std::string(300, 'f') + "/";
    EXPECT_EQ(CliErr("info " + Q(path) + " --set AltImageFolder=" + folder, &err), 0);
    EXPECT_NE(err.find("The setting \"AltImageFolder\" does not fit in the settings file and was "
                       "not saved."),
              std::string::npos)
        << err;
    // Values that together pass the store's limit: the first that does not fit is told.
    std::string sets;
    for (int i = 0; i < 6; ++i)
        sets += " --set Long" + std::to_string(i) + "=" + std::string(200, 'v');
    // A settings file of its own, so that the store starts from the section line alone.
    EXPECT_EQ(CliErr("info " + Q(path) + " --settings " + Q(dir + "/fresh.ini") + sets, &err), 0);
    EXPECT_EQ(err.find("\"Long3\""), std::string::npos) << err;
    EXPECT_NE(err.find("The setting \"Long4\" does not fit"), std::string::npos) << err;
    EXPECT_NE(err.find("The setting \"Long5\" does not fit"), std::string::npos) << err;
    // Settings that fit say nothing.
    EXPECT_EQ(CliErr("info " + Q(path) + " --set AltImageFolder=/pictures/", &err), 0);
    EXPECT_EQ(err.find("does not fit"), std::string::npos) << err;
}

TEST_F(CliMain, HandWrittenSettingsAreReadAndOddLinesNamedOnce) {
    std::string err, out;
    // "\n" ends as an editor on Linux writes them: the settings are taken, not silently lost.
    const std::string lf = dir + "/lf.ini";
    kvtest::WriteFileBytes(lf, "[Kinevista]\nAspectMode=5625\nEaseType=2\n");
    ASSERT_EQ(Cli("info " + Q(path) + " --settings " + Q(lf), &out), 0);
    EXPECT_NE(out.find("\"AspectMode\": 5625,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"EaseType\": 2,"), std::string::npos) << out;
    // Mixed ends read the same, and say nothing.
    const std::string mixed = dir + "/mixed.ini";
    kvtest::WriteFileBytes(mixed, "[Kinevista]\r\nAspectMode=5625\nEaseType=2\r\n");
    std::string mixedOut;
    ASSERT_EQ(Cli("info " + Q(path) + " --settings " + Q(mixed), &mixedOut), 0);
    EXPECT_EQ(WithoutId(mixedOut), WithoutId(out));
    EXPECT_EQ(CliErr("info " + Q(path) + " --settings " + Q(mixed), &err), 0);
    EXPECT_EQ(err, "");

    // A line that is neither a section nor a setting is named once, with its number; the run
    // goes on with the rest.
    const std::string odd = dir + "/Kinevista.ini";
    kvtest::WriteFileBytes(odd, "[Kinevista]\n\nAspectMode 5625\nEaseType=2\n");
    EXPECT_EQ(CliErr("info " + Q(path) + " --settings " + Q(odd), &err), 0);
    const std::string line =
        "kinevista-cli: Kinevista.ini line 3 is neither a [section] nor a key=value line\n";
    EXPECT_EQ(err, line);
    ASSERT_EQ(Cli("info " + Q(path) + " --settings " + Q(odd), &out), 0);
    EXPECT_NE(out.find("\"EaseType\": 2,"), std::string::npos) << out;
    // The public folder's file is the one named when no file is given.
    const std::string publicDir = dir + "/public";
    ASSERT_EQ(kvtest::Run("mkdir -p " + Q(publicDir) + " && cp " + Q(odd) + " " + Q(publicDir)), 0);
    EXPECT_EQ(CliErr("info " + Q(path), &err, "KINEVISTA_PUBLIC=" + Q(publicDir) + " "), 0);
    EXPECT_EQ(err, line);
}

// FFmpeg's libraries open with the first movie, not with the program: a command that makes no
// movie never looks for them. Without them a movie or a join is an ordinary failure that says
// so, and the old file stays.
TEST_F(CliMain, FfmpegOpensWithTheFirstMovieAndItsAbsenceIsAFailure) {
    std::string err;
    EXPECT_EQ(CliErr("info " + Q(path), &err, "LD_DEBUG=libs "), 0);
    EXPECT_EQ(err.find("libavformat"), std::string::npos) << "looked for at the start";
    EXPECT_NE(err.find("find library=libc.so"), std::string::npos) << "no loader trace: " << err;
    const std::string movie = dir + "/m.avi";
    EXPECT_EQ(CliErr("movie " + Q(path) + " --out " + Q(movie) + " --size 64x48 --end 00:00:00:05",
                     &err, "LD_DEBUG=libs "),
              0);
    EXPECT_NE(err.find("find library=libavformat.so."), std::string::npos);

    // The libraries it looked for, each replaced by a file the loader finds but cannot load.
    const std::string broken = kvtest::TempDir("cli-broken-ffmpeg");
    int replaced = 0;
    for (size_t at = err.find("find library="); at != std::string::npos;
         at = err.find("find library=", at + 1)) {
        const size_t from = at + 13, to = err.find_first_of(" ;[\n", from);
        const std::string name = err.substr(from, to - from);
        if (name.rfind("libav", 0) == 0 || name.rfind("libsw", 0) == 0) {
            kvtest::WriteFileBytes(broken + "/" + name, "not a library");
            ++replaced;
        }
    }
    EXPECT_GE(replaced, 2);
    const std::string without = "LD_LIBRARY_PATH=" + Q(broken) + " ";
    const std::string old = kvtest::ReadFileBytes(movie);
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(CliErr("movie " + Q(path) + " --out " + Q(movie) + " --size 64x48 --end 00:00:00:05",
                     &err, without),
              1);
    EXPECT_NE(err.find("could not write"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(movie), old);
    EXPECT_EQ(CliErr("join " + Q(dir + "/j.avi") + " " + Q(movie), &err, without), 1);
    EXPECT_NE(err.find("FFmpeg's libraries do not open"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/j.avi"));
}

}  // namespace kvclitest
