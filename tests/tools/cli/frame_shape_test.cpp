// Movies of shows of every shape at every size: a drawn disc stays round once the decoded frame
// is scaled by the file's own sample aspect, the matte lies where the show does not, and
// .mp4/.mkv/.webm files state their pixel shape, field order and exact rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"
#include "tests/tools/cli/cli_show_fixture.h"

namespace {

using kvclitest::Cli;
using kvclitest::Q;

constexpr int PictureW = 1200, PictureH = 900, DiscRadius = 200;

// ffprobe's fields of the first video stream (any entries asked for).
std::map<std::string, std::string> Probe(const std::string& path, const std::string& entries) {
    std::string out;
    kvtest::Run("ffprobe -v error -select_streams v:0 -show_entries stream=" + entries +
                    " -of default=nw=1 " + Q(path),
                &out);
    std::map<std::string, std::string> fields;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return fields;
}

// The first frame of a movie as grey levels, top row first.
std::string FirstFrameGrey(const std::string& path) {
    const std::string raw = path + ".grey";
    if (kvtest::Run("ffmpeg -v error -y -i " + Q(path) + " -frames:v 1 -f rawvideo -pix_fmt gray " +
                    Q(raw)) != 0)
        return {};
    std::string bytes = kvtest::ReadFileBytes(raw);
    std::remove(raw.c_str());
    return bytes;
}

// The bright disc's bounding box in a grey frame.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};
Box DiscBox(const std::string& grey, int w, int h) {
    Box b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (static_cast<uint8_t>(grey[static_cast<size_t>(y) * w + x]) > 192) {
                b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
            }
    return b;
}

class FrameShape : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        // A grey 4:3 picture with a white disc in its middle.
        kv::CDIB img(PictureW, PictureH, 24);
        for (int y = 0; y < PictureH; ++y) {
            uint8_t* row = img.Row(y);
            for (int x = 0; x < PictureW; ++x) {
                const double dx = x + 0.5 - PictureW / 2.0, dy = y + 0.5 - PictureH / 2.0;
                const uint8_t v = dx * dx + dy * dy <= DiscRadius * DiscRadius ? 255 : 110;
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
            }
        }
        picture = dir + "/disc.bmp";
        kv::FileSpec fileSpec;
        fileSpec.SetPath(picture.c_str());
        ASSERT_TRUE(img.Save(fileSpec, kv::FormatBmp));
    }

    // A show of the given AspectMode over the disc: the camera a little narrower than the
    // picture, panning sideways when `moving`.
    std::string MakeShow(int32_t aspectMode, bool moving) {
        kv::Show show;
        show.AspectMode = aspectMode;
        show.aspect = kv::AspectOf(aspectMode);
        show.length = 120;
        show.pictureCount = 1;
        kv::Picture& p = show.pictures[0];
        p.fileSpec.SetPath(picture.c_str());
        p.keyCount = 2;
        for (int k = 0; k < 2; ++k) {
            p.keys[k] = kv::KeyFrame{};
            p.keys[k].x = PictureW / 2.0f + (moving ? (k ? 120.0f : -120.0f) : 0.0f);
            p.keys[k].y = PictureH / 2.0f;
            p.keys[k].width = 900;
            p.keys[k].time = 60 * k;
        }
        const std::string path = dir + "/show" + std::to_string(aspectMode) + ".kvx";
        EXPECT_TRUE(kv::SaveShow(show, path));
        return path;
    }

    // Makes a movie of the show and checks the disc in its first frame: round after scaling by
    // the file's sample aspect, and matte on the sides the show does not cover.
    void CheckMovie(int32_t aspectMode, const std::string& name, const std::string& size) {
        SCOPED_TRACE(name + " " + size + " mode " + std::to_string(aspectMode));
        const std::string show = MakeShow(aspectMode, false);
        const std::string out = dir + "/" + name;
        const std::string sizeArg = size.empty() ? "" : " --size " + size;
        ASSERT_EQ(
            Cli("movie " + Q(show) + " --out " + Q(out) + sizeArg +
                " --end 00:00:00:01 --no-audio --set AspectMode=" + std::to_string(aspectMode)),
            0);
        auto fields = Probe(out, "width,height,sample_aspect_ratio");
        const int w = std::atoi(fields["width"].c_str()), h = std::atoi(fields["height"].c_str());
        ASSERT_GT(w, 0);
        double sar = 1;
        const std::string sarText = fields["sample_aspect_ratio"];
        if (!sarText.empty() && sarText != "0:1" && sarText != "N/A") {
            const size_t colon = sarText.find(':');
            sar = std::atof(sarText.substr(0, colon).c_str()) /
                  std::atof(sarText.substr(colon + 1).c_str());
        }
        const std::string grey = FirstFrameGrey(out);
        ASSERT_EQ(grey.size(), static_cast<size_t>(w) * h);
        const Box disc = DiscBox(grey, w, h);
        ASSERT_GT(disc.Height(), 10);
        EXPECT_NEAR(disc.Width() * sar / disc.Height(), 1.0, 0.01)
            << disc.Width() << " x " << disc.Height() << " at " << sar;
        // Where the frame is wider than the show (in display terms), the left and right
        // columns are matte; where it is taller, the top and bottom rows.
        const double display = static_cast<double>(h) / (w * sar);
        const double shape = kv::AspectOf(aspectMode);
        auto at = [&](int x, int y) {
            return static_cast<int>(static_cast<uint8_t>(grey[y * w + x]));
        };
        if (shape > display * 1.005) {
            EXPECT_NEAR(at(1, h / 2), 17, 4);
            EXPECT_NEAR(at(w - 2, h / 2), 17, 4);
        } else if (shape < display / 1.005) {
            EXPECT_NEAR(at(w / 2, 1), 17, 4);
            EXPECT_NEAR(at(w / 2, h - 2), 17, 4);
        }
    }

    std::string dir, picture;
};

