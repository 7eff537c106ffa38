// The bundled example show (examples/example.kvx) is made here: the test checks that the
// committed file is what this code builds, and `KV_WRITE_EXAMPLES=1 core_document_tests
// --gtest_filter=ExampleShow.*` writes it again after a change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

// A tour of the 640 x 480 example picture: the whole view, in to the house, across to the sun
// with a slight turn, over to the clouds, and back out.
void BuildExample(kv::Show& show) {
    show.Reset();
    show.FrameRate = 2997;
    show.length = 450;
    show.EaseType = 0;
    show.pictureCount = 1;
    show.pictures[0].fileSpec.SetPath("examples/example.jpg");
    struct K {
        int32_t time;
        float x, y, width, rotation;
    };
    const K keys[] = {{0, 320, 240, 640, 0},
                      {90, 285, 345, 240, 0},
                      {180, 470, 160, 200, 4},
                      {270, 170, 100, 300, -3},
                      {360, 320, 240, 640, 0}};
    show.pictures[0].keyCount = 5;
    for (int i = 0; i < 5; ++i) {
        kv::KeyFrame& k = show.pictures[0].keys[i];
        k = kv::KeyFrame{};
        k.time = keys[i].time;
        k.x = keys[i].x;
        k.y = keys[i].y;
        k.width = keys[i].width;
        k.rotation = keys[i].rotation;
    }
    show.MatteColor = 0;
    show.BorderSize = 0;
    show.PreBlur = 0;
    show.VideoColors = true;
    show.ContrastBrightness = 0x3232;
}

TEST(ExampleShow, CommittedFileMatchesTheGenerator) {
    kv::Show show;
    BuildExample(show);
    std::vector<uint8_t> block(kv::Serialise(show, nullptr));
    kv::Serialise(show, block.data());
    const std::string path = std::string(KV_SOURCE_DIR) + "/examples/example.kvx";
    if (const char* w = std::getenv("KV_WRITE_EXAMPLES"); w && std::string(w) == "1") {
        ASSERT_TRUE(kv::SaveShow(show, path));
    }
    std::string stored = kvtest::ReadFileBytes(path);
    ASSERT_EQ(stored.size(), block.size());
    // Everything but the show id (bytes 2 and 3), which every save draws anew.
    for (size_t i = 0; i < block.size(); ++i) {
        if (i != 2 && i != 3) {
            ASSERT_EQ(static_cast<uint8_t>(stored[i]), block[i]) << i;
        }
    }
}

}  // namespace
