// Cursors: the system cursors by their IDC_* number, cursors made from images, and the shape
// currently shown. The backends read the image table to draw cursors of their own.
#include "platform/win/internal.h"

namespace kv {

namespace {

// Cursors made from images live as long as the program (handles are indices into it); the UI
// thread's alone.
std::vector<CursorImage>& CursorTable() {
    static std::vector<CursorImage> t;
    return t;
}
// The one shape on screen, as the backend was last told; the UI thread's alone.
HCURSOR g_cursor = IDC_ARROW;

}  // namespace

HCURSOR LoadSystemCursor(int idc) {
    return idc;
}

HCURSOR CreateCursorFromImage(const CursorImage& image) {
    CursorTable().push_back(image);
    return static_cast<HCURSOR>(CursorTable().size());  // 1.. (system ids start at 32512)
}

const CursorImage* CursorImageOf(HCURSOR c) {
    if (c >= 1 && c <= static_cast<HCURSOR>(CursorTable().size())) return &CursorTable()[c - 1];
    return nullptr;
}

int SystemCursorOf(HCURSOR c) {
    return c >= IDC_ARROW ? static_cast<int>(c) : 0;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old = g_cursor;
    if (cursor != g_cursor) {
        g_cursor = cursor;
        TheBackend().SetCursorShape(cursor);
    }
    return old;
}

HCURSOR GetCurrentCursor() {
    return g_cursor;
}

}  // namespace kv
