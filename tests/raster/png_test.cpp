#include "raster/png_decode.h"

#include <gtest/gtest.h>
#include <png.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#endif
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "raster_test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

// What to write: samples per pixel in PNG order, one value per sample at the bit depth.
struct PngImage {
    int width = 1;
    int height = 1;
    int colourType = PNG_COLOR_TYPE_RGBA;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha; // tRNS for palette images
    bool colourKey = false;             // tRNS for grey and RGB images
    png_color_16 key{};
    std::vector<std::vector<int>> samples; // per row: width x channels values
};

int Channels(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

Bytes PackRow(const PngImage& img, const std::vector<int>& values) {
    Bytes row;
    if (img.bitDepth >= 8) {
        for (int v : values) {
            if (img.bitDepth == 16)
                row.push_back(static_cast<unsigned char>(v >> 8));
            row.push_back(static_cast<unsigned char>(v & 0xFF));
        }
        return row;
    }
    int bits = 0, acc = 0;
    for (int v : values) {
        acc = (acc << img.bitDepth) | v;
        bits += img.bitDepth;
        if (bits == 8) {
            row.push_back(static_cast<unsigned char>(acc));
            bits = acc = 0;
        }
    }
    if (bits > 0)
        row.push_back(static_cast<unsigned char>(acc << (8 - bits)));
    return row;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

// Only plain data in this frame: libpng leaves it by longjmp on an error.
bool WritePng(const PngImage* img, png_bytepp rows, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info)
        return false;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, img->width, img->height, img->bitDepth, img->colourType,
                 img->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!img->palette.empty())
        png_set_PLTE(png, info, img->palette.data(), static_cast<int>(img->palette.size()));
    if (!img->paletteAlpha.empty())
        png_set_tRNS(png, info, img->paletteAlpha.data(), static_cast<int>(img->paletteAlpha.size()),
                     nullptr);
    if (img->colourKey)
        png_set_tRNS(png, info, nullptr, 0, &img->key);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

Bytes Encode(const PngImage& img) {
    std::vector<Bytes> packed;
    for (const auto& r : img.samples)
        packed.push_back(PackRow(img, r));
    std::vector<png_bytep> rows;
    for (auto& r : packed)
        rows.push_back(r.data());
    Bytes out;
    EXPECT_TRUE(WritePng(&img, rows.data(), &out));
    return out;
}

// The pixel the decoder must produce for pixel x of row y.
RasterPixel Expected(const PngImage& img, int x, int y) {
    const int n = Channels(img.colourType);
    const int* s = &img.samples[y][x * n];
    const int maxv = (1 << img.bitDepth) - 1;
    auto to8 = [&](int v) { return img.bitDepth == 16 ? v >> 8 : v * 255 / maxv; };
    switch (img.colourType) {
    case PNG_COLOR_TYPE_GRAY: {
        const int a = img.colourKey && s[0] == img.key.gray ? 0 : 255;
        return Bgra(to8(s[0]), to8(s[0]), to8(s[0]), a);
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return Bgra(to8(s[0]), to8(s[0]), to8(s[0]), to8(s[1]));
    case PNG_COLOR_TYPE_RGB: {
        const bool keyed =
            img.colourKey && s[0] == img.key.red && s[1] == img.key.green && s[2] == img.key.blue;
        return Bgra(to8(s[2]), to8(s[1]), to8(s[0]), keyed ? 0 : 255);
    }
    case PNG_COLOR_TYPE_PALETTE: {
        const png_color& c = img.palette[s[0]];
        const int a = s[0] < static_cast<int>(img.paletteAlpha.size()) ? img.paletteAlpha[s[0]] : 255;
        return Bgra(c.blue, c.green, c.red, a);
    }
    default:
        return Bgra(to8(s[2]), to8(s[1]), to8(s[0]), to8(s[3]));
    }
}

// An image of the given format filled with varied samples; for keyed formats the key is
// a value that occurs.
PngImage MakeImage(int colourType, int bitDepth, bool trns, bool interlaced, int w = 13, int h = 7,
                   unsigned seed = 1) {
    std::mt19937 rng(seed);
    PngImage img;
    img.width = w;
    img.height = h;
    img.colourType = colourType;
    img.bitDepth = bitDepth;
    img.interlaced = interlaced;
    const int n = Channels(colourType);
    int maxv = (1 << bitDepth) - 1;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        const int entries = std::min(1 << bitDepth, 20);
        for (int i = 0; i < entries; ++i)
            img.palette.push_back(png_color{static_cast<png_byte>(rng()), static_cast<png_byte>(rng()),
                                            static_cast<png_byte>(rng())});
        if (trns)
            for (int i = 0; i < entries / 2 + 1 && i < entries; ++i)
                img.paletteAlpha.push_back(static_cast<png_byte>(rng()));
        maxv = entries - 1;
    }
    img.samples.assign(h, std::vector<int>(w * n));
    for (auto& row : img.samples)
        for (int& v : row)
            v = std::uniform_int_distribution<int>(0, maxv)(rng);
    if (trns && colourType != PNG_COLOR_TYPE_PALETTE) {
        img.colourKey = true;
        const int* s = &img.samples[h / 2][0];
        if (colourType == PNG_COLOR_TYPE_GRAY) {
            img.key.gray = static_cast<png_uint_16>(s[0]);
        } else {
            img.key.red = static_cast<png_uint_16>(s[0]);
            img.key.green = static_cast<png_uint_16>(s[1]);
            img.key.blue = static_cast<png_uint_16>(s[2]);
        }
    }
    return img;
}

void ExpectDecodesTo(const RasterBitmap* b, const PngImage& img) {
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Width(), img.width);
    ASSERT_EQ(b->Height(), img.height);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            ASSERT_EQ(At(*b, x, y), Expected(img, x, y)) << x << "," << y;
}

