// A memory DC over a white 32-bit bitmap, for tests that draw and read the pixels back.
#pragma once

#include <string>

#include "platform/win/win.h"

namespace kvtest {

struct Canvas {
    kv::HDC dc;
    kv::HBITMAP bm;
    int w, h;
    Canvas(int width, int height) : w(width), h(height) {
        dc = kv::CreateCompatibleDC(nullptr);
        bm = kv::CreateBitmap32(width, height, nullptr);
        kv::SelectObject(dc, bm);
        kv::Rect all{0, 0, width, height};
        kv::HBRUSH white = kv::CreateSolidBrush(kv::RGB(255, 255, 255));
        kv::FillRect(dc, &all, white);
        kv::DeleteObject(white);
    }
    ~Canvas() {
        kv::DeleteDC(dc);
        kv::DeleteObject(bm);
        kv::DeleteObject(pen);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    // '#' for pixels of the colour, '.' for white, '?' for anything else; rows joined by '|'.
    std::string Grid(kv::COLORREF ink = kv::RGB(0, 0, 0)) const {
        std::string s;
        for (int y = 0; y < h; ++y) {
            if (y) s += '|';
            for (int x = 0; x < w; ++x) {
                kv::COLORREF c = kv::GetPixel(dc, x, y);
                s += c == ink ? '#' : c == kv::RGB(255, 255, 255) ? '.' : '?';
            }
        }
        return s;
    }
    void Pen(int style, int width, kv::COLORREF c) {
        kv::HPEN p = kv::CreatePen(style, width, c);
        kv::SelectObject(dc, p);
        kv::DeleteObject(pen);
        pen = p;
    }
    kv::HPEN pen = nullptr;
};

}  // namespace kvtest
