// The toolkit over the window layer: start and stop, the window registry, CPWnd, the drawing and
// widget primitives on the current DC, fonts, cursors, menus, the text-entry and file dialogs,
// and the edit field.
//
// Every primitive makes the pen or brush it needs, selects it, draws, and puts back and deletes
// what it made, so the current DC is left as it was found.
#include "editor/ui/toolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/show/settings.h"
#include "editor/resources/resources.h"

namespace kv {

namespace {

struct ToolkitState {
    void* instance = nullptr;
    int iconId = 0;
    char appName[64] = {};
    HDC currentDC = nullptr;
    HFONT savedFont = nullptr;
    ToolkitFonts fonts;
    POINT workEdge{0, 0};
    int registryCount = 0;
    HWND registry[MaxRegisteredWindows] = {};
    HCURSOR lastCursor = 0;
    HWND mainWindow = nullptr;
    uint32_t randomState = 1;
};

ToolkitState& T() {
    static ToolkitState t;
    return t;
}

void CopyCut(char* dest, const char* src, size_t max) {
    std::strncpy(dest, src ? src : "", max);
    dest[max] = 0;
}

}  // namespace

// --- Start and stop ------------------------------------------------------------------------------
bool StartToolkit(void* instance, const char* applicationName, int iconId) {
    ToolkitState& t = T();
    t.instance = instance;
    t.iconId = iconId;
    CopyCut(t.appName, applicationName, 63);
    if (!t.fonts.f8) {
        t.fonts.f8 = MakeFont("Sans", 8, 0);
        t.fonts.f10 = MakeFont("Sans", 10, 0);
        t.fonts.f12 = MakeFont("Sans", 12, 0);
        t.fonts.f13Bold = MakeFont("Sans", 13, FontBold);
        t.fonts.f20 = MakeFont("Sans", 20, 0);
    }
    RECT work = GetWorkArea();
    t.workEdge = POINT{work.right, work.bottom};
    t.registryCount = 0;
    TheSettings().Load();
    InstallAlertMessageBoxes();
    return true;
}

void StopToolkit() {
    ToolkitState& t = T();
    for (HFONT* f : {&t.fonts.f8, &t.fonts.f10, &t.fonts.f12, &t.fonts.f13Bold, &t.fonts.f20}) {
        DeleteObject(*f);
        *f = nullptr;
    }
    TheSettings().Save();
}

const char* ApplicationName() {
    return T().appName;
}
int ApplicationIconId() {
    return T().iconId;
}
const ToolkitFonts& Fonts() {
    return T().fonts;
}
POINT WorkAreaEdge() {
    return T().workEdge;
}
void SetMainWindowHandle(HWND hwnd) {
    T().mainWindow = hwnd;
}
HWND MainWindowHandle() {
    return T().mainWindow;
}

// --- Registry and random numbers ---------------------------------------------------------------
void RegisterWindowHandle(HWND hwnd) {
    ToolkitState& t = T();
    if (t.registryCount < MaxRegisteredWindows) t.registry[t.registryCount++] = hwnd;
}

void UnregisterWindowHandle(HWND hwnd) {
    ToolkitState& t = T();
    for (int i = 0; i < t.registryCount; ++i)
        if (t.registry[i] == hwnd) {
            std::memmove(&t.registry[i], &t.registry[i + 1],
                         sizeof(HWND) * (t.registryCount - i - 1));
            --t.registryCount;
            return;
        }
}

bool IsWindowRegistered(HWND hwnd) {
    ToolkitState& t = T();
    if (!hwnd) return false;
    for (int i = 0; i < t.registryCount; ++i)
        if (t.registry[i] == hwnd) return true;
    return false;
}

int RegisteredWindowCount() {
    return T().registryCount;
}

int32_t NextRandom() {
    T().randomState = T().randomState * 214013u + 2531011u;
    return static_cast<int32_t>((T().randomState >> 16) & 0x7FFF);
}

void SeedRandom(uint32_t seed) {
    T().randomState = seed;
}

// --- Messages and time ---------------------------------------------------------------------------
namespace {

MessageRecord ToRecord(const MSG& m) {
    MessageRecord r;
    r.window = m.hwnd;
    r.message = m.message;
    r.wParam = m.wParam;
    r.lParam = static_cast<int64_t>(static_cast<int32_t>(m.lParam & 0xFFFFFFFF));
    // Messages that carry pointers keep their full width.
    if (m.message == WM_SETTEXT || m.message == WM_GETTEXT) r.lParam = m.lParam;
    r.time = m.time;
    r.x = m.pt.x;
    r.y = m.pt.y;
    return r;
}

}  // namespace

bool PeekMessageRecord(MessageRecord* out) {
    MSG m;
    if (!PeekMessage(&m, PM_REMOVE)) return false;
    *out = ToRecord(m);
    if (m.message == WM_QUIT) PostQuitMessage(static_cast<int>(m.wParam));
    return m.message != WM_QUIT;
}

bool GetMessageRecord(MessageRecord* out) {
    MSG m;
    bool ok = GetMessage(&m);
    *out = ToRecord(m);
    return ok;
}

void DispatchMessageRecord(const MessageRecord& rec) {
    MSG m;
    m.hwnd = rec.window;
    m.message = rec.message;
    m.wParam = rec.wParam;
    m.lParam = rec.lParam;
    m.time = rec.time;
    m.pt = POINT{rec.x, rec.y};
    TranslateMessage(&m);
    DispatchMessage(&m);
}

bool PostWindowMessage(HWND hwnd, uint32_t message, uint64_t wParam, int64_t lParam) {
    return PostMessage(hwnd, message, wParam, lParam);
}

bool DispatchIfRegistered(const MessageRecord& rec) {
    if (!rec.window || !IsWindowRegistered(rec.window)) {
        // Unregistered windows still need their paint validated, or it would come back forever.
        if (rec.message == WM_PAINT && rec.window) ValidateRect(rec.window, nullptr);
        return false;
    }
    DispatchMessageRecord(rec);
    return true;
}

void Beep(uint32_t type) {
    MessageBeep(type);
}
int64_t Counter() {
    return QueryPerformanceCounter();
}
int64_t CounterFrequency() {
    return QueryPerformanceFrequency();
}
uint32_t Ticks() {
    return GetTickCount();
}
bool IsKeyDown(int virtualKey) {
    return GetKeyState(virtualKey) < 0;
}

// --- CPWnd ---------------------------------------------------------------------------------------
uint32_t WindowStyleOf(uint32_t flags) {
    uint32_t s = 0;
    if (flags & WinBorder) s |= WS_BORDER;
    if (flags & WinPopup) s |= WS_POPUP;
    if (flags & WinSizing) s |= WS_THICKFRAME;
    if (flags & WinCaption) s |= WS_CAPTION;
    if (flags & WinSysMenu) s |= WS_SYSMENU;
    if (flags & WinHScroll) s |= WS_HSCROLL;
    if (flags & WinVScroll) s |= WS_VSCROLL;
    if (flags & WinOverlapped) s |= WS_OVERLAPPEDWINDOW;
    if (flags & WinNoMinimize) s |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX;
    if (flags & WinUnregistered) s |= 0x22;
    return s;
}

CPWnd::~CPWnd() {
    if (hwnd) DestroyWin();
}

bool CPWnd::OnMessage(uint32_t, uint64_t, int64_t) {
    return true;
}
void CPWnd::Redraw() {}

bool CPWnd::CreateWin(HWND parent, uint32_t flags, WNDPROC proc) {
    // Class names come from the program's generator; a number already in use is skipped, so
    // every window gets its own class (at most 32768 live classes).
    bool registered = false;
    for (int attempt = 0; attempt < 32768 && !registered; ++attempt) {
        std::snprintf(className, sizeof className, "Win%ld", static_cast<long>(NextRandom()));
        registered = RegisterClass(className, proc, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                                   T().iconId, LoadSystemCursor(IDC_ARROW));
    }
    if (!registered) {
        className[0] = 0;
        return false;
    }
    hwnd = CreateWindowEx(0, className, "", WindowStyleOf(flags), 0, 0, 0, 0, parent, 0);
    if (!hwnd) {
        UnregisterClass(className);
        className[0] = 0;
        return false;
    }
    m_baseOnly = false;
    if (!(flags & WinUnregistered)) RegisterWindowHandle(hwnd);
    return true;
}

void CPWnd::DestroyWin() {
    m_baseOnly = true;
    if (!hwnd) return;
    HWND h = hwnd;
    UnregisterWindowHandle(h);
    DestroyWindow(h);
    UnregisterClass(className);
    hwnd = nullptr;
}

int64_t CPWnd::Route(CPWnd* object, HWND h, uint32_t message, uint64_t wParam, int64_t lParam) {
    int64_t lp = (message == WM_SETTEXT || message == WM_GETTEXT)
                     ? lParam
                     : static_cast<int64_t>(static_cast<int32_t>(lParam & 0xFFFFFFFF));
    if (object && object->hwnd == h) {
        if (object->m_baseOnly)
            object->CPWnd::OnMessage(message, wParam, lp);
        else
            object->OnMessage(message, wParam, lp);
    }
    return DefWindowProc(h, message, wParam, lParam);
}

void CPWnd::MoveTo(const Rect& r, bool repaint) {
    MoveWindow(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}

void CPWnd::MoveTo(int left, int top, int right, int bottom, bool repaint) {
    MoveWindow(hwnd, left, top, right - left, bottom - top, repaint);
}

void CPWnd::PlaceOnTop(HWND other, bool show) {
    SetWindowOrder(hwnd, other, other == nullptr);
    if (show) ShowWindow(hwnd, SW_SHOW);
}

Rect CPWnd::GetWindowRect() const {
    Rect r{0, 0, 0, 0};
    kv::GetWindowRect(hwnd, &r);
    return r;
}

Rect CPWnd::GetClientRect() const {
    Rect r{0, 0, 0, 0};
    kv::GetClientRect(hwnd, &r);
    return r;
}

void CPWnd::SetTitle(const char* text) {
    SetWindowText(hwnd, text ? text : "");
}

void CPWnd::Show(int mode) {
    ShowWindow(hwnd, mode == 0 ? SW_HIDE : mode == 2 ? SW_MAXIMIZE : SW_SHOW);
}

int CPWnd::MenuBarHeight() {
    return GetSystemMetrics(SM_CYMENU);
}
int CPWnd::HScrollBarHeight() {
    return GetSystemMetrics(SM_CYHSCROLL);
}
int CPWnd::CaptionHeight() {
    return GetSystemMetrics(SM_CYCAPTION);
}

void CPWnd::SetScrollRanges(int hMax, int vMax, int hPage, int vPage, bool redraw) {
    SCROLLINFO h, v;
    h.nMax = hMax;
    h.nPage = static_cast<unsigned>(std::max(0, hPage));
    v.nMax = vMax;
    v.nPage = static_cast<unsigned>(std::max(0, vPage));
    SetScrollInfo(hwnd, SB_HORZ, h, redraw);
    SetScrollInfo(hwnd, SB_VERT, v, redraw);
}

void CPWnd::ShowScrollBars(bool h, bool v) {
    ShowScrollBar(hwnd, SB_HORZ, h);
    ShowScrollBar(hwnd, SB_VERT, v);
}

void CPWnd::SetHScrollPos(int pos, bool redraw) {
    SetScrollPos(hwnd, SB_HORZ, pos, redraw);
}
void CPWnd::SetVScrollPos(int pos, bool redraw) {
    SetScrollPos(hwnd, SB_VERT, pos, redraw);
}
int CPWnd::GetHScrollPos() const {
    return GetScrollPos(hwnd, SB_HORZ);
}
int CPWnd::GetVScrollPos() const {
    return GetScrollPos(hwnd, SB_VERT);
}

void CPWnd::HandleScroll(uint32_t message, int request, int lineStep) {
    bool horizontal = message == WM_HSCROLL;
    int bar = horizontal ? SB_HORZ : SB_VERT;
    SCROLLINFO si;
    if (!GetScrollInfo(hwnd, bar, &si)) return;
    Rect c = GetClientRect();
    int page = horizontal ? c.right - c.left : c.bottom - c.top;
    int pos = si.nPos;
    switch (request) {
        case SB_LINEUP:
            pos -= lineStep;
            break;
        case SB_LINEDOWN:
            pos += lineStep;
            break;
        case SB_PAGEUP:
            pos -= page;
            break;
        case SB_PAGEDOWN:
            pos += page;
            break;
        case SB_THUMBTRACK:
            pos = si.nTrackPos;
            break;
        default:
            return;
    }
    SetScrollPos(hwnd, bar, pos, true);
    Redraw();
}

HDC CPWnd::BeginDraw() {
    if (m_dc) return m_dc;
    m_dc = GetDC(hwnd);
    m_previousDC = SetCurrentDC(m_dc);
    return m_dc;
}

void CPWnd::EndDraw() {
    if (!m_dc) return;
    if (CurrentDC() == m_dc) SetCurrentDC(m_previousDC);
    ReleaseDC(hwnd, m_dc);
    m_dc = nullptr;
    m_previousDC = nullptr;
}

// --- Current DC and primitives -------------------------------------------------------------------
HDC CurrentDC() {
    return T().currentDC;
}

HDC SetCurrentDC(HDC hdc) {
    HDC old = T().currentDC;
    T().currentDC = hdc;
    return old;
}

namespace {

// Selects a pen and a brush for one primitive and puts the DC back afterwards.
class DrawObjects {
public:
    DrawObjects(HDC dc, HPEN pen, HBRUSH brush, int rop = 0)
        : m_dc(dc), m_pen(pen), m_brush(brush) {
        m_oldPen = SelectObject(dc, pen ? pen : GetStockObject(NULL_PEN));
        m_oldBrush = SelectObject(dc, brush ? brush : GetStockObject(NULL_BRUSH));
        if (rop) m_oldRop = SetROP2(dc, rop);
    }
    ~DrawObjects() {
        SelectObject(m_dc, m_oldPen);
        SelectObject(m_dc, m_oldBrush);
        if (m_oldRop) SetROP2(m_dc, m_oldRop);
        if (m_pen) DeleteObject(m_pen);
        if (m_brush) DeleteObject(m_brush);
    }

private:
    HDC m_dc;
    HPEN m_pen;
    HBRUSH m_brush;
    HGDIOBJ m_oldPen = nullptr, m_oldBrush = nullptr;
    int m_oldRop = 0;
};

}  // namespace

void FrameBox(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void FillBox(COLORREF colour, const Rect& r) {
    HDC dc = CurrentDC();
    if (!dc) return;
    HBRUSH b = CreateSolidBrush(colour);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void FrameRoundBox(COLORREF colour, const Rect& r, int corner, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, colour), nullptr);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
}

void FillRoundBox(COLORREF colour, const Rect& r, int corner) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, nullptr, CreateSolidBrush(colour));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, corner, corner);
}

