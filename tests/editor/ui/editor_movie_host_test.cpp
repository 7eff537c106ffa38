// The editor's compressor choice offers, for every container, exactly what the movie writer can
// write there, with the stored code selected when the container has it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/show/show.h"
#include "editor/ui/editor_movie_host.h"
#include "output/movie_settings.h"
#include "platform/video/movie_writer.h"

namespace {

using kv::MovieContainer;

TEST(CompressorChoice, EachContainerOffersItsOwnCodecs) {
    for (MovieContainer c : {MovieContainer::Avi, MovieContainer::QuickTime, MovieContainer::Mp4,
                             MovieContainer::Matroska, MovieContainer::WebM}) {
        const kv::CompressorChoice choice = kv::CompressorChoiceFor(c, "");
        EXPECT_EQ(choice.codes, kv::MovieCodecs(c));
        EXPECT_EQ(choice.selected, 0);
        for (const std::string& code : choice.codes) EXPECT_TRUE(kv::HaveMovieCodec(c, code));
    }
    const kv::CompressorChoice webm = kv::CompressorChoiceFor(MovieContainer::WebM, "AV01");
    ASSERT_EQ(webm.codes, (std::vector<std::string>{"VP90", "AV01"}));
    EXPECT_EQ(webm.selected, 1);
    // A code the container does not hold leaves its default selected.
    EXPECT_EQ(kv::CompressorChoiceFor(MovieContainer::Mp4, "VP90").selected, 0);
    EXPECT_EQ(kv::CompressorChoiceFor(MovieContainer::Mp4, "VP90").codes[0], "H264");
    // The older containers keep their lists, uncompressed first.
    EXPECT_EQ(kv::CompressorChoiceFor(false, "MJPG").codes,
              kv::CompressorChoiceFor(MovieContainer::Avi, "MJPG").codes);
    EXPECT_EQ(kv::CompressorChoiceFor(true, "").codes[0], "");
}

// The movie options propose the size for the show's shape only when the kept one does not fit.
TEST(MovieOptionsSize, ProposedForTheShowsShapeWhenTheKeptSizeDoesNotFit) {
    struct Case {
        int32_t mode;
        const char *keptW, *keptH, *wantW, *wantH;
    } cases[] = {{7500, "720", "480", "720", "480"},
                 {5625, "720", "486", "720", "486"},
                 {5625, "1280", "720", "1280", "720"},
                 {17775, "720", "480", "1080", "1920"},
                 {12500, "1920", "1080", "1080", "1350"},
                 {10000, "500", "500", "500", "500"},
                 {10000, "", "480", "", "480"}};
    for (const Case& c : cases) {
        kv::Show show;
        show.AspectMode = c.mode;
        show.aspect = kv::AspectOf(c.mode);
        kv::MovieOptionTexts t = kv::DefaultMovieOptions();
        t.width = c.keptW;
        t.height = c.keptH;
        kv::ProposeSizeForShape(show, t);
        EXPECT_EQ(t.width, c.wantW) << c.mode << " " << c.keptW;
        EXPECT_EQ(t.height, c.wantH) << c.mode << " " << c.keptW;
    }
}

}  // namespace