// Every shape at every size in .mp4; the other containers with a tall and a wide shape (what
// differs between them is how they state the pixel shape, not how frames are drawn).
TEST_F(FrameShape, TheDiscIsRoundInEveryContainerShapeAndSize) {
    for (int32_t mode : {5625, 17775, 10000, 12500, 7500}) {
        const bool allContainers = mode == 17775 || mode == 7500;
        for (const char* ext : {".mp4", ".mkv", ".webm"}) {
            if (!allContainers && std::string(ext) != ".mp4") continue;
            for (const char* size : {"", "1920x1080", "1080x1920", "720x480"})
                CheckMovie(mode, std::string("m") + size + ext, size);
        }
        if (!allContainers) continue;
        for (const char* ext : {".avi", ".mov"})
            for (const char* size : {"1920x1080", "1080x1920"})
                CheckMovie(mode, std::string("m") + size + ext, size);
    }
}

TEST_F(FrameShape, PublishedFilesStateTheirShapeScanAndRate) {
    const std::string show = MakeShow(5625, true);
    const std::string mp4 = dir + "/wide.mp4";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(mp4) +
                  " --set AspectMode=5625 --no-audio"
                  " --end 00:00:02:00"),
              0);
    auto f = Probe(mp4,
                   "width,height,sample_aspect_ratio,display_aspect_ratio,field_order,"
                   "r_frame_rate,pix_fmt");
    EXPECT_EQ(f["width"], "1920");
    EXPECT_EQ(f["height"], "1080");
    EXPECT_EQ(f["sample_aspect_ratio"], "1:1");
    EXPECT_EQ(f["display_aspect_ratio"], "16:9");
    EXPECT_EQ(f["field_order"], "progressive");
    EXPECT_EQ(f["r_frame_rate"], "30000/1001");
    EXPECT_EQ(f["pix_fmt"], "yuv420p");

    // 720 x 480 with fields: the video pixel shape and the order the frames were drawn in.
    for (const char* ext : {".mp4", ".mkv"}) {
        const std::string out = dir + "/fields" + ext;
        ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) +
                      " --set AspectMode=5625 --size "
                      "720x480 --fields --no-audio --end 00:00:02:00"),
                  0);
        f = Probe(out, "sample_aspect_ratio,display_aspect_ratio,field_order,r_frame_rate");
        EXPECT_EQ(f["sample_aspect_ratio"], "32:27") << ext;
        EXPECT_EQ(f["display_aspect_ratio"], "16:9") << ext;
        EXPECT_EQ(f["field_order"], "bb") << ext;
        EXPECT_EQ(f["r_frame_rate"], "30000/1001") << ext;
    }
    const std::string pal = dir + "/pal.mkv";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(pal) +
                  " --set AspectMode=5625 --fps 25"
                  " --frame-rate 2500 --no-audio --end 00:00:01:00"),
              0);
    EXPECT_EQ(Probe(pal, "r_frame_rate")["r_frame_rate"], "25/1");
}

// idet's multi-frame counts: "TFF: a BFF: b Progressive: c".
std::map<std::string, int> Idet(const std::string& path) {
    std::string out;
    kvtest::Run("ffmpeg -v info -i " + Q(path) + " -vf idet -f null - 2>&1 | grep 'Multi frame'",
                &out);
    std::map<std::string, int> counts;
    for (const char* key : {"TFF:", "BFF:", "Progressive:"}) {
        const size_t at = out.find(key);
        counts[key] = at == std::string::npos ? -1 : std::atoi(out.c_str() + at + std::strlen(key));
    }
    return counts;
}

