#include "tests/plugin/plugin_test_support.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "platform/os/public_folder.h"
#include "tests/test_support.h"

namespace kvptest {

kvhost::PluginModule& Plugin() {
    static kvhost::PluginModule module;
    if (!module.Loaded()) {
        std::string error;
        EXPECT_TRUE(module.Load(KV_PLUGIN_PATH, &error)) << error;
    }
    return module;
}

void UsePrivateWindowList() {
    setenv("KINEVISTA_WINDOW_LIST", kvtest::TempDir("windows").c_str(), 1);
}

std::string MakePicture(const std::string& dir, int w, int h, int bits, uint8_t alpha) {
    kv::CDIB image(w, h, bits);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < w; ++x) {
            uint8_t* p = row + x * (bits / 8);
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>((x + y) * 3);
            if (bits == 32) p[3] = alpha;
        }
    }
    const std::string path =
        dir + "/picture" + std::to_string(bits) + "-" + std::to_string(alpha) + ".tga";
    kv::FileSpec fileSpec;
    fileSpec.SetPath(path.c_str());
    EXPECT_TRUE(image.Save(fileSpec, kv::FormatTarga));
    return path;
}

std::vector<uint8_t> MakeShowBlock(const std::string& picture, const std::vector<Move>& keys) {
    kv::Show show;
    show.Reset();
    show.pictures[0].fileSpec.SetPath(picture.c_str());
    show.pictureCount = 1;
    show.pictures[0].keyCount = static_cast<int32_t>(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        kv::KeyFrame k{};
        k.x = keys[i].x;
        k.y = keys[i].y;
        k.width = keys[i].width;
        k.time = keys[i].time;
        show.pictures[0].keys[i] = k;
    }
    std::vector<uint8_t> block(4096, 0);
    const uint32_t size = kv::Serialise(show, nullptr);
    EXPECT_LE(size, 4096u);
    kv::Serialise(show, block.data());
    return block;
}

void SetStamp(std::vector<uint8_t>& block, uint16_t stamp) {
    block[2] = static_cast<uint8_t>(stamp & 0xFF);
    block[3] = static_cast<uint8_t>(stamp >> 8);
}

std::vector<uint8_t> DirectRender(const std::vector<uint8_t>& block, int32_t frame,
                                  int32_t fieldMode, bool fieldOrderFlag, int32_t w, int32_t h) {
    kv::Settings settings;  // as a new render context reads it
    settings.Load();
    kv::Show show(settings);
    show.length = kv::DefaultShowLength;
    show.Reset();
    EXPECT_TRUE(kv::Parse(show, block.data(), 4096, false));
    kv::CDIB image(w, h, 32);
    EXPECT_TRUE(kv::RenderFrame(show, frame, fieldMode, fieldOrderFlag, w, h, &image, false));
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (int32_t r = 0; r < h; ++r)
        std::memcpy(out.data() + static_cast<size_t>(r) * w * 4, image.Row(h - 1 - r),
                    static_cast<size_t>(w) * 4);
    return out;
}

void WriteSettings(const std::vector<std::string>& lines) {
    std::string text = "[Kinevista]\r\n";
    for (const std::string& l : lines) text += l + "\r\n";
    kvtest::WriteFileBytes(kv::PublicPath("Kinevista.ini"), text);
}

}  // namespace kvptest
