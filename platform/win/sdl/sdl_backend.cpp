// The SDL2 backend: each top-level window of the layer becomes a borderless SDL window (the layer
// draws the frame itself) whose surface is copied to the screen when it changed; SDL events are
// turned into the layer's screen-coordinate input, key codes into Win32 virtual keys, text input
// into WM_CHAR. The work area is the display's usable bounds.
//
// On X the backend speaks to the display itself where SDL has no word for it: owned popups are
// transient for their owner and never take the keyboard (the owner keeps it and the layer routes
// keys inside the program), the stacking follows the layer's window list after every change and
// after every press (a window manager raises a clicked window on its own), and an X error is
// logged once per kind instead of ending the program.
//
// The layer works in logical pixels; the display's windows are the scale factor (scale.h) times
// larger. The backend multiplies what it tells the display (places, sizes, surfaces, cursors) and
// divides what the display tells it (input, moves, sizes, the monitors' bounds).
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/win/internal.h"
#include "platform/win/portal/portal_dialog.h"
#include "platform/win/scale.h"
#include "platform/win/sdl/sdl_testing.h"
#include "platform/win/sharp_text.h"
#include "platform/win/shown_picture.h"
#include "platform/win/window_state.h"

namespace kv {

namespace {

// Keys that stand for one virtual key each; letters, digits, F-keys and keypad digits are ranges.
struct KeyPair {
    SDL_Keycode sdl;
    int vk;
};
constexpr KeyPair kKeyPairs[] = {
    {SDLK_KP_0, VK_NUMPAD0},
    {SDLK_BACKSPACE, VK_BACK},
    {SDLK_TAB, VK_TAB},
    {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_LSHIFT, VK_SHIFT},
    {SDLK_RSHIFT, VK_SHIFT},
    {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},
    {SDLK_PAUSE, VK_PAUSE},
    {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_SPACE, VK_SPACE},
    {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END},
    {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},
    {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},
    {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY},
    {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT},
    {SDLK_KP_PERIOD, VK_DECIMAL},
    {SDLK_KP_DIVIDE, VK_DIVIDE},
    {SDLK_SEMICOLON, VK_OEM_1},
    {SDLK_EQUALS, VK_OEM_PLUS},
    {SDLK_COMMA, VK_OEM_COMMA},
    {SDLK_MINUS, VK_OEM_MINUS},
    {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_SLASH, VK_OEM_2},
    {SDLK_BACKQUOTE, VK_OEM_3},
    {SDLK_LEFTBRACKET, VK_OEM_4},
    {SDLK_BACKSLASH, VK_OEM_5},
    {SDLK_RIGHTBRACKET, VK_OEM_6},
    {SDLK_QUOTE, VK_OEM_7},
};

int VirtualKeyOf(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + (k - SDLK_F1);
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
    for (const KeyPair& p : kKeyPairs)
        if (p.sdl == k) return p.vk;
    return 0;
}

int ButtonOf(uint8_t b) {
    switch (b) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 3;
        case SDL_BUTTON_X1:
            return 4;
        case SDL_BUTTON_X2:
            return 5;
        default:
            return 0;
    }
}

SDL_SystemCursor SdlCursorOf(int idc) {
    switch (idc) {
        case IDC_IBEAM:
            return SDL_SYSTEM_CURSOR_IBEAM;
        case IDC_WAIT:
            return SDL_SYSTEM_CURSOR_WAIT;
        case IDC_CROSS:
            return SDL_SYSTEM_CURSOR_CROSSHAIR;
        case IDC_SIZENWSE:
            return SDL_SYSTEM_CURSOR_SIZENWSE;
        case IDC_SIZENESW:
            return SDL_SYSTEM_CURSOR_SIZENESW;
        case IDC_SIZEWE:
            return SDL_SYSTEM_CURSOR_SIZEWE;
        case IDC_SIZENS:
            return SDL_SYSTEM_CURSOR_SIZENS;
        case IDC_SIZEALL:
            return SDL_SYSTEM_CURSOR_SIZEALL;
        case IDC_NO:
            return SDL_SYSTEM_CURSOR_NO;
        case IDC_UPARROW:
            return SDL_SYSTEM_CURSOR_ARROW;
        default:
            return SDL_SYSTEM_CURSOR_ARROW;
    }
}

// --- X11 --------------------------------------------------------------------------------------
// libX11 is loaded at run time, as SDL loads it, so the program runs where SDL picks another video
// driver; the handle is the one SDL uses, so the error handlers set here are the display's.
struct X11Api {
    bool ok = false;
    int (*raise)(Display*, ::Window) = nullptr;
    int (*setTransientFor)(Display*, ::Window, ::Window) = nullptr;
    int (*deleteProperty)(Display*, ::Window, Atom) = nullptr;
    Status (*getTransientFor)(Display*, ::Window, ::Window*) = nullptr;
    Status (*queryTree)(Display*, ::Window, ::Window*, ::Window*, ::Window**, unsigned*) = nullptr;
    int (*free)(void*) = nullptr;
    int (*setInputFocus)(Display*, ::Window, int, Time) = nullptr;
    int (*getInputFocus)(Display*, ::Window*, int*) = nullptr;
    ::Window (*defaultRootWindow)(Display*) = nullptr;
    Status (*getAttributes)(Display*, ::Window, XWindowAttributes*) = nullptr;
    Atom (*internAtom)(Display*, const char*, Bool) = nullptr;
    int (*changeProperty)(Display*, ::Window, Atom, Atom, int, int, const unsigned char*,
                          int) = nullptr;
    int (*flush)(Display*) = nullptr;
    int (*bell)(Display*, int) = nullptr;
    int (*freeColormap)(Display*, Colormap) = nullptr;
    XErrorHandler (*setErrorHandler)(XErrorHandler) = nullptr;
    XIOErrorHandler (*setIOErrorHandler)(XIOErrorHandler) = nullptr;
    // For the display's resources, read once at the start over a connection of its own.
    Display* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(Display*) = nullptr;
    char* (*resourceManagerString)(Display*) = nullptr;
};

const X11Api& X11() {
    // Loaded once for the process and never closed.
    static X11Api api = [] {
        X11Api a;
        void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return a;
        auto get = [lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
            return fn != nullptr;
        };
        a.ok = get(a.raise, "XRaiseWindow") && get(a.setTransientFor, "XSetTransientForHint") &&
               get(a.deleteProperty, "XDeleteProperty") &&
               get(a.getTransientFor, "XGetTransientForHint") && get(a.queryTree, "XQueryTree") &&
               get(a.free, "XFree") && get(a.setInputFocus, "XSetInputFocus") &&
               get(a.getInputFocus, "XGetInputFocus") &&
               get(a.defaultRootWindow, "XDefaultRootWindow") &&
               get(a.getAttributes, "XGetWindowAttributes") && get(a.internAtom, "XInternAtom") &&
               get(a.changeProperty, "XChangeProperty") && get(a.flush, "XFlush") &&
               get(a.bell, "XBell") && get(a.freeColormap, "XFreeColormap") &&
               get(a.setErrorHandler, "XSetErrorHandler") &&
               get(a.setIOErrorHandler, "XSetIOErrorHandler") &&
               get(a.openDisplay, "XOpenDisplay") && get(a.closeDisplay, "XCloseDisplay") &&
               get(a.resourceManagerString, "XResourceManagerString");
        return a;
    }();
    return api;
}

const char* XErrorName(int code) {
    static const char* const names[] = {
        "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
        "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
        "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation"};
    return code >= 0 && code < 18 ? names[code] : nullptr;
}

const char* XRequestName(int opcode) {
    switch (opcode) {
        case 1:
            return "X_CreateWindow";
        case 2:
            return "X_ChangeWindowAttributes";
        case 3:
            return "X_GetWindowAttributes";
        case 4:
            return "X_DestroyWindow";
        case 7:
            return "X_ReparentWindow";
        case 8:
            return "X_MapWindow";
        case 10:
            return "X_UnmapWindow";
        case 12:
            return "X_ConfigureWindow";
        case 14:
            return "X_GetGeometry";
        case 15:
            return "X_QueryTree";
        case 18:
            return "X_ChangeProperty";
        case 19:
            return "X_DeleteProperty";
        case 20:
            return "X_GetProperty";
        case 25:
            return "X_SendEvent";
        case 26:
            return "X_GrabPointer";
        case 27:
            return "X_UngrabPointer";
        case 31:
            return "X_GrabKeyboard";
        case 38:
            return "X_QueryPointer";
        case 40:
            return "X_TranslateCoords";
        case 41:
            return "X_WarpPointer";
        case 42:
            return "X_SetInputFocus";
        case 72:
            return "X_PutImage";
        default:
            return nullptr;
    }
}

// An X error never ends the program: the first error of each kind (error and request) is logged
// once, the rest pass silently. Xlib calls this on the UI thread, from inside a request.
int g_xErrors = 0;  // every error, logged or not; read by the tests

int OnXError(Display*, XErrorEvent* e) {
    ++g_xErrors;
    // Kinds already logged; touched only here.
    static std::set<std::pair<int, int>> seen;
    if (!seen.insert({e->error_code, e->request_code}).second) return 0;
    const char* err = XErrorName(e->error_code);
    const char* req = XRequestName(e->request_code);
    char errBuf[16], reqBuf[24];
    if (!err) std::snprintf(errBuf, sizeof errBuf, "error %d", e->error_code);
    if (!req) std::snprintf(reqBuf, sizeof reqBuf, "request %d", e->request_code);
    std::fprintf(stderr, "X error: %s on %s (resource 0x%lx)\n", err ? err : errBuf,
                 req ? req : reqBuf, static_cast<unsigned long>(e->resourceid));
    return 0;
}

// The display is gone: the program's handler runs before Xlib ends the process.
// The process then ends at once: Xlib's own exit would run the static destructors, which talk
// to the dead display again and come back here from inside exit.
int OnXIOError(Display*) {
    std::fprintf(stderr, "X connection lost\n");
    DisplayLost();
    std::fflush(nullptr);
    _exit(1);
}

// The X resources of the display (the root window's RESOURCE_MANAGER property as xrdb sets it);
// "" when there is none or no X display.
std::string XResources() {
    if (!X11().ok) return "";
    Display* d = X11().openDisplay(nullptr);
    if (!d) return "";
    const char* text = X11().resourceManagerString(d);
    std::string out = text ? text : "";
    X11().closeDisplay(d);
    return out;
}

class SdlBackend : public Backend {
public:
    explicit SdlBackend(double scale) : m_scale(scale) { SetSharpTextScale(scale); }
    ~SdlBackend() override {
        SetSharpTextScale(1.0);
        for (auto& c : m_cursors) SDL_FreeCursor(c.second);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    const char* Name() const override { return "sdl"; }
    double Scale() const override { return m_scale; }

    // A logical coordinate or rectangle on the display, and back.
    int Dev(int v) const { return ToDevice(v, m_scale); }
    SDL_Rect DevRect(const Rect& r) const {
        return SDL_Rect{Dev(r.left), Dev(r.top), std::max(1, Dev(r.right) - Dev(r.left)),
                        std::max(1, Dev(r.bottom) - Dev(r.top))};
    }
    int Logical(int device) const { return static_cast<int>(std::lround(device / m_scale)); }

    void WindowCreated(Window* w) override {
        const SDL_Rect d = DevRect(w->rect);
        uint32_t flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
        // A sizing frame tells the window manager the window may be resized (its size hints).
        if (w->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
        if (w->exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        if (w->className.rfind("#", 0) == 0) flags |= SDL_WINDOW_POPUP_MENU;
        SDL_Window* sw = SDL_CreateWindow(w->title.c_str(), d.x, d.y, d.w, d.h, flags);
        if (!sw) return;
        if (w->style & WS_THICKFRAME) SDL_SetWindowMinimumSize(sw, Dev(120), Dev(80));
        w->backendData = sw;
        m_byId[SDL_GetWindowID(sw)] = w;
        m_topmost[w] = (w->exStyle & WS_EX_TOPMOST) != 0;
        Display* dpy = nullptr;
        ::Window xw = XWindowOf(w, &dpy);
        HWND owner = OwnerOf(w);
        ::Window ownerXw = owner ? XWindowOf(owner, nullptr) : 0;
        if (xw && ownerXw) {
            // An owned popup belongs to its owner for the window manager: kept above it. It
            // takes the keyboard when clicked (which activates the program) but not when it
            // appears: a user time of 0 asks the window manager not to focus it on mapping.
            X11().setTransientFor(dpy, xw, ownerXw);
            long never = 0;
            X11().changeProperty(dpy, xw, X11().internAtom(dpy, "_NET_WM_USER_TIME", False),
                                 XA_CARDINAL, 32, PropModeReplace,
                                 reinterpret_cast<unsigned char*>(&never), 1);
            X11().flush(dpy);
        } else if (xw) {
            // SDL marks every window transient for the root, which a window manager reads as
            // "above every window of the program": the window that leads keeps none.
            X11().deleteProperty(dpy, xw, XA_WM_TRANSIENT_FOR);
            X11().flush(dpy);
        }
    }

    void WindowDestroyed(Window* w) override {
        ForgetTextNotes(w);
        m_shown.erase(w);
        m_topmost.erase(w);
        m_asked.erase(w);
        auto* sw = static_cast<SDL_Window*>(w->backendData);
        if (!sw) return;
        m_byId.erase(SDL_GetWindowID(sw));
        // SDL makes a colormap for each window it creates and leaves it behind when it destroys
        // the window: it is freed here, unless it is the screen's own.
        Display* d = nullptr;
        Colormap colormap = 0;
        if (::Window xw = XWindowOf(w, &d)) {
            XWindowAttributes a;
            if (X11().getAttributes(d, xw, &a) && a.colormap != None &&
                (!a.screen || a.colormap != a.screen->cmap))
                colormap = a.colormap;
        }
        SDL_DestroyWindow(sw);
        if (d && colormap) {
            X11().freeColormap(d, colormap);
            X11().flush(d);
        }
        w->backendData = nullptr;
    }

    void WindowPlaced(Window* w) override {
        auto* sw = static_cast<SDL_Window*>(w->backendData);
        if (!sw) return;
        const SDL_Rect d = DevRect(w->rect);
        const int width = d.w, height = d.h;
        int x = 0, y = 0, cw = 0, ch = 0;
        SDL_GetWindowPosition(sw, &x, &y);
        SDL_GetWindowSize(sw, &cw, &ch);
        if (x != d.x || y != d.y) SDL_SetWindowPosition(sw, d.x, d.y);
        if (cw != width || ch != height) {
            SDL_SetWindowSize(sw, width, height);
            // Remembered until the display reports it, so that the report is not taken for a
            // resize by the window manager.
            std::vector<std::pair<int, int>>& asked = m_asked[w];
            if (asked.size() >= 16) asked.erase(asked.begin());
            asked.emplace_back(width, height);
        }
        // Each request reaches the display (and a window manager) only when something changed.
        bool topmost = (w->exStyle & WS_EX_TOPMOST) != 0;
        if (m_topmost[w] != topmost) {
            SDL_SetWindowAlwaysOnTop(sw, topmost ? SDL_TRUE : SDL_FALSE);
            m_topmost[w] = topmost;
        }
        bool shown = (SDL_GetWindowFlags(sw) & SDL_WINDOW_SHOWN) != 0;
        if (w->visible && !shown) {
            SDL_ShowWindow(sw);
            Restack(w);
            // Without a window manager SDL gives every window it maps the keyboard; an owned
            // popup hands it straight back to the window that leads the program.
            HWND lead = RootOwnerOf(w);
            if (lead != w && IsProgramActive()) GiveSystemFocus(lead);
        }
        if (!w->visible && shown) SDL_HideWindow(sw);
        w->changed = true;
        // A hidden window keeps no pictures; shown again, it is sent whole.
        if (w->visible)
            m_shown[w].whole = true;
        else
            m_shown.erase(w);
    }

    // The layer's order from `from` forwards, applied back to front; on X with plain raise
    // requests, which a window manager honours and which never move the keyboard.
    void Restack(Window* from) override {
        const std::vector<HWND> order = AllWindows();  // front to back
        size_t end = order.size();
        if (from)
            for (size_t i = 0; i < order.size(); ++i)
                if (order[i] == from) end = i + 1;
        Display* flushOn = nullptr;
        for (size_t i = end; i-- > 0;) {
            Window* t = order[i];
            auto* ts = static_cast<SDL_Window*>(t->backendData);
            if (!ts || !t->visible || (t->style & WS_CHILD)) continue;
            if (!(SDL_GetWindowFlags(ts) & SDL_WINDOW_SHOWN)) continue;
            Display* d = nullptr;
            if (::Window xw = XWindowOf(t, &d)) {
                X11().raise(d, xw);
                flushOn = d;
            } else {
                SDL_RaiseWindow(ts);
            }
        }
        if (flushOn) X11().flush(flushOn);
    }

    void GiveSystemFocus(Window* w) override {
        auto* sw = static_cast<SDL_Window*>(w->backendData);
        if (!sw || !w->visible || !(SDL_GetWindowFlags(sw) & SDL_WINDOW_SHOWN)) return;
        Display* d = nullptr;
        ::Window xw = XWindowOf(w, &d);
        if (!xw) {
            SDL_SetWindowInputFocus(sw);
            return;
        }
        // Only a window the display shows can take the keyboard (a window manager may not have
        // mapped it yet); asking for another is an error.
        XWindowAttributes a;
        if (!X11().getAttributes(d, xw, &a) || a.map_state != IsViewable) return;
        X11().setInputFocus(d, xw, RevertToParent, CurrentTime);
        X11().flush(d);
    }

    // Focus passing between two windows of the program through the window manager may leave
    // none focused for a moment.
    int FocusSettleMs() const override { return 150; }

    // The X focus as the server has it now: no window, the screen's root (where a display
    // without a window manager leaves it when the focused window is hidden) or a window of ours
    // whose focus event is still on its way belong to no other program.
    bool FocusHeldByAnotherProgram() override {
        Display* d = AnyDisplay();
        if (!d) return true;
        ::Window focus = 0;
        int revert = 0;
        X11().getInputFocus(d, &focus, &revert);
        if (focus == None || focus == PointerRoot || focus == X11().defaultRootWindow(d))
            return false;
        for (HWND w : AllWindows())
            if (XWindowOf(w, nullptr) == focus) return false;
        return true;
    }

    // The X bell of the display the windows are on.
    void Bell() override {
        for (const auto& entry : m_byId) {
            Display* d = nullptr;
            if (!XWindowOf(entry.second, &d)) continue;
            X11().bell(d, 0);
            X11().flush(d);
            return;
        }
        Backend::Bell();
    }

    void WindowState(Window* w) override {
        auto* sw = static_cast<SDL_Window*>(w->backendData);
        if (!sw) return;
        if (w->minimized)
            SDL_MinimizeWindow(sw);
        else if (w->maximized)
            SDL_MaximizeWindow(sw);
        else
            SDL_RestoreWindow(sw);
    }

    void WindowTitle(Window* w) override {
        if (auto* sw = static_cast<SDL_Window*>(w->backendData))
            SDL_SetWindowTitle(sw, w->title.c_str());
    }

    // Each top-level window whose surface or a child's changed since: its picture is composed,
    // and only the parts that differ from what the display shows are enlarged (each logical
    // pixel a block of device pixels, edges kept hard, the texts and device-size pictures still
    // shown drawn again at device pixels) and sent.
    void Present() override {
        const std::vector<HWND>& all = WindowList();
        for (auto& entry : m_byId) {
            Window* w = entry.second;
            auto* sw = static_cast<SDL_Window*>(w->backendData);
            if (!sw || !w->visible) continue;
            bool childChanged = false;
            for (HWND c : all)
                if (c != w && (c->style & WS_CHILD) && c->changed && TopLevelOf(c) == w) {
                    childChanged = true;
                    c->changed = false;
                }
            if (!w->changed && !childChanged) continue;
            w->changed = false;
            SDL_Surface* s = SDL_GetWindowSurface(sw);
            if (!s) continue;
            Shown& shown = m_shown[w];
            // A new surface (the window was resized) holds nothing yet.
            const bool whole = shown.whole || s != shown.surface || s->w != shown.surfaceW ||
                               s->h != shown.surfaceH;
            shown.whole = false;
            shown.surface = s;
            shown.surfaceW = s->w;
            shown.surfaceH = s->h;
            // Where the surface has the display's 32-bit layout, rows one after another, the
            // device picture is kept in it and nothing is copied.
            const SDL_PixelFormat* f = s->format;
            const bool plain = f->BytesPerPixel == 4 && f->Rmask == 0xFF0000u &&
                               f->Gmask == 0xFF00u && f->Bmask == 0xFFu && !SDL_MUSTLOCK(s);
            ShownPicture::Target target;
            if (plain && s->pitch == 4 * s->w)
                target = ShownPicture::Target{static_cast<uint32_t*>(s->pixels), s->w, s->h};
            const std::vector<Rect> boxes = shown.picture.Update(w, m_scale, whole, target);
            if (boxes.empty()) continue;
            const int dw = shown.picture.DeviceWidth(), dh = shown.picture.DeviceHeight();
            const uint32_t* px = shown.picture.Device();
            std::vector<SDL_Rect> sent;
            for (const Rect& b : boxes) {
                SDL_Rect r{b.left, b.top, std::min(b.right, s->w) - b.left,
                           std::min(b.bottom, s->h) - b.top};
                if (r.w > 0 && r.h > 0) sent.push_back(r);
            }
            if (sent.empty()) continue;
            if (px == s->pixels) {
                // Drawn in place.
            } else if (plain) {
                // The display's own layout (on X, 32-bit pixels of depth 24): row copies.
                for (const SDL_Rect& r : sent)
                    for (int y = r.y; y < r.y + r.h; ++y)
                        std::memcpy(static_cast<uint8_t*>(s->pixels) +
                                        static_cast<size_t>(y) * s->pitch + size_t{4} * r.x,
                                    px + static_cast<size_t>(y) * dw + r.x,
                                    size_t{4} * static_cast<size_t>(r.w));
            } else {
                SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(
                    const_cast<uint32_t*>(px), dw, dh, 32, dw * 4, SDL_PIXELFORMAT_ARGB8888);
                if (!src) continue;
                // The window's pixels are opaque: copied, never blended with what was there.
                SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
                for (const SDL_Rect& r : sent) {
                    SDL_Rect from = r, to = r;
                    SDL_BlitSurface(src, &from, s, &to);
                }
                SDL_FreeSurface(src);
            }
            SDL_UpdateWindowSurfaceRects(sw, sent.data(), static_cast<int>(sent.size()));
        }
    }

    void Poll(bool wait, int timeoutMs) override {
        SDL_Event e;
        bool have = SDL_PollEvent(&e) != 0;
        if (!have && wait) {
            int ms = timeoutMs < 0 ? 50 : std::min(timeoutMs, 50);
            // On X the wait is on the display connection itself. SDL's own wait wakes itself with
            // an event sent to the newest window over a second connection, which the server may
            // handle after that window (a menu) is already gone.
            if (Display* d = AnyDisplay()) {
                pollfd p{ConnectionNumber(d), POLLIN, 0};
                ::poll(&p, 1, ms);
                have = SDL_PollEvent(&e) != 0;
            } else {
                have = SDL_WaitEventTimeout(&e, ms) != 0;
            }
        }
        while (have) {
            Handle(e);
            have = SDL_PollEvent(&e) != 0;
        }
        Present();
    }

    std::vector<MonitorInfo> Monitors() override {
        std::vector<MonitorInfo> out;
        int n = SDL_GetNumVideoDisplays();
        for (int i = 0; i < n; ++i) {
            SDL_Rect b, u;
            if (SDL_GetDisplayBounds(i, &b) != 0) continue;
            if (SDL_GetDisplayUsableBounds(i, &u) != 0) u = b;
            // In logical pixels: those whose every device pixel is on the monitor.
            auto logical = [this](const SDL_Rect& r) {
                return Rect{static_cast<int>(std::ceil(r.x / m_scale)),
                            static_cast<int>(std::ceil(r.y / m_scale)),
                            static_cast<int>(std::floor((r.x + r.w) / m_scale)),
                            static_cast<int>(std::floor((r.y + r.h) / m_scale))};
            };
            out.push_back(MonitorInfo{logical(b), logical(u)});
        }
        return out;
    }

    void SetCursorShape(HCURSOR c) override {
        auto it = m_cursors.find(c);
        SDL_Cursor* cur = it == m_cursors.end() ? nullptr : it->second;
        if (!cur) {
            if (const CursorImage* img = CursorImageOf(c)) {
                // Enlarged by replicating pixels, the hot spot with it.
                const int cw = Dev(img->width), ch = Dev(img->height);
                std::vector<uint32_t> px =
                    m_scale == 1.0
                        ? img->pixels
                        : ScaleNearest(img->pixels.data(), img->width, img->height, cw, ch);
                SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(px.data(), cw, ch, 32, cw * 4,
                                                                    SDL_PIXELFORMAT_ARGB8888);
                if (s) {
                    cur = SDL_CreateColorCursor(s, std::min(cw - 1, Dev(img->hotX)),
                                                std::min(ch - 1, Dev(img->hotY)));
                    SDL_FreeSurface(s);
                }
            } else {
                cur = SDL_CreateSystemCursor(SdlCursorOf(SystemCursorOf(c)));
            }
            if (cur) m_cursors[c] = cur;
        }
        if (cur) SDL_SetCursor(cur);
    }

    // The desktop's own file dialog, over the owner's X window, when the desktop offers one.
    bool AnswerFileDialog(const FileDialogRequest& rq, std::vector<std::string>* paths,
                          bool* ok) override {
        HWND top = rq.owner;
        while (top && (top->style & WS_CHILD) && top->parent) top = top->parent;
        std::string parent;
        if (::Window xw = XWindowOf(top, nullptr)) {
            char id[32];
            std::snprintf(id, sizeof id, "x11:%lx", static_cast<unsigned long>(xw));
            parent = id;
        }
        return AskThroughPortal(rq, parent, paths, ok);
    }

    // The X window of a layer window and its display; 0 when it has none or SDL is not on X.
    static ::Window XWindowOf(const Window* w, Display** display) {
        auto* sw = w ? static_cast<SDL_Window*>(w->backendData) : nullptr;
        if (!sw || !X11().ok) return 0;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(sw, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
        if (display) *display = info.info.x11.display;
        return info.info.x11.window;
    }

private:
    // The X display the windows are on, or null when SDL is not on X or no window exists yet.
    Display* AnyDisplay() {
        for (const auto& entry : m_byId) {
            Display* d = nullptr;
            if (XWindowOf(entry.second, &d)) return d;
        }
        return nullptr;
    }

    Window* Find(uint32_t id) {
        auto it = m_byId.find(id);
        return it == m_byId.end() ? nullptr : it->second;
    }

    void Handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_MOUSEMOTION:
                if (Window* w = Find(e.motion.windowID))
                    InjectMouse(PointerX(w, e.motion.x), PointerY(w, e.motion.y), MouseAction::Move,
                                0);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (Window* w = Find(e.button.windowID)) {
                    InjectMouse(PointerX(w, e.button.x), PointerY(w, e.button.y),
                                e.type == SDL_MOUSEBUTTONDOWN ? MouseAction::Down : MouseAction::Up,
                                ButtonOf(e.button.button));
                    // A window manager raises the window a press lands on before the press
                    // arrives here; the layer's order is put back over it.
                    if (e.type == SDL_MOUSEBUTTONDOWN) Restack(nullptr);
                }
                break;
            case SDL_MOUSEWHEEL: {
                POINT p = GetCursorPos();
                InjectMouse(p.x, p.y, MouseAction::Wheel, 0, e.wheel.y);
                break;
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                int vk = VirtualKeyOf(e.key.keysym.sym);
                if (!vk) break;
                bool down = e.type == SDL_KEYDOWN;
                InjectKey(vk, down);
                break;
            }
            case SDL_TEXTINPUT: {
                const auto* s = reinterpret_cast<const unsigned char*>(e.text.text);
                for (size_t i = 0; s[i];) {
                    uint32_t cp = s[i];
                    int n = cp < 0x80 ? 0 : (cp >> 5) == 6 ? 1 : (cp >> 4) == 14 ? 2 : 3;
                    if (n) cp &= 0x3F >> n;
                    size_t j = 1;
                    for (; j <= static_cast<size_t>(n) && s[i + j]; ++j)
                        cp = (cp << 6) | (s[i + j] & 0x3F);
                    InjectChar(cp);
                    i += j;
                }
                break;
            }
            case SDL_WINDOWEVENT:
                if (Window* w = Find(e.window.windowID)) {
                    if (e.window.event == SDL_WINDOWEVENT_CLOSE) PostMessage(w, WM_CLOSE, 0, 0);
                    if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                        // What the display lost is sent again, all of it.
                        w->changed = true;
                        m_shown[w].whole = true;
                    }
                    if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                        SystemFocusIn(w);
                        // Activation by the window manager raises the window it activates.
                        Restack(nullptr);
                    }
                    if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) SystemFocusOut(w);
                    if (e.window.event == SDL_WINDOWEVENT_MINIMIZED) w->minimized = true;
                    if (e.window.event == SDL_WINDOWEVENT_RESTORED) w->minimized = false;
                    if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                        w->changed = true;
                        m_shown[w].whole = true;
                        SizeReported(w, e.window.data1, e.window.data2);
                    }
                    if (e.window.event == SDL_WINDOWEVENT_MOVED &&
                        (e.window.data1 != Dev(w->rect.left) ||
                         e.window.data2 != Dev(w->rect.top))) {
                        int wd = w->rect.right - w->rect.left, ht = w->rect.bottom - w->rect.top;
                        const int lx = Logical(e.window.data1), ly = Logical(e.window.data2);
                        w->rect = Rect{lx, ly, lx + wd, ly + ht};
                    }
                }
                break;
            default:
                break;
        }
    }

    // The logical screen point of a pointer position inside a window's display window.
    int PointerX(const Window* w, int x) const { return ToLogical(Dev(w->rect.left) + x, m_scale); }
    int PointerY(const Window* w, int y) const { return ToLogical(Dev(w->rect.top) + y, m_scale); }

    // A size the display reports (device pixels): the echo of one the layer asked for, or the
    // window manager's own resize (its frame dragged, a maximize key), which the layer then
    // follows.
    void SizeReported(Window* w, int width, int height) {
        std::vector<std::pair<int, int>>& asked = m_asked[w];
        for (size_t i = 0; i < asked.size(); ++i) {
            if (asked[i] != std::make_pair(width, height)) continue;
            asked.erase(asked.begin(), asked.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return;
        }
        if (!asked.empty()) {
            // Asked-for sizes the display changed on the way (a window manager's limits): they
            // will not be reported as asked.
            asked.clear();
            return;
        }
        if (IsChild(w) || !(w->style & WS_THICKFRAME)) return;
        const SDL_Rect d = DevRect(w->rect);
        if (width == d.w && height == d.h) return;
        MoveWindow(w, w->rect.left, w->rect.top, Logical(width), Logical(height), true);
    }

    std::map<uint32_t, Window*> m_byId;
    std::map<Window*, bool> m_topmost;                            // what the display was last told
    std::map<Window*, std::vector<std::pair<int, int>>> m_asked;  // sizes not yet reported
    std::map<HCURSOR, SDL_Cursor*> m_cursors;
    double m_scale = 1.0;
    // What each top-level window shows on the display, and whether all of it is to be sent again
    // (shown, moved, resized, exposed).
    struct Shown {
        ShownPicture picture;
        SDL_Surface* surface = nullptr;
        int surfaceW = 0, surfaceH = 0;
        bool whole = true;
    };
    std::map<Window*, Shown> m_shown;
};

}  // namespace

