// The X sessions' reads from the server; see x_server.h.
#include "tests/editor/app/x11/x_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>

namespace kvx {

namespace {

// Windows come and go while the tree is walked: a request about one that is gone fails, and
// the walk skips it rather than ending the process (Xlib's default).
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

struct Connection {
    explicit Connection(const std::string& name) {
        XSetErrorHandler(IgnoreErrors);
        d = XOpenDisplay(name.c_str());
    }
    ~Connection() {
        if (d) XCloseDisplay(d);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Display* d = nullptr;
};

// The atoms a name is read with, asked for once a walk.
struct NameAtoms {
    explicit NameAtoms(Display* d)
        : netName(XInternAtom(d, "_NET_WM_NAME", False)),
          utf8(XInternAtom(d, "UTF8_STRING", False)) {}
    Atom netName, utf8;
};

std::string WindowName(Display* d, Window w, const NameAtoms& atoms) {
    const Atom netName = atoms.netName, utf8 = atoms.utf8;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (type == utf8 && format == 8) name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char* plain = nullptr;
    if (XFetchName(d, w, &plain) && plain) {
        name = plain;
        XFree(plain);
    }
    return name;
}

void Walk(Display* d, Window root, Window w, const NameAtoms& atoms,
          std::vector<ListedWindow>* out) {
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &rootReturn, &parent, &children, &n)) return;
    const std::unique_ptr<Window, int (*)(void*)> held(children, XFree);
    // From the top of the stack down; each child followed by its own children.
    for (unsigned int i = n; i-- > 0;) {
        const Window c = children[i];
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, c, &a) || a.map_state != IsViewable) continue;
        XClassHint hint{};
        if (XGetClassHint(d, c, &hint)) {
            ListedWindow lw;
            lw.id = c;
            lw.instance = hint.res_name ? hint.res_name : "";
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
            lw.name = WindowName(d, c, atoms);
            int rx = 0, ry = 0;
            Window child = 0;
            if (XTranslateCoordinates(d, c, root, 0, 0, &rx, &ry, &child)) {
                lw.x = rx - a.border_width;
                lw.y = ry - a.border_width;
                lw.w = a.width;
                lw.h = a.height;
                out->push_back(lw);
            }
        }
        Walk(d, root, c, atoms, out);
    }
}

}  // namespace

bool ListViewableWindows(const std::string& display, std::vector<ListedWindow>* out) {
    out->clear();
    Connection c(display);
    if (!c.d) return false;
    const Window root = DefaultRootWindow(c.d);
    Walk(c.d, root, root, NameAtoms(c.d), out);
    return true;
}

bool GrabRootWindow(const std::string& display, int* width, int* height,
                    std::vector<uint32_t>* pixels) {
    Connection c(display);
    if (!c.d) return false;
    const Window root = DefaultRootWindow(c.d);
    XWindowAttributes a;
    if (!XGetWindowAttributes(c.d, root, &a)) return false;
    XImage* image = XGetImage(c.d, root, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!image) return false;
    struct Destroy {
        void operator()(XImage* i) const { XDestroyImage(i); }
    };
    const std::unique_ptr<XImage, Destroy> held(image);
    const int step = image->bits_per_pixel / 8;
    if ((step != 3 && step != 4) || image->red_mask != 0xFF0000 || image->green_mask != 0xFF00 ||
        image->blue_mask != 0xFF)
        return false;
    // A DirectColor screen looks each channel up in the colour map.
    uint8_t ramp[3][256];
    for (int ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 256; ++i) ramp[ch][i] = static_cast<uint8_t>(i);
    if (a.visual->c_class == DirectColor) {
        const int entries = std::min(a.visual->map_entries, 256);
        std::vector<XColor> colors(static_cast<size_t>(entries));
        for (int i = 0; i < entries; ++i)
            colors[static_cast<size_t>(i)].pixel = (static_cast<unsigned long>(i) << 16) |
                                                   (static_cast<unsigned long>(i) << 8) |
                                                   static_cast<unsigned long>(i);
        XQueryColors(c.d, a.colormap, colors.data(), entries);
        for (int i = 0; i < entries; ++i) {
            const XColor& e = colors[static_cast<size_t>(i)];
            ramp[0][i] = static_cast<uint8_t>(e.red >> 8);
            ramp[1][i] = static_cast<uint8_t>(e.green >> 8);
            ramp[2][i] = static_cast<uint8_t>(e.blue >> 8);
        }
    }
    *width = image->width;
    *height = image->height;
    pixels->resize(static_cast<size_t>(image->width) * static_cast<size_t>(image->height));
    const bool lsb = image->byte_order == LSBFirst;
    for (int y = 0; y < image->height; ++y) {
        const auto* row = reinterpret_cast<const uint8_t*>(image->data) +
                          static_cast<size_t>(y) * static_cast<size_t>(image->bytes_per_line);
        uint32_t* dst = pixels->data() + static_cast<size_t>(y) * static_cast<size_t>(image->width);
        for (int x = 0; x < image->width; ++x) {
            const uint8_t* p = row + static_cast<size_t>(step) * static_cast<size_t>(x);
            const uint32_t r = lsb ? p[2] : p[step - 3], g = lsb ? p[1] : p[step - 2],
                           b = lsb ? p[0] : p[step - 1];
            dst[x] = (uint32_t{ramp[0][r]} << 16) | (uint32_t{ramp[1][g]} << 8) | ramp[2][b];
        }
    }
    return true;
}

unsigned long TransientForWindow(const std::string& display, unsigned long id) {
    Connection c(display);
    if (!c.d) return 0;
    Window owner = 0;
    return XGetTransientForHint(c.d, static_cast<Window>(id), &owner) ? owner : 0;
}

}  // namespace kvx
