// ChooseColour: the option dialogs' colour sub-dialog, drawn on the owner's surface, with three
// channel sliders (RGB or HLS), a swatch, the mode radios, the texture name, a grey bar and a
// hue bar; and the integer RGB <-> HLS conversions it shares with the tint treatment.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "editor/ui/toolkit/painter.h"
#include "editor/ui/toolkit/toolkit.h"

namespace kv {

namespace {

const COLORREF Black = RGB(0, 0, 0), White = RGB(255, 255, 255), LightGrey = RGB(192, 192, 192),
               DarkGrey = RGB(96, 96, 96), Grey = RGB(128, 128, 128);

int HueValue(int m1, int m2, int h) {
    if (h < 0) h += 240;
    if (h > 240) h -= 240;
    if (h < 40) return m1 + ((m2 - m1) * h + 20) / 40;
    if (h < 120) return m2;
    if (h < 160) return m1 + ((m2 - m1) * (160 - h) + 20) / 40;
    return m1;
}

std::string TextureName(const FileSpec* texture) {
    if (!texture || texture->Empty()) return "None";
    std::string p = texture->path;
    size_t cut = p.find_last_of("\\:/");
    if (cut != std::string::npos) p = p.substr(cut + 1);
    size_t dot = p.rfind('.');
    if (dot != std::string::npos && dot > 0) p = p.substr(0, dot);
    return p;
}

struct Chooser {
    HWND owner;
    int x, y, cx, y0;
    COLORREF colour;
    FileSpec* texture;
    const char* title;
    bool hasTexture() const { return texture && !texture->Empty(); }
};

void PaintContent(Painter& p, const Chooser& c) {
    int cx = c.cx, y0 = c.y0;
    bool hls = ColourChooserMode() != 0;
    // Clear the content area under the title.
    p.FillBox(LightGrey, Rect{c.x + 2, y0 - 12, c.x + 228, y0 + 160});
    const char* labels[3] = {hls ? "Hue" : "Red", hls ? "Luminance" : "Green",
                             hls ? "Saturation" : "Blue"};
    int vals[3];
    int maximum = hls ? 240 : 255;
    if (hls) {
        HlsColour h = ColourToHls(c.colour);
        vals[0] = h.h;
        vals[1] = h.l;
        vals[2] = h.s;
    } else {
        vals[0] = GetRValue(c.colour);
        vals[1] = GetGValue(c.colour);
        vals[2] = GetBValue(c.colour);
    }
    for (int i = 0; i < 3; ++i) {
        int row = y0 + 18 * i;
        p.UseFont(Fonts().f13Bold);
        p.DrawString(Black, labels[i], cx - 8, row, TA_RIGHT);
        p.UseFont(nullptr);
        p.UseFont(Fonts().f12);
        p.DrawSliderBar(LightGrey, DarkGrey, Rect{cx + 8, row + 3, cx + 78, row + 14},
                        vals[i] * 100 / maximum, maximum, false);
    }
    p.FillBox(c.colour, Rect{cx - 40, y0 + 58, cx - 8, y0 + 86});
    p.FrameBox(Black, Rect{cx - 40, y0 + 58, cx - 8, y0 + 86}, 1, PS_SOLID);
    const char* modes[3] = {"RGB", "HLS", "Texture"};
    for (int i = 0; i < 3; ++i) {
        Rect mark{cx + 8, y0 + 57 + 18 * i, cx + 19, y0 + 68 + 18 * i};
        if (i != ColourChooserMode()) p.FillBox(LightGrey, mark);
        p.DrawRadioMark(Black, mark, i == ColourChooserMode());
        COLORREF ink = (i == 2 && !c.hasTexture()) ? Grey : Black;
        p.DrawString(ink, modes[i], cx + 24, mark.top - 1, TA_LEFT);
    }
    Rect nameBox{cx - 100, y0 + 90, cx - 8, y0 + 106};
    p.FillBox(LightGrey, nameBox);
    bool live = ColourChooserMode() == 2 && c.hasTexture();
    p.FrameRoundBox(live ? Black : Grey, nameBox, 8, 1, PS_SOLID);
    std::string name = TextureName(c.texture);
    if (p.StringWidth(name.c_str()) > 80) {
        while (!name.empty() && p.StringWidth((name + "...").c_str()) > 80) name.pop_back();
        name += "...";
    }
    p.DrawString(live ? Black : Grey, name.c_str(), nameBox.left + 6, nameBox.top + 2, TA_LEFT);
    for (int i = 0; i < 32; ++i) {
        int px = cx - 100 + i * 625 / 100;
        int g = i * 8;
        p.FillBox(RGB(g, g, g), Rect{px, y0 + 111, px + 8, y0 + 130});
        p.FillBox(HlsToColour(i * 75 / 10, 120, 240), Rect{px, y0 + 129, px + 8, y0 + 148});
    }
    p.FrameRoundBox(Black, Rect{cx + 50, y0 + 166, cx + 100, y0 + 181}, 8, 1, PS_SOLID);
    p.DrawString(Black, "OK", cx + 75, y0 + 167, TA_CENTER);
    p.FrameRoundBox(Black, Rect{cx - 30, y0 + 166, cx + 40, y0 + 181}, 8, 1, PS_SOLID);
    p.DrawString(Black, "Cancel", cx + 5, y0 + 167, TA_CENTER);
}

void PaintFrame(Painter& p, const Chooser& c) {
    p.FillBox(LightGrey, Rect{c.x, c.y, c.x + 230, c.y + 230});
    p.FillRoundBox(Black, Rect{c.x + 4, c.y + 4, c.x + 226, c.y + 24}, 4);
    p.DrawString(White, c.title ? c.title : "", c.cx, c.y + 6, TA_CENTER);
    p.DrawBevel(White, RGB(64, 64, 64), Rect{c.x, c.y, c.x + 229, c.y + 229}, 1);
}

// The chooser's parts over its owner, text in the 12-pixel font on a transparent background.
void DrawFrame(const Chooser& c) {
    OwnerPainter p(c.owner);
    p.UseFont(Fonts().f12, -1, TRANSPARENT);
    PaintFrame(p, c);
}

void DrawContent(const Chooser& c) {
    OwnerPainter p(c.owner);
    p.UseFont(Fonts().f12, -1, TRANSPARENT);
    PaintContent(p, c);
}

void TextureDialog(Chooser& c) {
    Settings& s = TheSettings();
    FileSpec folder;
    std::string dir = s.ReadString("TextureFolder", "");
    std::strncpy(folder.path, dir.c_str(), sizeof folder.path - 1);
    folder.vRefNum = static_cast<int16_t>(s.ReadInt("TextureVrefnum", 0));
    folder.parID = s.ReadInt("TextureParID", 0);
    std::string filter = "All Graphics Files|*.bmp;*.tga;*.tif;*.jpg;*.psd";
    filter += "|BMP Files (*.bmp)|*.bmp|Targa Files (*.tga)|*.tga|TIFF Files (*.tif)|*.tif";
    filter += "|Photoshop Files (*.psd)|*.psd";
    filter += "|Jpeg Files (*.jpg)|*.jpg";
    filter += "|All Files (*.*)|*.*|";
    if (ChooseFileToOpen(c.owner, c.texture, filter.c_str(), ".tga", &folder, false)) {
        std::string p = c.texture->path;
        size_t cut = p.find_last_of("\\:/");
        s.WriteString("TextureFolder",
                      cut == std::string::npos ? "" : p.substr(0, cut + 1).c_str());
        s.WriteInt("TextureVrefnum", c.texture->vRefNum);
        s.WriteInt("TextureParID", c.texture->parID);
    } else {
        c.texture->path[0] = 0;
    }
}

}  // namespace

HlsColour ColourToHls(COLORREF colour) {
    int r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
    int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    HlsColour out;
    out.l = ((mx + mn) * 240 + 255) / 510;
    if (mx == mn) return out;
    int d = out.l <= 120 ? mx + mn : 510 - mx - mn;
    int spread = mx - mn;
    out.s = (spread * 240 + d / 2) / d;
    int dr = ((mx - r) * 40 + spread / 2) / spread;
    int dg = ((mx - g) * 40 + spread / 2) / spread;
    int db = ((mx - b) * 40 + spread / 2) / spread;
    if (r == mx)
        out.h = db - dg;
    else if (g == mx)
        out.h = dr - db + 80;
    else
        out.h = dg - dr + 160;
    if (out.h < 0) out.h += 240;
    if (out.h > 240) out.h -= 240;
    return out;
}

COLORREF HlsToColour(int h, int l, int s) {
    int m2 = l <= 120 ? (l * (240 + s) + 120) / 240 : l + s - (l * s + 120) / 240;
    int m1 = 2 * l - m2;
    auto chan = [&](int hh) {
        return std::clamp((HueValue(m1, m2, hh) * 255 + 120) / 240, 0, 255);
    };
    return RGB(chan(h + 80), chan(h), chan(h - 80));
}

namespace {

// The chooser's modal state: the channel being dragged and its largest value, the colour at
// the start (put back on a cancel), and whether the chooser is done and with what answer.
class ChooserLoop {
public:
    explicit ChooserLoop(Chooser& c) : c_(c), start_(c.colour) {}

