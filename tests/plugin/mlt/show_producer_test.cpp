// The MLT producer: its frame, length, path and size arithmetic, and the producer itself driven
// through MLT's own calls as MLT's consumers drive it (a show named after creation, a relative
// show with a root, in points, preview sizes, interlaced profiles, images asked for on several
// threads at once, and a show that cannot be shown).
#include <framework/mlt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "plugin/frei0r/show_source.h"
#include "plugin/mlt/show_producer.h"
#include "tests/test_support.h"

extern "C" void* KvMltProducerInit(mlt_profile profile, mlt_service_type type, const char* id,
                                   const void* arg);

namespace {

namespace fs = std::filesystem;

const std::string ExampleShow = std::string(KV_SOURCE_DIR) + "/examples/example.kvx";
constexpr double Ntsc = 30000.0 / 1001.0;

TEST(MltArithmetic, ShowFramesFollowTimeAcrossRates) {
    // The same rate: frame for frame.
    EXPECT_EQ(kvmlt::ShowFrameOf(0, Ntsc, 2997, 360), 0);
    EXPECT_EQ(kvmlt::ShowFrameOf(30, Ntsc, 2997, 360), 30);
    EXPECT_EQ(kvmlt::ShowFrameOf(359, Ntsc, 2997, 360), 359);
    // 25 fps over a 29.97 show: one second in is the show's frame 30.
    EXPECT_EQ(kvmlt::ShowFrameOf(25, 25.0, 2997, 360), 30);
    // Held within the show, and never before its first frame.
    EXPECT_EQ(kvmlt::ShowFrameOf(5000, Ntsc, 2997, 360), 359);
    EXPECT_EQ(kvmlt::ShowFrameOf(-4, Ntsc, 2997, 360), 0);
    EXPECT_EQ(kvmlt::ShowFrameOf(10, 0.0, 2997, 360), 0);
}

TEST(MltArithmetic, ClipLengthIsTheMoviesFramesAtTheProfileRate) {
    EXPECT_EQ(kvmlt::ClipLength(360, 2997, Ntsc), 360);
    EXPECT_EQ(kvmlt::ClipLength(360, 2997, 25.0), 300);
    EXPECT_EQ(kvmlt::ClipLength(360, 2997, 60000.0 / 1001.0), 720);
    EXPECT_EQ(kvmlt::ClipLength(250, 2500, 25.0), 250);
    EXPECT_EQ(kvmlt::ClipLength(0, 2997, Ntsc), 1);  // an empty show is still a clip
}

TEST(MltArithmetic, RelativeShowsAreLookedForInTheRootFirst) {
    const fs::path root = fs::path(kvtest::TempDir("mlt_root")) / "project";
    fs::create_directories(root / "media");
    fs::copy_file(ExampleShow, root / "media" / "a.kvx");
    EXPECT_EQ(kvmlt::ResolveShowPath("media/a.kvx", root.string()),
              (root / "media/a.kvx").string());
    EXPECT_EQ(kvmlt::ResolveShowPath("media/a.kvx", root.string() + "/"),
              (root / "media/a.kvx").string());
    // Not in the root: as written, for the show's own look-up.
    EXPECT_EQ(kvmlt::ResolveShowPath("media/b.kvx", root.string()), "media/b.kvx");
    EXPECT_EQ(kvmlt::ResolveShowPath("/x/a.kvx", root.string()), "/x/a.kvx");
    EXPECT_EQ(kvmlt::ResolveShowPath("media/a.kvx", ""), "media/a.kvx");
    // A folder of that name is not a show.
    EXPECT_EQ(kvmlt::ResolveShowPath("media", root.string()), "media");
}

TEST(MltArithmetic, FramesOfNonSquarePixelsAreDrawnSquareThenResampled) {
    EXPECT_EQ(kvmlt::DrawingWidth(1280, 720, 16.0 / 9.0), 1280);
    EXPECT_EQ(kvmlt::DrawingWidth(1440, 1080, 16.0 / 9.0), 1920);  // HDV
    EXPECT_EQ(kvmlt::DrawingWidth(360, 240, 4.0 / 3.0), 320);      // a dv_ntsc preview
    EXPECT_EQ(kvmlt::DrawingWidth(720, 480, 4.0 / 3.0), 720);      // the video size's own rules
    EXPECT_EQ(kvmlt::DrawingWidth(641, 360, 16.0 / 9.0), 641);     // within a pixel

    // Blue, green, red, alpha in; red, green, blue out.
    const uint32_t two[2] = {0xff102030u, 0xff405060u};
    uint8_t rgb[6] = {};
    kvmlt::ToRgb(two, 2, 1, rgb, 2);
    EXPECT_EQ(std::vector<int>(rgb, rgb + 6),
              (std::vector<int>{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}));
    // Four pixels into two: each the mean of its pair.
    const uint32_t four[4] = {0xff000000u, 0xff0000c8u, 0xff646464u, 0xff646464u};
    kvmlt::ToRgb(four, 4, 1, rgb, 2);
    EXPECT_EQ(std::vector<int>(rgb, rgb + 6), (std::vector<int>{0, 0, 100, 100, 100, 100}));
}

// MLT's framework, started once for the program (its memory pool and profiles).
class MltProducer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static mlt_repository repository = mlt_factory_init(nullptr);
        ASSERT_NE(repository, nullptr);
    }
    void SetUp() override {
        profile = mlt_profile_init("atsc_720p_2997");
        ASSERT_NE(profile, nullptr);
        ASSERT_EQ(profile->width, 1280);
    }
    void TearDown() override {
        if (producer) mlt_producer_close(producer);
        mlt_profile_close(profile);
    }
    void Make(const char* arg) {
        producer = static_cast<mlt_producer>(
            KvMltProducerInit(profile, mlt_service_producer_type, "kinevista", arg));
        ASSERT_NE(producer, nullptr);
        mlt_properties_set_data(MLT_PRODUCER_PROPERTIES(producer), "_profile", profile, 0, nullptr,
                                nullptr);
    }
    mlt_properties Props() { return MLT_PRODUCER_PROPERTIES(producer); }

    // The producer's frame at `position` (after its in point), its image at w x h as RGB.
    std::vector<uint8_t> Image(mlt_position position, int w, int h, mlt_frame* keep = nullptr) {
        mlt_producer_seek(producer, position);
        mlt_frame frame = nullptr;
        EXPECT_EQ(mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer), &frame, 0), 0);
        std::vector<uint8_t> out = ImageOf(frame, w, h);
        if (keep)
            *keep = frame;
        else
            mlt_frame_close(frame);
        return out;
    }
    static std::vector<uint8_t> ImageOf(mlt_frame frame, int w, int h) {
        uint8_t* data = nullptr;
        mlt_image_format format = mlt_image_rgb;
        int width = w, height = h;
        if (!frame || mlt_frame_get_image(frame, &data, &format, &width, &height, 0) != 0 || !data)
            return {};
        EXPECT_EQ(format, mlt_image_rgb);
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        return std::vector<uint8_t>(data, data + static_cast<size_t>(w) * h * 3);
    }
    // ShowSource's own frame of the show at w x h, as RGB.
    static std::vector<uint8_t> Reference(const std::string& show, int32_t frame, int w, int h,
                                          bool fields = false) {
        kvfrei0r::ShowSource source(w, h);
        source.SetShowPath(show.c_str());
        source.SetFields(fields);
        std::vector<uint32_t> bgra(static_cast<size_t>(w) * h);
        source.RenderShowFrame(frame, bgra.data());
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        kvmlt::ToRgb(bgra.data(), w, h, rgb.data(), w);
        return rgb;
    }

    mlt_profile profile = nullptr;
    mlt_producer producer = nullptr;
};

