// The unrotated renderer: a separable box resampler in fixed point (full quality) and a
// nearest-pixel sampler (draft), plus the row selection shared by every renderer.
//
// Full quality works output row by output row. The vertical pass filters the source rows under
// the row's window into one intermediate row (8 bits a byte, normalised), restricted to the
// source columns the camera can reach; the horizontal pass then filters that row through the
// per-call column table. Rows and columns outside the picture come from precomputed matte
// pixels. The inner loops come from the kernel table (render_kernels.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/render/render_kernels.h"
#include "core/render/render_picture.h"

namespace kv {

using render_detail::ColumnTap;

namespace {

// Truncation toward zero that stays defined for NaN and huge values: such positions are far
// outside any picture (at most 65535 pixels), so any large value does.
int32_t TruncInt(float v) {
    if (v >= 1.0e9f) return 1000000000;
    if (!(v > -1.0e9f)) return -1000000000;
    return static_cast<int32_t>(v);
}

int32_t FloorInt(float v) {
    return TruncInt(std::floor(v));
}

template <typename T>
std::unique_ptr<T[]> Allocate(size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

bool UsableImages(const CDIB& out, const CDIB& picture) {
    if (out.Empty() || out.BitCount() != 32) return false;
    if (picture.Empty()) return false;
    return picture.BitCount() == 24 || picture.BitCount() == 32;
}

void FillRow(uint8_t* row, int width, const uint8_t pixel[4]) {
    for (int j = 0; j < width; ++j) std::memcpy(row + 4 * j, pixel, 4);
}

// Every selected row is the matte: used for a camera without area (or not a number), whose
// windows would otherwise run backwards over the picture.
void FillMatte(CDIB& out, const RowRange& rows, uint8_t matteAlpha) {
    const uint8_t pixel[4] = {MatteLevel, MatteLevel, MatteLevel, matteAlpha};
    for (int r = rows.first; r <= rows.last; r += rows.step)
        FillRow(out.Row(r), out.Width(), pixel);
}

bool RenderDraft(CDIB& out, const CDIB& picture, const CameraRect& cam, const RowRange& rows) {
    const int wout = out.Width(), hout = out.Height();
    const int wsrc = picture.Width(), hsrc = picture.Height();
    const int bpp = picture.BitCount() / 8;
    const uint8_t matteAlpha = bpp == 4 ? 0 : 255;
    const uint8_t mattePixel[4] = {MatteLevel, MatteLevel, MatteLevel, matteAlpha};
    const float xstep = cam.width / static_cast<float>(wout);
    const float ystep = cam.height / static_cast<float>(hout);
    const float half = 0.5f * ystep;

    // Source column of each output column, -1 for the matte.
    auto column = Allocate<int32_t>(static_cast<size_t>(wout));
    if (!column) return false;
    for (int j = 0; j < wout; ++j) {
        const float v = cam.left + static_cast<float>(j) * xstep;
        const int32_t c = TruncInt(v);
        column[j] = (v >= 0.0f && c < wsrc) ? c : -1;
    }
    const bool leftOutside = FloorInt(cam.left) >= wsrc;
    for (int r = rows.first; r <= rows.last; r += rows.step) {
        uint8_t* dst = out.Row(r);
        float y = cam.bottom + static_cast<float>(r) * ystep;
        if (rows.line == LineAllHalf) y = y + half;
        const int32_t p = TruncInt(y);
        const int32_t q = TruncInt(y + ystep);
        if (p < 0 || q > hsrc - 2 || leftOutside) {
            FillRow(dst, wout, mattePixel);
            continue;
        }
        const uint8_t* src = picture.Row(p);
        for (int j = 0; j < wout; ++j, dst += 4) {
            const int32_t c = column[j];
            if (c < 0) {
                std::memcpy(dst, mattePixel, 4);
                continue;
            }
            const uint8_t* s = src + static_cast<size_t>(c) * static_cast<size_t>(bpp);
            dst[0] = s[0];
            dst[1] = s[1];
            dst[2] = s[2];
            dst[3] = bpp == 4 ? s[3] : 255;
        }
    }
    return true;
}

// One call of the full-quality renderer: the per-call tables first (Prepare), then the output
// rows one by one (Row). The steps are small inline members so the per-row and per-pixel work
// is the same as in a single function.
class FullRender {
public:
    FullRender(CDIB& out, const CDIB& picture, const CameraRect& cam, const RowRange& rows)
        : out_(out),
          picture_(picture),
          cam_(cam),
          rows_(rows),
          wout_(out.Width()),
          wsrc_(picture.Width()),
          hsrc_(picture.Height()),
          bpp_(picture.BitCount() / 8),
          matteAlpha_(bpp_ == 4 ? 0 : 255),
          xstep_(cam.width / static_cast<float>(wout_)),
          ystep_(cam.height / static_cast<float>(out.Height())),
          half_(0.5f * ystep_),
          wideWeight_(wsrc_ > OldMaxImageSide || hsrc_ > OldMaxImageSide
                          ? render_detail::BigPictureWideWeight
                          : render_detail::WideWeight),
          kernels_(render_detail::Kernels()) {}

    // Buffers, column table, the vertical pass's column range and the gathering plan; false
    // when memory runs out.
    inline bool Prepare();
    // Output row r; false when memory runs out.
    inline bool Row(int r);

private:
    static constexpr int MidInline = 64;
    static constexpr int MaxAhead = 16;
    using PlanStorage = std::unique_ptr<int32_t[], void (*)(int32_t*)>;

    inline void BuildColumnTable(int32_t& minTap, int32_t& maxTap);
    inline void SetMatteTail();
    inline void SetColumnRange(int32_t minTap, int32_t maxTap);
    inline bool BuildPlan();
    inline float RowTop(int r) const;
    inline render_detail::RowsAhead RowsAheadOf(int r, int32_t q, size_t offset);
    inline bool VerticalPass(int r, float y, float ey, int32_t p, int32_t q);

    CDIB& out_;
    const CDIB& picture_;
    const CameraRect& cam_;
    const RowRange& rows_;
    const int wout_, wsrc_, hsrc_, bpp_;
    const uint8_t matteAlpha_;
    const float xstep_, ystep_, half_;
    const int64_t wideWeight_;  // windows heavier than this are divided by their weight
    const render_detail::KernelTable& kernels_;

    std::unique_ptr<uint8_t[]> inter_;
    std::unique_ptr<ColumnTap[]> cols_;
    std::unique_ptr<uint8_t[]> matteRow_;
    int32_t lo_ = 0, hi_ = 0;
    bool leftOutside_ = false;
    int nBytes_ = 0;
    render_detail::ColumnPlan plan_;
    PlanStorage planStorage_{nullptr,
                             [](int32_t* p) { ::operator delete[](p, std::align_val_t{32}); }};
    const uint8_t* midInline_[MidInline];
    std::unique_ptr<const uint8_t*[]> midHeap_;
    int32_t midHeapSize_ = 0;
    std::unique_ptr<uint32_t[]> wideSums_;  // the sums of a window heavier than WideWeight
    const uint8_t* aheadRows_[MaxAhead];
};

bool FullRender::Prepare() {
    // Working buffer: the intermediate row (two matte pixels past the picture's last column
    // and spare bytes for vector loads), the column table and the finished matte row.
    const size_t interBytes = static_cast<size_t>(wsrc_ + 2) * static_cast<size_t>(bpp_) + 128;
    inter_ = Allocate<uint8_t>(interBytes);
    cols_ = Allocate<ColumnTap>(static_cast<size_t>(wout_));
    matteRow_ = Allocate<uint8_t>(static_cast<size_t>(wout_) * 4);
    if (!inter_ || !cols_ || !matteRow_) return false;
    std::memset(inter_.get(), MatteLevel, interBytes);

    int32_t minTap = wsrc_, maxTap = -1;
    BuildColumnTable(minTap, maxTap);
    SetMatteTail();
    SetColumnRange(minTap, maxTap);
    return BuildPlan();
}

// Column table, once per call. The reach of the taps widens the vertical pass's column range
// only where single-precision rounding would let a tap fall outside it.
void FullRender::BuildColumnTable(int32_t& minTap, int32_t& maxTap) {
    for (int j = 0; j < wout_; ++j) {
        const float v = cam_.left + static_cast<float>(j) * xstep_;
        const float e = v + xstep_;
        const int32_t m = TruncInt(v);
        const int32_t o = TruncInt(e);
        ColumnTap& c = cols_[j];
        c.first = static_cast<uint8_t>(TruncInt((1.0f - (v - static_cast<float>(m))) * 256.0f));
        c.last = static_cast<uint8_t>(TruncInt((e - static_cast<float>(o)) * 256.0f));
        const int64_t span = static_cast<int64_t>(o) - m;
        const int64_t total = span * 256 + c.first + c.last;
        const bool wide = total > wideWeight_;
        const int64_t norm = total > 0 && !wide ? (int64_t{1} << 20) / total : 0;
        c.m = m;
        c.span = static_cast<int32_t>(span);
        c.norm = static_cast<int32_t>(norm);
        c.matte = (m < 0 || o >= wsrc_) ? 1 : 0;
        c.weights = static_cast<int32_t>(c.first | (c.last << 16));
        c.offset = c.matte ? 0 : m * bpp_;
        c.offsetEnd = c.matte ? 0 : (o + 1) * bpp_;
        c.wide = wide ? 1 : 0;
        // Every tap the matte: 17 in each colour byte, the matte's alpha.
        const auto level =
            static_cast<uint8_t>(wide ? MatteLevel : (MatteLevel * total * norm) >> 20);
        c.mattePixel[0] = c.mattePixel[1] = c.mattePixel[2] = level;
        c.mattePixel[3] = matteAlpha_;
        std::memcpy(matteRow_.get() + 4 * j, c.mattePixel, 4);
        if (!c.matte) {
            minTap = std::min(minTap, m);
            maxTap = std::max(maxTap, o + 1);
        }
    }
}

// Intermediate pixels at and beyond the picture's last column are the matte.
void FullRender::SetMatteTail() {
    uint8_t* matteTail = inter_.get() + static_cast<size_t>(wsrc_ - 1) * static_cast<size_t>(bpp_);
    for (int k = 0; k < 2; ++k, matteTail += bpp_)
        if (bpp_ == 4) matteTail[3] = matteAlpha_;
}

// The source columns the vertical pass filters: those the camera can reach.
void FullRender::SetColumnRange(int32_t minTap, int32_t maxTap) {
    lo_ = std::max(0, FloorInt(cam_.left));
    hi_ = std::min(wsrc_ - 2, FloorInt(cam_.left + cam_.width + 16.0f) - 1);
    if (maxTap >= 0) {
        lo_ = std::min(lo_, minTap);
        hi_ = std::max(hi_, std::min(maxTap, wsrc_ - 2));
    }
    leftOutside_ = FloorInt(cam_.left) >= wsrc_;
    nBytes_ = hi_ >= lo_ ? (hi_ - lo_ + 1) * bpp_ : 0;
}

// The gathering kernel takes the columns eight at a time when they are narrow enough.
bool FullRender::BuildPlan() {
    if (!kernels_.horizontalGather) return true;
    const size_t n = render_detail::ColumnPlanStorage(wout_);
    planStorage_.reset(static_cast<int32_t*>(
        ::operator new[](n * sizeof(int32_t), std::align_val_t{32}, std::nothrow)));
    if (!planStorage_) return false;
    render_detail::BuildColumnPlan(cols_.get(), wout_, bpp_, planStorage_.get(), plan_);
    return true;
}

// The picture row at the top of output row r's window.
float FullRender::RowTop(int r) const {
    float y = cam_.bottom + static_cast<float>(r) * ystep_;
    if (rows_.line == LineAllHalf) y = y + half_;
    return y;
}

// The rows past q that the next output row's window reaches (a hint only: the next row
// recomputes its own window exactly).
render_detail::RowsAhead FullRender::RowsAheadOf(int r, int32_t q, size_t offset) {
    render_detail::RowsAhead ahead;
    if (r + rows_.step <= rows_.last) {
        const float yNext = RowTop(r + rows_.step);
        const int32_t from = std::max(q + 1, TruncInt(yNext));
        const int32_t to = std::min(TruncInt(yNext + ystep_), hsrc_ - 1);
        for (int32_t row = from; row <= to && ahead.count < MaxAhead; ++row)
            aheadRows_[ahead.count++] = picture_.Row(row) + offset;
        ahead.rows = aheadRows_;
    }
    return ahead;
}

// Filters the source rows p .. q under row r's window into the intermediate row.
bool FullRender::VerticalPass(int r, float y, float ey, int32_t p, int32_t q) {
    const int32_t wP = TruncInt((1.0f - (y - static_cast<float>(p))) * 256.0f);
    const int32_t wQ = TruncInt((ey - static_cast<float>(q)) * 256.0f);
    const int32_t nMid = std::max(q - p - 1, 0);
    const int32_t sumW = nMid * 256 + wP + wQ;
    const bool wide = sumW > wideWeight_;
    const int32_t norm = sumW > 0 && !wide ? (1 << 20) / sumW : 0;
    const uint8_t** mid = midInline_;
    if (nMid > MidInline) {
        if (nMid > midHeapSize_) {
            midHeap_ = Allocate<const uint8_t*>(static_cast<size_t>(nMid));
            if (!midHeap_) return false;
            midHeapSize_ = nMid;
        }
        mid = midHeap_.get();
    }
    const size_t offset = static_cast<size_t>(lo_) * static_cast<size_t>(bpp_);
    for (int k = 0; k < nMid; ++k) mid[k] = picture_.Row(p + 1 + k) + offset;
    if (wide) {
        if (!wideSums_) wideSums_ = Allocate<uint32_t>(static_cast<size_t>(nBytes_));
        if (!wideSums_) return false;
        render_detail::VerticalPassWide(picture_.Row(p) + offset, wP, picture_.Row(q) + offset, wQ,
                                        mid, nMid, sumW, inter_.get() + offset, nBytes_,
                                        wideSums_.get());
        return true;
    }
    const render_detail::RowsAhead ahead = RowsAheadOf(r, q, offset);
    kernels_.verticalPass(picture_.Row(p) + offset, wP, picture_.Row(q) + offset, wQ, mid, nMid,
                          norm, inter_.get() + offset, nBytes_, ahead);
    return true;
}

bool FullRender::Row(int r) {
    uint8_t* dst = out_.Row(r);
    const float y = RowTop(r);
    const float ey = y + ystep_;
    const int32_t p = TruncInt(y);
    const int32_t q = TruncInt(ey);
    if (p < 0 || q > hsrc_ - 2 || leftOutside_) {
        std::memcpy(dst, matteRow_.get(), static_cast<size_t>(wout_) * 4);
        return true;
    }
    if (nBytes_ > 0 && !VerticalPass(r, y, ey, p, q)) return false;
    if (plan_.taps > 0)
        kernels_.horizontalGather(inter_.get(), bpp_, plan_, wout_, dst);
    else
        kernels_.horizontalPass(inter_.get(), bpp_, cols_.get(), wout_, dst);
    return true;
}

bool RenderFull(CDIB& out, const CDIB& picture, const CameraRect& cam, const RowRange& rows) {
    FullRender render(out, picture, cam, rows);
    if (!render.Prepare()) return false;
    for (int r = rows.first; r <= rows.last; r += rows.step)
        if (!render.Row(r)) return false;
    return true;
}

}  // namespace

RowRange BandRows(int outHeight, int band, int line, int bandOffset) {
    RowRange rows;
    const bool fields = line == LineEven || line == LineOdd;
    const int digit = line == LineOdd ? 1 : 0;
    rows.step = fields ? 2 : 1;
    rows.line = line;
    const int middle = outHeight / 2;
    switch (band) {
        case 1:
            rows.first = digit;
            rows.last = std::min(middle, outHeight - 1);
            break;
        case 2: {
            // Offsets are 0 or 1 in practice; larger ones only empty or fill the band.
            const int offset = std::clamp(bandOffset, -outHeight, outHeight);
            rows.first = middle + offset + digit;
            rows.last = outHeight - 1;
            // A row that band 1 writes (the middle row with offset 0) stays band 1's.
            if (rows.first <= middle && (!fields || (rows.first & 1) == digit))
                while (rows.first <= middle) rows.first += rows.step;
            while (rows.first < 0) rows.first += rows.step;
            break;
        }
        default:
            rows.first = digit;
            rows.last = outHeight - 1;
            break;
    }
    return rows;
}

bool RenderPicture(CDIB& out, const CDIB& picture, const CameraRect& cam, int quality, int band,
                   int line, int bandOffset) {
    return RenderPictureAs(out, picture, picture.rotationInUse, cam, quality, band, line,
                           bandOffset);
}

bool RenderPictureAs(CDIB& out, const CDIB& picture, bool rotated, const CameraRect& cam,
                     int quality, int band, int line, int bandOffset) {
    if (rotated) return RenderRotated(out, picture, cam, quality, band, line, bandOffset);
    if (!UsableImages(out, picture)) return false;
    const RowRange rows = BandRows(out.Height(), band, line, bandOffset);
    if (!(cam.width > 0.0f && cam.height > 0.0f)) {
        FillMatte(out, rows, picture.BitCount() == 32 ? 0 : 255);
        return true;
    }
    if (quality == QualityDraft) return RenderDraft(out, picture, cam, rows);
    return RenderFull(out, picture, cam, rows);
}

}  // namespace kv