    // Reads and handles messages until the chooser is done; true when it was answered OK.
    bool Run();

private:
    void Handle(const MessageRecord& m);
    void Drag(int mx);
    void Release(const MessageRecord& m, int mx, int my, int row);
    void Finish(bool ok, bool keep) {
        result_ = ok;
        if (!keep) c_.colour = start_;
        done_ = true;
    }

    Chooser& c_;
    const COLORREF start_;
    int dragChannel_ = 0;
    int dragMax_ = 240;
    bool result_ = false;
    bool done_ = false;
};

bool ChooserLoop::Run() {
    MessageRecord m;
    while (!done_) {
        if (!GetMessageRecord(&m)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            c_.colour = start_;
            break;
        }
        Handle(m);
    }
    return result_;
}

void ChooserLoop::Handle(const MessageRecord& m) {
    int mx = GET_X_LPARAM(m.lParam), my = GET_Y_LPARAM(m.lParam);
    int row = std::max((my - c_.y - 22) / 18, 0);
    switch (m.message) {
        case WM_PAINT:
            DispatchMessageRecord(m);
            if (m.window == c_.owner) {
                DrawFrame(c_);
                DrawContent(c_);
            }
            break;
        case WM_KEYDOWN:
        case WM_CHAR:
            if (m.wParam == 27) done_ = true;  // keeps the colour chosen so far
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (m.window == c_.owner && row <= 3) dragChannel_ = row <= 1 ? 1 : row;
            break;
        case WM_MOUSEMOVE:
            if (dragChannel_ && m.window == c_.owner) Drag(mx);
            break;
        case WM_LBUTTONUP:
            dragChannel_ = 0;
            Release(m, mx, my, row);
            break;
        default:
            break;
    }
}

// The dragged channel follows the pointer, in red/green/blue or hue/lightness/saturation.
void ChooserLoop::Drag(int mx) {
    int v = static_cast<int>((mx - c_.cx) / 35.0 * 100);
    v = std::clamp(v, 0, dragMax_);
    if (ColourChooserMode() == 0) {
        int r = GetRValue(c_.colour), g = GetGValue(c_.colour), b = GetBValue(c_.colour);
        (dragChannel_ == 1 ? r : dragChannel_ == 2 ? g : b) = std::min(v, 255);
        c_.colour = RGB(r, g, b);
    } else {
        HlsColour h = ColourToHls(c_.colour);
        (dragChannel_ == 1 ? h.h : dragChannel_ == 2 ? h.l : h.s) = v;
        c_.colour = HlsToColour(h.h, h.l, h.s);
    }
    DrawContent(c_);
}

// A release: the OK and Cancel buttons, outside the chooser (cancel), the mode marks, the
// texture button, and the grey and hue strips.
void ChooserLoop::Release(const MessageRecord& m, int mx, int my, int row) {
    const int x = c_.x, y = c_.y;
    if (m.window == c_.owner && my > y + 200 && my < y + 220) {
        if (mx > c_.cx + 50 && mx < c_.cx + 100) {
            Finish(true, true);
            return;
        }
        if (mx > c_.cx - 30 && mx < c_.cx + 40) {
            Finish(false, false);
            return;
        }
    }
    if (m.window != c_.owner || mx < x || mx > x + 230 || my < y || my > y + 230) {
        Finish(false, false);
        return;
    }
    if (row >= 4 && row <= 6 && mx > c_.cx && mx < c_.cx + 20) {
        int mode = row - 4;
        if (mode == 2 && !c_.hasTexture()) mode = 1;
        SetColourChooserMode(mode);
        dragMax_ = mode == 0 ? 255 : 240;
    }
    if (row == 6 && mx < c_.cx && ColourChooserMode() == 2 && c_.texture) TextureDialog(c_);
    if (row == 7) {
        int v = std::clamp((mx - c_.cx + 100) * 128 / 100, 0, 255);
        c_.colour = RGB(v, v, v);
    }
    if (row == 8) {
        int h = std::min((mx - c_.cx + 100) * 12 / 10, 255);
        c_.colour = HlsToColour(h, 120, 240);
    }
    DrawContent(c_);
}

}  // namespace

bool ChooseColour(HWND owner, int x, int y, COLORREF* colour, FileSpec* texture,
                  const char* title) {
    if (!IsWindow(owner) || !colour) return false;
    Chooser c{owner, x, y, x + 115, y + 40, *colour & 0xFFFFFF, texture, title};
    if (c.hasTexture())
        SetColourChooserMode(2);
    else if (ColourChooserMode() == 2)
        SetColourChooserMode(1);
    DrawFrame(c);
    DrawContent(c);
    const bool result = ChooserLoop(c).Run();
    *colour = c.colour;
    {
        OwnerPainter p(owner);
        p.FillBox(LightGrey, Rect{x - 1, y - 1, x + 231, y + 231});
    }
    return result;
}

}  // namespace kv