TEST_F(FrameShape, FieldsAreWhereTheFileSaysTheyAre) {
    const std::string show = MakeShow(7500, true);
    const std::string whole = dir + "/whole.mp4", fields = dir + "/fields.mp4";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(whole) +
                  " --size 720x480 --no-audio"
                  " --end 00:00:02:00"),
              0);
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(fields) +
                  " --size 720x480 --fields"
                  " --no-audio --end 00:00:02:00"),
              0);
    auto w = Idet(whole);
    EXPECT_GT(w["Progressive:"], w["TFF:"] + w["BFF:"]);
    EXPECT_EQ(Probe(whole, "field_order")["field_order"], "progressive");
    auto f = Idet(fields);
    EXPECT_GT(f["BFF:"], f["TFF:"]);
    EXPECT_GT(f["BFF:"], f["Progressive:"]);
    EXPECT_EQ(Probe(fields, "field_order")["field_order"], "bb");
}

TEST_F(FrameShape, WebmRefusesFields) {
    const std::string show = MakeShow(7500, false);
    std::string err;
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/x.webm") + " --fields", &err, "2>&1"),
              2);
    EXPECT_NE(err.find("--fields cannot be used with .webm"), std::string::npos) << err;
}

TEST_F(FrameShape, AMattedMovieSaysSoOnceAndFillDoesNot) {
    const std::string show = MakeShow(7500, false);
    std::string err;
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/m.avi") +
                      " --size 1920x1080 --reverse --hold 00:00:00:02 --end 00:00:00:03",
                  nullptr, "2>" + Q(dir + "/err.txt")),
              0);
    err = kvtest::ReadFileBytes(dir + "/err.txt");
    const size_t first = err.find("is not the show's shape");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("is not the show's shape", first + 1), std::string::npos) << err;
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/f.avi") +
                      " --size 1920x1080 --fill --end 00:00:00:03",
                  nullptr, "2>" + Q(dir + "/err2.txt")),
              0);
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/err2.txt").find("is not the show's shape"),
              std::string::npos);
    // Filled: the camera takes 16:9, so the disc (in the show's middle) stays round and no
    // column is matte.
    const std::string grey = FirstFrameGrey(dir + "/f.avi");
    ASSERT_EQ(grey.size(), 1920u * 1080u);
    const Box disc = DiscBox(grey, 1920, 1080);
    EXPECT_NEAR(static_cast<double>(disc.Width()) / disc.Height(), 1.0, 0.01);
    EXPECT_GT(static_cast<uint8_t>(grey[540 * 1920 + 1]), 60);
}

}  // namespace

namespace {

// The camera of one frame: x, y and width.
struct Camera {
    double x = 0, y = 0, width = 0;
};
Camera CameraAt(const std::string& show, int frame) {
    std::string out;
    Cli("camera " + Q(show) + " " + std::to_string(frame) + " " + std::to_string(frame), &out);
    Camera c;
    int f = 0;
    std::sscanf(out.c_str(), "%d %lf %lf %lf", &f, &c.x, &c.y, &c.width);
    return c;
}

// A picture of the given size with detail spread over it (stripes and a disc), saved as BMP.
std::string Photo(const std::string& dir, int w, int h) {
    kv::CDIB img(w, h, 24);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img.Row(y);
        for (int x = 0; x < w; ++x) {
            const double dx = x - w / 2.0, dy = y - h / 2.0;
            const bool disc = dx * dx + dy * dy < (h / 6.0) * (h / 6.0);
            row[3 * x] = static_cast<uint8_t>(disc ? 240 : (x / 7 % 2) * 90 + y * 100 / h);
            row[3 * x + 1] = static_cast<uint8_t>(disc ? 240 : (y / 11 % 2) * 80 + 40);
            row[3 * x + 2] = static_cast<uint8_t>(disc ? 240 : x * 200 / w);
        }
    }
    const std::string path = dir + "/photo" + std::to_string(w) + "x" + std::to_string(h) + ".bmp";
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path.c_str());
    EXPECT_TRUE(img.Save(fileSpec, kv::FormatBmp));
    return path;
}

int ShowAspectMode(const std::string& show, const std::string& more = "") {
    std::string out;
    Cli("info " + Q(show) + more, &out);
    const size_t at = out.find("\"AspectMode\": ");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 14);
}