void FrameOval(COLORREF colour, const Rect& r, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void FillOval(COLORREF colour, const Rect& r) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, nullptr, CreateSolidBrush(colour));
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void DrawLine(COLORREF colour, const Rect& p, int penWidth, int penStyle) {
    DrawLine(colour, p.left, p.top, p.right, p.bottom, penWidth, penStyle);
}

void DrawLine(COLORREF colour, int x1, int y1, int x2, int y2, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, colour), nullptr);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void DrawPolyline(COLORREF colour, int penWidth, int count, const POINT* points, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc || count < 2 || !points) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, colour), nullptr);
    Polyline(dc, points, count);
}

void FillTriangle(COLORREF colour, int x, int y, int s, int direction) {
    HDC dc = CurrentDC();
    if (!dc) return;
    POINT p[3];
    switch (direction) {
        case 0:
            p[0] = {x - s, y + s};
            p[1] = {x, y - s};
            p[2] = {x + s, y + s};
            break;
        case 90:
            p[0] = {x - s, y - s};
            p[1] = {x + s, y};
            p[2] = {x - s, y + s};
            break;
        case 180:
            p[0] = {x + s, y - s};
            p[1] = {x, y + s};
            p[2] = {x - s, y - s};
            break;
        default:
            p[0] = {x + s, y + s};
            p[1] = {x - s, y};
            p[2] = {x + s, y - s};
            break;
    }
    DrawObjects o(dc, CreatePen(PS_SOLID, 1, colour), CreateSolidBrush(colour));
    Polygon(dc, p, 3);
}