std::unique_ptr<RasterBitmap> Decode(const Bytes& png, RasterBitmap* target = nullptr) {
    return std::unique_ptr<RasterBitmap>(LoadPngFromMemory(png.data(), png.size(), target));
}

// Rewrites every chunk's CRC so that damage reaches the image data instead of stopping at
// the checksum.
void FixCrcs(Bytes& png) {
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::size_t len =
            static_cast<std::size_t>(png[pos]) << 24 | png[pos + 1] << 16 | png[pos + 2] << 8 | png[pos + 3];
        if (len > png.size() - pos - 12)
            break;
        const uLong crc = crc32(0, png.data() + pos + 4, static_cast<uInt>(len + 4));
        for (int i = 0; i < 4; ++i)
            png[pos + 8 + len + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
        pos += len + 12;
    }
}

// A valid 1 x 1 file whose header then claims width x height.
Bytes WithClaimedSize(std::uint32_t width, std::uint32_t height) {
    Bytes png = Encode(MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 1, 1));
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<unsigned char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
    }
    FixCrcs(png);
    return png;
}

// Signature and a valid 1 x 1 header, then a `type` chunk that claims almost 2 GiB and
// brings nine bytes: about 50 bytes in all.
[[maybe_unused]] Bytes WithHugeChunk(const char* type) {
    Bytes png = Encode(MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 1, 1));
    png.resize(33);
    const unsigned char length[] = {0x7F, 0xFF, 0xFF, 0xF0};
    png.insert(png.end(), length, length + 4);
    png.insert(png.end(), type, type + 4);
    const char text[] = "Title\0abc";
    png.insert(png.end(), text, text + sizeof text - 1);
    return png;
}

} // namespace