TEST_F(FrameShape, ShowsKeepTheirShapeAndMoviesFollowIt) {
    const std::string photo = Photo(dir, 1600, 1200);
    const std::string show = dir + "/tall.kvx";
    std::string said;
    ASSERT_EQ(Cli("new " + Q(photo) + " --aspect 9:16 --move auto --out " + Q(show), &said), 0);
    EXPECT_EQ(ShowAspectMode(show), 17775);
    const int frames = std::atoi(said.c_str() + said.find(", ") + 2);
    ASSERT_GT(frames, 10) << said;
    // A landscape picture in a vertical show: the camera pans across it at its full height.
    const Camera first = CameraAt(show, 0), last = CameraAt(show, frames - 1);
    EXPECT_NEAR(first.width * 1.7775, 1200, 12);
    EXPECT_NEAR(last.width * 1.7775, 1200, 12);
    EXPECT_GT(std::fabs(first.x - last.x), 100);
    EXPECT_NEAR(first.y, last.y, 1);

    // No size: the movie takes the show's shape, whatever the setting says.
    const std::string mp4 = dir + "/tall.mp4";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(mp4) +
                  " --set AspectMode=5625 --end 00:00:00:02 --no-audio"),
              0);
    auto f = Probe(mp4, "width,height,sample_aspect_ratio");
    EXPECT_EQ(f["width"], "1080");
    EXPECT_EQ(f["height"], "1920");
    EXPECT_EQ(f["sample_aspect_ratio"], "1:1");
    // --aspect wins over the show's shape for that run only.
    ASSERT_EQ(
        Cli("movie " + Q(show) + " --out " + Q(mp4) + " --aspect 1:1 --end 00:00:00:02 --no-audio"),
        0);
    EXPECT_EQ(Probe(mp4, "height")["height"], "1080");
    EXPECT_EQ(ShowAspectMode(show), 17775);
    // set --aspect keeps a new shape in the show.
    ASSERT_EQ(Cli("set " + Q(show) + " --aspect 4:5"), 0);
    EXPECT_EQ(ShowAspectMode(show), 12500);
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(mp4) + " --end 00:00:00:02 --no-audio"), 0);
    EXPECT_EQ(Probe(mp4, "height")["height"], "1350");
    // A show without a shape of its own follows the setting.
    const std::string plain = dir + "/plain.kvx";
    ASSERT_EQ(Cli("new " + Q(photo) + " --out " + Q(plain)), 0);
    EXPECT_EQ(ShowAspectMode(plain, " --set AspectMode=10000"), 10000);
    std::string err;
    EXPECT_EQ(Cli("set " + Q(show) + " --aspect wide", &err, "2>&1"), 2);
    EXPECT_NE(err.find("--aspect wants"), std::string::npos) << err;
}

TEST_F(FrameShape, ABatchTakesTheSizeOfItsFirstShowsShape) {
    const std::string photo = Photo(dir, 640, 480);
    const std::string tall = dir + "/tall.kvx", plain = dir + "/plain.kvx";
    ASSERT_EQ(Cli("new " + Q(photo) + " --aspect 9:16 --out " + Q(tall)), 0);
    ASSERT_EQ(Cli("new " + Q(photo) + " --out " + Q(plain)), 0);
    // Each show runs to its own end (a batch refuses --end): one second each.
    ASSERT_EQ(
        Cli("batch --out " + Q(dir + "/x.mp4") + " " + Q(tall) + " " + Q(plain) + " --no-audio"),
        0);
    auto f = Probe(dir + "/tallB.mp4", "width,height");
    EXPECT_EQ(f["width"], "1080");
    EXPECT_EQ(f["height"], "1920");
    // The second show, 4:3, is drawn at its own shape in the batch's frame.
    EXPECT_EQ(Probe(dir + "/plainB.mp4", "height")["height"], "1920");
    const std::string grey = FirstFrameGrey(dir + "/plainB.mp4");
    ASSERT_EQ(grey.size(), 1080u * 1920u);
    EXPECT_NEAR(static_cast<uint8_t>(grey[1080 * 4 + 540]), 17, 4);
}

TEST_F(FrameShape, APortraitPictureInAWideShowPansDownItAtFullWidth) {
    const std::string photo = Photo(dir, 1200, 1600);
    const std::string show = dir + "/wide.kvx";
    std::string said;
    ASSERT_EQ(Cli("new " + Q(photo) + " --aspect 16:9 --move auto --out " + Q(show), &said), 0);
    const int frames = std::atoi(said.c_str() + said.find(", ") + 2);
    ASSERT_GT(frames, 10) << said;
    const Camera first = CameraAt(show, 0), last = CameraAt(show, frames - 1);
    EXPECT_NEAR(first.width, 1200, 12);
    EXPECT_NEAR(last.width, 1200, 12);
    EXPECT_GT(std::fabs(first.y - last.y), 100);
    EXPECT_NEAR(first.x, last.x, 1);
    const std::string mp4 = dir + "/wide.mp4";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(mp4) + " --end 00:00:00:02 --no-audio"), 0);
    auto f = Probe(mp4, "width,height");
    EXPECT_EQ(f["width"], "1920");
    EXPECT_EQ(f["height"], "1080");
}

}  // namespace
