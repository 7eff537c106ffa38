// Show files for the movie tests: a gradient BMP picture and a show with a camera move over it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/base/records.h"
#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/treatments.h"
#include "core/show/show.h"

namespace kvtest {

// Writes dir/<name>.bmp and dir/<name>.kvx: a zoom and pan that ends at frame lastKeyTime.
// Returns the show file's path, or "" when the picture cannot be read back.
inline std::string MakeShowFile(const std::string& dir, const std::string& name,
                                int32_t lastKeyTime, int32_t frameRate = 2500) {
    kv::CDIB pic(160, 120, 24);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            uint8_t* p = pic.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / 159);
            p[1] = static_cast<uint8_t>(y * 2);
            p[2] = static_cast<uint8_t>((x ^ y) & 0xFF);
        }
    kv::FileSpec fileSpec;
    fileSpec.SetPath((dir + "/" + name + ".bmp").c_str());
    if (!pic.Save(fileSpec, kv::FormatBmp)) return {};
    kv::Show show;
    show.FrameRate = frameRate;
    kv::PrepPicture(show, fileSpec, 0, 0);
    if (show.lastLoadResult != 1) return {};
    kv::Picture& p = show.pictures[0];
    p.keyCount = 2;
    p.keys[1] = p.keys[0];
    p.keys[1].x += 30;
    p.keys[1].y -= 10;
    p.keys[1].width *= 0.5f;
    p.keys[1].time = lastKeyTime;
    const std::string path = dir + "/" + name + ".kvx";
    return kv::SaveShow(show, path) ? path : std::string();
}

}  // namespace kvtest
