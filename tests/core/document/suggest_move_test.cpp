// Suggested moves on made pictures: the shape rules, no matte at any frame, faces never cut by
// the frame's edge, the caps on zoom and pan speed, automatic lengths, and the same keys every
// time and on every build. Every frame is checked through the show's own camera motion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/document/suggest_move.h"
#include "core/render/render_frame.h"
#include "core/render/render_picture.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"

namespace {

using kv::CameraBox;
using kv::KeyFrame;
using kv::MoveKind;
using kv::PictureBox;
using kv::Show;
using kv::SuggestedMove;
using kv::SuggestOptions;

// Key values are float32 and each frame's camera is rounded again; a frame may stray this far.
constexpr double Tolerance = 0.01;
// The renderer draws cleanly from all of a picture but its last two columns and its top row.
constexpr double RightInset = 2.0;
constexpr double TopInset = 1.0;

// A 24-bit picture of soft noise with one bright, busy patch at (px, py) (fractions of the
// picture), the kind of detail the salient region looks for. No pixel is below 100, so a frame
// pixel darker than that has matte in it.
void MakePicture(Show& show, int w, int h, double px = 0.5, double py = 0.5) {
    ASSERT_TRUE(show.image.Create(w, h, 24));
    const int cx = static_cast<int>(px * w), cy = static_cast<int>(py * h);
    const int r = std::max(4, std::min(w, h) / 10);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = show.image.Row(h - 1 - y);  // y counts down from the top row
        for (int x = 0; x < w; ++x) {
            uint8_t v = static_cast<uint8_t>(100 + ((x * 7 + y * 13) % 5));
            if (std::abs(x - cx) < r && std::abs(y - cy) < r) v = ((x / 2 + y / 2) % 2) ? 250 : 160;
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
        }
    }
}

class Suggest : public ::testing::Test {
protected:
    void SetUp() override {
        show.Reset();
        show.FrameRate = 2997;
        show.AspectMode = 7500;
        show.aspect = 0.75f;
        show.EaseType = 0;
    }

    SuggestedMove Run(const SuggestOptions& options, const std::vector<PictureBox>& faces = {}) {
        SuggestedMove m = kv::SuggestMove(show, 0, options, faces);
        kv::ApplySuggestedMove(show, 0, m);
        return m;
    }

    // The camera rectangle of every frame and half frame of the show.
    std::vector<PictureBox> Frames() const {
        std::vector<PictureBox> out;
        const double a = kv::CameraAspect(show);
        for (int32_t f = 0; f <= show.length; ++f)
            for (bool half : {false, true})
                out.push_back(CameraBox(kv::CameraStateAt(show, 0, f, half), a));
        return out;
    }

    // No frame reaches beyond what the renderer draws cleanly, and the first and last frames,
    // rendered enlarged and reduced, show no matte along any edge.
    void ExpectOnPicture() {
        const double pw = show.image.Width(), ph = show.image.Height();
        int f = 0;
        for (const PictureBox& b : Frames()) {
            ASSERT_GE(b.left, -Tolerance) << "frame " << f / 2;
            ASSERT_GE(b.top, TopInset - Tolerance) << "frame " << f / 2;
            ASSERT_LE(b.Right(), pw - RightInset + Tolerance) << "frame " << f / 2;
            ASSERT_LE(b.Bottom(), ph + Tolerance) << "frame " << f / 2;
            ++f;
        }
        for (int32_t frame : {0, show.length}) {
            for (int w : {160, 1600}) {
                const int h = w * 3 / 4;
                kv::CDIB out(w, h, 32);
                ASSERT_TRUE(kv::RenderFrame(show, frame, 0, true, w, h, &out, false));
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        if (x != 0 && x != w - 1 && y != 0 && y != h - 1) continue;
                        ASSERT_GE(out.Row(y)[x * 4 + 1], 95)
                            << "matte at " << x << "," << y << " of frame " << frame << " at " << w
                            << " wide";
                    }
                }
            }
        }
    }

    // Each face is whole inside or wholly outside the frame at every frame.
    void ExpectFacesNeverCut(const std::vector<PictureBox>& faces) const {
        int f = 0;
        for (const PictureBox& b : Frames()) {
            for (const PictureBox& face : faces) {
                const bool inside =
                    face.left >= b.left - Tolerance && face.Right() <= b.Right() + Tolerance &&
                    face.top >= b.top - Tolerance && face.Bottom() <= b.Bottom() + Tolerance;
                const bool outside =
                    face.Right() <= b.left + Tolerance || face.left >= b.Right() - Tolerance ||
                    face.Bottom() <= b.top + Tolerance || face.top >= b.Bottom() - Tolerance;
                ASSERT_TRUE(inside || outside) << "face cut at frame " << f / 2;
            }
            ++f;
        }
    }

    static bool Holds(const PictureBox& frame, const PictureBox& box) {
        return box.left >= frame.left - Tolerance && box.Right() <= frame.Right() + Tolerance &&
               box.top >= frame.top - Tolerance && box.Bottom() <= frame.Bottom() + Tolerance;
    }

    PictureBox First() const { return CameraBox(show.pictures[0].keys[0], kv::CameraAspect(show)); }
    PictureBox Last() const {
        return CameraBox(kv::CameraStateAt(show, 0, show.length, false), kv::CameraAspect(show));
    }

    Show show;
};