TEST(PngDecode, EveryColourTypeAndDepthBecomesRasterPixels) {
    struct Format {
        int type, depth;
        bool trns;
    };
    const Format formats[] = {
        {PNG_COLOR_TYPE_GRAY, 1, false},       {PNG_COLOR_TYPE_GRAY, 2, false},
        {PNG_COLOR_TYPE_GRAY, 4, false},       {PNG_COLOR_TYPE_GRAY, 8, false},
        {PNG_COLOR_TYPE_GRAY, 16, false},      {PNG_COLOR_TYPE_GRAY, 1, true},
        {PNG_COLOR_TYPE_GRAY, 2, true},        {PNG_COLOR_TYPE_GRAY, 4, true},
        {PNG_COLOR_TYPE_GRAY, 8, true},        {PNG_COLOR_TYPE_GRAY, 16, true},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false},
        {PNG_COLOR_TYPE_RGB, 8, false},        {PNG_COLOR_TYPE_RGB, 16, false},
        {PNG_COLOR_TYPE_RGB, 8, true},         {PNG_COLOR_TYPE_RGB, 16, true},
        {PNG_COLOR_TYPE_PALETTE, 1, false},    {PNG_COLOR_TYPE_PALETTE, 2, true},
        {PNG_COLOR_TYPE_PALETTE, 4, false},    {PNG_COLOR_TYPE_PALETTE, 4, true},
        {PNG_COLOR_TYPE_PALETTE, 8, false},    {PNG_COLOR_TYPE_PALETTE, 8, true},
        {PNG_COLOR_TYPE_RGBA, 8, false},       {PNG_COLOR_TYPE_RGBA, 16, false},
    };
    for (const Format& f : formats) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << f.type << " depth " << f.depth << " tRNS " << f.trns
                                            << " interlaced " << interlaced);
            const PngImage img = MakeImage(f.type, f.depth, f.trns, interlaced);
            const auto b = Decode(Encode(img));
            ExpectDecodesTo(b.get(), img);
            EXPECT_EQ(b->RowStride(), 16); // 13 padded to a multiple of 4
        }
    }
}

TEST(PngDecode, KnownPixelValues) {
    PngImage red = MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 1, 1);
    red.samples = {{255, 0, 0, 255}};
    EXPECT_EQ(At(*Decode(Encode(red)), 0, 0), 0xFFFF0000u);

    PngImage rgb = MakeImage(PNG_COLOR_TYPE_RGB, 8, false, false, 2, 1);
    rgb.samples = {{1, 2, 3, 4, 5, 6}};
    const auto b = Decode(Encode(rgb));
    EXPECT_EQ(At(*b, 0, 0), 0xFF010203u); // straight colour, alpha 255 everywhere
    EXPECT_EQ(At(*b, 1, 0), 0xFF040506u);
    const auto* bytes = reinterpret_cast<const unsigned char*>(b->Bits());
    EXPECT_EQ(bytes[0], 3); // B, G, R, A in memory
    EXPECT_EQ(bytes[3], 255);

    // 16-bit samples keep their high byte; colours under partial alpha are not premultiplied.
    PngImage deep = MakeImage(PNG_COLOR_TYPE_RGBA, 16, false, false, 1, 1);
    deep.samples = {{0xABCD, 0x1280, 0xFFFF, 0x8000}};
    EXPECT_EQ(At(*Decode(Encode(deep)), 0, 0), 0x80AB12FFu);
}

TEST(PngDecode, RowsOf135PixelsAreStoredWithStride136) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 135, 3);
    const auto b = Decode(Encode(img));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->RowStride(), 136);
    ExpectDecodesTo(b.get(), img);
}

TEST(PngDecode, DecodesIntoATarget) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_PALETTE, 8, true, true, 21, 9);
    const Bytes png = Encode(img);

    RasterScreenBitmap screen(3, 3);
    EXPECT_EQ(LoadPngFromMemory(png.data(), png.size(), &screen), &screen);
    EXPECT_EQ(screen.RowStride(), 24);
    ExpectDecodesTo(&screen, img);

    BottomUpBitmap upsideDown(1, 1);
    EXPECT_EQ(LoadPngFromMemory(png.data(), png.size(), &upsideDown), &upsideDown);
    ExpectDecodesTo(&upsideDown, img);
    EXPECT_EQ(upsideDown.Bits()[0], Expected(img, 0, 8)); // first stored row is the last one

    RasterMemoryBitmap wide(1, 1, 16);
    EXPECT_EQ(LoadPngFromMemory(png.data(), png.size(), &wide), &wide);
    EXPECT_EQ(wide.RowStride(), 32);
    ExpectDecodesTo(&wide, img);
}

