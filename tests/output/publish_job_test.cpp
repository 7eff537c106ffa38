// The .mp4/.mkv/.webm names in the movie job: writer choice, refused extensions, the
// "MovieType" setting, save-dialog filters and batch names.
#include <gtest/gtest.h>

#include <string>

#include "output/movie_job.h"

namespace {

TEST(PublishNames, TheExtensionChoosesTheWriterAndTheContainer) {
    EXPECT_EQ(kv::WriterTypeFor("/m/trip.mp4"), kv::WriterPublish);
    EXPECT_EQ(kv::WriterTypeFor("/m/trip.MKV"), kv::WriterPublish);
    EXPECT_EQ(kv::WriterTypeFor("/m/trip.webm"), kv::WriterPublish);
    EXPECT_EQ(kv::PublishContainerFor("/m/trip.mp4"), kv::MovieContainer::Mp4);
    EXPECT_EQ(kv::PublishContainerFor("/m/trip.Mkv"), kv::MovieContainer::Matroska);
    EXPECT_EQ(kv::PublishContainerFor("/m/trip.webm"), kv::MovieContainer::WebM);
    // The file name's own extension decides: a folder or an inner dot named like another type
    // does not turn the movie into that type.
    EXPECT_EQ(kv::WriterTypeFor("/m/old.mp4/trip.avi"), kv::WriterAvi);
    EXPECT_EQ(kv::WriterTypeFor("/m/trip.mp4.avi"), kv::WriterAvi);
    EXPECT_EQ(kv::WriterTypeFor("/clips.mov/trip.mp4"), kv::WriterPublish);
    EXPECT_EQ(kv::WriterTypeFor("/clips.mov/trip.avi"), kv::WriterAvi);
    EXPECT_EQ(kv::WriterTypeFor("/a.dps.d/trip.webm"), kv::WriterPublish);
    EXPECT_EQ(kv::WriterTypeFor("/m/trip.rtv.mov"), kv::WriterQuickTime);
    // A name without an extension keeps the older reading of the whole path.
    EXPECT_EQ(kv::WriterTypeFor("/clips.mov/trip"), kv::WriterQuickTime);
    EXPECT_EQ(kv::MovieExtension("/m.x/trip"), "");
    EXPECT_EQ(kv::MovieExtension("C:\\m\\Trip.WebM"), ".webm");
}

TEST(PublishNames, ExtensionsNoWriterTakesAreRefused) {
    for (const char* ok : {"/m/a.avi", "/m/a.MOV", "/m/a.dps", "/m/a.rtv", "/m/a.mp4", "/m/a.mkv",
                           "/m/a.webm", "/m/a"})
        EXPECT_TRUE(kv::MovieExtensionWritable(ok)) << ok;
    for (const char* bad : {"/m/a.mp3", "/m/a.mp4.tmp", "/m/a.gif", "/m/a.", "/m/a.ogv"})
        EXPECT_FALSE(kv::MovieExtensionWritable(bad)) << bad;
    const std::string msg = kv::UnwritableMovieMessage("/m/a.ogv");
    EXPECT_NE(msg.find("a.ogv"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\".ogv\""), std::string::npos) << msg;
}

TEST(PublishNames, SettingFiltersAndBatchNamesFollowTheContainer) {
    EXPECT_EQ(kv::MovieTypeSettingFor("/m/a.avi"), 0);
    EXPECT_EQ(kv::MovieTypeSettingFor("/m/a.mov"), 1);
    EXPECT_EQ(kv::MovieTypeSettingFor("/m/a.mp4"), 4);
    EXPECT_EQ(kv::MovieTypeSettingFor("/m/a.mkv"), 5);
    EXPECT_EQ(kv::MovieTypeSettingFor("/m/a.webm"), 6);
    // The stored type's entry comes first; every filter offers the new containers.
    EXPECT_EQ(std::string(kv::MovieFilterFor(0).filter),
              "AVI Files (*.avi)|*.avi|QuickTime Movies (*.mov)|*.mov|DPS Files (*.dps)|*.dps|"
              "VideoToaster Files (*.rtv)|*.rtv|MPEG-4 Movies (*.mp4)|*.mp4|Matroska Movies "
              "(*.mkv)|*.mkv|WebM Movies (*.webm)|*.webm|All Files *.*|*.*||");
    EXPECT_STREQ(kv::MovieFilterFor(6).extension, ".webm");
    EXPECT_EQ(std::string(kv::MovieFilterFor(6).filter).rfind("WebM Movies (*.webm)|*.webm|AVI", 0),
              0u);
    EXPECT_STREQ(kv::MovieFilterFor(5).extension, ".mkv");
    EXPECT_STREQ(kv::MovieFilterFor(4).extension, ".mp4");
    EXPECT_STREQ(kv::MovieFilterFor(9).extension, ".avi");
    EXPECT_EQ(kv::BatchOutputName("/out/x.webm", "/shows/trip.kvx", kv::WriterPublish),
              "/out/tripB.webm");
    EXPECT_EQ(kv::BatchOutputName("/out/x.MKV", "/shows/trip.kvx", kv::WriterPublish),
              "/out/tripB.mkv");
}

}  // namespace