void XorBox(const Rect& r, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void XorOval(const Rect& r, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void XorLine(const Rect& p, int penWidth, int penStyle) {
    XorLine(p.left, p.top, p.right, p.bottom, penWidth, penStyle);
}

void XorLine(int x1, int y1, int x2, int y2, int penWidth, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void XorPolyline(int penWidth, int count, const POINT* points, int penStyle) {
    HDC dc = CurrentDC();
    if (!dc || count < 2 || !points) return;
    DrawObjects o(dc, CreatePen(penStyle, penWidth, 0), nullptr, R2_NOT);
    Polyline(dc, points, count);
}

void DrawBevel(COLORREF light, COLORREF dark, const Rect& r, int penWidth) {
    HDC dc = CurrentDC();
    if (!dc) return;
    {
        DrawObjects o(dc, CreatePen(PS_SOLID, penWidth, light), nullptr);
        MoveToEx(dc, r.left, r.bottom, nullptr);
        LineTo(dc, r.left, r.top);
        LineTo(dc, r.right, r.top);
    }
    DrawObjects o(dc, CreatePen(PS_SOLID, penWidth, dark), nullptr);
    MoveToEx(dc, r.right, r.top, nullptr);
    LineTo(dc, r.right, r.bottom);
    LineTo(dc, r.left - 1, r.bottom);
}

// --- Widgets -------------------------------------------------------------------------------------
void DrawRadioMark(COLORREF colour, const Rect& r, bool on) {
    FrameOval(colour, r, 1, PS_SOLID);
    if (on) FillOval(colour, Rect{r.left + 2, r.top + 2, r.right - 1, r.bottom - 1});
}

void DrawCheckMark(COLORREF colour, const Rect& r, bool on) {
    HDC dc = CurrentDC();
    if (!dc) return;
    {
        DrawObjects o(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)), CreateSolidBrush(colour));
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
    }
    if (on) {
        Rect s{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
        DrawLine(RGB(0, 0, 0), s.left, s.top, s.right, s.bottom, 1, PS_SOLID);
        DrawLine(RGB(0, 0, 0), s.right - 1, s.top, s.left - 1, s.bottom, 1, PS_SOLID);
    }
}

long SliderBarValue(int percent, int maximum) {
    int max = maximum < 100 ? maximum - 1 : maximum;
    long v = static_cast<long>(percent / 100.0 * max);
    return std::min<long>(v, max);
}

void DrawSliderBar(COLORREF back, COLORREF mark, const Rect& r, int percent, int maximum,
                   bool centredText) {
    if (!CurrentDC()) return;
    int extra = StringWidth("100") + 6;
    FillBox(back, Rect{r.left, r.top, r.right + extra, r.bottom});
    Rect track{r.left + 4, r.bottom - 3, r.right - 4, r.bottom};
    FillBox(mark, track);
    int tw = track.right - track.left;
    FillTriangle(mark, track.left + 1 + (tw - 3) * percent / 100, r.top + 3, 3, 180);
    char text[32];
    std::snprintf(text, sizeof text, "%ld", SliderBarValue(percent, maximum));
    if (centredText)
        DrawString(RGB(0, 0, 0), text, track.right + 16, r.top - 2, TA_CENTER);
    else
        DrawString(RGB(0, 0, 0), text, track.right + 6, r.top - 2, TA_LEFT);
}

void BitmapButton::Init(int normal, int pressed, int locked, int active, uint32_t state) {
    m_ids[0] = normal;
    m_ids[1] = pressed;
    m_ids[2] = locked;
    m_ids[3] = active;
    m_state = state;
    m_rect = Rect{0, 0, 0, 0};
}

void BitmapButton::SetState(uint32_t state) {
    m_state = state;
    // State 0 normal, 1 pressed, 2 active, 3 locked.
    int id = 0;
    switch (state) {
        case 0:
            id = m_ids[0];
            break;
        case 1:
            id = m_ids[1];
            break;
        case 2:
            id = m_ids[3];
            break;
        case 3:
            id = m_ids[2];
            break;
        default:
            return;
    }
    if (id) BlitResourceBitmap(m_rect.left, m_rect.top, id, SRCCOPY);
}

void BitmapButton::Place(const Rect& r) {
    m_rect = r;
    SetState(m_state);
}

void BitmapButton::MoveTo(int x, int y) {
    int w = m_rect.right - m_rect.left, h = m_rect.bottom - m_rect.top;
    m_rect = Rect{x, y, x + w, y + h};
}

bool BitmapButton::HitTest(int x, int y, uint32_t newState) {
    if (m_state == 3) return false;
    if (x < m_rect.left || x > m_rect.right || y < m_rect.top || y > m_rect.bottom) return false;
    SetState(newState);
    return true;
}

// --- Bitmaps and fonts ---------------------------------------------------------------------------
bool BlitResourceBitmap(int x, int y, int id, uint32_t rop) {
    HDC dc = CurrentDC();
    const ResourceBitmap* bm = FindBitmapResource(id);
    if (!dc || !bm || bm->width <= 0) return false;
    std::vector<uint32_t> pixels = bm->pixels;
    if (bm->bitCount == 1) {
        int rowBytes = (bm->width + 7) / 8;
        pixels.assign(static_cast<size_t>(bm->width) * bm->height, 0xFF000000u);
        for (int yy = 0; yy < bm->height; ++yy)
            for (int xx = 0; xx < bm->width; ++xx)
                if (bm->monoBits[yy * rowBytes + xx / 8] & (0x80 >> (xx % 8)))
                    pixels[yy * bm->width + xx] = 0xFFFFFFFFu;
    }
    HBITMAP bitmap = CreateBitmap32(bm->width, bm->height, pixels.data());
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(dc, x, y, bm->width, bm->height, mem, 0, 0, rop);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bitmap);
    return true;
}

HFONT MakeFont(const char* family, int pixelHeight, int flags) {
    bool serif = family && std::strstr(family, "Serif") != nullptr;
    return CreateFont(-pixelHeight, (flags & FontBold) ? FW_BOLD : FW_MEDIUM,
                      (flags & FontItalic) != 0, (flags & FontUnderline) != 0,
                      serif ? FF_ROMAN : FF_SWISS, "Arial");
}

void UseFont(HFONT font, int64_t backColour, int backMode) {
    HDC dc = CurrentDC();
    if (!dc) return;
    if (font) {
        T().savedFont = SelectObject(dc, font);
    } else if (T().savedFont) {
        SelectObject(dc, T().savedFont);
    }
    if (backColour != -1) SetBkColor(dc, static_cast<COLORREF>(backColour));
    if (backMode != -1) SetBkMode(dc, backMode);
}

void DrawString(COLORREF colour, const char* text, int x, int y, uint32_t alignment) {
    HDC dc = CurrentDC();
    if (!dc || !text) return;
    SetTextColor(dc, colour);
    SetTextAlign(dc, alignment);
    TextOut(dc, x, y, text);
}

int StringWidth(const char* text) {
    HDC dc = CurrentDC();
    if (!dc || !text || !*text) return 0;
    SIZE sz;
    GetTextExtentPoint32(dc, text, &sz);
    return sz.cx;
}

// --- Cursors
// ---------------------------------------------------------------------------------------
bool SetCursorShape(int code) {
    static const int system[] = {IDC_ARROW,   IDC_CROSS,    IDC_IBEAM,  IDC_NO,
                                 IDC_SIZEALL, IDC_SIZENESW, IDC_SIZENS, IDC_SIZENWSE,
                                 IDC_SIZEWE,  IDC_UPARROW,  IDC_WAIT};
    static std::map<int, HCURSOR> own;
    HCURSOR c = 0;
    if (code >= 1 && code <= 11) {
        c = LoadSystemCursor(system[code - 1]);
    } else if (code >= 12 && code <= 14) {
        int id = code == 12 ? CursorRotate : code == 13 ? CursorMove : CursorTilt;
        auto it = own.find(id);
        if (it == own.end()) {
            const ResourceCursor* rc = FindCursorResource(id);
            if (!rc) return false;
            CursorImage img;
            img.width = rc->width;
            img.height = rc->height;
            img.hotX = rc->hotX;
            img.hotY = rc->hotY;
            img.pixels = rc->pixels;
            it = own.emplace(id, CreateCursorFromImage(img)).first;
        }
        c = it->second;
    } else {
        return false;
    }
    T().lastCursor = SetCursor(c);
    return true;
}

HCURSOR LastReplacedCursor() {
    return T().lastCursor;
}

// --- Menus
// ------------------------------------------------------------------------------------------
std::string MenuBar::ItemText(const char* text) {
    std::string s = text ? text : "";
    size_t slash = s.find('/');
    if (slash == std::string::npos) return s;
    std::string out = s.substr(0, slash) + "\tCtrl+";
    if (slash + 1 < s.size()) out += s[slash + 1];
    return out;
}

void MenuBar::Attach(HWND window) {
    ownerWindow = window;
    bar = CreateMenu();
    popup = nullptr;
    SetMenu(window, bar);
}

void MenuBar::AddPopup(const char* title, uint32_t flags) {
    popup = CreatePopupMenu();
    AppendMenu(bar, MF_POPUP | ((flags & 4) ? MF_GRAYED | MF_DISABLED : 0),
               reinterpret_cast<uintptr_t>(popup), title ? title : "");
    DrawMenuBar(ownerWindow);
}

void MenuBar::AddItem(int commandId, const char* text, uint32_t flags) {
    if (!popup) return;
    if (commandId == -1) {
        AppendMenu(popup, MF_SEPARATOR, 0, "");
        return;
    }
    uint32_t f = MF_STRING;
    if (flags & MenuChecked) f |= MF_CHECKED;
    if (flags & MenuGreyed) f |= MF_GRAYED;
    AppendMenu(popup, f, static_cast<uintptr_t>(commandId), ItemText(text));
}

void MenuBar::SetItemState(int commandId, uint32_t flags) {
    std::string text = GetMenuString(bar, static_cast<uint32_t>(commandId)).substr(0, 63);
    uint32_t f = MF_STRING;
    if (flags & MenuChecked) f |= MF_CHECKED;
    if (flags & MenuGreyed) f |= MF_GRAYED;
    if (flags & MenuDisabled) f |= MF_DISABLED;
    ModifyMenu(bar, static_cast<uint32_t>(commandId), f, text);
}

void MenuBar::SetItemChecked(int commandId, bool on) {
    SetItemState(commandId, on ? static_cast<uint32_t>(MenuChecked) : 0u);
}

// --- Text entry and file dialogs ---------------------------------------------------------------
bool AskText(char* text, const char* title, const char* line1, const char* line2) {
    if (!text) return true;
    auto cut = [](const char* s) { return std::string(s ? s : "").substr(0, 79); };
    std::string value = cut(text);
    RunTextEntryDialog(MainWindowHandle(), cut(title), cut(line1), cut(line2), value, 79);
    CopyCut(text, value.c_str(), 79);
    return true;
}

namespace {

void StorePath(FileSpec* fileSpec, const std::string& path) {
    fileSpec->vRefNum = 0;
    fileSpec->parID = 0;
    std::memset(fileSpec->path, 0, sizeof fileSpec->path);
    std::strncpy(fileSpec->path, path.c_str(), sizeof fileSpec->path - 1);
}

std::string InitialName(const FileSpec* fileSpec) {
    std::string name(fileSpec->path, strnlen(fileSpec->path, sizeof fileSpec->path));
    if (!name.empty() && (name.back() == '\\' || name.back() == '/')) name.pop_back();
    return name;
}

}  // namespace

int FillFileRecords(const std::string& answer, FileSpec* out, int capacity) {
    if (!out || capacity < 1) return 0;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < answer.size()) {
        size_t nul = answer.find('\0', start);
        if (nul == std::string::npos) nul = answer.size();
        if (nul == start) break;  // the double NUL ends the list
        parts.push_back(answer.substr(start, nul - start));
        start = nul + 1;
    }
    int stored = 0;
    if (parts.size() == 1) {
        if (capacity >= 2) {
            StorePath(&out[0], parts[0]);
            stored = 1;
        }
    } else if (parts.size() > 1) {
        const std::string& folder = parts[0];
        std::string sep =
            (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) ? "" : "/";
        // The last-listed name goes to record 0; room is kept for the end mark.
        for (size_t i = parts.size() - 1; i >= 1 && stored < capacity - 1; --i)
            StorePath(&out[stored++], folder + sep + parts[i]);
    }
    if (stored < capacity) StorePath(&out[stored], "");
    return stored;
}