TEST(PngDecode, ATargetThatCannotTakeTheSizeAnswersNone) {
    class FixedSize final : public RasterBitmap {
      public:
        RasterPixel* Bits() const override { return mStore.Bits(); }
        int Width() const override { return 4; }
        int Height() const override { return 4; }
        int RowStride() const override { return 4; }
        bool IsBottomUp() const override { return false; }
        bool SetSize(int, int) override { return false; }
        void* DrawingContext() const override { return nullptr; }
        int QueryExtension(int, void*) override { return 0; }

      private:
        RasterMemoryBitmap mStore{4, 4, 4};
    } fixed;
    const Bytes png = Encode(MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 5, 5));
    EXPECT_EQ(LoadPngFromMemory(png.data(), png.size(), &fixed), nullptr);
}

TEST(PngDecode, NotAPngAnswersNone) {
    const Bytes png = Encode(MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false));
    EXPECT_EQ(LoadPngFromMemory(nullptr, 100, nullptr), nullptr);
    EXPECT_EQ(LoadPngFromMemory(png.data(), 7, nullptr), nullptr);
    EXPECT_EQ(LoadPngFromMemory(png.data(), 8, nullptr), nullptr); // signature and nothing else
    Bytes wrong = png;
    wrong[1] = 'Q';
    EXPECT_EQ(Decode(wrong), nullptr);
    const Bytes text = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Decode(text), nullptr);
}

TEST(PngDecode, HugeHeadersAreRefusedBeforeAllocating) {
    // 10^6 x 10^6: h x stride x 4 overflows 32 bits; 60000 x 60000 passes the per-side limit
    // but not the pixel budget. Both must fail cleanly (ASan would flag a wild allocation).
    for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{1000000, 1000000},
                        {60000, 60000},
                        {0x7FFFFFFF, 1},
                        {1, 0x7FFFFFFF},
                        {65536, 1}}) {
        RasterMemoryBitmap target(2, 2, 4);
        const Bytes png = WithClaimedSize(w, h);
        EXPECT_EQ(Decode(png), nullptr) << w << "x" << h;
        EXPECT_EQ(LoadPngFromMemory(png.data(), png.size(), &target), nullptr);
        EXPECT_EQ(target.Width(), 2); // refused before the target was touched
    }
}

// Each decode runs in a child whose peak resident size must hardly grow: a chunk length is
// no reason to allocate or fill memory the data cannot back.
// The memory is measured in a child process of its own, which Windows lacks.
#if !defined(_WIN32)
TEST(PngDecode, AChunkClaimingGigabytesCostsNoMemory) {
    for (const char* type : {"tEXt", "iTXt", "zTXt", "iCCP", "eXIf", "abCd"}) {
        const Bytes png = WithHugeChunk(type);
        ASSERT_EQ(png.size(), 50u);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rusage before{}, after{};
            getrusage(RUSAGE_SELF, &before);
            RasterBitmap* b = LoadPngFromMemory(png.data(), png.size(), nullptr);
            getrusage(RUSAGE_SELF, &after);
            _exit(b ? 2 : after.ru_maxrss - before.ru_maxrss > 32 * 1024 ? 3 : 0); // ru_maxrss is in KiB
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << type;
        EXPECT_EQ(WEXITSTATUS(status), 0) << type << ": 2 decoded, 3 grew by over 32 MiB";
    }
}
#endif

TEST(PngDecode, StreamsCutAfterTheImageDataStillDecode) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_RGB, 8, false, false, 30, 20);
    const Bytes png = Encode(img);
    // Without IEND (12 bytes) or with half of it, the rows are all there.
    for (std::size_t cut : {png.size() - 12, png.size() - 5, png.size() - 1}) {
        const Bytes shorter(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(cut));
        ExpectDecodesTo(Decode(shorter).get(), img);
    }
}

TEST(PngDecode, EveryTruncationDecodesOrFailsSafely) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_PALETTE, 4, true, true, 17, 11);
    const Bytes png = Encode(img);
    for (std::size_t cut = 0; cut < png.size(); ++cut) {
        const auto b = LoadPngFromMemory(png.data(), cut, nullptr);
        if (b) {
            EXPECT_EQ(b->Width(), 17);
            EXPECT_EQ(b->Height(), 11);
        }
        delete b;
    }
}