TEST_F(MltProducer, AShowNamedAfterCreationGivesTheClipItsLength) {
    Make(nullptr);  // as Kdenlive makes it
    mlt_properties_set(Props(), "resource", ExampleShow.c_str());
    EXPECT_EQ(mlt_properties_get_int(Props(), "length"), 360);
    EXPECT_EQ(mlt_producer_get_out(producer), 359);
    // The property keeps what was written.
    EXPECT_STREQ(mlt_properties_get(Props(), "resource"), ExampleShow.c_str());
}

TEST_F(MltProducer, FramesCountFromTheInPointAtAnySize) {
    Make(ExampleShow.c_str());
    EXPECT_EQ(mlt_producer_get_length(producer), 360);
    EXPECT_EQ(Image(0, 320, 180), Reference(ExampleShow, 0, 320, 180));
    EXPECT_EQ(Image(45, 320, 180), Reference(ExampleShow, 45, 320, 180));
    mlt_producer_set_in_and_out(producer, 30, 359);
    EXPECT_EQ(Image(0, 320, 180), Reference(ExampleShow, 30, 320, 180));
    EXPECT_EQ(Image(15, 320, 180), Reference(ExampleShow, 45, 320, 180));
    // A preview of another size, the 4:3 show between bars of 40 columns at 320 x 180.
    const std::vector<uint8_t> small = Image(0, 160, 90);
    ASSERT_EQ(small.size(), 160u * 90 * 3);
    EXPECT_EQ(small[0], 17);
    const uint8_t* middle = &small[(45 * 160 + 80) * 3];
    EXPECT_FALSE(middle[0] == 17 && middle[1] == 17 && middle[2] == 17);
}

