// The show file: Serialise and Parse of the show block, show files on disk, the exchange file.
//
// Every read of a block is checked against the bytes actually given; a block whose parts do not
// fit is refused before the show is touched, so a refused block leaves the caller's reset show
// as it was.
#include "core/document/show_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <vector>

#include "core/show/camera_motion.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"
#include "core/show/show_load_steps.h"
#include "platform/os/atomic_file.h"
#include "platform/os/public_folder.h"
#include "platform/os/utf8_names.h"

namespace kv {

namespace {

constexpr uint32_t HeaderBytes = 8;
constexpr uint32_t RecordBytes = 266;  // reserved 6, path 256, key count 4
constexpr uint32_t PathOffset = 6;
// A picture shown upright by its EXIF orientation carries this mark in the first four of the
// record's reserved bytes (zero otherwise, as in every show saved before; readers that do not
// know the mark ignore those bytes).
constexpr uint8_t UprightMark[4] = {'K', 'V', 'u', 'p'};
constexpr uint32_t CountOffset = 262;
constexpr uint32_t KeyBytes = 56;
constexpr uint32_t TrailerBytes = 20;
// The show's own shape sits in the trailer's last four bytes as ShapeMark << 16 | AspectMode.
constexpr uint32_t ShapeOffset = 16;
constexpr uint32_t ShapeMark = 0x4B56;
constexpr int32_t MinOwnShape = 1000;
constexpr uint32_t KeyFloatBytes = 48;  // the twelve float fields ahead of `time`

// Global: the editor's viewer is the one place that shows frame 0, and the hook is set once at
// its start-up; atomic as the plug-in parses on its host's threads.
std::atomic<ParseRenderHook> g_renderHook{nullptr};
// Global: written once at each program's start-up, before any show is loaded, with the steps
// of the renderer (which this layer does not know); read-only afterwards.
std::atomic<const ShowLoadSteps*> g_loadSteps{nullptr};

// --- showId generator: a small linear congruential generator (0..32767), seeded once from the
// millisecond tick count modulo 65535. Global: one sequence per process, so that shows saved one
// after another get different ids; guarded by the lock.
std::mutex g_idLock;
bool g_idSeeded = false;
uint32_t g_idState = 0;

uint16_t NextShowId() {
    std::lock_guard<std::mutex> lock(g_idLock);
    if (!g_idSeeded) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        g_idState = static_cast<uint32_t>(ms % 65535);
        g_idSeeded = true;
    }
    g_idState = g_idState * 214013u + 2531011u;
    return static_cast<uint16_t>((g_idState >> 16) & 0x7FFF);
}

int32_t DefaultEaseCode(int32_t easeType) {
    return ((easeType & 15) + 1) * 1000 + ((easeType & EaseNoCurves) ? 1 : 0);
}

// --- Little-endian writing -------------------------------------------------------------------

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}
void PutFloat(uint8_t* p, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(p, v);
}

// --- Reading in the block's byte order -------------------------------------------------------

struct BlockReader {
    const uint8_t* data;
    bool swapped;