bool ChooseFileToOpen(HWND owner, FileSpec* out, const char* filter, const char* defaultExtension,
                      const FileSpec* initialFolder, bool multiple, int capacity) {
    if (!out) return false;
    FileDialogRequest rq;
    rq.owner = owner;
    rq.multiple = multiple;
    rq.mustExist = true;
    rq.filter = filter ? filter : "";
    rq.defaultExtension = defaultExtension ? defaultExtension : "";
    if (initialFolder) rq.initialFolder = InitialName(initialFolder);
    if (!multiple) {
        std::string name = InitialName(out);
        if (name.size() < 4) name.clear();
        rq.initialName = name;
    }
    std::string answer = RunFileDialog(rq);
    if (answer.empty()) return false;
    if (!multiple) {
        StorePath(out, answer.substr(0, answer.find('\0')));
        return true;
    }
    // The answer must fit the dialog's 8191-character buffer, as a real one would refuse it.
    if (answer.size() > 8191) return false;
    return FillFileRecords(answer, out, std::max(capacity, 2)) > 0;
}

bool ChooseFileToSave(HWND owner, FileSpec* io, const char* filter, const char* defaultExtension,
                      const FileSpec* initialFolder) {
    if (!io) return false;
    FileDialogRequest rq;
    rq.owner = owner;
    rq.save = true;
    rq.overwritePrompt = true;
    rq.filter = filter ? filter : "";
    rq.defaultExtension = defaultExtension ? defaultExtension : "";
    if (initialFolder) rq.initialFolder = InitialName(initialFolder);
    rq.initialName = InitialName(io);
    StorePath(io, rq.initialName);
    std::string answer = RunFileDialog(rq);
    if (answer.empty()) return false;
    StorePath(io, answer);
    return true;
}