namespace sdltest {

bool PushClick(int screenX, int screenY) {
    if (std::string(TheBackend().Name()) != "sdl") return false;
    HWND w = WindowFromPoint(POINT{screenX, screenY});
    auto* sw = w ? static_cast<SDL_Window*>(w->backendData) : nullptr;
    if (!sw) return false;
    uint32_t id = SDL_GetWindowID(sw);
    const double f = TheBackend().Scale();
    int lx = ToDevice(screenX, f) - ToDevice(w->rect.left, f);
    int ly = ToDevice(screenY, f) - ToDevice(w->rect.top, f);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = lx;
    e.motion.y = ly;
    SDL_PushEvent(&e);
    for (uint32_t type :
         {static_cast<uint32_t>(SDL_MOUSEBUTTONDOWN), static_cast<uint32_t>(SDL_MOUSEBUTTONUP)}) {
        SDL_Event b{};
        b.type = type;
        b.button.windowID = id;
        b.button.button = SDL_BUTTON_LEFT;
        b.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        b.button.clicks = 1;
        b.button.x = lx;
        b.button.y = ly;
        SDL_PushEvent(&b);
    }
    return true;
}

bool CaptureWindow(HWND hwnd, const std::string& pngPath) {
    if (!IsWindow(hwnd) || std::string(TheBackend().Name()) != "sdl") return false;
    auto* sw = static_cast<SDL_Window*>(hwnd->backendData);
    SDL_Surface* s = sw ? SDL_GetWindowSurface(sw) : nullptr;
    if (!s) return false;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    if (!argb) return false;
    std::vector<uint32_t> px(static_cast<size_t>(argb->w) * argb->h);
    for (int y = 0; y < argb->h; ++y)
        std::memcpy(&px[static_cast<size_t>(y) * argb->w],
                    static_cast<uint8_t*>(argb->pixels) + static_cast<size_t>(y) * argb->pitch,
                    static_cast<size_t>(argb->w) * 4);
    bool ok = WritePng(pngPath, px.data(), argb->w, argb->h);
    SDL_FreeSurface(argb);
    return ok;
}

HWND TransientOwner(HWND hwnd) {
    if (!IsWindow(hwnd) || std::string(TheBackend().Name()) != "sdl") return nullptr;
    Display* d = nullptr;
    ::Window xw = SdlBackend::XWindowOf(hwnd, &d), owner = 0;
    if (!xw || !X11().getTransientFor(d, xw, &owner) || !owner) return nullptr;
    for (HWND w : AllWindows())
        if (!(w->style & WS_CHILD) && SdlBackend::XWindowOf(w, nullptr) == owner) return w;
    return nullptr;
}

std::vector<HWND> DisplayOrder() {
    std::vector<HWND> out;
    if (std::string(TheBackend().Name()) != "sdl") return out;
    // Each window of the layer under the root window's child that holds it (a window manager's
    // frame, or the window itself without one).
    std::map<::Window, HWND> byTop;
    Display* d = nullptr;
    for (HWND w : AllWindows()) {
        ::Window xw = w->visible && !(w->style & WS_CHILD) ? SdlBackend::XWindowOf(w, &d) : 0;
        for (int depth = 0; xw && depth < 16; ++depth) {
            ::Window root = 0, parent = 0, *children = nullptr;
            unsigned n = 0;
            if (!X11().queryTree(d, xw, &root, &parent, &children, &n)) break;
            if (children) X11().free(children);
            if (parent == root) {
                byTop[xw] = w;
                break;
            }
            xw = parent;
        }
    }
    if (!d) return out;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!X11().queryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) return out;
    for (unsigned i = n; i-- > 0;) {  // the tree lists the root's children bottom to top
        auto it = byTop.find(children[i]);
        if (it != byTop.end()) out.push_back(it->second);
    }
    if (children) X11().free(children);
    return out;
}