    uint16_t U16(uint32_t at) const {
        const uint16_t le = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
        return swapped ? static_cast<uint16_t>((le >> 8) | (le << 8)) : le;
    }
    uint32_t U32(uint32_t at) const {
        uint32_t le = static_cast<uint32_t>(data[at]) | (static_cast<uint32_t>(data[at + 1]) << 8) |
                      (static_cast<uint32_t>(data[at + 2]) << 16) |
                      (static_cast<uint32_t>(data[at + 3]) << 24);
        if (swapped) le = (le >> 24) | ((le >> 8) & 0xFF00u) | ((le << 8) & 0xFF0000u) | (le << 24);
        return le;
    }
    float Float(uint32_t at) const {
        const uint32_t v = U32(at);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
};

void ReadPath(const uint8_t* at, FileSpec& fileSpec) {
    char path[256];
    std::memcpy(path, at, sizeof path);
    path[255] = 0;
    fileSpec.SetPath(path);
}

// Everything a block holds, gathered before any of it reaches the show.
struct ParsedBlock {
    uint16_t showId = 0;
    int pictures = 0;
    Picture picture;
    bool hasAudio = false;
    FileSpec audio;
    bool trailer = false;
    bool contrastField = false;
    uint32_t matte = 0;
    int32_t border = 0;
    int32_t preBlur = 0;
    int32_t contrastBrightness = 0x3232;
    int32_t ownShape = 0;  // the show's own AspectMode, 0 when the file holds none
};

bool ReadBlock(const uint8_t* block, uint32_t size, int32_t easeType, ParsedBlock& out) {
    if (!block || size < HeaderBytes) return false;
    const uint16_t magic = static_cast<uint16_t>(block[0] | (block[1] << 8));
    if (magic != ShowMagic && magic != 0x3412) return false;
    const BlockReader r{block, magic == 0x3412};
    out.showId = r.U16(2);
    const uint32_t S = r.U32(4);
    if (S < HeaderBytes || S > size) return false;  // declares more than we have: refuse

    const int32_t dc = DefaultEaseCode(easeType);
    uint64_t pos = HeaderBytes;
    uint64_t trailerAt = pos;
    while (pos + 262 < S) {
        if (pos + RecordBytes > S) return false;
        const auto at = static_cast<uint32_t>(pos);
        const uint32_t n = r.U32(at + CountOffset);
        if (n == 0) {
            ReadPath(block + at + PathOffset, out.audio);
            out.hasAudio = true;
            trailerAt = pos + RecordBytes;
            break;
        }
        if (n > static_cast<uint32_t>(MaxKeysPerPicture)) return false;
        if (pos + RecordBytes + uint64_t{KeyBytes} * n > S) return false;
        Picture& pic = out.picture;
        ReadPath(block + at + PathOffset, pic.fileSpec);
        pic.uprightOrientation = std::memcmp(block + at, UprightMark, sizeof UprightMark) == 0;
        pic.keyCount = static_cast<int32_t>(n);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t kat = at + RecordBytes + k * KeyBytes;
            KeyFrame key{};
            float* fields = &key.x;
            for (uint32_t f = 0; f < KeyFloatBytes / 4; ++f) fields[f] = r.Float(kat + 4 * f);
            key.time = static_cast<int32_t>(r.U32(kat + 48));
            key.undoPicture = r.U16(kat + 52);
            key.undoOp = 0;
            if (key.easeCode == static_cast<float>(dc)) key.easeCode = 0.0f;
            pic.keys[k] = key;
        }
        pos += RecordBytes + uint64_t{KeyBytes} * n;
        out.pictures++;
        if (out.pictures >= MaxPictures) {
            trailerAt = S >= TrailerBytes ? S - TrailerBytes : 0;
            // An audio record after the picture is read too, so that the sound reference
            // survives a save and reload.
            if (pos + RecordBytes <= trailerAt &&
                r.U32(static_cast<uint32_t>(pos) + CountOffset) == 0) {
                ReadPath(block + pos + PathOffset, out.audio);
                out.hasAudio = true;
            }
            break;
        }
        if (pos + 262 >= S) trailerAt = pos;
    }

    const float stamp = out.pictures > 0 ? out.picture.keys[0].stamp : 0.0f;
    if (stamp > 90.0f) {
        out.contrastField = stamp > 105.0f;
        if (trailerAt + (out.contrastField ? 16 : 14) > S) return false;
        const auto at = static_cast<uint32_t>(trailerAt);
        out.trailer = true;
        out.matte = r.U32(at);
        out.border = static_cast<int32_t>(r.U32(at + 4));
        out.preBlur = static_cast<int32_t>(r.U32(at + 8));
        if (out.contrastField) out.contrastBrightness = static_cast<int16_t>(r.U16(at + 14));
        // The trailer's last four bytes were never written with meaning before: only the mark
        // makes them a shape.
        if (uint64_t{trailerAt} + TrailerBytes <= S) {
            const uint32_t v = r.U32(at + ShapeOffset);
            const int32_t mode = static_cast<int32_t>(v & 0xFFFF);
            if ((v >> 16) == ShapeMark && mode >= MinOwnShape) out.ownShape = mode;
        }
    }
    return true;
}

