// The toolkit over the window layer: start and stop, the window registry, CPWnd, bitmap buttons,
// fonts, cursors, menus, the text-entry and file dialogs, and the edit field. The drawing
// primitives are Painter's (painter.cpp).
#include "editor/ui/toolkit/toolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/base/settings.h"
#include "core/document/show_file.h"
#include "core/render/show_loading.h"
#include "editor/resources/resources.h"
#include "editor/ui/toolkit/core_bridge.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "editor/ui/toolkit/painter.h"

namespace kv {

namespace {

struct ToolkitState {
    void* instance = nullptr;
    int iconId = 0;
    char appName[64] = {};
    ToolkitFonts fonts;
    POINT workEdge{0, 0};
    int registryCount = 0;
    HWND registry[MaxRegisteredWindows] = {};
    HCURSOR lastCursor = 0;
    HWND mainWindow = nullptr;
    uint32_t randomState = 1;
    // The folder of the open show, where the file dialogs start.
    std::string dialogShowFolder;
    // The colour chooser's mode (0 RGB, 1 HLS, 2 texture) survives between uses, as a person
    // expects the chooser to come back as they left it.
    int colourChooserMode = 1;
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
    InstallImageDrawing();
    SetShowLoadSteps(RenderingShowLoadSteps());
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
    SetWindowUserData(hwnd, this);
    if (!(flags & WinUnregistered)) RegisterWindowHandle(hwnd);
    return true;
}

void CPWnd::DestroyWin() {
    m_baseOnly = true;
    if (!hwnd) return;
    HWND h = hwnd;
    UnregisterWindowHandle(h);
    DestroyWindow(h);
    SetWindowUserData(h, nullptr);
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

int64_t CPWnd::ObjectProc(HWND h, uint32_t message, uint64_t wParam, int64_t lParam) {
    return Route(static_cast<CPWnd*>(GetWindowUserData(h)), h, message, wParam, lParam);
}

int ColourChooserMode() {
    return T().colourChooserMode;
}
void SetColourChooserMode(int mode) {
    T().colourChooserMode = std::clamp(mode, 0, 2);
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
    // New ranges keep the scroll positions (held within the new ranges).
    SCROLLINFO h, v;
    h.nPos = GetScrollPos(hwnd, SB_HORZ);
    v.nPos = GetScrollPos(hwnd, SB_VERT);
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

// --- Widgets -------------------------------------------------------------------------------------
long SliderBarValue(int percent, int maximum) {
    int max = maximum < 100 ? maximum - 1 : maximum;
    long v = static_cast<long>(percent / 100.0 * max);
    return std::min<long>(v, max);
}

void BitmapButton::Init(int normal, int pressed, int locked, int active, uint32_t state) {
    m_ids[0] = normal;
    m_ids[1] = pressed;
    m_ids[2] = locked;
    m_ids[3] = active;
    m_state = state;
    m_rect = Rect{0, 0, 0, 0};
}

void BitmapButton::SetState(Painter& painter, uint32_t state) {
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
    if (id) painter.BlitResourceBitmap(m_rect.left, m_rect.top, id, SRCCOPY);
}

void BitmapButton::Place(Painter& painter, const Rect& r) {
    m_rect = r;
    SetState(painter, m_state);
}

void BitmapButton::MoveTo(int x, int y) {
    int w = m_rect.right - m_rect.left, h = m_rect.bottom - m_rect.top;
    m_rect = Rect{x, y, x + w, y + h};
}

bool BitmapButton::HitTest(Painter& painter, int x, int y, uint32_t newState) {
    if (m_state == 3) return false;
    if (x < m_rect.left || x > m_rect.right || y < m_rect.top || y > m_rect.bottom) return false;
    SetState(painter, newState);
    return true;
}

// --- Bitmaps and fonts ---------------------------------------------------------------------------
HFONT MakeFont(const char* family, int pixelHeight, int flags) {
    bool serif = family && std::strstr(family, "Serif") != nullptr;
    return CreateFont(-pixelHeight, (flags & FontBold) ? FW_BOLD : FW_MEDIUM,
                      (flags & FontItalic) != 0, (flags & FontUnderline) != 0,
                      serif ? FF_ROMAN : FF_SWISS, "Arial");
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

void SetDialogShowFolder(const char* showPath) {
    std::string path = showPath ? showPath : "";
    const size_t cut = path.find_last_of("/\\");
    T().dialogShowFolder =
        cut == std::string::npos ? std::string() : path.substr(0, cut == 0 ? 1 : cut);
}

bool ChooseFileToOpen(HWND owner, FileSpec* out, const char* filter, const char* defaultExtension,
                      const FileSpec* initialFolder, bool multiple, int capacity) {
    if (!out) return false;
    FileDialogRequest rq;
    rq.owner = owner;
    rq.multiple = multiple;
    rq.mustExist = true;
    rq.showFolder = T().dialogShowFolder;
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
    rq.showFolder = T().dialogShowFolder;
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
