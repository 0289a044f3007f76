// The editor drawn by vt4r-snapshot at 150 %, 200 % and 300 %: the right size, the same
// picture as at 100 % once reduced, and sharper than the 100 % picture enlarged, which is
// what a stretched window would show. (At 100 % the golden tests hold every pixel.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "raster/png_decode.h"
#include "tests/support/run_program.h"

namespace {

// Grey levels, row by row, as doubles.
struct Grey {
    int width = 0;
    int height = 0;
    std::vector<double> v;
    double At(int x, int y) const { return v[static_cast<std::size_t>(y) * width + x]; }
};

// Every channel of every pixel (0..255), for comparing pictures; and their grey.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<double> rgb;
    Grey ToGrey() const {
        Grey g{width, height, std::vector<double>(static_cast<std::size_t>(width) * height)};
        for (std::size_t i = 0; i < g.v.size(); ++i)
            g.v[i] = 0.299 * rgb[i * 3] + 0.587 * rgb[i * 3 + 1] + 0.114 * rgb[i * 3 + 2];
        return g;
    }
};

Picture Snapshot(const std::string& scale) {
    const std::string file = "scale_test_" + scale + ".png";
    const ProgramResult run = RunProgram(
        VT4R_SNAPSHOT_EXE, {file, "--scale", scale, "--input", "5", "--output", "-7.3", "--meter", "0.4"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    std::unique_ptr<RasterBitmap> bitmap(LoadPngFromFile(file.c_str(), nullptr));
    Picture p;
    if (!bitmap)
        return p;
    p.width = bitmap->Width();
    p.height = bitmap->Height();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int shift : {16, 8, 0})
                p.rgb.push_back((bitmap->Row(y)[x] >> shift) & 0xFF);
    return p;
}

// Reduced to width x height by averaging each output pixel's area (box filter with
// fractional edges, so 150 % reduces as exactly as 200 %).
Picture Reduce(const Picture& big, int width, int height) {
    const double s = static_cast<double>(big.width) / width;
    Picture out{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0, 0, 0}, weight = 0;
            for (int sy = static_cast<int>(y * s); sy < std::ceil((y + 1) * s); ++sy) {
                const double wy = std::min(sy + 1.0, (y + 1) * s) - std::max<double>(sy, y * s);
                for (int sx = static_cast<int>(x * s); sx < std::ceil((x + 1) * s); ++sx) {
                    const double w = wy * (std::min(sx + 1.0, (x + 1) * s) - std::max<double>(sx, x * s));
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * big.rgb[(static_cast<std::size_t>(sy) * big.width + sx) * 3 + c];
                    weight += w;
                }
            }
            for (double c : sum)
                out.rgb.push_back(c / weight);
        }
    }
    return out;
}

// Enlarged to width x height by bilinear interpolation, as a stretched window shows it.
Grey Enlarge(const Grey& small, int width, int height) {
    const double s = static_cast<double>(width) / small.width;
    Grey out{width, height, std::vector<double>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const double fy = std::clamp((y + 0.5) / s - 0.5, 0.0, small.height - 1.0);
        const int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, small.height - 1);
        for (int x = 0; x < width; ++x) {
            const double fx = std::clamp((x + 0.5) / s - 0.5, 0.0, small.width - 1.0);
            const int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, small.width - 1);
            const double tx = fx - x0, ty = fy - y0;
            out.v[static_cast<std::size_t>(y) * width + x] =
                (small.At(x0, y0) * (1 - tx) + small.At(x1, y0) * tx) * (1 - ty) +
                (small.At(x0, y1) * (1 - tx) + small.At(x1, y1) * tx) * ty;
        }
    }
    return out;
}

// Mean gradient magnitude (central differences): how steep the picture's edges are.
double EdgeGradient(const Grey& g) {
    double sum = 0;
    for (int y = 1; y + 1 < g.height; ++y)
        for (int x = 1; x + 1 < g.width; ++x)
            sum += std::hypot(g.At(x + 1, y) - g.At(x - 1, y), g.At(x, y + 1) - g.At(x, y - 1)) * 0.5;
    return sum / ((g.width - 2.0) * (g.height - 2.0));
}

// Energy of the detail finer than an editor pixel: what reducing the picture to 100 % and
// enlarging it again takes away (mean square, grey levels).
double FineDetail(const Picture& p) {
    const Grey g = p.ToGrey();
    const Grey smooth = Enlarge(Reduce(p, 288, 392).ToGrey(), p.width, p.height);
    double sum = 0;
    for (std::size_t i = 0; i < g.v.size(); ++i)
        sum += (g.v[i] - smooth.v[i]) * (g.v[i] - smooth.v[i]);
    return sum / g.v.size();
}

// The 100 % picture enlarged to width x height, in colour.
Picture Stretch(const Picture& small, int width, int height) {
    Picture out{width, height, std::vector<double>(static_cast<std::size_t>(width) * height * 3)};
    for (int c = 0; c < 3; ++c) {
        Grey channel{small.width, small.height,
                     std::vector<double>(static_cast<std::size_t>(small.width) * small.height)};
        for (std::size_t i = 0; i < channel.v.size(); ++i)
            channel.v[i] = small.rgb[i * 3 + c];
        const Grey big = Enlarge(channel, width, height);
        for (std::size_t i = 0; i < big.v.size(); ++i)
            out.rgb[i * 3 + c] = big.v[i];
    }
    return out;
}

double MeanDifference(const Picture& a, const Picture& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        sum += std::fabs(a.rgb[i] - b.rgb[i]);
    return sum / a.rgb.size();
}

TEST(EditorScale, EachScaleIsTheHundredPercentPictureDrawnSharp) {
    const Picture base = Snapshot("1");
    ASSERT_EQ(base.width, 288);
    ASSERT_EQ(base.height, 392);
    for (const char* scale : {"1.5", "2", "3"}) {
        SCOPED_TRACE(std::string("scale ") + scale);
        const double s = std::stod(scale);
        const Picture big = Snapshot(scale);
        ASSERT_EQ(big.width, std::lround(288 * s));
        ASSERT_EQ(big.height, std::lround(392 * s));

        // The same picture: every control, text and mark where it is at 100 %.
        const double difference = MeanDifference(Reduce(big, 288, 392), base);
        EXPECT_LT(difference, 3.0);

        // Drawn for this size, not stretched: it carries detail finer than an editor pixel
        // (several times what the enlarged 100 % picture has), and steeper edges.
        const Picture stretched = Stretch(base, big.width, big.height);
        const double detail = FineDetail(big), stretchedDetail = FineDetail(stretched);
        const double edges = EdgeGradient(big.ToGrey()), stretchedEdges = EdgeGradient(stretched.ToGrey());
        EXPECT_GT(detail, 3.0 * stretchedDetail);
        EXPECT_GT(edges, 1.2 * stretchedEdges);
        std::printf(
            "scale %s: reduced differs by %.2f; fine detail %.1f, stretched %.1f; edge gradient %.2f, "
            "stretched %.2f\n",
            scale, difference, detail, stretchedDetail, edges, stretchedEdges);
    }
}

} // namespace
