// The movie commands' settings record and the container table: a job reads only the record it
// is handed and reports what it decided there, the record goes to and from a store key by key,
// and every container row is reached from its own name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "output/make_movie.h"
#include "output/movie_job.h"
#include "output/movie_settings.h"
#include "output/movie_writers.h"
#include "tests/output/movie_test_support.h"

namespace {

class MovieSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::FreshMovieState();
        dir = kvtest::TempDir("movie-settings");
        show.FrameRate = 2500;
    }
    std::string dir;
    kv::Show show;
    kvtest::ScriptedHost host;
    kvtest::AlertRecorder alerts;
};

TEST_F(MovieSettingsTest, JobReadsAndWritesOnlyTheRecordItIsHanded) {
    // The process's store says otherwise about everything the job reads.
    kv::TheSettings().WriteString("MovieWid", "640");
    kv::TheSettings().WriteString("CodecType", "MJPG");
    kv::TheSettings().WriteInt("MovieType", 5);
    const std::string processStore = kv::TheSettings().Text();

    kv::MovieSettings kept;
    EXPECT_EQ(kept.options.width, "720");  // a record made without a store has the defaults
    kept.options.width = "48";
    kept.options.height = "32";
    kept.options.fps = "25";
    kept.options.fields = "";
    kept.movieType = 3;  // the save dialog offers Video Toaster first
    kept.initialFolder = dir + "/start/";
    host.edit = [](kv::MovieOptionTexts& t) { t.end = "00:00:04"; };
    host.output = dir + "/made.avi";
    ASSERT_TRUE(kv::MakeMovie(show, host, false, kept));

    EXPECT_EQ(kv::TheSettings().Text(), processStore);
    // The dialog opened with the record's values, in the record's folder and type.
    EXPECT_EQ(host.seenOptions.width, "48");
    EXPECT_EQ(host.lastRequest.initialFolder, dir + "/start/");
    EXPECT_EQ(host.lastRequest.extension, ".rtv");
    EXPECT_EQ(kvtest::FrameNumbers(host.output, 48, 32), kvtest::Range(0, 3));
    // What the job decided is in the record, and marked so.
    EXPECT_EQ(kept.movieType, 0);
    EXPECT_EQ(kept.codecType, "");
    EXPECT_EQ(kept.initialFolder, dir + "/");
    EXPECT_EQ(kept.options.end, "00:00:04");
    const uint32_t decided = kv::MovieSettings::DecidedType | kv::MovieSettings::DecidedCodecType |
                             kv::MovieSettings::DecidedFolder | kv::MovieSettings::DecidedOptions;
    EXPECT_EQ(kept.decided, decided);
}

TEST_F(MovieSettingsTest, CancelledJobDecidesNothing) {
    kv::MovieSettings kept;
    host.acceptOptions = false;
    host.output = dir + "/never.avi";
    EXPECT_FALSE(kv::MakeMovie(show, host, false, kept));
    EXPECT_EQ(kept.decided, 0u);
    kv::Settings store;
    ASSERT_TRUE(kv::StoreMovieSettings(kept, store));
    EXPECT_EQ(store.Text(), "[Kinevista]\r\n");
}

TEST_F(MovieSettingsTest, RecordGoesToAndFromAStoreKeyByKey) {
    kv::Settings empty;
    const kv::MovieSettings defaults = kv::MovieSettingsFrom(empty);
    EXPECT_EQ(defaults.options.width, "720");
    EXPECT_EQ(defaults.options.height, "480");
    EXPECT_EQ(defaults.options.start, "00:00:00");
    EXPECT_EQ(defaults.options.fps, "29.97");
    EXPECT_EQ(defaults.options.quality, "100");
    EXPECT_EQ(defaults.options.fields, "1");
    EXPECT_EQ(defaults.options.reverse, "");
    EXPECT_EQ(defaults.movieType, 0);
    EXPECT_TRUE(defaults.movieAudio);
    EXPECT_EQ(defaults.decided, 0u);

    kv::MovieSettings m = defaults;
    m.options.width = std::string(80, '9');  // kept cut to the dialog's 63 characters
    m.movieType = 6;
    m.codecType = "MJPG";
    m.movieCodec = "vp9";
    m.initialFolder = "/movies/";
    m.decided = kv::MovieSettings::DecidedType | kv::MovieSettings::DecidedOptions |
                kv::MovieSettings::DecidedFolder;
    kv::Settings store;
    ASSERT_TRUE(kv::StoreMovieSettings(m, store));
    // Only what was decided is written: no compressor keys appear.
    EXPECT_EQ(store.ReadString("CodecType", "none"), "none");
    EXPECT_EQ(store.ReadString("MovieCodec", "none"), "none");
    EXPECT_EQ(store.ReadInt("InitialVrefnum", 0), 9991);
    const kv::MovieSettings back = kv::MovieSettingsFrom(store);
    EXPECT_EQ(back.options.width, std::string(63, '9'));
    EXPECT_EQ(back.movieType, 6);
    EXPECT_EQ(back.initialFolder, "/movies/");
    store.WriteInt("MovieAudio", 0);
    EXPECT_FALSE(kv::MovieSettingsFrom(store).movieAudio);

    // A folder too long for a path record is refused by the store, and the write says so.
    m.initialFolder = "/" + std::string(kv::MaxSettingPathBytes, 'f') + "/";
    EXPECT_FALSE(kv::StoreMovieSettings(m, store));
    EXPECT_EQ(kv::MovieSettingsFrom(store).initialFolder, "/movies/");
}

