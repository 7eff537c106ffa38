// Shared set-up of the show-file CLI tests: a private folder with a BMP picture and a show over
// it, and a runner for kinevista-cli.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace kvclitest {

inline int Cli(const std::string& args, std::string* out = nullptr,
               const std::string& redirect = "2>/dev/null") {
    return kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " " + redirect, out);
}

inline std::string Q(const std::string& s) {
    return "'" + s + "'";
}

// The JSON of `info` without its showId line, which every save changes.
inline std::string WithoutId(const std::string& json) {
    std::string out;
    size_t at = 0;
    while (at < json.size()) {
        size_t end = json.find('\n', at);
        if (end == std::string::npos) end = json.size();
        const std::string line = json.substr(at, end - at);
        if (line.find("\"showId\"") == std::string::npos) out += line + "\n";
        at = end + 1;
    }
    return out;
}

class CliShow : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        picture = dir + "/pic.bmp";
        kv::CDIB img(64, 48, 24);
        for (int y = 0; y < 48; ++y)
            for (int i = 0; i < img.RowBytes(); ++i)
                img.Row(y)[i] = static_cast<uint8_t>(y * 5 + i * 3);
        kv::FileSpec fileSpec;
        fileSpec.SetPath(picture.c_str());
        ASSERT_TRUE(img.Save(fileSpec, kv::FormatBmp));

        kv::Show show;
        show.length = 300;
        show.pictureCount = 1;
        kv::Picture& p = show.pictures[0];
        p.fileSpec = fileSpec;
        p.keyCount = 3;
        const float xs[3] = {32, 20, 40.5f};
        for (int k = 0; k < 3; ++k) {
            p.keys[k] = kv::KeyFrame{};
            p.keys[k].x = xs[k];
            p.keys[k].y = 24;
            p.keys[k].width = 64.0f - 10 * k;
            p.keys[k].time = 30 * k;
            p.keys[k].rotation = k == 1 ? 5.0f : 0.0f;
            p.keys[k].easeCode = k == 2 ? 3000.0f : 0.0f;
        }
        show.audio.SetPath("/sounds/a.wav");
        show.MatteColor = 0xFF00;
        show.BorderSize = 5;
        show.ContrastBrightness = (55 << 8) | 45;
        path = dir + "/show.kvx";
        ASSERT_TRUE(kv::SaveShow(show, path));
    }
    std::string dir, picture, path;
};

}  // namespace kvclitest
