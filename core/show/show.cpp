// The show's model operations: reset, key access, picture slots, sorting, rescaling, clipping.
#include "core/show/show.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/base/settings.h"
#include "core/show/camera_motion.h"

namespace kv {

bool AspectModeFromText(const std::string& text, int32_t& aspectMode) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    int64_t w = 0, h = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == colon) continue;
        if (text[i] < '0' || text[i] > '9') return false;
        int64_t& v = i < colon ? w : h;
        v = v * 10 + (text[i] - '0');
        if (v > 1000000) return false;
    }
    if (w <= 0 || h <= 0) return false;
    const int64_t mode = h * 10000 / w;
    if (mode < 1000 || mode > 65535) return false;
    aspectMode = static_cast<int32_t>(mode - mode % 5);
    return true;
}

void SetOwnShape(Show& show, int32_t aspectMode) {
    show.AspectMode = aspectMode;
    show.aspect = AspectOf(aspectMode);
    show.ownShape = true;
}

float AspectOf(int32_t aspectMode) {
    return static_cast<float>(aspectMode - aspectMode % 5) / 10000.0f;
}

namespace {

bool SameFileSpec(const FileSpec& a, const FileSpec& b) {
    return a.vRefNum == b.vRefNum && a.parID == b.parID &&
           std::memcmp(a.path, b.path, sizeof a.path) == 0;
}

bool SamePicture(const Picture& a, const Picture& b) {
    if (!SameFileSpec(a.fileSpec, b.fileSpec) || a.uprightOrientation != b.uprightOrientation ||
        a.keyCount != b.keyCount)
        return false;
    for (int k = 0; k < MaxKeysPerPicture; ++k)
        if (!(a.keys[k] == b.keys[k])) return false;
    return true;
}

bool SameImage(const CDIB& a, const CDIB& b) {
    if (a.Empty() != b.Empty() || a.Width() != b.Width() || a.Height() != b.Height() ||
        a.BitCount() != b.BitCount() || a.rotationInUse != b.rotationInUse ||
        a.uprightOrientation != b.uprightOrientation)
        return false;
    for (int y = 0; y < a.Height() && !a.Empty(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.RowBytes())) != 0) return false;
    return true;
}

}  // namespace

bool Show::operator==(const Show& o) const {
    for (int p = 0; p <= MaxPictures; ++p)
        if (!SamePicture(pictures[p], o.pictures[p])) return false;
    for (int u = 0; u < UndoDepth; ++u)
        if (!(undo[u] == o.undo[u])) return false;
    return Options() == o.Options() && SameImage(image, o.image) && SameImage(image2, o.image2) &&
           rotationInUse == o.rotationInUse && dirty == o.dirty &&
           settingsAspectMode == o.settingsAspectMode && requiredShape == o.requiredShape &&
           length == o.length && pictureCount == o.pictureCount && showId == o.showId &&
           SameFileSpec(audio, o.audio) && SameFileSpec(showFile, o.showFile) &&
           showFolder == o.showFolder && clipboard == o.clipboard && selectedKey == o.selectedKey &&
           undoIndex == o.undoIndex && undoCount == o.undoCount && redoCount == o.redoCount &&
           preparedPicture == o.preparedPicture && preparedPicture2 == o.preparedPicture2 &&
           lastLoadResult == o.lastLoadResult && RescaleShow == o.RescaleShow &&
           ShowPicError == o.ShowPicError && AutoAddKey == o.AutoAddKey &&
           UsePictureOrientation == o.UsePictureOrientation && MultiProcess == o.MultiProcess &&
           MultiProcOffset == o.MultiProcOffset && SameFileSpec(AltImageFolder, o.AltImageFolder) &&
           GdiplusHasJpegDecoder == o.GdiplusHasJpegDecoder && hostMode == o.hostMode &&
           FrameRate == o.FrameRate && currentFrame == o.currentFrame;
}

Show::Show() : Show(Settings()) {}

Show::Show(const Settings& settings) {
    clipboard.time = -9999;  // empty until the first Copy or Cut
    Reset();
    ApplySettings(settings);
}