TEST(MovieContainers, EveryRowIsReachedFromItsOwnName) {
    const std::vector<kv::MovieContainerRow>& rows = kv::MovieContainerRows();
    ASSERT_EQ(rows.size(), 7u);
    std::set<std::string> extensions;
    for (size_t i = 0; i < rows.size(); ++i) {
        const kv::MovieContainerRow& row = rows[i];
        SCOPED_TRACE(row.extension);
        EXPECT_TRUE(extensions.insert(row.extension).second);
        // The row's place is the "MovieType" number settings files keep.
        EXPECT_EQ(row.movieType, static_cast<int32_t>(i));
        EXPECT_EQ(&kv::MovieRowForType(row.movieType), &row);
        const std::string name = std::string("/m/clip") + row.extension;
        EXPECT_EQ(&kv::MovieRowFor(name), &row);
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        EXPECT_EQ(&kv::MovieRowFor(upper), &row);
        EXPECT_TRUE(kv::MovieExtensionWritable(name));
        EXPECT_EQ(kv::MovieTypeSettingFor(name), row.movieType);
        EXPECT_NE(std::string(row.filter).find(std::string("*") + row.extension),
                  std::string::npos);
        EXPECT_EQ(std::string(kv::MovieFilterFor(row.movieType).filter).rfind(row.filter, 0), 0u);
        EXPECT_STREQ(kv::MovieFilterFor(row.movieType).extension, row.extension);
        // The outside libraries own their files, carry no sound and offer no codec choice.
        const bool outside = row.writerType == kv::WriterDps || row.writerType == kv::WriterToaster;
        EXPECT_EQ(row.replacedWhole, !outside);
        EXPECT_EQ(row.carriesSound, !outside);
        EXPECT_EQ(row.hasCodecs, !outside);
        if (outside) {
            EXPECT_TRUE(kv::MovieRowCodecs(row).empty());
        }
    }
    EXPECT_FALSE(kv::MovieExtensionWritable("/m/clip.gif"));
    EXPECT_EQ(kv::MovieRowForType(-1).extension, std::string(".avi"));
    EXPECT_EQ(kv::MovieRowForType(7).extension, std::string(".avi"));
}

TEST_F(MovieSettingsTest, OpenFollowsTheNameWithinAWriterType) {
    // The three containers of one writer type are told apart by the name's extension.
    kv::CDIB image(32, 24, 32);
    for (const char* ext : {".mp4", ".mkv", ".webm"}) {
        SCOPED_TRACE(ext);
        if (!kv::HaveMovieContainer(kv::MovieRowFor(ext).container)) continue;
        kv::MovieWriters w;
        const std::string path = dir + "/open" + ext;
        ASSERT_TRUE(kv::OpenMovie(w, kv::WriterPublish, true, path, image, 25, 100, 0));
        ASSERT_NE(w.open, nullptr);
        ASSERT_NE(w.open->Movie(), nullptr);
        EXPECT_TRUE(kv::WriteMovieFrame(w, -1, image));
        EXPECT_TRUE(kv::CloseMovie(w));
        EXPECT_EQ(w.open, nullptr);
        EXPECT_EQ(kvtest::ProbeVideo(path)["width"], "32");
    }
    // No open movie: nothing is written and closing is harmless.
    kv::MovieWriters none;
    EXPECT_FALSE(kv::WriteMovieFrame(none, -1, image));
    EXPECT_TRUE(kv::CloseMovie(none));
}

}  // namespace
