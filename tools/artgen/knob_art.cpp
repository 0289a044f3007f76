#include "knob_art.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "layout.h"
#include "shade.h"

namespace art {

namespace {

static_assert(kKnobFrameCount == kKnobFrames);

constexpr double kCentre = kKnobFrameSize / 2.0;
constexpr double kSkirtRadius = 41.0;
constexpr double kCapRadius = 29.5;
constexpr int kKnurlRidges = 44;
// The knurl fades in from here outwards; inside, nothing depends on the rotation.
constexpr double kKnurlStart = kSkirtRadius - 7.0;
// Light comes from the upper left (angles clockwise from straight up).
constexpr double kLightAngle = -40.0 * M_PI / 180.0;

double SmoothStep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// The C library's functions, which the committed 100 % strip was drawn with.
struct LibraryMath {
    static double Hypot(double x, double y) { return std::hypot(x, y); }
    static double Atan2(double y, double x) { return std::atan2(y, x); }
    static double Cos(double x) { return std::cos(x); }
    static double Sin(double x) { return std::sin(x); }
    static double Exp(double x) { return std::exp(x); }
};

// Series coefficients, worked out by the compiler: (-1)^k / (2k + 1) for atan, (-1)^k / (2k + 1)!
// for sin, 1 / k! for exp.
template <int N, typename Term> constexpr std::array<double, N> Coefficients(Term term) {
    std::array<double, N> c{};
    for (int k = 0; k < N; ++k)
        c[static_cast<std::size_t>(k)] = term(k);
    return c;
}
constexpr auto kAtanSeries = Coefficients<12>([](int k) { return (k % 2 ? -1.0 : 1.0) / (2 * k + 1); });
constexpr auto kSinSeries = Coefficients<14>([](int k) {
    double f = 1.0;
    for (int i = 2; i <= 2 * k + 1; ++i)
        f *= i;
    return (k % 2 ? -1.0 : 1.0) / f;
});
constexpr auto kExpSeries = Coefficients<16>([](int k) {
    double f = 1.0;
    for (int i = 2; i <= k; ++i)
        f *= i;
    return 1.0 / f;
});

template <std::size_t N> double Horner(const std::array<double, N>& c, double x) {
    double sum = c[N - 1];
    for (std::size_t k = N - 1; k-- > 0;)
        sum = sum * x + c[k];
    return sum;
}

// The same functions from additions, multiplications, divisions and square roots alone, which IEEE
// arithmetic rounds alike everywhere: the knob the editor draws at other scales has the same pixels
// on every platform, where the C libraries' last bits differ. Accurate to far below an 8-bit step.
struct PortableMath {
    static double Hypot(double x, double y) { return std::sqrt(x * x + y * y); }
    static double Atan2(double y, double x) {
        const double ax = std::fabs(x), ay = std::fabs(y);
        if (ax == 0.0 && ay == 0.0)
            return 0.0;
        // atan of a in [0, 1], then of a in [-0.27, 0.27] about 1 / sqrt(3), where the series is short.
        const bool swap = ay > ax;
        double a = swap ? ax / ay : ay / ax;
        constexpr double kRoot3 = 1.7320508075688772;
        double base = 0.0;
        if (a > 0.2679491924311227) {
            a = (a * kRoot3 - 1.0) / (a + kRoot3);
            base = M_PI / 6.0;
        }
        double angle = base + a * Horner(kAtanSeries, a * a);
        if (swap)
            angle = M_PI / 2.0 - angle;
        if (x < 0.0)
            angle = M_PI - angle;
        return y < 0.0 ? -angle : angle;
    }
    static double Sin(double x) {
        x -= 2.0 * M_PI * std::floor(x / (2.0 * M_PI) + 0.5); // into [-pi, pi]
        return x * Horner(kSinSeries, x * x);
    }
    static double Cos(double x) { return Sin(x + M_PI / 2.0); }
    static double Exp(double x) {
        if (x < -700.0)
            return 0.0;
        // 2^k e^r with |r| <= ln 2 / 2.
        const double k = std::floor(x / M_LN2 + 0.5);
        return std::ldexp(Horner(kExpSeries, x - k * M_LN2), static_cast<int>(k));
    }
};

Colour Grey(double v, double a = 1.0) {
    return {v, v, v * 1.02, a};
}

// Coverage of a pointer stroke (a round-capped segment of the given width) over a pixel, by
// 4 x 4 samples; the point arguments are in units.
double StrokeCoverage(int px, int py, double scale, double x0, double y0, double x1, double y1,
                      double width) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    const double half = width * 0.5;
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
            const double x = (px + (sx + 0.5) / 4.0) / scale, y = (py + (sy + 0.5) / 4.0) / scale;
            double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
            if (ex * ex + ey * ey <= half * half)
                ++inside;
        }
    }
    return inside / 16.0;
}

