// Makes the show file of a big-picture benchmark move: the picture, 300 frames at 29.97 and a
// key every 5 frames on the path of ffmpeg's zoompan for the same move, so that both sides
// frame the same windows. The camera's height follows the 16:9 output (AspectMode 5625).
//
//   big_picture_show PICTURE OUT.kvx Z0 Z1 AX BX AY BY
//     with s = frame / 299: zoom z = Z0 + (Z1 - Z0) s, window width iw / z, and the window's
//     corner at (iw - iw / z) (AX + BX s), (ih - ih / z) (AY + BY s), as zoompan's
//     z, x and y expressions put it; the camera is centred on that window.
//
// The picture is loaded and prepared once here, as the editor does when a picture is chosen.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/document/show_file.h"
#include "core/render/treatments.h"
#include "core/show/show.h"

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: big_picture_show PICTURE OUT.kvx Z0 Z1 AX BX AY BY\n");
        return 2;
    }
    float v[6];
    for (int i = 0; i < 6; ++i) v[i] = std::strtof(argv[3 + i], nullptr);
    const float z0 = v[0], z1 = v[1], ax = v[2], bx = v[3], ay = v[4], by = v[5];
    constexpr int Frames = 300;
    kv::Show show;
    show.FrameRate = 2997;
    show.AspectMode = 5625;
    kv::FileSpec fileSpec;
    fileSpec.SetPath(argv[1]);
    kv::PrepPicture(show, fileSpec, 0, 0);
    if (show.lastLoadResult != 1) {
        std::fprintf(stderr, "big_picture_show: %s did not load\n", argv[1]);
        return 1;
    }
    const float iw = static_cast<float>(show.image.Width());
    const float ih = static_cast<float>(show.image.Height());
    kv::Picture& p = show.pictures[0];
    const kv::KeyFrame first = p.keys[0];
    int n = 0;
    for (int f = 0;; f += 5) {
        if (f > Frames - 1) f = Frames - 1;
        const float s = static_cast<float>(f) / (Frames - 1);
        const float z = z0 + (z1 - z0) * s;
        kv::KeyFrame& k = p.keys[n++];
        k = first;
        k.time = f;
        k.width = iw / z;
        k.x = (iw - iw / z) * (ax + bx * s) + iw / z / 2;
        k.y = (ih - ih / z) * (ay + by * s) + ih / z / 2;
        if (f == Frames - 1) break;
    }
    p.keyCount = n;
    show.length = Frames;
    return kv::SaveShow(show, argv[2]) ? 0 : 1;
}
