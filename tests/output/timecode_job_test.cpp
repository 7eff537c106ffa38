// Timecode text and the movie job's conversions.
#include <gtest/gtest.h>

#include "core/show/show.h"
#include "output/movie_job.h"
#include "output/timecode.h"

namespace {

using kv::FramesToTimecode;

int32_t Frames(const char* text, int32_t previous, int32_t rate) {
    int32_t f = previous;
    kv::TimecodeToFrames(text, f, rate);
    return f;
}

TEST(Timecode, FramesToText) {
    EXPECT_EQ(FramesToTimecode(0, 2997), "00:00:00");
    EXPECT_EQ(FramesToTimecode(-1, 2500), "00:00.01");
    EXPECT_EQ(FramesToTimecode(-1, 2500, true), "00:00:00.01");
    EXPECT_EQ(FramesToTimecode(29, 2997), "00:00:29");
    EXPECT_EQ(FramesToTimecode(30, 2997), "00:01:00");
    // A minute is 1798 frames at 29.97 when shown, 1800 when read.
    EXPECT_EQ(FramesToTimecode(1800, 2997), "01:00:02");
    EXPECT_EQ(FramesToTimecode(1438, 2397), "01:00:00");
    EXPECT_EQ(FramesToTimecode(2500 * 36 + 26, 2500, true), "01:00:01:01");
    EXPECT_EQ(FramesToTimecode(2500 * 36 + 26, 2500), "00:01:01");  // hours only in the long form
}

TEST(Timecode, TextToFrames) {
    EXPECT_EQ(Frames("00:00:10", 0, 2500), 10);
    EXPECT_EQ(Frames("01:00:00", 0, 2997), 1800);
    EXPECT_EQ(Frames("00:02:05", 0, 2397), 2 * 24 + 5);
    EXPECT_EQ(Frames("01:00:00:00", 0, 2500), 90000);     // hours
    EXPECT_EQ(Frames("07:01:00:00:00", 0, 2500), 90000);  // a fifth group is ignored
    EXPECT_EQ(Frames("123", 0, 2997), 23 + 30);           // two digits per group from the end
    EXPECT_EQ(Frames("5", 0, 2500), 5);
    EXPECT_EQ(Frames("1 2", 0, 2500), 2 + 25);
    EXPECT_EQ(Frames("+00:01:00", 100, 2500), 125);
    EXPECT_EQ(Frames("-00:00:05", 100, 2500), 95);
    EXPECT_EQ(Frames("", 77, 2500), 77);  // no digits: unchanged
    EXPECT_EQ(Frames("abc", 77, 2500), 77);
    EXPECT_EQ(Frames("+", 77, 2500), 77);
}

TEST(Timecode, TextChangesOnlyWhereMinuteLengthsDiffer) {
    for (int32_t rate : {2997, 2500, 2397})
        for (int32_t f : {0, 1, 29, 59, 61, 599}) {
            int32_t back = -1;
            kv::TimecodeToFrames(FramesToTimecode(f, rate).c_str(), back, rate);
            EXPECT_EQ(back, f) << rate << " " << f;
        }
    int32_t back = 0;
    kv::TimecodeToFrames(FramesToTimecode(1800, 2500).c_str(), back, 2500);
    EXPECT_EQ(back, 1800);
}

kv::MovieOptionTexts Texts() {
    kv::MovieOptionTexts t;
    t.width = "720";
    t.height = "480";
    t.start = "00:00:00";
    t.end = "00:00:10";
    t.hold = "00:00:00";
    t.fps = "25";
    t.quality = "100";
    t.fields = "1";
    return t;
}

TEST(MovieJob, ValuesAndLimits) {
    kv::MovieOptionTexts t = Texts();
    kv::MovieJob j = kv::MakeMovieJob(t, 2500);
    EXPECT_EQ(j.width, 720);
    EXPECT_EQ(j.endFrame, 10);
    EXPECT_EQ(j.fieldMode, 3);
    EXPECT_FALSE(j.reverse);
    EXPECT_EQ(j.totalFrames, 10);
    EXPECT_EQ(j.frameRate, 25.0f);

    t.width = "5000";
    t.height = "-3";
    t.fields = "";
    t.reverse = "x";
    t.hold = "00:00:05";
    j = kv::MakeMovieJob(t, 2500);
    EXPECT_EQ(j.width, 4096);
    EXPECT_EQ(j.height, 0);
    EXPECT_EQ(j.fieldMode, 0);
    EXPECT_TRUE(j.reverse);
    EXPECT_EQ(j.totalFrames, (10 + 2 * 5) * 2);

    EXPECT_EQ(kv::MovieFrameRate("120"), 60.0f);
    EXPECT_EQ(kv::MovieFrameRate("-5"), 0.0f);
    EXPECT_EQ(kv::MovieFrameRate("0"), 0.0f);
    EXPECT_EQ(kv::MovieFrameRate("nan"), 0.0f);
    EXPECT_EQ(kv::MovieFrameRate("fast"), 0.0f);
    EXPECT_EQ(kv::MovieFrameRate("29.97"), 29.97f);
}

TEST(MovieJob, WriterChoiceAndNames) {
    EXPECT_EQ(kv::WriterTypeFor("/m/a.avi"), kv::WriterAvi);
    EXPECT_EQ(kv::WriterTypeFor("/m/a"), kv::WriterAvi);
    EXPECT_EQ(kv::WriterTypeFor("/m/a.dps"), kv::WriterDps);
    EXPECT_EQ(kv::WriterTypeFor("/m/a.mov"), kv::WriterQuickTime);
    EXPECT_EQ(kv::WriterTypeFor("/m/a.rtv"), kv::WriterToaster);
    EXPECT_EQ(kv::WriterTypeFor("/m/a.mov.dps"), kv::WriterDps);  // DPS is looked for first
    EXPECT_EQ(kv::MovieTypeSetting(kv::WriterQuickTime), 1);
    EXPECT_EQ(kv::MovieTypeSetting(kv::WriterDps), 2);
    EXPECT_EQ(kv::MovieTypeSetting(kv::WriterToaster), 3);
    EXPECT_STREQ(kv::MovieFilterFor(3).extension, ".rtv");
    EXPECT_EQ(std::string(kv::MovieFilterFor(2).filter).rfind("DPS Files (*.dps)|*.dps|AVI", 0),
              0u);
    EXPECT_STREQ(kv::MovieFilterFor(7).extension, ".avi");

    EXPECT_EQ(kv::BatchOutputName("/out/movie.avi", "/shows/a.kvx", kv::WriterAvi), "/out/aB.avi");
    EXPECT_EQ(kv::BatchOutputName("/out/x.mov", "/s.d/a.b.kvx", kv::WriterQuickTime),
              "/out/aB.mov");
    EXPECT_EQ(kv::BatchOutputName("D:\\out\\x.dps", "C:\\s\\shot", kv::WriterDps),
              "D:\\out\\shotB.dps");
    EXPECT_EQ(kv::BatchOutputName("x.rtv", "a.kvx", kv::WriterToaster), "aB.rtv");
}

TEST(MovieJob, ProgressEstimate) {
    EXPECT_EQ(kv::TimeToGoText(1000, 11000, 0.5), "Time to go: 00:11");
    EXPECT_EQ(kv::TimeToGoText(1000, 61000, 0.25), "Time to go: 03:01");
    EXPECT_EQ(kv::TimeToGoText(0, 11000, 0.5), "");
    EXPECT_EQ(kv::TimeToGoText(1000, 11000, 0.0), "");
    EXPECT_EQ(kv::PercentText(0.427), "42%");

    const kv::ProgressPanelLayout l =
        kv::LayoutProgressPanel(kv::MovieProgressRect, 0.25, 1000, 61000);
    EXPECT_EQ(l.bar.left, 32);
    EXPECT_EQ(l.bar.top, 58);
    EXPECT_EQ(l.bar.right, 216);
    EXPECT_EQ(l.bar.bottom, 72);
    EXPECT_EQ(l.splitX, 32 + 46);  // trunc(184 x 0.25)
    EXPECT_EQ(l.estimate, "Time to go: 03:01");
    EXPECT_EQ(l.estimateY, 40);
    EXPECT_EQ(l.textY, 28);
    EXPECT_EQ(l.percent, "25%");
    EXPECT_EQ(l.percentX, 220);
    EXPECT_EQ(l.percentY, 58);
}

TEST(MovieJob, OptionItemsInDialogOrder) {
    kv::MovieOptionTexts t;
    for (int i = 0; i < kv::MovieOptionCount; ++i) kv::MovieOptionText(t, i) = std::to_string(i);
    EXPECT_EQ(t.width, "0");
    EXPECT_EQ(t.end, "3");
    EXPECT_EQ(t.fps, "5");
    EXPECT_EQ(t.reverse, "8");
    EXPECT_STREQ(kv::MovieOptionItems[6], "@SQuality");
    EXPECT_STREQ(kv::MovieOptionItems[8], "@CReverse too?");
}

TEST(MovieJob, RatesQualityAndCodes) {
    EXPECT_EQ(kv::AviRate(29.97f), 2997);
    EXPECT_EQ(kv::AviRate(23.976f), 2398);
    EXPECT_EQ(kv::AviRate(0.0f), 0);
    EXPECT_EQ(kv::QtTimeScale(29.97f), 2997);
    EXPECT_EQ(kv::QtTimeScale(23.976f), 2397);
    EXPECT_EQ(kv::TemporalRateFixed(29.97f), 2997 * 65536 / 100);
    EXPECT_EQ(kv::SpatialQualityFor(19), 0);
    EXPECT_EQ(kv::SpatialQualityFor(20), 0x100);
    EXPECT_EQ(kv::SpatialQualityFor(59), 0x200);
    EXPECT_EQ(kv::SpatialQualityFor(79), 0x300);
    EXPECT_EQ(kv::SpatialQualityFor(80), 0x3FF);
    EXPECT_EQ(kv::FourccLowFirst("MJPG"), 0x47504A4Du);
    EXPECT_EQ(kv::FourccHighFirst("jpeg"), 0x6A706567u);
    EXPECT_EQ(kv::FourccTextLowFirst(0x47504A4Du), "MJPG");
    EXPECT_EQ(kv::FourccTextHighFirst(0x6A706567u), "jpeg");
    EXPECT_EQ(kv::FourccTextHighFirst(kv::FourccHighFirst("rle ")), "rle ");
    EXPECT_EQ(kv::FourccLowFirst(""), 0u);
}

TEST(MovieJob, ShowEndIsLastPictureStartPlusLastKey) {
    kv::Show show;
    show.pictureCount = 1;
    show.pictures[0].keyCount = 3;
    show.pictures[0].keys[1].time = 20;
    show.pictures[0].keys[2].time = 40;
    show.SetPictureStart(0, 10);
    EXPECT_EQ(kv::ShowEndFrame(show), 50);
}

}  // namespace