TEST(PngDecode, MutatedFilesNeverCrash) {
    std::vector<Bytes> seeds = {
        Encode(MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 24, 16)),
        Encode(MakeImage(PNG_COLOR_TYPE_RGB, 16, true, true, 9, 9)),
        Encode(MakeImage(PNG_COLOR_TYPE_PALETTE, 2, true, false, 31, 5)),
        Encode(MakeImage(PNG_COLOR_TYPE_GRAY, 1, false, true, 33, 12)),
        Encode(MakeImage(PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false, 7, 19)),
    };
    std::mt19937 rng(99);
    auto pick = [&](std::size_t lo, std::size_t hi) {
        return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
    };
    int decoded = 0;
    const int rounds = 4000;
    for (int round = 0; round < rounds; ++round) {
        Bytes png = seeds[round % seeds.size()];
        switch (pick(0, 4)) {
        case 0: // flip a few bits anywhere after the signature
            for (std::size_t i = pick(1, 6); i > 0; --i)
                png[pick(8, png.size() - 1)] ^= 1u << pick(0, 7);
            break;
        case 1: // overwrite a run with 0x00 or 0xFF
        {
            const std::size_t at = pick(8, png.size() - 1);
            const unsigned char v = pick(0, 1) ? 0xFF : 0x00;
            for (std::size_t i = at; i < std::min(png.size(), at + pick(1, 8)); ++i)
                png[i] = v;
            break;
        }
        case 2: // cut anywhere
            png.resize(pick(8, png.size()));
            break;
        case 3: // splice a copy of one region elsewhere
        {
            const std::size_t from = pick(8, png.size() - 1), len = pick(1, 40);
            const Bytes piece(png.begin() + static_cast<std::ptrdiff_t>(from),
                              png.begin() + static_cast<std::ptrdiff_t>(std::min(png.size(), from + len)));
            png.insert(png.begin() + static_cast<std::ptrdiff_t>(pick(8, png.size())), piece.begin(),
                       piece.end());
            break;
        }
        default: // random bytes in any one place
            for (std::size_t i = pick(1, 12); i > 0; --i)
                png[pick(8, png.size() - 1)] = static_cast<unsigned char>(rng());
            break;
        }
        if (round % 2 == 0)
            FixCrcs(png); // half the time the damage gets past the checksums
        RasterBitmap* b = LoadPngFromMemory(png.data(), png.size(), nullptr);
        if (b) {
            ++decoded;
            EXPECT_GT(b->Width(), 0);
            EXPECT_GT(b->Height(), 0);
            ASSERT_NE(b->Bits(), nullptr);
            delete b;
        }
    }
    // The mutations are mild enough that some files still decode, so both paths ran.
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, rounds);
}

TEST(PngDecode, ConcurrentDecodesAreIndependent) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, true, 40, 40);
    const Bytes png = Encode(img);
    Bytes broken = png;
    broken.resize(broken.size() / 2);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                std::unique_ptr<RasterBitmap> good(LoadPngFromMemory(png.data(), png.size(), nullptr));
                std::unique_ptr<RasterBitmap> bad(LoadPngFromMemory(broken.data(), broken.size(), nullptr));
                if (!good || At(*good, 39, 39) != Expected(img, 39, 39) || bad)
                    ++failures;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

namespace {
Bytes gResourcePng;
RasterResourceBytes TestResources(int id) {
    if (id == 101)
        return {gResourcePng.data(), gResourcePng.size()};
    if (id == 102)
        return {gResourcePng.data(), 7};
    return {};
}
} // namespace