// What ends a folder name in a path.
#ifdef _WIN32
constexpr const char* PathSeparators = "\\/";
#else
constexpr const char* PathSeparators = "/";
#endif
// The longest file name (one folder entry) the usual file systems take.
constexpr size_t MaxFileNameBytes = 255;

// The show changes (MarkShowSaved) only once its file is written: a failed save leaves it as
// it was, unsaved changes and all.
bool SaveShowBytes(Show& show, const std::string& path, uint32_t bufferBytes,
                   std::string* error = nullptr) {
    const uint32_t need = BuildShowBlock(show, show.showId, nullptr);
    if (need > bufferBytes) {
        if (error) *error = "the show does not fit the save buffer";
        return false;
    }
    std::vector<uint8_t> buffer(need);
    const uint16_t id = NewShowId(show);
    const uint32_t S = BuildShowBlock(show, id, buffer.data());
    if (!os::WriteFileAtomically(path, buffer.data(), S, error)) return false;
    MarkShowSaved(show, id);
    return true;
}

// Reads up to MaxShowFileBytes of a show file; false (and why) when it cannot be opened.
bool ReadShowFile(const std::string& path, std::vector<uint8_t>& out, ShowLoadError* why) {
    // Not inherited by a program started meanwhile ("e").
    std::FILE* f = os::OpenFile(path, "rbe");
    if (!f) {
        const int err = errno;
        std::error_code ignored;
        // Where a folder cannot be opened as a file (Windows), it reads as nothing, as it
        // does where it can.
        if (std::filesystem::is_directory(os::FsPath(path), ignored)) {
            out.clear();
            return true;
        }
        // A name too long for any file system is not "missing", though Windows says so.
        const size_t slash = path.find_last_of(PathSeparators);
        const size_t nameLength = path.size() - (slash == std::string::npos ? 0 : slash + 1);
        if (why)
            *why = err == ENOENT && nameLength <= MaxFileNameBytes ? ShowLoadError::Missing
                                                                   : ShowLoadError::CannotOpen;
        return false;
    }
    out.assign(ShowSaveBufferBytes, 0);
    size_t got = 0;
    while (got < MaxShowFileBytes) {
        const size_t n = std::fread(out.data() + got, 1, MaxShowFileBytes - got, f);
        if (n == 0) break;
        got += n;
    }
    std::fclose(f);
    out.resize(got);
    return true;
}

}  // namespace

void SetParseRenderHook(ParseRenderHook hook) {
    g_renderHook.store(hook);
}

void SetShowLoadSteps(const ShowLoadSteps& steps) {
    g_loadSteps.store(&steps);
}

namespace {

int SavedPictures(const Show& show) {
    return std::clamp(show.pictureCount, 0, MaxPictures);
}

// The key count a picture record carries: at least one key (a count of 0 would read as the
// audio record), at most a picture's, and a lone key saved twice.
int SavedKeyCount(const Picture& pic) {
    const int n = std::clamp(pic.keyCount, 1, MaxKeysPerPicture);
    return n == 1 ? 2 : n;
}

// The keys as saved stand in the show once it is saved: a lone key doubled a second later.
void DoubleLoneKeys(Show& show) {
    for (int p = 0; p < SavedPictures(show); ++p) {
        Picture& pic = show.pictures[p];
        pic.keyCount = std::clamp(pic.keyCount, 1, MaxKeysPerPicture);
        if (pic.keyCount == 1) {
            pic.keys[1] = pic.keys[0];
            pic.keys[1].time = show.OneSecond();
            pic.keyCount = 2;
        }
    }
}

// Key k of picture p as the block carries it.
KeyFrame SavedKey(const Show& show, int p, int k) {
    const Picture& pic = show.pictures[p];
    // The copy of a lone key is taken before the first key is stamped.
    if (k == 1 && std::clamp(pic.keyCount, 1, MaxKeysPerPicture) == 1) {
        KeyFrame key = pic.keys[0];
        key.time = show.OneSecond();
        return key;
    }
    KeyFrame key = pic.keys[k];
    if (k == 0) {
        if (p == 0) key.stamp = ShowFormatVersion;
        key.showLength = static_cast<float>(show.length);
    }
    return key;
}

}  // namespace

