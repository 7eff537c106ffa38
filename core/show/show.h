// Show: the document both deliverables work on — one picture, its camera keys, the show-wide
// picture treatments and an optional sound-file reference.
//
// The model operations live here; camera motion (camera_motion.h), the show file
// (show_file.h), show editing (show_editing.h), picture preparation and rendering
// (core/render) are further operations on the same object.
//
// The editor-wide values FrameRate and currentFrame are carried by each Show rather than by
// globals, so that the plug-in's render contexts, each with its own show, can render from
// several host threads at once.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/records.h"
#include "core/picture/cdib.h"
#include "core/show/show_options.h"

namespace kv {

class Settings;

class Show : public ShowOptions {
public:
    // New-show state with the show-wide values a store without those keys gives; reads no
    // settings, so a show made in a library or a test does not depend on a process's store.
    Show();
    // New-show state, then the show-wide settings of the owner's store (ApplySettings).
    explicit Show(const Settings& settings);
    Show(const Show&) = delete;
    Show& operator=(const Show&) = delete;

    // Reads the show-wide keys ("EaseType" … "AutoAddKey", "FrameRate") from a settings store.
    void ApplySettings(const Settings& settings);

    // Every field alike, the image buffers' pixels and marks included.
    bool operator==(const Show& other) const;

    // The show-wide options as one record.
    ShowOptions& Options() { return *this; }
    const ShowOptions& Options() const { return *this; }

    // --- Model operations -----------------------------------------------------------------
    void Reset();  // New Show
    void GetKey(int key, int picture, KeyFrame& out) const;
    void SetKey(int key, int picture, const KeyFrame& k);
    int32_t PictureStart(int picture) const;
    // The start frame of the last picture plus the time of that picture's last key: where the
    // show ends, and how many frames a movie of it holds.
    int32_t EndFrame() const;
    void SetPictureStart(int picture, int32_t frame);
    int PictureAt(int32_t frame) const;
    int KeyNear(int32_t frame) const;
    void SortKeys(int picture);
    void DeletePicture(int picture);
    void ExchangePictures(int a, int b);
    bool RescaleTimes(int32_t oldLength, int32_t newLength);
    bool ClipToLength(int32_t length);
    void ClearEaseCodes();
    bool RotationInUse(int picture) const;
    // The model side of loading a picture file into a slot (reframes a lone first key).
    void PictureLoaded(int index, const FileSpec& fileSpec, bool succeeded, int32_t width,
                       int32_t height);
    int KeyCount(int picture) const;

    // One second in frames at the show's frame rate.
    int32_t OneSecond() const { return (FrameRate + 50) / 100; }

    // --- Image buffers --------------------------------------------------------------------
    CDIB image{8, 8, 24};    // the prepared picture the renderer reads
    CDIB image2{16, 16, 8};  // a second working image owned by the show
    bool rotationInUse = false;

    // --- Document -------------------------------------------------------------------------
    // Whether the show has changes not saved. Set only through MarkChanged: the edit history
    // marks a person's change, and the operations on the show mark their own for the programs
    // that edit without a history.
    bool dirty = false;
    void MarkChanged() { dirty = true; }
    // The show-wide options (aspect, ownShape, ease, render options, treatments) are the
    // ShowOptions this show derives from. settingsAspectMode is the program's "AspectMode"
    // setting, which a show without a shape of its own (ownShape) takes.
    int32_t settingsAspectMode = 7500;
    // A shape a program asks every show it loads to take, over the file's own (0 for none).
    int32_t requiredShape = 0;
    int32_t length = DefaultShowLength;
    int32_t pictureCount = 0;
    Picture pictures[MaxPictures + 1];  // the extra slot is scratch space for exchanges
    uint16_t showId = 0;
    FileSpec audio;
    FileSpec showFile;
    // The folder of the show file this show was loaded from, where its picture is looked for
    // when the stored path does not lead to it (core/show/picture_lookup.h); empty for a new
    // show and for one that came from the exchange file or the host.
    std::string showFolder;

    // --- Editing state --------------------------------------------------------------------
    KeyFrame clipboard{};
    int32_t selectedKey = 0;
    int32_t undoIndex = -1;
    int32_t undoCount = 0;
    int32_t redoCount = 0;
    UndoRecord undo[UndoDepth] = {};
    int32_t preparedPicture = 0;  // which picture the image buffers hold (-1 none)
    int32_t preparedPicture2 = -1;
    int32_t lastLoadResult = 1;  // result of the last picture load (1 success, 2 placeholder)

    // --- Program-wide settings the show carries (not the show's: see show_options.h) -------
    bool RescaleShow = false;
    bool ShowPicError = true;
    bool AutoAddKey = true;
    // Whether a picture newly loaded into the show is turned upright by its EXIF orientation.
    bool UsePictureOrientation = true;
    bool MultiProcess = false;
    int32_t MultiProcOffset = 0;
    FileSpec AltImageFolder;
    bool GdiplusHasJpegDecoder = true;  // JPEG and PNG decoding is always built in
    bool hostMode = false;

    // --- Editor-wide values (see the file comment) ----------------------------------------
    int32_t FrameRate = 2997;
    int32_t currentFrame = 0;

private:
    bool ValidPicture(int picture) const { return picture >= 0 && picture < MaxPictures; }
};

// Aspect (height / width) of an AspectMode: the mode rounded down to a multiple of 5, / 10000.
float AspectOf(int32_t aspectMode);

// The AspectMode of a shape named "16:9", "9:16", "1:1", "4:5", "4:3" or "W:H" (whole numbers
// above 0): height / width x 10000, rounded down to a multiple of 5 (9:16 is 17775). False for
// anything else, or a shape outside 1000..65535 (1:10 to 6.5:1 tall).
bool AspectModeFromText(const std::string& text, int32_t& aspectMode);
// Makes the shape the show's own.
void SetOwnShape(Show& show, int32_t aspectMode);

}  // namespace kv