TEST_F(Suggest, TallAndSquarePicturesFillTheWidthAndPanVertically) {
    // r = (w / h) / (4 / 3): 0.375 for 1:2 and 0.75 for a square, both below 0.87.
    for (int h : {1600, 800}) {
        SCOPED_TRACE(h);
        MakePicture(show, 800, h, 0.5, 0.8);
        SuggestOptions o;
        o.length = 300;
        const SuggestedMove m = Run(o);
        EXPECT_EQ(m.move, MoveKind::Pan);
        ASSERT_EQ(show.pictures[0].keyCount, 2);
        for (const PictureBox& b : Frames()) {
            ASSERT_NEAR(b.width, 800 - RightInset, 0.02);
            ASSERT_NEAR(b.left, 0, 0.02);
        }
        EXPECT_GT(std::fabs(Last().top - First().top), 100.0);
        ExpectOnPicture();
        // The busy patch lies low in the picture: the pan ends on it.
        EXPECT_TRUE(Holds(Last(), m.subject));
        EXPECT_GT(Last().top, First().top);
    }
}

TEST_F(Suggest, PanoramasFillTheHeightAndPanAcross) {
    for (int w : {3000, 6000}) {  // 3:1 and 6:1
        SCOPED_TRACE(w);
        MakePicture(show, w, 1000, 0.2, 0.5);
        SuggestOptions o;
        o.length = 450;
        const SuggestedMove m = Run(o);
        EXPECT_EQ(m.move, MoveKind::Pan);
        for (const PictureBox& b : Frames()) {
            ASSERT_NEAR(b.height, 1000 - TopInset, 0.05);
            ASSERT_NEAR(b.top, TopInset, 0.05);
        }
        ExpectOnPicture();
        EXPECT_TRUE(Holds(Last(), m.subject));
        // Ends on the patch at the left, so it comes from the right.
        EXPECT_LT(Last().left, First().left);
    }
}

TEST_F(Suggest, PicturesNearTheFrameShapeZoomWithinTheCap) {
    // 4:3 and 3:2 pictures, and one much smaller than any output frame.
    const int sizes[][2] = {{1200, 900}, {1500, 1000}, {160, 120}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size[0]);
        for (MoveKind kind : {MoveKind::PushIn, MoveKind::PullOut}) {
            MakePicture(show, size[0], size[1], 0.7, 0.35);
            SuggestOptions o;
            o.pullOutWhenAuto = kind == MoveKind::PullOut;
            o.length = 240;
            const SuggestedMove m = Run(o);
            EXPECT_EQ(m.move, kind);
            const PictureBox wide = kind == MoveKind::PushIn ? First() : Last();
            const PictureBox tight = kind == MoveKind::PushIn ? Last() : First();
            // Wide end: the largest frame on the picture; tight end: zoomed by the cap.
            EXPECT_NEAR(wide.width, std::min(size[0] - RightInset, (size[1] - TopInset) / 0.75),
                        0.05);
            EXPECT_NEAR(wide.width / tight.width, 1.5, 1e-3);
            EXPECT_TRUE(Holds(tight, m.subject));
            ExpectOnPicture();
            // Width changes one way only, so the zoom never overshoots the cap.
            double previous = First().width;
            for (const PictureBox& b : Frames()) {
                if (kind == MoveKind::PushIn)
                    ASSERT_LE(b.width, previous + Tolerance);
                else
                    ASSERT_GE(b.width, previous - Tolerance);
                previous = b.width;
            }
        }
    }
}