void Show::ApplySettings(const Settings& s) {
    // The record's fields that have a settings key, each with its default; the shape apart.
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        if (!row.key || std::strcmp(row.key, "AspectMode") == 0) continue;
        row.set(Options(), s.ReadInt(row.key, static_cast<int32_t>(row.defaultValue)));
    }
    settingsAspectMode = s.ReadInt("AspectMode", 7500);
    // A show with a shape of its own keeps it when the program's setting changes.
    if (!ownShape) {
        AspectMode = settingsAspectMode;
        aspect = AspectOf(AspectMode);
    }
    MultiProcess = s.ReadInt("MultiProcess", 0) != 0;
    const int32_t offset = s.ReadInt("MultiProcOffset", 0);
    MultiProcOffset = offset < 0 ? 0 : offset > 1 ? 1 : offset;
    RescaleShow = s.ReadInt("RescaleShow", 0) != 0;
    // Every frame count derives from the rate; a store that was not checked cannot push it out
    // of the three rates (Settings::CheckValues reports them).
    FrameRate = s.ReadInt("FrameRate", DefaultFrameRate);
    if (!ValidFrameRate(FrameRate)) FrameRate = DefaultFrameRate;
    AltImageFolder.SetPath(s.ReadString("AltImageFolder", "").c_str());
    ShowPicError = s.ReadInt("ShowPicError", 1) != 0;
    UsePictureOrientation = s.ReadInt("UsePictureOrientation", 1) != 0;
    AutoAddKey = s.ReadInt("AutoAddKey", 1) != 0;
}

void Show::Reset() {
    // A new show has no shape of its own: it takes the program's.
    if (ownShape) {
        ownShape = false;
        AspectMode = settingsAspectMode;
        aspect = AspectOf(AspectMode);
    }
    // A fresh black 8 x 8 image: Create keeps the pixels when the size is unchanged.
    image.Create(8, 8, 24);
    if (image.Bits()) std::memset(image.Bits(), 0, static_cast<size_t>(image.RowBytes()) * 8);
    Picture& p = pictures[0];
    p.keyCount = 1;
    std::memset(p.keys, 0, sizeof p.keys);
    p.keys[0].x = 200.0f;
    p.keys[0].y = 200.0f;
    p.keys[0].width = 100.0f;
    p.fileSpec.Clear();
    p.uprightOrientation = false;
    pictureCount = 0;
    dirty = false;
    showId = 0;
    undoIndex = -1;
    undoCount = 0;
    redoCount = 0;
    selectedKey = 0;
    preparedPicture = 0;
    preparedPicture2 = -1;
    audio.Clear();
    BorderSize = 0;
    showFile.Clear();
    showFolder.clear();
    lastLoadResult = 1;
}

int Show::KeyCount(int picture) const {
    return ValidPicture(picture) ? pictures[picture].keyCount : 0;
}

void Show::GetKey(int key, int picture, KeyFrame& out) const {
    if (!ValidPicture(picture) || key < 0 || key >= MaxKeysPerPicture) return;
    out = pictures[picture].keys[key];
}

void Show::SetKey(int key, int picture, const KeyFrame& k) {
    if (!ValidPicture(picture) || key < 0 || key >= MaxKeysPerPicture) return;
    Picture& p = pictures[picture];
    p.keys[key] = k;
    if (key >= p.keyCount) p.keyCount++;
    MarkChanged();
}

int32_t Show::EndFrame() const {
    int last = pictureCount > 0 ? pictureCount - 1 : 0;
    if (last >= MaxPictures) last = MaxPictures - 1;
    const Picture& p = pictures[last];
    int32_t keyTime = 0;
    if (p.keyCount > 0 && p.keyCount <= MaxKeysPerPicture) keyTime = p.keys[p.keyCount - 1].time;
    return PictureStart(last) + keyTime;
}

int32_t Show::PictureStart(int picture) const {
    if (picture != 0) return 0;
    return static_cast<int32_t>(pictures[0].keys[0].pictureStart);
}

void Show::SetPictureStart(int picture, int32_t frame) {
    if (picture != 0) return;
    pictures[0].keys[0].pictureStart = static_cast<float>(frame);
}

int Show::PictureAt(int32_t frame) const {
    if (pictureCount < 2) return 0;
    for (int p = 0; p + 1 < pictureCount; ++p)
        if (PictureStart(p) <= frame && frame < PictureStart(p + 1)) return p;
    return pictureCount - 1;
}

int Show::KeyNear(int32_t frame) const {
    const int p = PictureAt(frame);
    const int32_t t = frame - PictureStart(p);
    const Picture& pic = pictures[p];
    for (int k = 0; k < pic.keyCount && k < MaxKeysPerPicture; ++k)
        if (std::abs(pic.keys[k].time - t) < KeyNearTolerance) return k;
    return -1;
}

void Show::SortKeys(int picture) {
    if (!ValidPicture(picture)) return;
    Picture& p = pictures[picture];
    const int n = p.keyCount < MaxKeysPerPicture ? p.keyCount : MaxKeysPerPicture;
    for (int i = 0; i < n; ++i) {
        int best = i;
        for (int j = i + 1; j < n; ++j)
            if (p.keys[j].time < p.keys[best].time) best = j;
        if (best != i) {
            KeyFrame tmp = p.keys[i];
            p.keys[i] = p.keys[best];
            p.keys[best] = tmp;
        }
    }
}

