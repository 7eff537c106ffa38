// Suggested moves: the search for two camera rectangles that suit a picture (see the header for
// what a suggestion guarantees).
//
// Every move is described by the camera's starting and ending rectangle. The wider one is always
// the fit rectangle, the largest of the frame's aspect that lies on the part of the picture the
// renderer draws cleanly, so a pan (which keeps the width) fills the frame's width or height, and
// a push-in or pull-out zooms into it.
// The search walks a fixed grid of positions and zooms in a fixed order and keeps the first best
// candidate, so equal inputs give equal keys.
#include "core/document/suggest_move.h"

#include <algorithm>
#include <cmath>

#include "core/picture/cdib.h"
#include "core/show/show.h"

namespace kv {

namespace {

// Shapes, as r = picture aspect (w / h) over frame aspect (w / h).
constexpr double TallPictureRatio = 0.87;
constexpr double WidePictureRatio = 1.5;
// Face boxes from a detector run from brow to chin and cheek to cheek: the whole head takes
// this much more of its width at the sides and of its height above and below.
constexpr double FaceSideMargin = 0.15;
constexpr double FaceTopMargin = 0.35;
constexpr double FaceBottomMargin = 0.15;
// Room left around the subject in the frame it ends on, as a share of the widest head.
constexpr double SubjectMargin = 0.35;
// The salient region's size, as a share of the largest frame on the picture.
constexpr double SalientShare = 0.4;
// Room left around a salient region, as a share of its larger side.
constexpr double SalientMargin = 0.1;
// How much travel a pixel of the subject's distance from the end frame's middle is worth.
constexpr double CentringWeight = 1.5;
// Lengths picked automatically, in seconds.
constexpr double MinAutoPanSeconds = 5.0;
constexpr double MinAutoZoomSeconds = 8.0;
// The pan cap is stated per this many seconds.
constexpr double PanCapSeconds = 5.0;
// Positions tried along the free axis, and the zoom step, of the search.
constexpr int GridSteps = 96;
constexpr double ZoomStep = 0.01;
// Slack in pixels for comparisons of positions computed along different roads.
constexpr double Slack = 1e-6;
// The renderer counts the picture's last column and its top row as outside, and its box filter
// reaches one column further right when it enlarges (the matte blends into the frame's last
// column), so the camera keeps two columns off the right edge and one row off the top, and this
// much further in against single-precision rounding of the camera's edges.
constexpr double RightInset = 2.0;
constexpr double TopInset = 1.0;
constexpr double EdgeInset = 0.01;
// Ease code of the keys: "In & Out" at ease speed 0 on a curved segment, whatever the show's
// default ease; with two keys it moves every field on the same monotone curve.
constexpr float InAndOutEase = 1000.0f;

struct Frame {
    double cx = 0;  // centre
    double cy = 0;
    double w = 0;
    double h = 0;