uint16_t NewShowId(const Show& show) {
    // A fresh id tells the plug-in that the show changed, so never reuse the current one.
    uint16_t id = NextShowId();
    while (id == show.showId) id = NextShowId();
    return id;
}

uint32_t BuildShowBlock(const Show& show, uint16_t showId, uint8_t* buffer) {
    const int pictures = SavedPictures(show);
    const bool hasAudio = !show.audio.Empty();
    uint32_t S = HeaderBytes + TrailerBytes;
    for (int p = 0; p < pictures; ++p)
        S += RecordBytes + KeyBytes * static_cast<uint32_t>(SavedKeyCount(show.pictures[p]));
    if (hasAudio) S += RecordBytes;
    if (!buffer) return S;

    std::memset(buffer, 0, S);
    const float dc = static_cast<float>(DefaultEaseCode(show.EaseType));
    uint32_t pos = HeaderBytes;
    for (int p = 0; p < pictures; ++p) {
        const Picture& pic = show.pictures[p];
        const int keyCount = SavedKeyCount(pic);
        std::memcpy(buffer + pos + PathOffset, pic.fileSpec.path, sizeof pic.fileSpec.path);
        buffer[pos + PathOffset + 255] = 0;
        if (pic.uprightOrientation) std::memcpy(buffer + pos, UprightMark, sizeof UprightMark);
        Put32(buffer + pos + CountOffset, static_cast<uint32_t>(keyCount));
        pos += RecordBytes;
        for (int k = 0; k < keyCount; ++k, pos += KeyBytes) {
            KeyFrame key = SavedKey(show, p, k);
            if (key.easeCode < 1.0f) key.easeCode = dc;
            const float* fields = &key.x;
            for (uint32_t f = 0; f < KeyFloatBytes / 4; ++f)
                PutFloat(buffer + pos + 4 * f, fields[f]);
            Put32(buffer + pos + 48, static_cast<uint32_t>(key.time));
            Put16(buffer + pos + 52, key.undoPicture);
        }
    }
    if (hasAudio) {
        std::memcpy(buffer + pos + PathOffset, show.audio.path, sizeof show.audio.path);
        buffer[pos + PathOffset + 255] = 0;
        pos += RecordBytes;  // key count 0 marks the audio record
    }
    Put32(buffer + pos, show.MatteColor);
    Put32(buffer + pos + 4, static_cast<uint32_t>(show.BorderSize));
    Put32(buffer + pos + 8, static_cast<uint32_t>(show.PreBlur));
    Put16(buffer + pos + 12, show.VideoColors ? 1 : 0);
    Put16(buffer + pos + 14, static_cast<uint16_t>(show.ContrastBrightness));
    if (show.ownShape && show.AspectMode >= MinOwnShape && show.AspectMode <= 0xFFFF)
        Put32(buffer + pos + ShapeOffset, ShapeMark << 16 | static_cast<uint32_t>(show.AspectMode));

    Put16(buffer, ShowMagic);
    Put16(buffer + 2, showId);
    Put32(buffer + 4, S);
    return S;
}

