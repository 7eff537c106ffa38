// The core's alerts as message boxes and its images drawn through the window layer.
#include "editor/ui/toolkit/core_bridge.h"

#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "platform/win/win.h"

namespace kv {

namespace {

class MessageBoxAlerts : public AlertSink {
public:
    Answer Show(AlertKind kind, const std::string& text, const std::string& caption) override {
        uint32_t type = MB_TOPMOST | MB_SYSTEMMODAL;
        if (kind == AlertKind::YesNo)
            type |= MB_YESNO | MB_ICONQUESTION;
        else if (kind == AlertKind::YesNoCancel)
            type |= MB_YESNOCANCEL | MB_ICONQUESTION;
        int r = MessageBox(nullptr, text, caption, type);
        switch (r) {
            case IDYES:
                return Answer::Yes;
            case IDNO:
                return Answer::No;
            case IDCANCEL:
                return Answer::Cancel;
            default:
                return Answer::Ok;
        }
    }
};

void DrawImage(HDC hdc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
               const void* bits, const BitmapInfo* info) {
    if (!hdc || !info) return;
    int mode = SetStretchBltMode(hdc, COLORONCOLOR);
    StretchDIBits(hdc, dx, dy, dw, dh, sx, sy, sw, sh, bits, info);
    SetStretchBltMode(hdc, mode);
}

}  // namespace

void InstallAlertMessageBoxes() {
    static MessageBoxAlerts sink;
    SetAlertSink(&sink);
}

void InstallImageDrawing() {
    SetStretchDIBitsHook(&DrawImage);
}

}  // namespace kv
