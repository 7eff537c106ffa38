// The kept picture of a shown window and its update by changed regions (see shown_picture.h).
#include "platform/win/shown_picture.h"

#include <algorithm>
#include <cstring>

#include "platform/win/scale.h"

namespace kv {

namespace {

// More boxes than this are merged: each box costs a walk over the notes and a request to the
// display, and past a few dozen their bounds cost less.
constexpr size_t kMaxBoxes = 16;

bool Meets(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Empty(const Rect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

Rect Union(const Rect& a, const Rect& b) {
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

int64_t Area(const Rect& r) {
    return Empty(r) ? 0 : int64_t{r.right - r.left} * (r.bottom - r.top);
}

// Merges the pair whose bounds add the least area until few enough are left.
void Merge(std::vector<Rect>* boxes) {
    if (boxes->size() > 4 * kMaxBoxes) {
        Rect all = boxes->front();
        for (const Rect& b : *boxes) all = Union(all, b);
        *boxes = {all};
        return;
    }
    while (boxes->size() > kMaxBoxes) {
        size_t bi = 0, bj = 1;
        int64_t best = -1;
        for (size_t i = 0; i < boxes->size(); ++i)
            for (size_t j = i + 1; j < boxes->size(); ++j) {
                const Rect& a = (*boxes)[i];
                const Rect& b = (*boxes)[j];
                const int64_t cost = Area(Union(a, b)) - Area(a) - Area(b);
                if (best < 0 || cost < best) {
                    best = cost;
                    bi = i;
                    bj = j;
                }
            }
        (*boxes)[bi] = Union((*boxes)[bi], (*boxes)[bj]);
        boxes->erase(boxes->begin() + static_cast<std::ptrdiff_t>(bj));
    }
}

// The parts of a box outside all of the holes.
std::vector<Rect> Without(const Rect& box, const std::vector<Rect>& holes) {
    std::vector<Rect> pieces{box}, next;
    for (const Rect& h : holes) {
        next.clear();
        for (const Rect& p : pieces) {
            if (!Meets(p, h)) {
                next.push_back(p);
                continue;
            }
            // Above and below the hole across the piece, then left and right of it between.
            const int top = std::max(p.top, h.top), bottom = std::min(p.bottom, h.bottom);
            if (p.top < h.top) next.push_back(Rect{p.left, p.top, p.right, h.top});
            if (h.bottom < p.bottom) next.push_back(Rect{p.left, h.bottom, p.right, p.bottom});
            if (p.left < h.left) next.push_back(Rect{p.left, top, h.left, bottom});
            if (h.right < p.right) next.push_back(Rect{h.right, top, p.right, bottom});
        }
        pieces.swap(next);
    }
    return pieces;
}

bool ById(const NoteMark& a, const NoteMark& b) {
    return a.id < b.id;
}

}  // namespace

const uint32_t* ShownPicture::Device() const {
    if (!m_valid) return nullptr;
    if (m_scale == 1.0) return m_composed.data();
    return m_target ? m_target : m_device.data();
}

std::vector<Rect> ShownPicture::Differences(const uint32_t* before, const uint32_t* after,
                                            int width, int height) {
    std::vector<Rect> out;
    Rect band{0, 0, 0, 0};
    bool open = false;
    for (int y = 0; y < height; ++y) {
        const uint32_t* a = before + static_cast<size_t>(y) * width;
        const uint32_t* b = after + static_cast<size_t>(y) * width;
        if (std::memcmp(a, b, static_cast<size_t>(width) * 4) == 0) {
            if (open) out.push_back(band);
            open = false;
            continue;
        }
        int x0 = 0, x1 = width;
        while (a[x0] == b[x0]) ++x0;
        while (a[x1 - 1] == b[x1 - 1]) --x1;
        if (open) {
            band.left = std::min(band.left, x0);
            band.right = std::max(band.right, x1);
            band.bottom = y + 1;
        } else {
            band = Rect{x0, y, x1, y + 1};
            open = true;
        }
    }
    if (open) out.push_back(band);
    return out;
}

std::vector<Rect> ShownPicture::Update(HWND top, double scale, bool whole, Target target) {
    int fw = 0, fh = 0;
    ComposeWindowInto(top, &m_next, &fw, &fh);
    if (fw <= 0 || fh <= 0) {
        m_valid = false;
        return {};
    }
    // The device size as the backends place the window: its edges mapped one by one.
    const int left = top->rect.left, up = top->rect.top;
    const int dw = std::max(1, ToDevice(left + fw, scale) - ToDevice(left, scale));
    const int dh = std::max(1, ToDevice(up + fh, scale) - ToDevice(up, scale));
    std::vector<NoteMark> marks = scale != 1.0 ? NoteMarks(top, fw, fh) : std::vector<NoteMark>{};
    // The pictures nothing drawn before them meets (a view's picture at device size) lay the
    // enlargement under themselves, which is then not made twice.
    std::vector<Rect> holes;
    std::vector<uint64_t> filled;
    for (size_t k = 0; k < marks.size(); ++k)
        if (!marks[k].text &&
            std::none_of(marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(k),
                         [&](const NoteMark& m) { return Meets(m.shown, marks[k].shown); })) {
            holes.push_back(marks[k].shown);
            filled.push_back(marks[k].id);
        }
    std::sort(marks.begin(), marks.end(), ById);

    uint32_t* into = scale != 1.0 && target.pixels && target.width == dw && target.height == dh
                         ? target.pixels
                         : nullptr;
    const bool all = whole || !m_valid || fw != m_fw || fh != m_fh || dw != m_dw || dh != m_dh ||
                     scale != m_scale || into != m_target;
    std::vector<Rect> boxes;
    if (all) {
        boxes.push_back(Rect{0, 0, fw, fh});
    } else {
        const std::vector<Rect> changed = Differences(m_composed.data(), m_next.data(), fw, fh);
        boxes = changed;
        // Notes that came, went or moved draw differently wherever they show.
        auto i = m_marks.begin(), j = marks.begin();
        while (i != m_marks.end() || j != marks.end()) {
            if (j == marks.end() || (i != m_marks.end() && i->id < j->id)) {
                boxes.push_back(i++->shown);
            } else if (i == m_marks.end() || j->id < i->id) {
                boxes.push_back(j++->shown);
            } else {
                if (!(*i == *j)) {
                    boxes.push_back(i->shown);
                    boxes.push_back(j->shown);
                }
                ++i;
                ++j;
            }
        }
        // A text is drawn sharp only while its whole box shows what it left: a change anywhere
        // in the box decides for all of it.
        for (const NoteMark& m : marks)
            if (m.text && std::any_of(changed.begin(), changed.end(),
                                      [&](const Rect& c) { return Meets(c, m.shown); }))
                boxes.push_back(m.shown);
        for (Rect& b : boxes)
            b = Rect{std::max(0, b.left), std::max(0, b.top), std::min(fw, b.right),
                     std::min(fh, b.bottom)};
        boxes.erase(std::remove_if(boxes.begin(), boxes.end(), Empty), boxes.end());
        Merge(&boxes);
    }
    m_composed.swap(m_next);
    m_marks = std::move(marks);
    m_fw = fw;
    m_fh = fh;
    m_dw = dw;
    m_dh = dh;
    m_scale = scale;
    m_target = into;
    m_valid = true;
    if (boxes.empty()) return {};
    if (scale == 1.0) {
        m_device.clear();
        return boxes;
    }
    if (into)
        std::vector<uint32_t>().swap(m_device);
    else
        m_device.resize(static_cast<size_t>(dw) * dh);
    uint32_t* device = into ? into : m_device.data();
    // The enlargement first under every box, then the notes over all of them: a note reaching
    // from one box into another is drawn over both.
    for (const Rect& b : boxes)
        for (const Rect& piece : Without(b, holes))
            ScaleNearestInto(m_composed.data(), fw, fh, device, dw, dh, piece.left, piece.top,
                             piece.right, piece.bottom);
    SharpenText(top, m_composed.data(), fw, fh, device, dw, dh, &boxes, &filled);
    std::vector<Rect> out;
    for (const Rect& b : boxes) {
        const Rect d{DeviceStart(b.left, fw, dw), DeviceStart(b.top, fh, dh),
                     DeviceStart(b.right, fw, dw), DeviceStart(b.bottom, fh, dh)};
        if (!Empty(d)) out.push_back(d);
    }
    return out;
}

}  // namespace kv