void MarkShowSaved(Show& show, uint16_t showId) {
    DoubleLoneKeys(show);
    show.pictures[0].keys[0].stamp = ShowFormatVersion;
    for (int p = 0; p < SavedPictures(show); ++p)
        show.pictures[p].keys[0].showLength = static_cast<float>(show.length);
    show.showId = showId;
    show.dirty = false;
}

uint32_t Serialise(Show& show, uint8_t* buffer) {
    if (!buffer) {
        DoubleLoneKeys(show);
        show.pictures[0].keys[0].stamp = ShowFormatVersion;
        return BuildShowBlock(show, show.showId, nullptr);
    }
    const uint16_t id = NewShowId(show);
    const uint32_t S = BuildShowBlock(show, id, buffer);
    MarkShowSaved(show, id);
    return S;
}

bool Parse(Show& show, const uint8_t* block, uint32_t size, bool render) {
    ParsedBlock parsed;
    if (!ReadBlock(block, size, show.EaseType, parsed)) return false;

    show.BorderSize = 0;
    show.PreBlur = 0;
    show.ContrastBrightness = 0x3232;
    if (parsed.pictures > 0) {
        Picture& pic = show.pictures[0];
        pic.fileSpec = parsed.picture.fileSpec;
        pic.keyCount = parsed.picture.keyCount;
        pic.uprightOrientation = parsed.picture.uprightOrientation;
        std::memcpy(pic.keys, parsed.picture.keys, sizeof pic.keys);
        // The picture record stands even when its file cannot be loaded below, so that the
        // keys are saved again rather than lost.
        show.pictureCount = parsed.pictures;
        // The one picture of a show starts at frame 0, whatever the block says.
        pic.keys[0].pictureStart = 0.0f;
    }
    if (parsed.hasAudio) show.audio = parsed.audio;
    if (parsed.trailer) {
        show.MatteColor = parsed.matte;
        show.BorderSize = parsed.border >= 100 ? 100 : parsed.border < 0 ? -1 : parsed.border;
        show.PreBlur = parsed.preBlur;
        // The stored VideoColors is not used: the settings file's value stays in force.
        if (parsed.contrastField) show.ContrastBrightness = parsed.contrastBrightness;
    }
    // The show's own shape wins over the program's setting, except for a host, which hands
    // its own shape in through "AspectMode".
    if (show.requiredShape) {
        SetOwnShape(show, show.requiredShape);
    } else if (parsed.ownShape && !show.hostMode) {
        SetOwnShape(show, parsed.ownShape);
    } else if (show.ownShape) {
        show.ownShape = false;
        show.AspectMode = show.settingsAspectMode;
        show.aspect = AspectOf(show.AspectMode);
    }

    const ShowLoadSteps* steps = g_loadSteps.load();
    for (int p = 0; p < parsed.pictures && steps && steps->preparePicture; ++p) {
        const FileSpec fileSpec = show.pictures[p].fileSpec;
        steps->preparePicture(show, fileSpec, p, show.PictureStart(p));
    }

    show.showId = parsed.showId;
    show.dirty = false;
    show.undoIndex = -1;
    show.undoCount = 0;
    show.redoCount = 0;

    if (render) {
        CameraAtFrame(show, 0, false);
        if (ParseRenderHook hook = g_renderHook.load()) {
            hook(show, 0);
        } else if (steps && steps->renderFirstFrame) {
            steps->renderFirstFrame(show);
        }
    }
    show.rotationInUse = show.RotationInUse(0);
    if (show.RescaleShow) {
        // The stored length is a float from the file: only a length the show can have is used,
        // and keys are held within it (as every saved show has them) so that rescaled times
        // stay within the new length.
        const float stored = show.pictures[0].keys[0].showLength;
        if (stored >= 1.0f &&
            stored <= static_cast<float>(std::numeric_limits<int32_t>::max() / 2)) {
            const auto oldLength = static_cast<int32_t>(stored);
            Picture& pic = show.pictures[0];
            for (int k = 0; k < pic.keyCount; ++k)
                pic.keys[k].time = std::clamp(pic.keys[k].time, 0, oldLength);
            show.RescaleTimes(oldLength, show.length);
        }
    }
    show.ClipToLength(show.length);
    return true;
}

