// The call contracts of the outside run-time libraries that write DPS and Video Toaster files.
//
// The libraries are not part of the system; they are loaded by name when a movie is opened
// (MjpgOut.dll, DpsOut5.dll, RtvBridge.dll; see platform/video/runtime_library.h for the file
// names on this platform). Every entry and object operation returns a 32-bit result. The
// encoder and file-maker objects are a pointer to a table of operations, each taking the object
// first, in the order given below (operation 0, 1, 2).
#pragma once

#include <cstdint>

extern "C" {

struct MjpgOutObject;
struct MjpgOutOps {
    // 0: compress `in` into `out`; *count holds the input size and receives the output size.
    int32_t (*Compress)(MjpgOutObject* self, const void* in, void* out, int32_t* count);
    // 1: quality x 100.
    int32_t (*SetQuality)(MjpgOutObject* self, int32_t quality);
    // 2: release the object.
    int32_t (*Release)(MjpgOutObject* self);
};
struct MjpgOutObject {
    const MjpgOutOps* ops;
};

struct DpsOut5Object;
struct DpsOut5Ops {
    // 0: append one compressed frame.
    int32_t (*Write)(DpsOut5Object* self, const void* data, int32_t count);
    // 1: finish the file and release the object.
    int32_t (*Finish)(DpsOut5Object* self);
};
struct DpsOut5Object {
    const DpsOut5Ops* ops;
};

// MjpgOut: TV lines (625 or 525), pixel format ('24' = 0x3234 for 24 bits, else '32' =
// 0x3332); 0 on success.
typedef int32_t (*CreateMjpgOutFn)(int32_t tvLines, int32_t pixelFormat, MjpgOutObject** out);
// DpsOut5: output path, TV lines, total frames, 4; 0 on success.
typedef int32_t (*CreateDpsOut5Fn)(const char* path, int32_t tvLines, int32_t totalFrames,
                                   int32_t four, DpsOut5Object** out);

// RtvBridge: VTOpen is not 0 on success; VTWrite and VTClose are above 0.
typedef int32_t (*VTOpenFn)(const char* path, int32_t width, int32_t height, int32_t bitsPerPixel);
typedef int32_t (*VTWriteFn)(void* context, int32_t frame, int32_t width, int32_t height,
                             const void* pixels);
typedef int32_t (*VTCloseFn)(void* context);

}  // extern "C"

namespace kv {

// The Video Toaster context record: the output path in its first 256 bytes, the rest the
// library's.
constexpr int RtvContextSize = 1024;
constexpr int RtvPathSize = 256;

// DPS buffers.
constexpr int32_t DpsInputBufferSize = 1728000;
constexpr int32_t DpsOutputBufferSize = 0x195000;  // 1,658,880

}  // namespace kv
