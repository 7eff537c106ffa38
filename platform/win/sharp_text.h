// Text drawn sharp on a dense display. The window layer draws in logical pixels and the backend
// enlarges each window's picture to device pixels, which would make every glyph a blocky copy of
// its small self. Instead, each text a window DC draws is noted (where it lies, the pixels under
// it before and after, the font and the words); when the backend enlarges the picture it draws
// every noted text that is still shown as it was, again at device pixels with the font that many
// times higher, over its enlarged background.
//
// A note counts only while the window's pixels in its box are exactly those the text left there:
// anything drawn over it since (a fill, other text, a caret, a covering child) makes the backend
// keep the plain enlargement there, so text that is gone never comes back.
//
// Off (and free) unless the backend turned it on with a factor other than 1. UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/gdi.h"
#include "platform/win/internal.h"
#include "platform/win/text_render.h"

namespace kv {

// Turns noting on for a factor other than 1; 1 turns it off and forgets every note.
void SetSharpTextScale(double factor);
double SharpTextScale();

// A text being drawn: begun after its background (an opaque fill) and before its glyphs, ended
// after them. Null when noting is off or the DC draws into no window.
struct PendingText;
struct PendingTextDeleter {
    void operator()(PendingText* p) const;
};
using PendingTextPtr = std::unique_ptr<PendingText, PendingTextDeleter>;
PendingTextPtr BeginTextNote(HDC hdc, const FontSpec& font, const std::string& text,
                             const TextRun& run, int left, int baseline);
void EndTextNote(PendingTextPtr pending);
// Still-kept notes of a window (for tests), and forgetting them with the window.
size_t TextNoteCount(const Window* w);
void ForgetTextNotes(const Window* w);

// A 32-bit picture drawn smaller than it is, by no more than the factor (a view that rendered
// its picture at device pixels and drew it into its logical place): called after the logical
// drawing, it keeps the source, and the backend shows it one source pixel per device pixel
// wherever the window still shows what this drawing left. Does nothing for any other drawing.
void NotePicture(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                 const void* bits, const BitmapInfo* info);
size_t PictureNoteCount(const Window* w);

// Draws the noted pictures and texts of a top-level window and its children that are still shown
// into the enlarged picture `device` (dw x dh, the enlargement of `composed`, fw x fh, by
// ScaleNearest). Returns how many texts and pictures were drawn at device pixels. With clips
// (boxes of composed coordinates) only the device pixels showing logical pixels inside them are
// written, and they come out as the whole picture's would where the enlargement under them is
// fresh. The pictures named in `filled` (by their marks' ids) lay the enlargement themselves where
// their window no longer shows them: the caller left it out under them, as nothing drawn before
// them meets them.
int SharpenText(const Window* top, const uint32_t* composed, int fw, int fh, uint32_t* device,
                int dw, int dh, const std::vector<Rect>* clips = nullptr,
                const std::vector<uint64_t>* filled = nullptr);

// Where a noted text or picture of a top-level window may draw in its composed picture: the note
// (its own number), its place (a text's box, a picture's whole destination) and the part of it
// that shows inside its window. Two marks equal for two composed pictures of the same size mean
// the note draws the same device pixels over both wherever their logical pixels agree (and, for
// a text, over its whole box when all of the box agrees).
struct NoteMark {
    uint64_t id = 0;
    Rect place{0, 0, 0, 0};
    Rect shown{0, 0, 0, 0};
    bool text = false;
    bool operator==(const NoteMark& o) const {
        return id == o.id && text == o.text && place.left == o.place.left &&
               place.top == o.place.top && place.right == o.place.right &&
               place.bottom == o.place.bottom && shown.left == o.shown.left &&
               shown.top == o.shown.top && shown.right == o.shown.right &&
               shown.bottom == o.shown.bottom;
    }
};
// The marks of the notes SharpenText would consider for a composed picture fw x fh of `top`, in
// the order it draws them; notes drawn over since are forgotten on the way, as SharpenText does.
std::vector<NoteMark> NoteMarks(const Window* top, int fw, int fh);

}  // namespace kv