    double Left() const { return cx - w * 0.5; }
    double Right() const { return cx + w * 0.5; }
    double Top() const { return cy - h * 0.5; }
    double Bottom() const { return cy + h * 0.5; }
};

bool Contains(const Frame& r, const PictureBox& b) {
    return b.left >= r.Left() - Slack && b.Right() <= r.Right() + Slack &&
           b.top >= r.Top() - Slack && b.Bottom() <= r.Bottom() + Slack;
}

// Narrows [lo, hi] to the f in it where a + f * d > 0 holds (strictly, past the slack).
void KeepPositive(double a, double d, double& lo, double& hi) {
    if (std::fabs(d) < 1e-12) {
        if (a <= Slack) hi = lo - 1;  // never
        return;
    }
    const double root = (Slack - a) / d;
    if (d > 0)
        lo = std::max(lo, root);
    else
        hi = std::min(hi, root);
}

// Whether the camera gliding from r0 to r1 (each edge linear in one shared parameter) ever
// overlaps the box without holding it whole: the box is then cut by the frame's edge.
bool CutsBox(const Frame& r0, const Frame& r1, const PictureBox& b) {
    if (Contains(r0, b) && Contains(r1, b)) return false;
    double lo = 0, hi = 1;
    KeepPositive(b.Right() - r0.Left(), -(r1.Left() - r0.Left()), lo, hi);
    KeepPositive(r0.Right() - b.left, r1.Right() - r0.Right(), lo, hi);
    KeepPositive(b.Bottom() - r0.Top(), -(r1.Top() - r0.Top()), lo, hi);
    KeepPositive(r0.Bottom() - b.top, r1.Bottom() - r0.Bottom(), lo, hi);
    return lo <= hi;
}

PictureBox ClipTo(const PictureBox& b, double pw, double ph) {
    const double left = std::clamp(b.left, 0.0, pw), right = std::clamp(b.Right(), 0.0, pw);
    const double top = std::clamp(b.top, 0.0, ph), bottom = std::clamp(b.Bottom(), 0.0, ph);
    return {left, top, right - left, bottom - top};
}

PictureBox Grow(const PictureBox& b, double left, double top, double right, double bottom) {
    return {b.left - left, b.top - top, b.width + left + right, b.height + top + bottom};
}

PictureBox Union(const PictureBox& a, const PictureBox& b) {
    if (a.Empty()) return b;
    const double left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    return {left, top, std::max(a.Right(), b.Right()) - left,
            std::max(a.Bottom(), b.Bottom()) - top};
}

// Everything the search needs about one picture.
struct Problem {
    double pw = 0, ph = 0;          // picture size
    double aspect = 0.75;           // camera height / width
    double shape = 1;               // the picture's width / height over the frame's
    double fitW = 0;                // the fit rectangle's width
    std::vector<PictureBox> heads;  // whole faces on the picture, never to be cut
    PictureBox subject;             // to be whole at the tight end; may be empty
    bool subjectIsFaces = false;
    double maxZoom = 1.5;
    double maxPan = 1.0;
};

// Centre positions a rectangle of width w can take on [0, extent]: a fixed grid over its range
// and the given targets held within it, ascending.
std::vector<double> Positions(double extent, double w, const std::vector<double>& targets) {
    const double lo = w * 0.5, hi = extent - w * 0.5;
    std::vector<double> out;
    if (hi - lo <= Slack) {
        out.push_back(extent * 0.5);
        return out;
    }
    for (int i = 0; i <= GridSteps; ++i) out.push_back(lo + (hi - lo) * i / GridSteps);
    for (double t : targets) out.push_back(std::clamp(t, lo, hi));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// The farthest the centre may travel in `seconds` along an axis whose frame extent is `extent`.
double PanCap(const Problem& p, double extent, double seconds) {
    return p.maxPan * extent * seconds / PanCapSeconds;
}

bool Valid(const Problem& p, const Frame& r0, const Frame& r1, double seconds) {
    for (const Frame* r : {&r0, &r1})
        if (r->Left() < -Slack || r->Top() < -Slack || r->Right() > p.pw + Slack ||
            r->Bottom() > p.ph + Slack)
            return false;
    if (std::fabs(r1.cx - r0.cx) > PanCap(p, std::min(r0.w, r1.w), seconds) + Slack) return false;
    if (std::fabs(r1.cy - r0.cy) > PanCap(p, std::min(r0.h, r1.h), seconds) + Slack) return false;
    for (const PictureBox& head : p.heads)
        if (CutsBox(r0, r1, head)) return false;
    return true;
}

// The fit rectangle centred at (cx, cy) held on the picture.
Frame FitRect(const Problem& p, double cx, double cy) {
    Frame r{cx, cy, p.fitW, p.fitW * p.aspect};
    r.cx = std::clamp(r.cx, r.w * 0.5, std::max(r.w * 0.5, p.pw - r.w * 0.5));
    r.cy = std::clamp(r.cy, r.h * 0.5, std::max(r.h * 0.5, p.ph - r.h * 0.5));
    return r;
}

double SubjectX(const Problem& p) {
    return p.subject.Empty() ? p.pw * 0.5 : p.subject.CentreX();
}
double SubjectY(const Problem& p) {
    return p.subject.Empty() ? p.ph * 0.5 : p.subject.CentreY();
}

// A pan: the fit rectangle slides along the picture's free axis from r0 to r1. Ending with the
// subject whole comes first (a pan that keeps faces whole in view beats a longer one that never
// shows them); then the longest travel within the cap, less one and a half times how far the
// subject ends from the frame's middle, so that the pan ends centred on the subject unless that
// costs more travel than it is worth.
bool SearchPan(const Problem& p, double seconds, Frame& r0, Frame& r1) {
    const bool vertical = (p.ph - p.fitW * p.aspect) / p.ph > (p.pw - p.fitW) / p.pw;
    const Frame base = FitRect(p, p.pw * 0.5, p.ph * 0.5);
    std::vector<double> targets = {vertical ? SubjectY(p) : SubjectX(p)};
    for (const PictureBox& head : p.heads) {
        // Positions that put a head just inside either edge: where the longest safe travel ends.
        const double ext = vertical ? base.h : base.w;
        const double a = vertical ? head.top : head.left;
        const double b = vertical ? head.Bottom() : head.Right();
        for (double t : {a + ext * 0.5, b - ext * 0.5, a - ext * 0.5, b + ext * 0.5})
            targets.push_back(t);
    }
    if (!p.subject.Empty()) {
        const double ext = vertical ? base.h : base.w;
        const double a = vertical ? p.subject.top : p.subject.left;
        const double b = vertical ? p.subject.Bottom() : p.subject.Right();
        targets.push_back(a + ext * 0.5);
        targets.push_back(b - ext * 0.5);
    }
    const std::vector<double> pos =
        Positions(vertical ? p.ph : p.pw, vertical ? base.h : base.w, targets);
    const double target = vertical ? SubjectY(p) : SubjectX(p);
    // Starts and ends on the grid, and exactly at the cap's reach from one another and from the
    // subject's centre, so that a pan as long as the cap allows can end centred on it.
    const double cap = PanCap(p, vertical ? base.h : base.w, seconds);
    const double lo = pos.front(), hi = pos.back();
    std::vector<double> starts = pos;
    for (double t : {std::clamp(target, lo, hi) - cap, std::clamp(target, lo, hi) + cap})
        if (t > lo && t < hi) starts.push_back(t);
    bool found = false;
    bool bestHolds = false;
    double bestWorth = 0;
    for (double a : starts) {
        Frame s = base;
        (vertical ? s.cy : s.cx) = a;
        std::vector<double> ends = pos;
        for (double b : {a - cap, a + cap})
            if (b > lo && b < hi) ends.push_back(b);
        for (double b : ends) {
            Frame e = base;
            (vertical ? e.cy : e.cx) = b;
            if (!Valid(p, s, e, seconds)) continue;
            const bool holds = !p.subject.Empty() && Contains(e, p.subject);
            const double travel = std::fabs(b - a);
            // Without a subject nothing pulls the end anywhere: the longest travel alone.
            const double off = p.subject.Empty() ? 0.0 : std::fabs(b - target);
            const double worth = travel - CentringWeight * off;
            const bool better =
                !found || (holds && !bestHolds) || (holds == bestHolds && worth > bestWorth + 1e-6);
            if (better) {
                found = true;
                bestHolds = holds;
                bestWorth = worth;
                r0 = s;
                r1 = e;
            }
        }
    }
    return found;
}

// The end of a push-in at zoom z from r0: the narrower rectangle as near the subject's centre
// as the picture, the pan cap and holding the subject allow. False when no place holds it.
bool TightEnd(const Problem& p, const Frame& r0, double z, double seconds, Frame& r1) {
    r1.w = r0.w / z;
    r1.h = r1.w * p.aspect;
    const double capX = PanCap(p, r1.w, seconds), capY = PanCap(p, r1.h, seconds);
    double loX = std::max(r1.w * 0.5, r0.cx - capX),
           hiX = std::min(p.pw - r1.w * 0.5, r0.cx + capX);
    double loY = std::max(r1.h * 0.5, r0.cy - capY),
           hiY = std::min(p.ph - r1.h * 0.5, r0.cy + capY);
    if (!p.subject.Empty()) {
        if (p.subject.width > r1.w + Slack || p.subject.height > r1.h + Slack) return false;
        loX = std::max(loX, p.subject.Right() - r1.w * 0.5);
        hiX = std::min(hiX, p.subject.left + r1.w * 0.5);
        loY = std::max(loY, p.subject.Bottom() - r1.h * 0.5);
        hiY = std::min(hiY, p.subject.top + r1.h * 0.5);
    }
    if (loX > hiX + Slack || loY > hiY + Slack) return false;
    r1.cx = std::clamp(SubjectX(p), loX, std::max(loX, hiX));
    r1.cy = std::clamp(SubjectY(p), loY, std::max(loY, hiY));
    return true;
}

// A push-in from the fit rectangle: the largest zoom within the cap whose tight end holds the
// subject; among the starting places one that does not cut the subject, nearest the picture's
// middle.
bool SearchPushIn(const Problem& p, double seconds, Frame& r0, Frame& r1) {
    const Frame base = FitRect(p, p.pw * 0.5, p.ph * 0.5);
    const bool slackX = p.pw - base.w > Slack;
    const std::vector<double> pos = slackX ? Positions(p.pw, base.w, {p.pw * 0.5, SubjectX(p)})
                                           : Positions(p.ph, base.h, {p.ph * 0.5, SubjectY(p)});
    const int steps = static_cast<int>(std::floor((p.maxZoom - 1.0) / ZoomStep + 1e-9));
    for (int i = steps; i >= 0; --i) {
        const double z = i == steps ? p.maxZoom : 1.0 + i * ZoomStep;
        bool found = false, bestWhole = false;
        double bestOff = 0;
        for (double a : pos) {
            Frame s = base;
            (slackX ? s.cx : s.cy) = a;
            Frame e;
            if (!TightEnd(p, s, z, seconds, e) || !Valid(p, s, e, seconds)) continue;
            const bool whole = p.subject.Empty() || !CutsBox(s, e, p.subject);
            const double off = slackX ? std::fabs(a - p.pw * 0.5) : std::fabs(a - p.ph * 0.5);
            if (!found || (whole && !bestWhole) || (whole == bestWhole && off < bestOff - 1e-6)) {
                found = true;
                bestWhole = whole;
                bestOff = off;
                r0 = s;
                r1 = e;
            }
        }
        if (found) return true;
    }
    return false;
}

// The seconds a move needs to travel from r0 to r1 at the pan cap.
double SecondsAtCap(const Problem& p, const Frame& r0, const Frame& r1) {
    const double unitX = PanCap(p, std::min(r0.w, r1.w), 1.0);
    const double unitY = PanCap(p, std::min(r0.h, r1.h), 1.0);
    double s = 0;
    if (unitX > 0) s = std::max(s, std::fabs(r1.cx - r0.cx) / unitX);
    if (unitY > 0) s = std::max(s, std::fabs(r1.cy - r0.cy) / unitY);
    return s;
}

// A key for frame r of the search, whose y counts from the top of the usable area.
KeyFrame KeyOf(const Frame& r, double top, int32_t time) {
    KeyFrame k{};
    k.x = static_cast<float>(r.cx);
    k.y = static_cast<float>(r.cy + top);
    k.width = static_cast<float>(r.w);
    k.easeCode = InAndOutEase;
    k.time = time;
    return k;
}

MoveKind ChooseKind(const Problem& p, const SuggestOptions& options) {
    if (options.move != MoveKind::Auto) return options.move;
    if (p.shape < TallPictureRatio || p.shape > WidePictureRatio) return MoveKind::Pan;
    return options.pullOutWhenAuto ? MoveKind::PullOut : MoveKind::PushIn;
}

// Runs the search of `kind` for a length of `seconds`; a still fit rectangle when nothing fits.
void Search(const Problem& p, MoveKind kind, double seconds, Frame& r0, Frame& r1) {
    if (kind == MoveKind::Pan ? SearchPan(p, seconds, r0, r1) : SearchPushIn(p, seconds, r0, r1))
        return;
    // No zoom holds the subject whole at the tight end (it is bigger than the fit rectangle, or
    // the faces and caps leave no room): zoom as the faces allow without it, else stay still.
    Problem loose = p;
    loose.subject = {};
    if (!p.subject.Empty() && kind != MoveKind::Pan && SearchPushIn(loose, seconds, r0, r1)) return;
    r0 = r1 = FitRect(p, SubjectX(p), SubjectY(p));
}

}  // namespace

double CameraAspect(const Show& show) {
    // As the renderer: the letterboxed mode frames a 4:3 picture area.
    constexpr int32_t LetterboxMode = 5626;
    return show.AspectMode == LetterboxMode ? 0.75 : static_cast<double>(show.aspect);
}

PictureBox CameraBox(const KeyFrame& camera, double aspect) {
    const double w = camera.width;
    const double h = static_cast<double>(static_cast<float>(camera.width * aspect));
    return {camera.x - w * 0.5, camera.y - h * 0.5, w, h};
}

SuggestedMove SuggestMove(const Show& show, int picture, const SuggestOptions& options,
                          const std::vector<PictureBox>& faces) {
    SuggestedMove out;
    (void)picture;  // one picture per show: the prepared picture is the one
    // The search works on the area the renderer draws from, its top row at 0.
    Problem p;
    const double top = TopInset + EdgeInset;
    p.pw = std::max(1.0, show.image.Width() - RightInset - EdgeInset);
    p.ph = std::max(1.0, show.image.Height() - TopInset - EdgeInset);
    auto toArea = [&](PictureBox b) {
        b.top -= top;
        return ClipTo(b, p.pw, p.ph);
    };
    p.aspect = CameraAspect(show);
    if (!(p.aspect > 0)) p.aspect = 0.75;
    // The shape rule goes by the whole picture, not the area the camera keeps to.
    p.shape = static_cast<double>(std::max(1, show.image.Width())) /
              std::max(1, show.image.Height()) * p.aspect;
    p.fitW = std::min(p.pw, p.ph / p.aspect);
    p.maxZoom = std::max(1.0, options.maxZoom);
    p.maxPan = std::max(0.0, options.maxPan);

    double widest = 0;
    for (const PictureBox& f : faces) {
        if (f.Empty()) continue;
        const PictureBox head = toArea(Grow(f, f.width * FaceSideMargin, f.height * FaceTopMargin,
                                            f.width * FaceSideMargin, f.height * FaceBottomMargin));
        if (head.Empty()) continue;
        p.heads.push_back(head);
        out.subject = Union(out.subject, head);
        widest = std::max(widest, head.width);
    }
    if (!p.heads.empty()) {
        const double m = widest * SubjectMargin;
        out.subject = ClipTo(Grow(out.subject, m, m, m, m), p.pw, p.ph);
        // Faces spread wider than any frame: the largest one is the subject.
        if (out.subject.width > p.fitW || out.subject.height > p.fitW * p.aspect) {
            const PictureBox* largest = &p.heads[0];
            for (const PictureBox& head : p.heads)
                if (head.width * head.height > largest->width * largest->height) largest = &head;
            const double lm = largest->width * SubjectMargin;
            out.subject = ClipTo(Grow(*largest, lm, lm, lm, lm), p.pw, p.ph);
        }
        out.subjectIsFaces = true;
    } else {
        const PictureBox salient = SalientRegion(show.image, p.aspect);
        if (!salient.Empty()) {
            const double m = std::max(salient.width, salient.height) * SalientMargin;
            out.subject = toArea(Grow(salient, m, m, m, m));
        }
    }
    p.subject = out.subject;
    p.subjectIsFaces = out.subjectIsFaces;
    out.move = ChooseKind(p, options);

    const double second = show.OneSecond() > 0 ? show.OneSecond() : 30;
    Frame r0, r1;
    int32_t length = options.length;
    if (length <= 0) {
        // Find the move at the longest length, then take the time it needs at the cap.
        Search(p, out.move, MaxAutoSuggestSeconds, r0, r1);
        const double least = out.move == MoveKind::Pan ? MinAutoPanSeconds : MinAutoZoomSeconds;
        const double seconds =
            std::clamp(SecondsAtCap(p, r0, r1), least, static_cast<double>(MaxAutoSuggestSeconds));
        length = std::max<int32_t>(1, static_cast<int32_t>(std::ceil(seconds * second - 1e-9)));
    }
    Search(p, out.move, length / second, r0, r1);
    if (out.move == MoveKind::PullOut) std::swap(r0, r1);
    out.length = length;
    out.keyCount = 2;
    out.keys[0] = KeyOf(r0, top, 0);
    out.keys[1] = KeyOf(r1, top, length);
    if (!out.subject.Empty()) out.subject.top += top;
    return out;
}

void ReplaceKeysWithMove(Show& show, int picture, const SuggestedMove& move) {
    if (picture < 0 || picture >= MaxPictures || move.keyCount < 1) return;
    Picture& pic = show.pictures[picture];
    KeyFrame first = pic.keys[0];
    for (KeyFrame& k : pic.keys) k = KeyFrame{};
    for (int i = 0; i < move.keyCount; ++i) pic.keys[i] = move.keys[i];
    // The first key carries show-wide values beside its camera.
    pic.keys[0].stamp = first.stamp;
    pic.keys[0].pictureStart = first.pictureStart;
    pic.keys[0].sizeReserve = first.sizeReserve;
    pic.keys[0].showLength = first.showLength;
    pic.keyCount = move.keyCount;
    show.selectedKey = 0;
    show.rotationInUse = show.RotationInUse(picture);
}

void ApplySuggestedMove(Show& show, int picture, const SuggestedMove& move) {
    if (picture < 0 || picture >= MaxPictures || move.keyCount < 1) return;
    ReplaceKeysWithMove(show, picture, move);
    if (move.length > 0) show.length = move.length;
    show.pictures[picture].keys[0].showLength = static_cast<float>(show.length);
    show.MarkChanged();
}

PictureBox LumaImage::ToPicture(double left, double top, double w, double h) const {
    return {left / scale, top / scale, w / scale, h / scale};
}

namespace {

// Luma in cells of k x k picture pixels, top row first: each cell's pixel count, sum and sum of
// squares (whole numbers, so the same on every build).
struct LumaCells {
    int32_t width = 0;
    int32_t height = 0;
    int32_t k = 1;
    std::vector<uint32_t> count;
    std::vector<uint64_t> sum;
    std::vector<uint64_t> squares;
};

LumaCells GatherLuma(const CDIB& picture, int32_t maxSide) {
    LumaCells out;
    const int32_t pw = picture.Width(), ph = picture.Height();
    const int bits = picture.BitCount();
    if (pw <= 0 || ph <= 0 || maxSide <= 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return out;
    const RgbQuad* table = picture.ColorTable();
    if (bits == 8 && table == nullptr) return out;
    out.k = std::max<int32_t>(1, (std::max(pw, ph) + maxSide - 1) / maxSide);
    out.width = (pw + out.k - 1) / out.k;
    out.height = (ph + out.k - 1) / out.k;
    const size_t cells = static_cast<size_t>(out.width) * out.height;
    out.count.assign(cells, 0);
    out.sum.assign(cells, 0);
    out.squares.assign(cells, 0);
    for (int32_t y = 0; y < ph; ++y) {
        // Rows are stored bottom-up; the cells count from the top row.
        const uint8_t* row = picture.Row(ph - 1 - y);
        const size_t base = static_cast<size_t>(y / out.k) * out.width;
        for (int32_t x = 0; x < pw; ++x) {
            uint32_t r, g, b;
            if (bits == 8) {
                const RgbQuad& q = table[row[x]];
                r = q.red, g = q.green, b = q.blue;
            } else if (bits == 16) {
                const uint32_t v = row[x * 2] | (row[x * 2 + 1] << 8);
                r = ((v >> 10) & 31) * 255 / 31, g = ((v >> 5) & 31) * 255 / 31,
                b = (v & 31) * 255 / 31;
            } else {
                const uint8_t* px = row + x * (bits / 8);
                b = px[0], g = px[1], r = px[2];
            }
            const uint32_t l = (77 * r + 150 * g + 29 * b) >> 8;
            const size_t c = base + x / out.k;
            ++out.count[c];
            out.sum[c] += l;
            out.squares[c] += l * l;
        }
    }
    return out;
}

}  // namespace

LumaImage PictureLuma(const CDIB& picture, int32_t maxSide) {
    const LumaCells cells = GatherLuma(picture, maxSide);
    LumaImage out;
    if (cells.width == 0) return out;
    out.width = cells.width;
    out.height = cells.height;
    out.scale = 1.0 / cells.k;
    out.pixels.resize(cells.count.size());
    for (size_t i = 0; i < cells.count.size(); ++i)
        out.pixels[i] = static_cast<uint8_t>(cells.count[i] ? cells.sum[i] / cells.count[i] : 0);
    return out;
}

PictureBox SalientRegion(const CDIB& picture, double frameAspect) {
    constexpr int32_t SaliencySide = 96;
    // Mean energy below this (luma steps) is a flat picture with no subject.
    constexpr int64_t FlatEnergy = 2;
    const LumaCells cells = GatherLuma(picture, SaliencySide);
    const int32_t w = cells.width, h = cells.height;
    if (w < 3 || h < 3) return {};
    // Energy of a cell: the spread of luma inside it (detail finer than a cell) and the change
    // of its mean to its neighbours' (edges between cells), in whole luma steps, summed into an
    // integral image.
    std::vector<int32_t> mean(cells.count.size()), energy(cells.count.size());
    for (size_t i = 0; i < mean.size(); ++i)
        mean[i] = cells.count[i] ? static_cast<int32_t>(cells.sum[i] / cells.count[i]) : 0;
    for (size_t i = 0; i < mean.size(); ++i) {
        const uint64_t n = cells.count[i];
        if (n == 0) continue;
        const uint64_t var = (cells.squares[i] * n - cells.sum[i] * cells.sum[i]) / (n * n);
        energy[i] = static_cast<int32_t>(std::sqrt(static_cast<double>(var)));
    }
    std::vector<int64_t> integral(static_cast<size_t>(w + 1) * (h + 1), 0);
    auto at = [&](int32_t x, int32_t y) { return mean[static_cast<size_t>(y) * w + x]; };
    for (int32_t y = 0; y < h; ++y) {
        int64_t rowSum = 0;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t gx = at(std::min(x + 1, w - 1), y) - at(std::max(x - 1, 0), y);
            const int32_t gy = at(x, std::min(y + 1, h - 1)) - at(x, std::max(y - 1, 0));
            rowSum += std::abs(gx) + std::abs(gy) + energy[static_cast<size_t>(y) * w + x];
            integral[(y + 1) * (w + 1) + x + 1] = integral[y * (w + 1) + x + 1] + rowSum;
        }
    }
    const int64_t total = integral[static_cast<size_t>(h) * (w + 1) + w];
    if (total < FlatEnergy * w * h) return {};
    // The window of the frame's shape, 0.4 of the largest frame on the picture (so that it fits
    // a frame zoomed in by more than the usual caps), that gathers the most energy; each window
    // is weighed by how near its centre lies to the picture's (full weight in the middle, three
    // quarters at the middle of an edge), since subjects are rarely framed at the very edge.
    const double aspect = frameAspect > 0 ? frameAspect : 0.75;
    const double fitW = std::min<double>(picture.Width(), picture.Height() / aspect);
    const double k = cells.k;
    const int32_t ww = std::clamp(static_cast<int32_t>(std::lround(SalientShare * fitW / k)), 1, w);
    const int32_t wh =
        std::clamp(static_cast<int32_t>(std::lround(SalientShare * fitW * aspect / k)), 1, h);
    double best = -1;
    int32_t bx = 0, by = 0;
    for (int32_t y = 0; y + wh <= h; ++y) {
        for (int32_t x = 0; x + ww <= w; ++x) {
            const int64_t e = integral[(y + wh) * (w + 1) + x + ww] -
                              integral[y * (w + 1) + x + ww] - integral[(y + wh) * (w + 1) + x] +
                              integral[y * (w + 1) + x];
            const double dx = (x + ww * 0.5) / w - 0.5, dy = (y + wh * 0.5) / h - 0.5;
            const double weight = 1.0 - (dx * dx + dy * dy);
            const double score = static_cast<double>(e) * weight;
            if (score > best) {
                best = score;
                bx = x;
                by = y;
            }
        }
    }
    return ClipTo({bx * k, by * k, ww * k, wh * k}, picture.Width(), picture.Height());
}

}  // namespace kv
