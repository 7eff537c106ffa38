// The fixed-layout records of a show: keys, file references and the picture slot.
//
// A KeyFrame is one 56-byte record of fourteen 32-bit words that serves as a stored key, the
// interpolated camera of a frame, the clipboard entry and the undo record. Records are copied
// whole; nothing here owns memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kv {

constexpr int MaxPictures = 1;           // pictures in a show (the table has one scratch slot more)
constexpr int MaxKeysPerPicture = 64;    // key slots per picture
constexpr int UndoDepth = 32;            // records in the undo ring
constexpr int KeyNearTolerance = 4;      // frames within which a key counts as "at" a frame
constexpr int DefaultShowLength = 1800;  // frames, set by the constructor

// Undo operations kept in KeyFrame::undoOp besides a key index 0..63.
constexpr uint16_t OpInserted = 96;
constexpr uint16_t OpDeleted = 97;
constexpr uint16_t OpSwapped = 98;

// EaseType: low four bits the default ease, bit 4 straight paths ("No Curves").
enum EaseMode : int32_t {
    EaseSlowInSlowOut = 0,
    EaseSlowIn = 1,
    EaseSlowOut = 2,
    EaseNoSlows = 3,
    EaseHold = 4,  // used only to step the ease code from key to key
};
constexpr int32_t EaseNoCurves = 16;

struct KeyFrame {
    float x;             // centre, picture pixels from the left edge
    float stamp;         // format version in the first key of a stored show
    float y;             // centre, picture pixels from the top edge
    float width;         // camera frame width in picture pixels
    float sizeReserve;   // carried along, scaled by Match Moves
    float tiltA;         // degrees
    float tiltB;         // degrees
    float rotation;      // degrees
    float easeCode;      // 0 = follow the show's EaseType, else 1000*kind + speed + straight
    float pictureStart;  // start frame of the picture (first key)
    float spareB;
    float showLength;  // show length in frames (first key)
    int32_t time;      // frame relative to the picture start
    uint16_t undoPicture;
    uint16_t undoOp;

    bool operator==(const KeyFrame& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
static_assert(sizeof(KeyFrame) == 56, "KeyFrame is a 56-byte record");
static_assert(offsetof(KeyFrame, easeCode) == 32 && offsetof(KeyFrame, time) == 48 &&
              offsetof(KeyFrame, undoOp) == 54);

using CameraState = KeyFrame;
using UndoRecord = KeyFrame;

// A file reference: two numbers kept only for the show file's layout, then a full path.
#pragma pack(push, 2)
struct FileSpec {
    int16_t vRefNum = 0;
    int32_t parID = 0;
    char path[256] = {};

    bool Empty() const { return path[0] == 0; }
    void Clear() { *this = FileSpec{}; }
    // Sets the path, truncated to 255 bytes; the numbers become 9991 as on the original system.
    void SetPath(const char* p);
};
#pragma pack(pop)
static_assert(sizeof(FileSpec) == 262, "FileSpec is a 262-byte record");

struct Picture {
    FileSpec fileSpec;
    // Whether the picture is shown upright by its EXIF orientation (shows made since pictures
    // are turned) or as its pixels are stored (shows saved before); kept in the show file.
    bool uprightOrientation = false;
    int32_t keyCount = 0;
    KeyFrame keys[MaxKeysPerPicture] = {};
};

}  // namespace kv