void Show::DeletePicture(int picture) {
    if (picture != 0) return;
    if (pictureCount <= 1) {
        Reset();
        return;
    }
    for (int i = picture; i + 1 < pictureCount; ++i) {
        const float start = pictures[i].keys[0].pictureStart;
        pictures[i] = pictures[i + 1];
        pictures[i].keys[0].pictureStart = start;
    }
    pictureCount--;
}

void Show::ExchangePictures(int a, int b) {
    if (a < 0 || b < 0 || a > MaxPictures || b > MaxPictures || a == b) return;
    Picture& scratch = pictures[MaxPictures];
    const float startA = pictures[a].keys[0].pictureStart;
    const float startB = pictures[b].keys[0].pictureStart;
    if (&scratch != &pictures[a] && &scratch != &pictures[b]) {
        scratch = pictures[a];
        pictures[a] = pictures[b];
        pictures[b] = scratch;
    } else {
        Picture tmp = pictures[a];
        pictures[a] = pictures[b];
        pictures[b] = tmp;
    }
    pictures[a].keys[0].pictureStart = startA;
    pictures[b].keys[0].pictureStart = startB;
    preparedPicture = -1;
    preparedPicture2 = -1;
}

bool Show::RescaleTimes(int32_t oldLength, int32_t newLength) {
    if (oldLength == 0 || newLength == 0 || std::abs(oldLength - newLength) < 2) return false;
    const float r = static_cast<float>(newLength) / static_cast<float>(oldLength);
    Picture& p = pictures[0];
    for (int k = 1; k < p.keyCount && k < MaxKeysPerPicture; ++k) {
        // Bounded before the conversion: absurd lengths from damaged files must not overflow.
        const float t = static_cast<float>(p.keys[k].time) * r;
        p.keys[k].time = t >= 2147483520.0f    ? INT32_MAX
                         : t <= -2147483648.0f ? INT32_MIN
                                               : static_cast<int32_t>(t);
    }
    p.keys[0].showLength = static_cast<float>(length);
    return true;
}

bool Show::ClipToLength(int32_t clip) {
    if (clip < 0) return false;
    while (pictureCount > 1 && PictureStart(pictureCount - 1) > clip) pictureCount--;
    const int pictureSlots = pictureCount > 0 ? pictureCount : 1;
    for (int pi = 0; pi < pictureSlots; ++pi) {
        Picture& p = pictures[pi];
        const int32_t start = PictureStart(pi);
        const CameraState cam = CameraStateAt(*this, pi, clip, false);
        for (int k = 0; k < p.keyCount && k < MaxKeysPerPicture; ++k) {
            if (start + p.keys[k].time > clip) {
                p.keys[k] = cam;
                p.keys[k].time = clip - start;
                p.keyCount = k + 1 > 1 ? k + 1 : 1;
                break;
            }
        }
    }
    pictures[0].keys[0].showLength = static_cast<float>(length);
    return true;
}

void Show::ClearEaseCodes() {
    for (int pi = 0; pi <= MaxPictures; ++pi)
        for (KeyFrame& k : pictures[pi].keys) k.easeCode = 0.0f;
}

bool Show::RotationInUse(int picture) const {
    if (AlwaysUseRotation) return true;
    if (!ValidPicture(picture)) return false;
    const Picture& p = pictures[picture];
    for (int k = 0; k < p.keyCount && k < MaxKeysPerPicture; ++k)
        if (p.keys[k].rotation != 0.0f || p.keys[k].tiltA != 0.0f || p.keys[k].tiltB != 0.0f)
            return true;
    return false;
}

void Show::PictureLoaded(int index, const FileSpec& fileSpec, bool succeeded, int32_t width,
                         int32_t height) {
    if (index < 0) index = 0;
    if (index >= MaxPictures) return;
    if (pictureCount < index + 1) pictureCount = index + 1;
    Picture& p = pictures[index];
    p.fileSpec = fileSpec;
    if (index == 0) p.keys[0].pictureStart = 0.0f;
    if (succeeded && p.keyCount <= 1) {
        KeyFrame& k = p.keys[0];
        k.width = static_cast<float>(width);
        k.x = static_cast<float>(width) * 0.5f;
        k.y = static_cast<float>(height) * 0.5f;
        k.rotation = k.tiltA = k.tiltB = 0.0f;
    }
    MarkChanged();
}

}  // namespace kv