TEST(PngResource, LoadsByIdThroughTheLookup) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, false, 6, 4);
    gResourcePng = Encode(img);
    std::unique_ptr<RasterBitmap> b(LoadPngFromResource(TestResources, 101, nullptr));
    ExpectDecodesTo(b.get(), img);
    b.reset(LoadPngFromResource(TestResources, 0x10000 | 101, nullptr)); // only the low 16 bits count
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(LoadPngFromResource(TestResources, 102, nullptr), nullptr); // shorter than 8 bytes
    EXPECT_EQ(LoadPngFromResource(TestResources, 103, nullptr), nullptr); // no such resource

    SetRasterResourceLookup(nullptr);
    EXPECT_EQ(LoadPngFromResource(nullptr, 101, nullptr), nullptr);
    SetRasterResourceLookup(TestResources);
    EXPECT_EQ(GetRasterResourceLookup(), &TestResources);
    b.reset(LoadPngFromResource(nullptr, 101, nullptr));
    ExpectDecodesTo(b.get(), img);
    SetRasterResourceLookup(nullptr);
}

namespace {
Bytes gOnDemandPng;
std::atomic<int> gOnDemandLookups{0};
RasterResourceBytes OnDemandResources(int) {
    ++gOnDemandLookups;
    return {gOnDemandPng.data(), gOnDemandPng.size()};
}
} // namespace

// The size is known from the header alone; the pixels, decoded once when first asked for
// (here by four threads at once), are the eager decode's. A body that does not decode still
// gives the promised size, transparent; a header the reader cannot take is the decoder's answer.
TEST(PngResource, OnDemandDecodesOnceWhenThePixelsAreFirstWanted) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_RGBA, 8, false, true, 135, 9);
    gOnDemandPng = Encode(img);
    gOnDemandLookups = 0;
    std::unique_ptr<RasterBitmap> b(LoadPngFromResourceOnDemand(OnDemandResources, 101));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Width(), 135);
    EXPECT_EQ(b->Height(), 9);
    EXPECT_EQ(gOnDemandLookups.load(), 1);
    std::vector<std::thread> threads;
    std::atomic<int> disagree{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            if (b->Row(8)[134] != Expected(img, 134, 8) || b->RowStride() != 136)
                ++disagree;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(disagree.load(), 0);
    EXPECT_EQ(gOnDemandLookups.load(), 2);
    ExpectDecodesTo(b.get(), img);

    Bytes cut = gOnDemandPng;
    cut.resize(60); // IHDR whole, the image data gone
    gOnDemandPng = cut;
    b.reset(LoadPngFromResourceOnDemand(OnDemandResources, 101));
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->Bits(), nullptr);
    EXPECT_EQ(b->Width(), 135);
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x)
            ASSERT_EQ(b->Row(y)[x], 0u) << x << ", " << y;

    gOnDemandPng = WithClaimedSize(70000, 1);
    EXPECT_EQ(LoadPngFromResourceOnDemand(OnDemandResources, 101), nullptr);
    gOnDemandPng.assign(30, 'x');
    EXPECT_EQ(LoadPngFromResourceOnDemand(OnDemandResources, 101), nullptr);
}

TEST(PngResource, PngExtensionIsCaseBlind) {
    EXPECT_TRUE(HasPngExtension("resources/img/BG.png"));
    EXPECT_TRUE(HasPngExtension("resources/img/KnobL.PNG"));
    EXPECT_TRUE(HasPngExtension("x.pNg"));
    EXPECT_FALSE(HasPngExtension("resources/img/BG.jpg"));
    EXPECT_FALSE(HasPngExtension("BG"));
    EXPECT_FALSE(HasPngExtension("BG.pngx"));
    EXPECT_FALSE(HasPngExtension("img.png/BG"));
    EXPECT_FALSE(HasPngExtension(nullptr));
}

TEST(PngFile, LoadsFromAPath) {
    const PngImage img = MakeImage(PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, 5, 5);
    const Bytes png = Encode(img);
    const std::string path = testing::TempDir() + "raster_png_file_test.png";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
    std::unique_ptr<RasterBitmap> b(LoadPngFromFile(path.c_str(), nullptr));
    ExpectDecodesTo(b.get(), img);
    std::remove(path.c_str());
    EXPECT_EQ(LoadPngFromFile(path.c_str(), nullptr), nullptr);
    EXPECT_EQ(LoadPngFromFile(nullptr, nullptr), nullptr);
}