void Over(std::uint32_t& dst, Colour c, double coverage) {
    const double a = c.a * coverage;
    if (a <= 0.0)
        return;
    const std::uint32_t d = dst;
    const double da = (d >> 24) / 255.0, dr = ((d >> 16) & 0xFF) / 255.0, dg = ((d >> 8) & 0xFF) / 255.0,
                 db = (d & 0xFF) / 255.0;
    auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    dst = channel(a + da * (1 - a)) << 24 | channel(c.r * a + dr * (1 - a)) << 16 |
          channel(c.g * a + dg * (1 - a)) << 8 | channel(c.b * a + db * (1 - a));
}

// The three strokes cairo draws in artgen's 100 % strip: the cream index line on the skirt, the
// groove's lit lip and the groove.
void DrawStrokes(std::uint32_t* out, int stride, int size, double scale, double rotation) {
    const double sx = PortableMath::Sin(rotation), sy = -PortableMath::Cos(rotation);
    const double cx = kCentre, cy = kCentre;
    const double r0 = 8.0, r1 = kCapRadius - 4.0;
    struct Stroke {
        double x0, y0, x1, y1, width;
        Colour colour;
    };
    const Stroke strokes[] = {
        {cx + sx * (kCapRadius + 3.5), cy + sy * (kCapRadius + 3.5), cx + sx * (kSkirtRadius - 1.5),
         cy + sy * (kSkirtRadius - 1.5), 2.6, Rgb(0xF1E6CC)},
        {cx + sx * r0 + 0.5,
         cy + sy * r0 + 0.8,
         cx + sx * r1 + 0.5,
         cy + sy * r1 + 0.8,
         3.6,
         {1, 1, 1, 0.55}},
        {cx + sx * r0, cy + sy * r0, cx + sx * r1, cy + sy * r1, 3.2, Rgb(0x141414)},
    };
    for (const Stroke& s : strokes) {
        const double reach = s.width * 0.5 + 1.0;
        const int xa = std::max(0, static_cast<int>(std::floor((std::min(s.x0, s.x1) - reach) * scale)));
        const int xb = std::min(size, static_cast<int>(std::ceil((std::max(s.x0, s.x1) + reach) * scale)));
        const int ya = std::max(0, static_cast<int>(std::floor((std::min(s.y0, s.y1) - reach) * scale)));
        const int yb = std::min(size, static_cast<int>(std::ceil((std::max(s.y0, s.y1) + reach) * scale)));
        for (int y = ya; y < yb; ++y)
            for (int x = xa; x < xb; ++x)
                Over(out[static_cast<std::ptrdiff_t>(y) * stride + x], s.colour,
                     StrokeCoverage(x, y, scale, s.x0, s.y0, s.x1, s.y1, s.width));
    }
}

std::uint32_t Straight(std::uint32_t p) {
    const unsigned a = p >> 24;
    unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (a == 0) {
        r = g = b = 0;
    } else if (a < 255) {
        r = std::min(255u, (r * 255 + a / 2) / a);
        g = std::min(255u, (g * 255 + a / 2) / a);
        b = std::min(255u, (b * 255 + a / 2) / a);
    }
    return a << 24 | r << 16 | g << 8 | b;
}

} // namespace

template <typename M> Colour BodyPixel(double x, double y, double frameTop, double rotation) {
    const double dx = x - kCentre, dy = y - frameTop - kCentre;
    const double r = M::Hypot(dx, dy);
    // Most of the frame is outside the knob: there the angle is not needed.
    if (r > kSkirtRadius + 0.5) {
        return {0, 0, 0, 0};
    }
    const double phi = M::Atan2(dx, -dy); // clockwise from up
    const double facing = M::Cos(phi - kLightAngle);
    const double edge = std::clamp(kSkirtRadius + 0.5 - r, 0.0, 1.0);
    if (r > kCapRadius) {
        // Skirt: a cone falling away from the cap, knurled near its rim.
        const double ridge = 0.5 + 0.5 * M::Cos(kKnurlRidges * (phi - rotation));
        const double knurl = SmoothStep(kKnurlStart, kSkirtRadius - 4.0, r);
        double v = 0.10 + 0.07 * facing;
        v += knurl * (ridge - 0.5) * (0.10 + 0.06 * std::fabs(facing));
        // Rounded rim and a dark seam against the cap.
        v += 0.08 * SmoothStep(kSkirtRadius - 2.0, kSkirtRadius - 0.5, r) * facing;
        v *= 0.55 + 0.45 * SmoothStep(kCapRadius, kCapRadius + 2.5, r);
        return Grey(v, edge);
    }
    // Cap: machined aluminium. The turned rings reflect as two broad bright lobes that do not move with
    // the knob; fine concentric grooves and a chamfered edge.
    const double lobes = M::Cos(2.0 * (phi - kLightAngle - 0.25));
    const double rings =
        0.012 * M::Sin(r * 4.3) + 0.02 * (Hash(static_cast<std::int64_t>(r * 2.7), 0, 7) - 0.5);
    double v = 0.64 + 0.13 * lobes + rings + 0.05 * facing * (r / kCapRadius);
    const double chamfer = SmoothStep(kCapRadius - 2.8, kCapRadius - 1.2, r);
    v = v * (1 - chamfer) + (0.52 + 0.38 * facing) * chamfer;
    const double seam = SmoothStep(kCapRadius - 0.8, kCapRadius, r);
    v = v * (1 - seam) + 0.08 * seam;
    // Faint spot light on the dome.
    const double hx = dx + 10.0, hy = dy + 12.0;
    v += 0.10 * M::Exp(-(hx * hx + hy * hy) / 180.0);
    return Grey(std::min(v, 1.0));
}