// --- Edit field ----------------------------------------------------------------------------------
EditField::~EditField() {
    Destroy();
}

bool EditField::Create(HWND parent, int x, int y, int width, int height, int controlId,
                       HFONT font) {
    Destroy();
    uint32_t style = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;
    if (controlId == 5927001)
        style |= static_cast<uint32_t>(ES_MULTILINE) | static_cast<uint32_t>(WS_VSCROLL);
    hwnd = CreateWindowEx(0, "edit", "", style, x, y, width, height, parent, controlId);
    if (!hwnd) return false;
    RegisterWindowHandle(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    SetFocus(hwnd);
    if (font) SendMessage(hwnd, WM_SETFONT, reinterpret_cast<uint64_t>(font), 0);
    return true;
}

void EditField::SetText(const char* text, bool selectAll) {
    if (!hwnd) return;
    SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text ? text : ""));
    if (selectAll) {
        SetFocus(hwnd);
        SendMessage(hwnd, EM_SETSEL, 0, -1);
    }
}

void EditField::GetText(char* buffer, int size) const {
    if (!buffer || size <= 0) return;
    buffer[0] = 0;
    if (hwnd)
        SendMessage(hwnd, WM_GETTEXT, static_cast<uint64_t>(size),
                    reinterpret_cast<int64_t>(buffer));
}

void EditField::Destroy() {
    if (!hwnd) return;
    UnregisterWindowHandle(hwnd);
    if (GetFocus() == hwnd) SetFocus(GetParent(hwnd));
    DestroyWindow(hwnd);
    hwnd = nullptr;
}

}  // namespace kv
