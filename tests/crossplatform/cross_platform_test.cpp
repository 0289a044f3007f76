// The Linux programs and their Windows builds, run under Wine, on the same inputs:
//   VT4R_WINDOWS_BUILD=build-win scripts/with-wine.sh ctest --test-dir build -L crossplatform
// The renderer's double output agrees within 1e-9 on every sample (the C libraries' exp and log
// differ in their last bits), and the snapshots agree pixel for pixel.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "raster/png_decode.h"
#include "tests/support/run_program.h"

namespace fs = std::filesystem;

namespace {

struct Audio {
    int rate = 48000;
    int channels = 2;
    std::vector<double> samples; // interleaved
};

bool ReadAudio(const std::string& path, Audio& audio) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return false;
    audio.rate = info.samplerate;
    audio.channels = info.channels;
    audio.samples.assign(static_cast<std::size_t>(info.frames) * info.channels, 0.0);
    const sf_count_t got = sf_readf_double(f, audio.samples.data(), info.frames);
    sf_close(f);
    return got == info.frames;
}

bool WriteDoubleWav(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = audio.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_DOUBLE;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const sf_count_t frames = static_cast<sf_count_t>(audio.samples.size()) / audio.channels;
    const bool ok = sf_writef_double(f, audio.samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

// Inputs where the platforms' arithmetic could part: loud and clipped material, silence and
// levels at the edge of the subnormal flush, steps and the highest frequency.
std::vector<std::pair<std::string, Audio>> SyntheticExtremes() {
    std::vector<std::pair<std::string, Audio>> out;
    const int n = 48000;
    auto make = [&](const char* name, auto sample) {
        Audio a;
        a.samples.resize(static_cast<std::size_t>(n) * 2);
        for (int i = 0; i < n; ++i) {
            a.samples[2 * i] = sample(i, 0);
            a.samples[2 * i + 1] = sample(i, 1);
        }
        out.emplace_back(name, std::move(a));
    };
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    make("full_scale_square", [](int i, int) { return (i / 24) % 2 ? 1.0 : -1.0; });
    make("nyquist_and_dc", [](int i, int c) { return c ? 0.999 : (i % 2 ? 0.7 : -0.7); });
    make("far_over_full_scale", [&](int, int) { return 16.0 * u(rng); });
    make("near_subnormal", [&](int, int) { return 1e-300 * u(rng); });
    make("silence_then_step", [](int i, int) { return i < 24000 ? 0.0 : 0.5; });
    make("level_sweep", [&](int i, int) { return std::pow(10.0, -4.0 + 4.5 * i / n) * u(rng); });
    return out;
}

// Real recordings from Debian's sound packages (speech; bells, glass and voices), converted
// to doubles once so both platforms read the same numbers.
std::vector<std::pair<std::string, Audio>> Recordings() {
    std::vector<std::pair<std::string, Audio>> out;
    const char* files[] = {"/usr/share/sounds/alsa/Front_Center.wav", "/usr/share/sounds/alsa/Noise.wav",
                           "/usr/share/sounds/freedesktop/stereo/complete.oga",
                           "/usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga",
                           "/usr/share/sounds/freedesktop/stereo/phone-incoming-call.oga"};
    for (const char* file : files) {
        Audio a;
        if (ReadAudio(file, a)) out.emplace_back(fs::path(file).stem().string(), std::move(a));
    }
    return out;
}

class CrossPlatform : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* build = std::getenv("VT4R_WINDOWS_BUILD");
        if (!build || !*build) GTEST_SKIP() << "VT4R_WINDOWS_BUILD names no Windows build folder";
        windowsBuild = fs::absolute(build);
        ASSERT_TRUE(fs::exists(windowsBuild / "tools/render/vt4r-render.exe")) << windowsBuild;
        dir = fs::temp_directory_path() / ("vt4r-cross-platform-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }

    // Runs the Windows program `exe` (relative to the Windows build) under Wine.
    ProgramResult RunWindows(const std::string& exe, std::vector<std::string> args) const {
        args.insert(args.begin(), (windowsBuild / exe).string());
        return RunProgram("/usr/bin/wine", args);
    }

    fs::path windowsBuild;
    fs::path dir;
};

TEST_F(CrossPlatform, RendererOutputAgreesWithinOneBillionthOnRecordingsAndExtremes) {
    auto inputs = Recordings();
    ASSERT_GE(inputs.size(), 3u) << "the recordings of sound-theme-freedesktop and alsa-utils are missing";
    for (auto& extreme : SyntheticExtremes()) inputs.push_back(std::move(extreme));

    const std::vector<std::vector<std::string>> settings = {
        {}, {"--relaxed", "--input", "12"}, {"--input", "20", "--output", "-20"}, {"--input", "-20", "--output", "20", "-b", "32"}};
    long long total = 0, identical = 0;
    double worst = 0;
    for (const auto& [name, audio] : inputs) {
        const std::string in = (dir / (name + ".wav")).string();
        ASSERT_TRUE(WriteDoubleWav(in, audio)) << name;
        for (std::size_t s = 0; s < settings.size(); ++s) {
            const std::string linuxOut = (dir / (name + "-linux.wav")).string();
            const std::string windowsOut = (dir / (name + "-windows.wav")).string();
            std::vector<std::string> args = {"-q", "--format", "double"};
            args.insert(args.end(), settings[s].begin(), settings[s].end());
            auto withFiles = [&](const std::string& out) {
                auto a = args;
                a.push_back(in);
                a.push_back(out);
                return a;
            };
            const ProgramResult lin = RunProgram(VT4R_RENDER, withFiles(linuxOut));
            ASSERT_EQ(lin.exitCode, 0) << lin.errors;
            const ProgramResult win = RunWindows("tools/render/vt4r-render.exe", withFiles(windowsOut));
            ASSERT_EQ(win.exitCode, 0) << win.errors;
            Audio a, b;
            ASSERT_TRUE(ReadAudio(linuxOut, a));
            ASSERT_TRUE(ReadAudio(windowsOut, b));
            ASSERT_EQ(a.samples.size(), b.samples.size()) << name;
            double caseWorst = 0;
            for (std::size_t i = 0; i < a.samples.size(); ++i) {
                ++total;
                if (std::memcmp(&a.samples[i], &b.samples[i], sizeof(double)) == 0) {
                    ++identical;
                    continue;
                }
                caseWorst = std::max(caseWorst, std::fabs(a.samples[i] - b.samples[i]));
            }
            EXPECT_LE(caseWorst, 1e-9) << name << " with settings " << s;
            worst = std::max(worst, caseWorst);
        }
    }
    std::printf("renderer: %lld samples, %lld bit-identical (%.4f %%), largest difference %.3g\n", total, identical,
                100.0 * identical / total, worst);
    RecordProperty("identical_percent", std::to_string(100.0 * identical / total));
    RecordProperty("largest_difference", std::to_string(worst));
}

TEST_F(CrossPlatform, SnapshotsArePixelForPixelTheSame) {
    const std::vector<std::vector<std::string>> states = {
        {}, {"--input", "-7.5", "--output", "13.2", "--meter", "0.37"}, {"--relaxed", "--meter", "1"}, {"--overlay"},
        // Drawn for dense screens: the knob's frames are painted at run time there.
        {"--scale", "2", "--input", "5", "--output", "-20", "--meter", "0.4"}, {"--scale", "1.25", "--relaxed"}};
    for (std::size_t s = 0; s < states.size(); ++s) {
        const std::string linuxPng = (dir / ("linux-" + std::to_string(s) + ".png")).string();
        const std::string windowsPng = (dir / ("windows-" + std::to_string(s) + ".png")).string();
        std::vector<std::string> args = {linuxPng};
        args.insert(args.end(), states[s].begin(), states[s].end());
        const ProgramResult lin = RunProgram(VT4R_SNAPSHOT, args);
        ASSERT_EQ(lin.exitCode, 0) << lin.errors;
        args[0] = windowsPng;
        const ProgramResult win = RunWindows("tools/snapshot/vt4r-snapshot.exe", args);
        ASSERT_EQ(win.exitCode, 0) << win.errors;
        std::unique_ptr<RasterBitmap> a(LoadPngFromFile(linuxPng.c_str(), nullptr));
        std::unique_ptr<RasterBitmap> b(LoadPngFromFile(windowsPng.c_str(), nullptr));
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->Width(), b->Width());
        ASSERT_EQ(a->Height(), b->Height());
        int differing = 0;
        for (int y = 0; y < a->Height(); ++y)
            for (int x = 0; x < a->Width(); ++x)
                differing += a->Row(y)[x] != b->Row(y)[x];
        EXPECT_EQ(differing, 0) << "state " << s;
    }
}

} // namespace