TEST_F(MltProducer, ARelativeShowIsFoundInTheRootFromAnotherFolder) {
    const fs::path project = fs::path(kvtest::TempDir("mlt_relative")) / "project";
    fs::create_directories(project / "media");
    fs::copy_file(ExampleShow, project / "media" / "a.kvx");
    fs::copy_file(std::string(KV_SOURCE_DIR) + "/examples/example.jpg",
                  project / "media" / "example.jpg");
    Make(nullptr);
    mlt_properties_set(Props(), "root", project.c_str());
    mlt_properties_set(Props(), "resource", "media/a.kvx");
    EXPECT_EQ(mlt_properties_get_int(Props(), "length"), 360);
    EXPECT_EQ(Image(90, 320, 180), Reference(ExampleShow, 90, 320, 180));
    EXPECT_STREQ(mlt_properties_get(Props(), "resource"), "media/a.kvx");
}

TEST_F(MltProducer, ImagesOnSeveralThreadsAreTheOneThreadImages) {
    Make(ExampleShow.c_str());
    constexpr int Count = 12;
    std::vector<mlt_frame> frames(Count);
    std::vector<std::vector<uint8_t>> alone(Count), together(Count);
    for (int i = 0; i < Count; ++i) alone[i] = Image(i * 29, 256, 144);
    for (int i = 0; i < Count; ++i) {
        mlt_producer_seek(producer, i * 29);
        ASSERT_EQ(mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer), &frames[i], 0), 0);
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&, t] {
            for (int i = t; i < Count; i += 4) together[i] = ImageOf(frames[i], 256, 144);
        });
    for (std::thread& w : workers) w.join();
    for (int i = 0; i < Count; ++i) {
        EXPECT_EQ(together[i], alone[i]) << "frame " << i * 29;
        mlt_frame_close(frames[i]);
    }
}

TEST_F(MltProducer, InterlacedProfilesGetFieldsAndTheirOrder) {
    mlt_profile_close(profile);
    profile = mlt_profile_init("dv_ntsc");
    ASSERT_NE(profile, nullptr);
    ASSERT_EQ(profile->progressive, 0);
    Make(ExampleShow.c_str());
    mlt_frame frame = nullptr;
    const std::vector<uint8_t> image = Image(100, 720, 480, &frame);
    EXPECT_EQ(image, Reference(ExampleShow, 100, 720, 480, true));
    EXPECT_NE(image, Reference(ExampleShow, 100, 720, 480, false));
    EXPECT_EQ(mlt_properties_get_int(MLT_FRAME_PROPERTIES(frame), "progressive"), 0);
    EXPECT_TRUE(mlt_properties_get(MLT_FRAME_PROPERTIES(frame), "top_field_first"));
    mlt_frame_close(frame);
    // "fields" 0 or 1 overrides the profile, -1 follows it.
    mlt_properties_set_int(Props(), "fields", 0);
    EXPECT_EQ(Image(100, 720, 480), Reference(ExampleShow, 100, 720, 480, false));
    mlt_properties_set_int(Props(), "fields", -1);
    EXPECT_EQ(Image(100, 720, 480), Reference(ExampleShow, 100, 720, 480, true));
    mlt_profile_close(profile);
    profile = mlt_profile_init("atsc_720p_2997");
    mlt_properties_set_data(Props(), "_profile", profile, 0, nullptr, nullptr);
    mlt_properties_set_int(Props(), "fields", 1);
    EXPECT_EQ(Image(100, 320, 180), Reference(ExampleShow, 100, 320, 180, true));
}

TEST_F(MltProducer, AShowThatCannotBeShownStillGivesFrames) {
    const std::string missing = kvtest::TempDir("mlt_missing") + "/none.kvx";
    Make(missing.c_str());
    const std::vector<uint8_t> image = Image(3, 160, 90);
    EXPECT_EQ(image.size(), 160u * 90 * 3);
    EXPECT_EQ(image, Reference(missing, 3, 160, 90));  // the placeholder
}

}  // namespace
