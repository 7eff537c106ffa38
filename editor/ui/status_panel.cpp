// The main window's background and its status panel: the stage-scale marks, the camera's
// numbers, the OK button of a host run, the info line and the timeline zoom arrows; the movie
// job's progress panel over the stage.
#include <cstdio>
#include <string>

#include "core/show/show.h"
#include "editor/resources/resources.h"
#include "editor/ui/main_window.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/painter.h"
#include "output/movie_job.h"

namespace kv {

void CMain::Redraw() {
    if (!hwnd) return;
    {
        Painter p(*this);
        if (!p) return;
        const Rect c = GetClientRect();
        for (int y = c.top; y < c.bottom; y += 128)
            for (int x = c.left; x < c.right; x += 128) p.BlitResourceBitmap(x, y, BmpPanelTile);
    }
    DrawStatusPanel(session.camera);
}

void CMain::DrawMovieProgress(const ProgressPanelLayout& lay, const char* text) {
    if (!stage || !stage->hwnd) return;
    Painter p(*stage);
    if (!p) return;
    p.FillBox(RGB(192, 192, 192), lay.panel);
    p.DrawBevel(RGB(255, 255, 255), RGB(96, 96, 96), lay.panel, 2);
    p.FillBox(RGB(0, 160, 0), Rect{lay.bar.left, lay.bar.top, lay.splitX, lay.bar.bottom});
    p.FillBox(RGB(200, 0, 0), Rect{lay.splitX, lay.bar.top, lay.bar.right, lay.bar.bottom});
    p.FrameBox(RGB(0, 0, 0), lay.bar);
    p.UseFont(Fonts().f10, -1, 1);
    p.DrawString(RGB(0, 0, 0), text ? text : "", lay.textX, lay.textY);
    if (!lay.estimate.empty())
        p.DrawString(RGB(0, 0, 0), lay.estimate.c_str(), lay.estimateX, lay.estimateY);
    p.DrawString(RGB(0, 0, 0), lay.percent.c_str(), lay.percentX, lay.percentY);
    p.UseFont(nullptr);
}

void CMain::DrawStatusPanel(const KeyFrame& camera) {
    if (!hwnd || !session.HasShow()) return;
    kv::Show& show = session.TheShow();
    Painter p(*this);
    if (!p) return;
    const Rect c = GetClientRect();
    const int l = c.left, b = c.bottom;
    // The info line is written on the window's tiled background with a transparent font: put
    // the tiles back under it first, or a panel drawn again during a drag writes over itself.
    {
        Painter::Saved saved(p);
        const Rect band{c.left, b - 14, c.right, b};
        p.ClipTo(band);
        const int top = c.top + (band.top - c.top) / 128 * 128;
        for (int y = top; y < band.bottom; y += 128)
            for (int x = c.left; x < c.right; x += 128) p.BlitResourceBitmap(x, y, BmpPanelTile);
    }
    p.BlitResourceBitmap(l, b - 128, BmpPanelTile);
    p.UseFont(Fonts().f10, -1, 1);
    const float scale = stage ? stage->scale : 0.5f;
    const float scales[4] = {1.0f, 0.5f, 0.25f, 0.1f};
    const char* labels[4] = {"100%", "50%", "25%", "10%"};
    for (int i = 0; i < 4; ++i) {
        const Rect mark{l + 10, b - 82 + 10 * i, l + 19, b - 73 + 10 * i};
        p.DrawRadioMark(RGB(0, 0, 0), mark, scale == scales[i]);
        p.DrawString(RGB(0, 0, 0), labels[i], mark.left + 13, mark.top - 1);
    }
    char text[128];
    std::snprintf(text, sizeof text, "Pos   %d,%d", static_cast<int>(camera.x),
                  static_cast<int>(camera.y));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 39);
    std::snprintf(text, sizeof text, "Wid  %d", static_cast<int>(camera.width));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 29);
    std::snprintf(text, sizeof text, "Rot   %d,%d,%d", static_cast<int>(camera.rotation),
                  static_cast<int>(camera.tiltA), static_cast<int>(camera.tiltB));
    p.DrawString(RGB(0, 0, 0), text, l + 10, b - 19);
    if (show.hostMode) okButton.Place(p, Rect{l + 57, b - 70, l + 75, b - 52});
    p.DrawString(RGB(0, 0, 0), InfoLineText(show).c_str(), (c.right - c.left) / 2, b - 13, 6);
    if (!show.hostMode) {
        const COLORREF grey = RGB(128, 128, 128), white = RGB(255, 255, 255);
        p.FillTriangle(grey, l + 108, b - 20, 5, 90);
        p.DrawLine(white, l + 104, b - 20, l + 108, b - 20, 2);
        p.DrawLine(white, l + 106, b - 22, l + 106, b - 18, 2);
        p.FillTriangle(grey, l + 94, b - 20, 5, 270);
        p.DrawLine(white, l + 93, b - 20, l + 97, b - 20, 2);
    }
    p.UseFont(nullptr);
}

}  // namespace kv