TEST_F(Suggest, CapsComeFromTheCallerAndTheCapWinsOverTheExtent) {
    MakePicture(show, 6000, 1000, 0.5, 0.5);
    SuggestOptions o;
    o.length = 150;  // 5 s: one frame width at the default cap, far short of the panorama
    const SuggestedMove m = Run(o);
    const double frameWidth = First().width;
    EXPECT_NEAR(std::fabs(Last().left - First().left), frameWidth, 0.5);
    // The stretch covered is the one around the subject: it ends centred on it.
    EXPECT_TRUE(Holds(Last(), m.subject));
    EXPECT_NEAR(Last().CentreX(), m.subject.CentreX(), 1.0);

    o.maxPan = 0.5;
    Run(o);
    EXPECT_NEAR(std::fabs(Last().left - First().left), frameWidth * 0.5, 0.5);

    MakePicture(show, 1200, 900, 0.3, 0.3);
    o.maxZoom = 1.2;
    o.maxPan = 0.05;  // a slow drift: at most 5% of the frame in 5 s
    o.length = 300;
    Run(o);
    EXPECT_NEAR(First().width / Last().width, 1.2, 1e-3);
    EXPECT_LE(std::fabs(Last().CentreX() - First().CentreX()), 0.1 * Last().width + Tolerance);
    EXPECT_LE(std::fabs(Last().CentreY() - First().CentreY()), 0.1 * Last().height + Tolerance);
    ExpectOnPicture();
}

TEST_F(Suggest, AutomaticLengthCoversTheLongSideAtTheCapUpToThirtySeconds) {
    // 3:1 with its subject at one end: the 1332 x 999 frame travels the other 1666 pixels (of
    // the 2998 it keeps to) at 1332 per 5 s, 6.25 s, and ends on the subject.
    const double frame = 999 / 0.75, travel = 2998 - frame;
    MakePicture(show, 3000, 1000, 0.9, 0.5);
    SuggestOptions o;
    SuggestedMove m = Run(o);
    EXPECT_EQ(m.length, static_cast<int32_t>(std::ceil(travel / frame * 5 * 30)));
    EXPECT_EQ(show.length, m.length);
    EXPECT_NEAR(std::fabs(Last().left - First().left), travel, 0.05);
    EXPECT_TRUE(Holds(Last(), m.subject));

    // Nothing salient on a flat picture: the pan covers the whole long side.
    MakePicture(show, 3000, 1000);
    for (int y = 0; y < 1000; ++y) std::memset(show.image.Row(y), 120, show.image.RowBytes());
    m = Run(o);
    EXPECT_TRUE(m.subject.Empty());
    EXPECT_NEAR(std::fabs(Last().left - First().left), travel, 0.05);

    // A subject in the middle: the pan comes from one end and stops centred on it.
    MakePicture(show, 3000, 1000, 0.5, 0.5);
    m = Run(o);
    EXPECT_TRUE(std::fabs(First().left) < 0.05 || std::fabs(First().Right() - 2998) < 0.05);
    EXPECT_NEAR(Last().CentreX(), m.subject.CentreX(), 1.0);
    // Half the travel needs under 5 s, the least an automatic pan takes.
    EXPECT_LT(std::fabs(Last().left - First().left), frame);
    EXPECT_EQ(m.length, 5 * 30);

    // 12:1 needs 40 s: the length stops at 30 s and the cap decides how far it gets.
    MakePicture(show, 12000, 1000, 0.95, 0.5);
    m = Run(o);
    EXPECT_EQ(m.length, 30 * 30);
    EXPECT_NEAR(std::fabs(Last().left - First().left), 6 * frame, 0.5);

    // PAL counts 25 frames a second.
    show.FrameRate = 2500;
    MakePicture(show, 3000, 1000, 0.9, 0.5);
    m = Run(o);
    EXPECT_EQ(m.length, static_cast<int32_t>(std::ceil(travel / frame * 5 * 25)));
}

