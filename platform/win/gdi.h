// Device contexts and drawing: a GDI-like software rasteriser over 32-bit BGRA surfaces.
//
// A device context draws into a window's surface (clipped to its client area, with the client
// origin at (0, 0)) or into a memory bitmap. Shapes are aliased like GDI's: rectangles and fills
// exclude their right and bottom edges, lines exclude their last point, and each primitive first
// builds a coverage mask and then applies it once, so an inverting raster operation (R2_NOT)
// touches every pixel of a shape exactly once and a second draw restores the picture. Text is
// rendered through FreeType with the face fontconfig gives for the requested family.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/dib.h"
#include "platform/os/geometry.h"

namespace kv {

struct Window;
struct GdiObject;
struct DeviceContext;
using HDC = DeviceContext*;
using HWND = Window*;
using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;
using HFONT = GdiObject*;
using HBITMAP = GdiObject*;
using COLORREF = uint32_t;
struct POINT;

enum : int {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5
};
enum : int { R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_NOP = 11, R2_COPYPEN = 13, R2_WHITE = 16 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : uint32_t {
    TA_LEFT = 0,
    TA_TOP = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24
};
enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
enum : uint32_t { SRCCOPY = 0x00CC0020, SRCINVERT = 0x00660046, NOTSRCCOPY = 0x00330008 };
enum : int { FW_NORMAL = 400, FW_MEDIUM = 500, FW_BOLD = 700 };
enum : int { NULL_BRUSH = 5, NULL_PEN = 8, BLACK_PEN = 7, WHITE_BRUSH = 0, BLACK_BRUSH = 4 };
enum : int { FF_ROMAN = 0x10, FF_SWISS = 0x20 };

// What SaveDC keeps: the selected pen, brush and font and the clip.
struct SavedDcState {
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    Rect clip{0, 0, 0, 0};
};

// A device context. Drawing state is public so that the layer's own drawing code can reach it;
// callers use the functions below.
struct DeviceContext {
    uint32_t* pixels = nullptr;  // the target surface, top-down rows
    int stride = 0;              // pixels per row
    int surfaceWidth = 0, surfaceHeight = 0;
    int originX = 0, originY = 0;  // surface position of logical (0, 0)
    Rect clip{0, 0, 0, 0};         // in surface coordinates
    HWND window = nullptr;         // owning window (marks it changed), or null for memory DCs
    HBITMAP bitmap = nullptr;      // selected bitmap of a memory DC
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    int rop2 = R2_COPYPEN;
    int bkMode = OPAQUE;
    COLORREF bkColor = 0xFFFFFF;
    COLORREF textColor = 0;
    uint32_t textAlign = TA_LEFT | TA_TOP;
    int stretchMode = BLACKONWHITE;
    int curX = 0, curY = 0;
    std::vector<SavedDcState> saved;  // SaveDC's stack
};

HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
struct PAINTSTRUCT {
    HDC hdc = nullptr;
    Rect rcPaint{0, 0, 0, 0};
};
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC CreateCompatibleDC(HDC hdc);
bool DeleteDC(HDC hdc);

HPEN CreatePen(int style, int width, COLORREF colour);
HBRUSH CreateSolidBrush(COLORREF colour);
HGDIOBJ GetStockObject(int which);
// A font of the given family: height < 0 asks for that character height in pixels.
HFONT CreateFont(int height, int weight, bool italic, bool underline, int pitchAndFamily,
                 const std::string& face);
// A 32-bit bitmap; bits (top-down BGRA) may be null.
HBITMAP CreateBitmap32(int width, int height, const uint32_t* bits);
bool GetBitmapSize(HBITMAP bitmap, int* width, int* height);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
bool DeleteObject(HGDIOBJ obj);
// Live GDI objects (a leak check for tests).
int GdiObjectCount();

// Pushes the selected pen, brush and font and the clip; returns the new depth (1 for the first).
int SaveDC(HDC hdc);
// Pops back to the state SaveDC returned `level` for (that state comes back and the level ends).
bool RestoreDC(HDC hdc, int level);
// Narrows the clip to the rectangle (logical coordinates); the clip never grows here.
bool IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
// The clip in logical coordinates.
bool GetClipBox(HDC hdc, Rect* box);

int SetROP2(HDC hdc, int rop);
int GetROP2(HDC hdc);
int SetBkMode(HDC hdc, int mode);
COLORREF SetBkColor(HDC hdc, COLORREF colour);
COLORREF SetTextColor(HDC hdc, COLORREF colour);
uint32_t SetTextAlign(HDC hdc, uint32_t align);
int SetStretchBltMode(HDC hdc, int mode);

bool MoveToEx(HDC hdc, int x, int y, POINT* old);
bool LineTo(HDC hdc, int x, int y);
bool Polyline(HDC hdc, const POINT* pts, int count);
bool Polygon(HDC hdc, const POINT* pts, int count);
bool Rectangle(HDC hdc, int l, int t, int r, int b);
bool RoundRect(HDC hdc, int l, int t, int r, int b, int cw, int ch);
bool Ellipse(HDC hdc, int l, int t, int r, int b);
int FillRect(HDC hdc, const Rect* r, HBRUSH brush);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour);
COLORREF GetPixel(HDC hdc, int x, int y);  // 0xFFFFFFFF outside

bool TextOut(HDC hdc, int x, int y, const std::string& text);
struct SIZE {
    int cx = 0, cy = 0;
};
bool GetTextExtentPoint32(HDC hdc, const std::string& text, SIZE* size);
// Ascent and full line height of the selected font.
void GetTextMetrics(HDC hdc, int* ascent, int* height);

// Copies a DIB (8, 16, 24 or 32 bits; bottom-up when the header height is positive, its source
// origin then at the lower-left corner) to the DC, stretching by nearest neighbour. Negative
// destination sizes mirror.
int StretchDIBits(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                  const void* bits, const BitmapInfo* info);
bool BitBlt(HDC dst, int dx, int dy, int w, int h, HDC src, int sx, int sy, uint32_t rop);

// Writes 32-bit BGRA pixels (top-down) as an RGB PNG file.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height);

}  // namespace kv
