// The face detector on a real face photo (python3-skimage's astronaut.png, a hard dependency of
// the tests) and on made pictures without faces, and suggested moves over the faces it finds:
// every face whole or wholly outside the frame at every frame, whole at the tight end, and the
// camera on the picture throughout.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "core/document/suggest_move.h"
#include "core/picture/cdib.h"
#include "core/show/camera_motion.h"
#include "core/show/show.h"
#include "platform/faces/face_detector.h"

namespace {

using kv::PictureBox;

// The largest side the tools scale a picture to before looking for faces.
constexpr int32_t DetectSide = 800;
constexpr double Tolerance = 0.01;

std::vector<PictureBox> FindFaces(const kv::CDIB& picture) {
    const kv::LumaImage luma = kv::PictureLuma(picture, DetectSide);
    std::vector<PictureBox> out;
    for (const kv::faces::FaceBox& f :
         kv::faces::DetectFaces(luma.pixels.data(), luma.width, luma.height, luma.width))
        out.push_back(luma.ToPicture(f.left, f.top, f.width, f.height));
    return out;
}

class Faces : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kv::faces::DetectorBuiltIn())
            GTEST_SKIP() << "this build has no face detector (KV_FACE_DETECTOR is off)";
        struct stat st;
        ASSERT_EQ(::stat(KV_ASTRONAUT_PNG, &st), 0)
            << KV_ASTRONAUT_PNG << " is missing: install python3-skimage (scripts/setup.sh)";
        show.Reset();
        show.FrameRate = 2997;
        kv::FileSpec file;
        file.SetPath(KV_ASTRONAUT_PNG);
        ASSERT_EQ(show.image.Load(file, kv::FileSpec{}, false), 1);
    }

    // Each face is whole inside or wholly outside every frame and half frame; none shows
    // anything beyond the picture.
    void ExpectSafeMove(const std::vector<PictureBox>& faces) const {
        const double a = kv::CameraAspect(show);
        const double pw = show.image.Width(), ph = show.image.Height();
        for (int32_t f = 0; f <= show.length; ++f) {
            for (bool half : {false, true}) {
                const PictureBox b = kv::CameraBox(kv::CameraStateAt(show, 0, f, half), a);
                ASSERT_TRUE(b.left >= -Tolerance && b.top >= -Tolerance &&
                            b.Right() <= pw + Tolerance && b.Bottom() <= ph + Tolerance)
                    << "frame " << f;
                for (const PictureBox& face : faces) {
                    const bool inside =
                        face.left >= b.left - Tolerance && face.Right() <= b.Right() + Tolerance &&
                        face.top >= b.top - Tolerance && face.Bottom() <= b.Bottom() + Tolerance;
                    const bool outside =
                        face.Right() <= b.left + Tolerance || face.left >= b.Right() - Tolerance ||
                        face.Bottom() <= b.top + Tolerance || face.top >= b.Bottom() - Tolerance;
                    ASSERT_TRUE(inside || outside) << "face cut at frame " << f;
                }
            }
        }
    }

    bool Holds(const PictureBox& b, const PictureBox& face) const {
        return face.left >= b.left - Tolerance && face.Right() <= b.Right() + Tolerance &&
               face.top >= b.top - Tolerance && face.Bottom() <= b.Bottom() + Tolerance;
    }

    kv::Show show;
};

TEST_F(Faces, FindsTheAstronautsFaceAndNoneOnMadePictures) {
    const std::vector<PictureBox> faces = FindFaces(show.image);
    ASSERT_EQ(faces.size(), 1u);
    // Her face lies in the upper middle of the 512 x 512 photo.
    const PictureBox& f = faces[0];
    EXPECT_GT(f.CentreX(), 150);
    EXPECT_LT(f.CentreX(), 300);
    EXPECT_GT(f.CentreY(), 50);
    EXPECT_LT(f.CentreY(), 200);
    EXPECT_GT(f.width, 50);
    EXPECT_LT(f.width, 200);
    // The same pixels give the same boxes.
    const std::vector<PictureBox> again = FindFaces(show.image);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(std::memcmp(&again[0], &faces[0], sizeof f), 0);

    // Made pictures: flat grey, stripes, and a checkerboard.
    for (int kind = 0; kind < 3; ++kind) {
        kv::CDIB made(640, 480, 24);
        for (int y = 0; y < 480; ++y) {
            uint8_t* row = made.Row(y);
            for (int x = 0; x < 640; ++x) {
                const uint8_t v = kind == 0 ? 128
                                  : kind == 1
                                      ? static_cast<uint8_t>((x / 16) % 2 ? 220 : 30)
                                      : static_cast<uint8_t>(((x / 40) + (y / 40)) % 2 * 200);
                row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
            }
        }
        EXPECT_TRUE(FindFaces(made).empty()) << "made picture " << kind;
    }
    EXPECT_TRUE(kv::faces::DetectFaces(nullptr, 10, 10, 10).empty());
    const uint8_t one = 0;
    EXPECT_TRUE(kv::faces::DetectFaces(&one, 1, 1, 0).empty());
}

TEST_F(Faces, SuggestedMovesKeepTheFoundFaceWhole) {
    const std::vector<PictureBox> faces = FindFaces(show.image);
    ASSERT_EQ(faces.size(), 1u);
    struct Case {
        int32_t aspectMode;
        kv::MoveKind move;
    };
    // 4:3 and 16:9 frames (the square photo pans vertically in both), then forced zooms.
    const Case cases[] = {{7500, kv::MoveKind::Auto},
                          {5625, kv::MoveKind::Auto},
                          {7500, kv::MoveKind::PushIn},
                          {5625, kv::MoveKind::PullOut},
                          {5626, kv::MoveKind::Pan}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aspectMode);
        SCOPED_TRACE(static_cast<int>(c.move));
        show.AspectMode = c.aspectMode;
        show.aspect = kv::AspectOf(c.aspectMode);
        kv::SuggestOptions options;
        options.move = c.move;
        const kv::SuggestedMove m = kv::SuggestMove(show, 0, options, faces);
        kv::ApplySuggestedMove(show, 0, m);
        EXPECT_TRUE(m.subjectIsFaces);
        if (c.move == kv::MoveKind::Auto) {
            EXPECT_EQ(m.move, kv::MoveKind::Pan);
        }
        EXPECT_LE(m.length, 30 * 30);
        ExpectSafeMove(faces);
        const double a = kv::CameraAspect(show);
        const PictureBox first = kv::CameraBox(show.pictures[0].keys[0], a);
        const PictureBox last = kv::CameraBox(show.pictures[0].keys[1], a);
        // The face is whole where the move is tight (and, here, everywhere).
        EXPECT_TRUE(Holds(first, faces[0]));
        EXPECT_TRUE(Holds(last, faces[0]));
        EXPECT_TRUE(Holds(m.move == kv::MoveKind::PullOut ? first : last, m.subject));
    }
}

}  // namespace