TEST_F(Suggest, FacesAreWholeAtTheTightEndAndNeverCut) {
    // A group: three faces across a 4:3 picture and one near its edge.
    MakePicture(show, 1600, 1200);
    const std::vector<PictureBox> faces = {
        {500, 300, 120, 150}, {700, 320, 110, 140}, {880, 290, 130, 160}, {40, 700, 100, 120}};
    for (MoveKind kind : {MoveKind::PushIn, MoveKind::PullOut}) {
        SuggestOptions o;
        o.move = kind;
        o.length = 240;
        const SuggestedMove m = Run(o, faces);
        EXPECT_TRUE(m.subjectIsFaces);
        ExpectOnPicture();
        ExpectFacesNeverCut(faces);
        const PictureBox tight = kind == MoveKind::PushIn ? Last() : First();
        for (const PictureBox& f : faces) EXPECT_TRUE(Holds(tight, f));
        // The faces with their margin: the group and the face near the edge together.
        EXPECT_TRUE(Holds(tight, m.subject));
        EXPECT_LE(m.subject.left, 40 - 15);
        EXPECT_GE(m.subject.Right(), 1010 + 19);
    }

    // A tall picture with a face near its top: the pan keeps the face in view all the way.
    MakePicture(show, 900, 2400);
    const std::vector<PictureBox> face = {{400, 150, 160, 200}};
    SuggestOptions o;
    o.length = 300;
    const SuggestedMove m = Run(o, face);
    EXPECT_EQ(m.move, MoveKind::Pan);
    ExpectOnPicture();
    ExpectFacesNeverCut(face);
    for (const PictureBox& b : Frames()) ASSERT_TRUE(Holds(b, face[0]));
    EXPECT_GT(std::fabs(Last().top - First().top), 50.0);

    // A panorama with faces at both ends: the pan never brings one in or out across the edge.
    MakePicture(show, 6000, 1000);
    const std::vector<PictureBox> ends = {{300, 300, 150, 180}, {5500, 320, 140, 170}};
    o.length = 600;
    Run(o, ends);
    ExpectOnPicture();
    ExpectFacesNeverCut(ends);
}

TEST_F(Suggest, EveryScreenShapeStaysOnThePictureAndKeepsFacesWhole) {
    const std::vector<PictureBox> faces = {{640, 420, 120, 150}, {820, 430, 110, 140}};
    for (int32_t mode : {17775, 12500, 10000, 5625}) {
        for (bool landscape : {true, false}) {
            SCOPED_TRACE(std::to_string(mode) + (landscape ? " landscape" : " portrait"));
            MakePicture(show, landscape ? 1600 : 1200, landscape ? 1200 : 1600);
            show.AspectMode = mode;
            show.aspect = kv::AspectOf(mode);
            for (MoveKind kind : {MoveKind::Auto, MoveKind::Pan, MoveKind::PushIn}) {
                SuggestOptions o;
                o.move = kind;
                o.length = 200;
                const SuggestedMove m = Run(o, faces);
                ExpectOnPicture();
                ExpectFacesNeverCut(faces);
                if (m.move != MoveKind::Pan) continue;
                // A pan of a picture wider than the frame's shape runs across it at its full
                // height; of one taller, down it at its full width.
                const double pictureShape = landscape ? 0.75 : 1600.0 / 1200.0;
                if (pictureShape < show.aspect) {
                    EXPECT_NEAR(First().height, show.image.Height(), TopInset + 0.5);
                    EXPECT_GT(std::fabs(Last().left - First().left), 50.0);
                } else {
                    EXPECT_NEAR(First().width, show.image.Width(), RightInset + 0.5);
                    EXPECT_GT(std::fabs(Last().top - First().top), 50.0);
                }
            }
        }
    }
}

TEST_F(Suggest, SameKeysEveryTime) {
    MakePicture(show, 1500, 1000, 0.3, 0.6);
    const std::vector<PictureBox> faces = {{300, 420, 90, 110}};
    SuggestOptions o;
    const SuggestedMove a = kv::SuggestMove(show, 0, o, faces);
    const SuggestedMove b = kv::SuggestMove(show, 0, o, faces);
    ASSERT_EQ(a.keyCount, 2);
    EXPECT_EQ(0, std::memcmp(a.keys, b.keys, sizeof a.keys));
    EXPECT_EQ(a.length, b.length);
}