namespace {

// Reads and parses a show file. With `ownFolder` the show's pictures are also looked for in the
// file's folder (a show file the user keeps); without it (the exchange file in the public
// folder) only where the stored path and the alternative image folder say.
bool LoadShowFile(Show& show, const std::string& path, bool render, ShowLoadError* why,
                  bool ownFolder) {
    if (why) *why = ShowLoadError::None;
    std::vector<uint8_t> buffer;
    if (!ReadShowFile(path, buffer, why)) return false;
    show.Reset();
    // Before Parse: the pictures are loaded while the block is read.
    if (ownFolder) show.showFolder = FolderOfShowFile(path);
    if (!Parse(show, buffer.data(), static_cast<uint32_t>(buffer.size()), render)) {
        show.showFolder.clear();
        if (why) *why = ShowLoadError::NotAShow;
        return false;
    }
    show.showFile.SetPath(path.c_str());
    return true;
}

}  // namespace

bool LoadShow(Show& show, const std::string& path, bool render, ShowLoadError* why) {
    return LoadShowFile(show, path, render, why, true);
}

bool LoadShowLocatingPicture(Show& show, const std::string& path, bool render, ShowLoadError* why) {
    return LoadShowFile(show, path, render, why, true);
}

bool SaveShow(Show& show, const std::string& path, std::string* error) {
    if (!SaveShowBytes(show, path, ShowSaveBufferBytes, error)) return false;
    show.showFile.SetPath(path.c_str());
    return true;
}

std::string ExchangePath() {
    return PublicPath(ExchangeFileName);
}

bool LoadExchangeFile(Show& show, bool render) {
    return LoadShowFile(show, ExchangePath(), render, nullptr, false);
}

bool SaveExchangeFile(Show& show) {
    return SaveShowBytes(show, ExchangePath(), ExchangeBufferBytes);
}

bool SwapShowByteOrder(uint8_t* block, uint32_t size) {
    if (!block || size < HeaderBytes) return false;
    const BlockReader r{block, false};
    if (r.U16(0) != ShowMagic) return false;
    const uint32_t S = r.U32(4);
    if (S < HeaderBytes + TrailerBytes || S > size) return false;
    // Check the layout first so that a bad block is left as it was.
    std::vector<uint32_t> records;
    uint32_t pos = HeaderBytes;
    while (pos + RecordBytes <= S - TrailerBytes) {
        const uint32_t n = r.U32(pos + CountOffset);
        if (n > static_cast<uint32_t>(MaxKeysPerPicture)) return false;
        if (pos + RecordBytes + KeyBytes * n > S - TrailerBytes) return false;
        records.push_back(pos);
        pos += RecordBytes + KeyBytes * n;
    }
    auto swap = [&](uint32_t at, int bytes) { std::reverse(block + at, block + at + bytes); };
    for (uint32_t at : records) {
        const uint32_t n = r.U32(at + CountOffset);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t kat = at + RecordBytes + k * KeyBytes;
            for (uint32_t f = 0; f < 13; ++f) swap(kat + 4 * f, 4);
            swap(kat + 52, 2);
            swap(kat + 54, 2);
        }
        swap(at + CountOffset, 4);
    }
    const uint32_t t = S - TrailerBytes;
    swap(t, 4);
    swap(t + 4, 4);
    swap(t + 8, 4);
    swap(t + 12, 2);
    swap(t + 14, 2);
    swap(t + ShapeOffset, 4);  // the show's own shape, when it has one
    swap(0, 2);
    swap(2, 2);
    swap(4, 4);
    return true;
}

}  // namespace kv