template <typename M> Colour ShadowPixel(double x, double y, double frameTop) {
    const double dx = x - kCentre - 1.5, dy = y - frameTop - kCentre - 4.0;
    const double r = M::Hypot(dx, dy);
    return {0, 0, 0, 0.6 * (1.0 - SmoothStep(kSkirtRadius - 4.0, kSkirtRadius + 7.0, r))};
}

Colour KnobBodyPixel(double x, double y, double frameTop, double rotation) {
    return BodyPixel<LibraryMath>(x, y, frameTop, rotation);
}

Colour KnobShadowPixel(double x, double y, double frameTop) {
    return ShadowPixel<LibraryMath>(x, y, frameTop);
}

double KnobRotation(int frame) {
    const double t = frame / static_cast<double>(kKnobFrames - 1);
    return (-kKnobSweepDegrees / 2 + kKnobSweepDegrees * t) * M_PI / 180.0;
}

KnobPainter::KnobPainter(double scale)
    : mScale(scale), mSize(ScaledPixels(kKnobFrameSize, scale)),
      mSupersample(std::max(1, static_cast<int>(std::ceil(3.0 / scale - 1e-9)))) {
    const std::size_t count = static_cast<std::size_t>(mSize) * mSize;
    mShadow.assign(count, 0);
    mTurns.assign(count, 0);
    auto shadow = [](double x, double y) { return ShadowPixel<PortableMath>(x, y, 0.0); };
    auto body = [](double x, double y) { return BodyPixel<PortableMath>(x, y, 0.0, 0.0); };
    // A pixel's samples lie within this many units of its centre.
    const double spread = 0.75 / scale;
    for (int y = 0; y < mSize; ++y) {
        for (int x = 0; x < mSize; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * mSize + x;
            ShadeOnePixel(mShadow[i], x, y, 1, scale, shadow);
            const double r = PortableMath::Hypot((x + 0.5) / scale - kCentre, (y + 0.5) / scale - kCentre);
            mTurns[i] = r + spread > kKnurlStart && r - spread <= kSkirtRadius + 0.5;
        }
    }
    mStill = mShadow;
    for (int y = 0; y < mSize; ++y)
        for (int x = 0; x < mSize; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * mSize + x;
            // A pixel all of whose samples miss the knob keeps its shadow: every sample is clear.
            const double r = PortableMath::Hypot((x + 0.5) / scale - kCentre, (y + 0.5) / scale - kCentre);
            if (!mTurns[i] && r - spread <= kSkirtRadius + 0.5)
                ShadeOnePixel(mStill[i], x, y, mSupersample, scale, body);
        }
}

void KnobPainter::DrawPremultiplied(int frame, std::uint32_t* out, int stride) const {
    const double rotation = KnobRotation(frame);
    auto body = [rotation](double x, double y) { return BodyPixel<PortableMath>(x, y, 0.0, rotation); };
    for (int y = 0; y < mSize; ++y) {
        std::uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < mSize; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * mSize + x;
            if (mTurns[i]) {
                row[x] = mShadow[i];
                ShadeOnePixel(row[x], x, y, mSupersample, mScale, body);
            } else {
                row[x] = mStill[i];
            }
        }
    }
    DrawStrokes(out, stride, mSize, mScale, rotation);
}

void KnobPainter::Draw(int frame, std::uint32_t* out, int stride) const {
    DrawPremultiplied(frame, out, stride);
    for (int y = 0; y < mSize; ++y) {
        std::uint32_t* row = out + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < mSize; ++x)
            row[x] = Straight(row[x]);
    }
}

} // namespace art
