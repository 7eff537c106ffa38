// Toolkit test helpers: a CPWnd pane standing in for the stage, on the headless backend.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "editor/ui/toolkit/painter.h"
#include "editor/ui/toolkit/toolkit.h"
#include "tests/platform/win/test_window.h"

namespace kvtest {

class Pane : public kv::CPWnd {
public:
    bool OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
        messages.push_back(message);
        lastWParam = wParam;
        lastLParam = lParam;
        return true;
    }
    void Redraw() override { ++redraws; }

    static int64_t Proc(kv::HWND h, uint32_t m, uint64_t w, int64_t l) {
        return kv::CPWnd::Route(current, h, m, w, l);
    }
    // Creates, places, shows and whitens the pane.
    bool Open(int left, int top, int right, int bottom, uint32_t flags = kv::WinPopup) {
        current = this;
        if (!CreateWin(nullptr, flags, &Proc)) return false;
        MoveTo(left, top, right, bottom, true);
        Show(1);
        kv::Painter(*this).FillBox(kv::RGB(255, 255, 255), GetClientRect());
        return true;
    }

    static inline Pane* current = nullptr;
    std::vector<uint32_t> messages;
    uint64_t lastWParam = 0;
    int64_t lastLParam = 0;
    int redraws = 0;
};

inline void StartUi() {
    UseHeadless();
    // An editor run in the same process stops the toolkit when it ends (fonts deleted): start
    // it again for the tests that follow.
    if (!kv::Fonts().f10) kv::StartToolkit(nullptr, "Kinevista", 101);
}

}  // namespace kvtest
