// The output frame's description and the matted render.
#include "output/output_frame.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "core/render/render_picture.h"  // MatteLevel
#include "core/show/show.h"

namespace kv {

namespace {

// Shapes closer than this (as a ratio) are the same shape: the frame is drawn whole.
constexpr double ShapeTolerance = 0.005;
constexpr double FourByThree = 0.75;
constexpr double SixteenByNine = 0.5625;

bool SameShape(double a, double b) {
    return a > 0 && b > 0 && std::fabs(a / b - 1.0) <= ShapeTolerance;
}

struct PixelShape {
    int32_t num, den;
};

// The full-frame pixel shapes of the three video sizes: 4:3 and 16:9.
bool VideoPixelShape(int32_t width, int32_t height, double shape, PixelShape& out) {
    if (!VideoFrameSize(width, height)) return false;
    const bool wide = SameShape(shape, SixteenByNine);
    if (!wide && !SameShape(shape, FourByThree)) return false;
    switch (height) {
        case 480:
            out = wide ? PixelShape{32, 27} : PixelShape{8, 9};
            return true;
        case 486:
            out = wide ? PixelShape{6, 5} : PixelShape{9, 10};
            return true;
        default:
            out = wide ? PixelShape{64, 45} : PixelShape{16, 15};
            return true;
    }
}

// The nearest whole number to v with the parity of `like`, within 1..limit.
int32_t NearestWithParity(double v, int32_t like, int32_t limit) {
    int32_t n = static_cast<int32_t>(std::floor(v + 0.5));
    if ((n - like) % 2 != 0) n += (v >= n) ? 1 : -1;
    while (n > limit) n -= 2;
    while (n < 1) n += 2;
    return n > limit ? limit : n;
}

// The nearest even number to v, within 0..limit.
int32_t NearestEven(double v, int32_t limit) {
    int32_t n = 2 * static_cast<int32_t>(std::floor(v / 2.0 + 0.5));
    if (n > limit) n = limit - (limit % 2);
    return n < 0 ? 0 : n;
}

void FillMatte(uint8_t* row, int32_t from, int32_t to) {
    static const uint8_t pixel[4] = {MatteLevel, MatteLevel, MatteLevel, 255};
    for (int32_t x = from; x < to; ++x) std::memcpy(row + 4 * x, pixel, 4);
}

// The show's shape values as the renderer reads them, replaced for one render and put back.
class DrawnShape {
public:
    DrawnShape(Show& show, const OutputFrame& frame)
        : m_show(show), m_mode(show.AspectMode), m_aspect(show.aspect) {
        if (!frame.Matted() && !frame.fill && frame.cameraAspect == show.aspect &&
            frame.letterboxBars == (show.AspectMode == LetterboxAspectMode))
            return;
        // The letterbox mode draws bars only where it keeps its video-size meaning.
        if (show.AspectMode == LetterboxAspectMode && !frame.letterboxBars)
            show.AspectMode = LetterboxAspectMode - 1;
        show.aspect = frame.cameraAspect;
    }
    ~DrawnShape() {
        m_show.AspectMode = m_mode;
        m_show.aspect = m_aspect;
    }
    DrawnShape(const DrawnShape&) = delete;
    DrawnShape& operator=(const DrawnShape&) = delete;

private:
    Show& m_show;
    int32_t m_mode;
    float m_aspect;
};

}  // namespace

ExactRate ExactRateFor(float framesPerSecond) {
    const float v = framesPerSecond * 100.0f + 0.5f;
    const int32_t n = v > 0 && v < 2.0e9f ? static_cast<int32_t>(v) : 0;
    switch (n) {
        case 2997:
            return {30000, 1001};
        case 2397:
        case 2398:
            return {24000, 1001};
        case 5994:
            return {60000, 1001};
        default:
            break;
    }
    if (n <= 0) return {0, 1};
    const int32_t g = std::gcd(n, 100);
    return {n / g, 100 / g};
}

int64_t FramesAtRate(int32_t showFrames, int32_t showRate, double framesPerSecond) {
    const ExactRate rate = ExactRateFor(static_cast<float>(showRate) / 100.0f);
    if (showFrames < 1 || rate.num <= 0 || !(framesPerSecond > 0.0)) return 1;
    const double frames =
        std::floor(static_cast<double>(showFrames) * rate.den / rate.num * framesPerSecond + 0.5);
    return frames < 1.0 ? 1 : frames > 2.0e9 ? 2000000000 : static_cast<int64_t>(frames);
}

bool VideoFrameSize(int32_t width, int32_t height) {
    return width == 720 && (height == 480 || height == 486 || height == 576);
}

double ShowShape(const Show& show, int32_t width, int32_t height) {
    if (show.AspectMode == LetterboxAspectMode)
        return VideoFrameSize(width, height) ? FourByThree : SixteenByNine;
    return show.aspect > 0 ? static_cast<double>(show.aspect) : FourByThree;
}

double OutputFrame::DisplayShape() const {
    if (width <= 0 || height <= 0 || pixelNum <= 0 || pixelDen <= 0) return 0;
    return static_cast<double>(height) * pixelDen / (static_cast<double>(width) * pixelNum);
}

OutputFrame DescribeOutputFrame(const Show& show, int32_t width, int32_t height, int32_t fieldMode,
                                float framesPerSecond, bool fill) {
    OutputFrame f;
    f.width = width;
    f.height = height;
    f.innerWidth = width;
    f.innerHeight = height;
    f.fill = fill;
    f.rate = ExactRateFor(framesPerSecond);
    f.showShape = ShowShape(show, width, height);
    f.cameraAspect = show.aspect;
    PixelShape pixel{1, 1};
    if (VideoPixelShape(width, height, f.showShape, pixel)) {
        f.pixelNum = pixel.num;
        f.pixelDen = pixel.den;
        f.letterboxBars = show.AspectMode == LetterboxAspectMode;
    } else if (show.AspectMode == LetterboxAspectMode) {
        f.cameraAspect = static_cast<float>(SixteenByNine);
    }

    if (fieldMode == 3) {
        // The renderer draws rows 0, 2, 4 ... from the bottom first unless the show swaps its
        // fields at a rate that has fields of their own time.
        int first = show.FieldSwap ? 1 : 0;
        if (show.FrameRate <= 2400 || show.FrameRate > 4000) first = 0;
        // The top row is row height - 1 from the bottom.
        const bool topFirst = ((height - 1) % 2) == first;
        f.scan = topFirst ? FrameScan::TopFieldFirst : FrameScan::BottomFieldFirst;
    }

    const double display = f.DisplayShape();
    if (width <= 0 || height <= 0 || SameShape(display, f.showShape)) return f;
    const double pixelAspect = static_cast<double>(f.pixelNum) / f.pixelDen;
    if (fill) {
        f.cameraAspect = static_cast<float>(display);
        f.letterboxBars = false;
        return f;
    }
    if (f.showShape > display) {
        // Taller than the frame: bars left and right.
        f.innerWidth = NearestWithParity(height / (f.showShape * pixelAspect), width, width);
        f.innerX = (width - f.innerWidth) / 2;
    } else {
        // Wider than the frame: bars above and below. The inner frame starts on an even row
        // and keeps the frame's row parity, so that its fields are the frame's fields.
        f.innerHeight = NearestWithParity(width * pixelAspect * f.showShape, height, height);
        f.innerY = NearestEven((height - f.innerHeight) / 2.0, height - f.innerHeight);
    }
    // The camera keeps the show's own shape: the inner frame is that shape to within a row or
    // a column.
    f.cameraAspect = static_cast<float>(f.showShape);
    if (show.AspectMode != LetterboxAspectMode) f.cameraAspect = show.aspect;
    f.letterboxBars = false;
    return f;
}

void PublishDefaultSize(double shape, int32_t& width, int32_t& height) {
    constexpr int32_t Shorter = 1080;
    if (!(shape > 0)) shape = FourByThree;
    const double longer = shape <= 1.0 ? Shorter / shape : Shorter * shape;
    int32_t side = 2 * static_cast<int32_t>(std::floor(longer / 2.0 + 0.5));
    side = side > MaxOutputSide ? MaxOutputSide : side < Shorter ? Shorter : side;
    width = shape <= 1.0 ? side : Shorter;
    height = shape <= 1.0 ? Shorter : side;
}

std::string ShapeName(double shape) {
    static const struct {
        double shape;
        const char* name;
    } known[] = {{SixteenByNine, "16:9"}, {16.0 / 9.0, "9:16"}, {1.0, "1:1"},
                 {1.25, "4:5"},           {FourByThree, "4:3"}, {4.0 / 3.0, "3:4"}};
    for (const auto& k : known)
        if (SameShape(shape, k.shape)) return k.name;
    if (!(shape > 0)) return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%.3g:1", 1.0 / shape);
    return text;
}

std::string MattedFrameNotice(const OutputFrame& frame) {
    const bool pillars = frame.innerWidth != frame.width;
    return std::to_string(frame.width) + " x " + std::to_string(frame.height) + " (" +
           ShapeName(frame.DisplayShape()) + ") is not the show's shape (" +
           ShapeName(frame.showShape) + "): the show is drawn whole in " +
           std::to_string(frame.innerWidth) + " x " + std::to_string(frame.innerHeight) +
           (pillars ? " with bars left and right" : " with bars above and below");
}

bool RenderOutputFrame(Show& show, FrameRenderFn render, const OutputFrame& frame, int32_t index,
                       int32_t fieldMode, bool fieldOrderFlag, CDIB* out, CDIB& scratch,
                       bool preferPrevious) {
    if (!render || !out || out->Empty() || out->Width() != frame.width ||
        out->Height() != frame.height)
        return false;
    DrawnShape shape(show, frame);
    if (!frame.Matted())
        return render(show, index, fieldMode, fieldOrderFlag, frame.width, frame.height, out,
                      preferPrevious);
    if (scratch.Width() != frame.innerWidth || scratch.Height() != frame.innerHeight ||
        scratch.BitCount() != 32) {
        if (!scratch.Create(frame.innerWidth, frame.innerHeight, 32)) return false;
    }
    if (!render(show, index, fieldMode, fieldOrderFlag, frame.innerWidth, frame.innerHeight,
                &scratch, preferPrevious))
        return false;
    // Rows are bottom-up: the inner frame's bottom row lies this many rows above the frame's.
    const int32_t below = frame.height - frame.innerY - frame.innerHeight;
    const size_t innerBytes = static_cast<size_t>(frame.innerWidth) * 4;
    for (int32_t y = 0; y < frame.height; ++y) {
        uint8_t* row = out->Row(y);
        if (y < below || y >= below + frame.innerHeight) {
            FillMatte(row, 0, frame.width);
            continue;
        }
        FillMatte(row, 0, frame.innerX);
        std::memcpy(row + 4 * frame.innerX, scratch.Row(y - below), innerBytes);
        FillMatte(row, frame.innerX + frame.innerWidth, frame.width);
    }
    return true;
}

}  // namespace kv