TEST_F(Suggest, ApplyKeepsTheFirstKeysShowValues) {
    MakePicture(show, 1200, 900);
    show.pictures[0].keys[0].stamp = 3.5f;
    show.pictures[0].keys[0].pictureStart = 0;
    for (int k = 1; k < 5; ++k) show.pictures[0].keys[k].x = 9;
    show.pictures[0].keyCount = 5;
    SuggestOptions o;
    o.length = 200;
    Run(o);
    EXPECT_EQ(show.pictures[0].keyCount, 2);
    EXPECT_EQ(show.pictures[0].keys[0].stamp, 3.5f);
    EXPECT_EQ(show.pictures[0].keys[0].showLength, 200.0f);
    EXPECT_EQ(show.pictures[0].keys[1].time, 200);
    EXPECT_EQ(show.pictures[0].keys[2], KeyFrame{});
    EXPECT_TRUE(show.dirty);
}

TEST_F(Suggest, SalientRegionFindsTheBusyPatchAndNothingOnAFlatPicture) {
    MakePicture(show, 900, 600, 0.75, 0.3);
    const PictureBox s = kv::SalientRegion(show.image, 0.75);
    ASSERT_FALSE(s.Empty());
    EXPECT_TRUE(s.left <= 675 && s.Right() >= 675 && s.top <= 180 && s.Bottom() >= 180);

    ASSERT_TRUE(show.image.Create(400, 300, 24));
    for (int y = 0; y < 300; ++y) std::memset(show.image.Row(y), 90, show.image.RowBytes());
    EXPECT_TRUE(kv::SalientRegion(show.image, 0.75).Empty());
}

TEST_F(Suggest, LumaIsTopRowFirstAndScaledByWholePixels) {
    ASSERT_TRUE(show.image.Create(300, 100, 24));
    for (int y = 0; y < 100; ++y)  // the top ten rows (stored last) are white
        std::memset(show.image.Row(y), y >= 90 ? 255 : 0, show.image.RowBytes());
    const kv::LumaImage luma = kv::PictureLuma(show.image, 100);
    ASSERT_EQ(luma.width, 100);
    ASSERT_EQ(luma.height, 34);
    EXPECT_EQ(luma.pixels[0], 255);
    EXPECT_EQ(luma.pixels[4 * 100], 0);
    const PictureBox b = luma.ToPicture(10, 2, 5, 1);
    EXPECT_DOUBLE_EQ(b.left, 30);
    EXPECT_DOUBLE_EQ(b.top, 6);
    EXPECT_DOUBLE_EQ(b.width, 15);
}

}  // namespace

namespace {

// FNV-1a over the keys and length of a suggestion.
uint64_t Digest(const SuggestedMove& m, uint64_t h) {
    auto mix = [&](const void* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            h ^= static_cast<const uint8_t*>(data)[i];
            h *= 1099511628211ull;
        }
    };
    mix(m.keys, sizeof m.keys);
    mix(&m.length, sizeof m.length);
    return h;
}

// The keys are plain scalar arithmetic on the picture and the options: the digest of a fixed
// set of suggestions is the same on every build, the portable-kernel one included (make
// test-portable runs this program there). A change of the suggester that changes any key
// changes it, and must be made on purpose.
TEST_F(Suggest, KeysAreTheSameOnEveryBuild) {
    struct Case {
        int w, h;
        double px, py;
        MoveKind move;
        int32_t length;
    };
    const Case cases[] = {{800, 1600, 0.5, 0.8, MoveKind::Auto, 0},
                          {1500, 1000, 0.3, 0.6, MoveKind::Auto, 0},
                          {1200, 900, 0.7, 0.2, MoveKind::PullOut, 200},
                          {6000, 1000, 0.1, 0.5, MoveKind::Auto, 0},
                          {160, 120, 0.5, 0.5, MoveKind::PushIn, 90}};
    uint64_t h = 1469598103934665603ull;
    for (const Case& c : cases) {
        MakePicture(show, c.w, c.h, c.px, c.py);
        SuggestOptions o;
        o.move = c.move;
        o.length = c.length;
        h = Digest(kv::SuggestMove(show, 0, o, {}), h);
        h = Digest(kv::SuggestMove(show, 0, o, {{c.w * 0.4, c.h * 0.3, c.w * 0.08, c.h * 0.1}}), h);
    }
    EXPECT_EQ(h, 12007445339300518282ull);
}

}  // namespace