bool RaiseOnDisplay(HWND hwnd) {
    if (!IsWindow(hwnd) || std::string(TheBackend().Name()) != "sdl") return false;
    Display* d = nullptr;
    ::Window xw = SdlBackend::XWindowOf(hwnd, &d);
    if (!xw) return false;
    X11().raise(d, xw);
    X11().flush(d);
    return true;
}

int XErrorCount() {
    return g_xErrors;
}

COLORREF PresentedPixel(HWND hwnd, int x, int y) {
    if (!IsWindow(hwnd) || std::string(TheBackend().Name()) != "sdl") return 0xFFFFFFFF;
    auto* sw = static_cast<SDL_Window*>(hwnd->backendData);
    SDL_Surface* s = sw ? SDL_GetWindowSurface(sw) : nullptr;
    if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0xFFFFFFFF;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    if (!argb) return 0xFFFFFFFF;
    uint32_t p = *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(argb->pixels) +
                                              static_cast<size_t>(y) * argb->pitch + 4 * x);
    SDL_FreeSurface(argb);
    return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255);
}

}  // namespace sdltest

std::unique_ptr<Backend> MakeSdlBackend() {
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // The window surfaces are the display's own (shared memory on X): a surface kept as a
    // texture would make SDL re-create each window, under a new id, the first time it is shown,
    // losing what the layer told the display about it and the keyboard with it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // On X, only SDL's X driver: when its first try fails SDL would go on to a driver that shows
    // nothing ("offscreen"), and the program would run with no window anyone can see. A display
    // that is busy starting, or a loaded machine, can fail that first try; a few more follow, each
    // failure said on standard error.
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const bool onX = std::getenv("DISPLAY") && !(asked && *asked);
    if (onX) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    int pauseMs = 50;
    for (int attempt = 1;; ++attempt, pauseMs *= 2) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) break;
        std::fprintf(stderr, "sdl: %s\n", SDL_GetError());
        if (!onX || attempt == 6) return nullptr;
        SDL_Delay(static_cast<Uint32>(pauseMs));
    }
    SDL_StartTextInput();
    // Installed after SDL's own, which would end the program on the first error.
    const bool x11 = std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0 && X11().ok;
    if (x11) {
        X11().setErrorHandler(OnXError);
        X11().setIOErrorHandler(OnXIOError);
    }
    const std::string resources = x11 ? XResources() : std::string();
    return std::make_unique<SdlBackend>(
        ChooseScale(std::getenv("KINEVISTA_SCALE"), std::getenv("GDK_SCALE"), resources.c_str()));
}

const char* NativeBackendName() {
    return "sdl";
}

bool NativeDisplayPresent() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

std::unique_ptr<Backend> MakeNativeBackend() {
    return MakeSdlBackend();
}

}  // namespace kv
