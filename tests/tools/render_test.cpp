// vt4r-render as a user runs it: real files through the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "plugin/params.h"
#include "plugin/vt4r.h"
#include "render_options.h"
#include "sound_file.h"
#include "tests/support/run_program.h"
#include "tests/support/utf8_path.h"

namespace fs = std::filesystem;

namespace {
#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RenderTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vt4r-render-test-" + std::to_string(std::random_device{}()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string P(const std::string& name) const { return Utf8(dir / PathFromUtf8(name)); }

    static ProgramResult Run(const std::vector<std::string>& args, const std::string& folder = "") {
        return RunProgram(VT4R_RENDER, args, folder);
    }

    // Writes `frames` frames of seeded noise; returns the samples as written.
    std::vector<double> WriteNoise(const std::string& path, int channels, int frames, int rate, int format,
                                   unsigned seed = 3) const {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(-0.9, 0.9);
        std::vector<double> data(static_cast<size_t>(frames) * channels);
        for (auto& x : data) x = u(rng);
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = OpenSoundFile(path, SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_double(f, data.data(), frames);
        sf_close(f);
        return data;
    }

    static std::vector<double> Read(const std::string& path, SF_INFO& info) {
        info = {};
        SNDFILE* f = OpenSoundFile(path, SFM_READ, &info);
        if (!f) return {};
        std::vector<double> data(static_cast<size_t>(info.frames) * info.channels);
        sf_readf_double(f, data.data(), info.frames);
        sf_close(f);
        return data;
    }

    // The plug-in run directly on deinterleaved blocks, the last one short.
    static std::vector<double> Direct(const std::vector<double>& in, int channels, int rate, int block,
                                      double inputDb, double outputDb, bool relaxed, std::vector<double>* needles) {
        auto plugin = CreatePlugin(IHostRecord{});
        auto* p = static_cast<VT4R*>(plugin.get());
        p->SetSampleRateHz(rate);
        p->SetBlockFrames(block);
        p->ResetProcessing();
        p->Param(kInputParam)->SetClamped(inputDb);
        p->Param(kOutputParam)->SetClamped(outputDb);
        p->Param(kRelaxedModeParam)->SetClamped(relaxed ? 1 : 0);
        const long frames = static_cast<long>(in.size()) / channels;
        std::vector<double> out(in.size());
        std::vector<double> l(block), r(block), ol(block), orr(block);
        for (long start = 0; start < frames; start += block) {
            const int n = static_cast<int>(std::min<long>(block, frames - start));
            for (int i = 0; i < n; ++i) {
                l[i] = in[(start + i) * channels];
                r[i] = channels == 2 ? in[(start + i) * 2 + 1] : l[i];
            }
            double* ins[2] = {l.data(), r.data()};
            double* outs[2] = {ol.data(), orr.data()};
            p->ProcessBlockLocked(ins, outs, n);
            for (int i = 0; i < n; ++i) {
                out[(start + i) * channels] = ol[i];
                if (channels == 2) out[(start + i) * 2 + 1] = orr[i];
            }
            if (needles) needles->push_back(p->NeedlePosition());
        }
        return out;
    }
};
}  // namespace

TEST_F(RenderTest, DoubleOutputIsThePluginOutputBitForBitWithAShortLastBlock) {
    const int frames = 10000;  // 19 blocks of 512 and one of 272
    const auto in = WriteNoise(P("in.wav"), 2, frames, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
    ProgramResult r = Run({"-i", "6.5", "-o", "-3.2", "-r", "-b", "512", "-f", "double", "-m", P("meter.csv"),
                           P("in.wav"), P("out.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    SF_INFO info;
    const auto out = Read(P("out.wav"), info);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
    std::vector<double> needles;
    const auto expected = Direct(in, 2, 48000, 512, 6.5, -3.2, true, &needles);
    ASSERT_EQ(out.size(), expected.size());
    EXPECT_EQ(0, std::memcmp(out.data(), expected.data(), out.size() * sizeof(double)));

    std::ifstream csv(P("meter.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "block,time_s,needle");
    int rows = 0;
    while (std::getline(csv, line)) {
        int block = 0;
        double t = 0, needle = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf", &block, &t, &needle), 3) << line;
        EXPECT_EQ(block, rows + 1);
        EXPECT_EQ(needle, needles[rows]);
        ++rows;
    }
    EXPECT_EQ(rows, 20);
    EXPECT_NE(r.errors.find("largest gain reduction"), std::string::npos) << r.errors;
}

TEST_F(RenderTest, MonoFeedsBothInputsAndWritesTheLeftOutputInTheInputFormat) {
    const auto in = WriteNoise(P("in.flac"), 1, 5000, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(Run({"-q", "-b", "100", P("in.flac"), P("out.flac")}).exitCode, 0);
    SF_INFO inInfo, outInfo;
    const auto pcm = Read(P("in.flac"), inInfo);
    const auto out = Read(P("out.flac"), outInfo);
    EXPECT_EQ(outInfo.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(outInfo.channels, 1);
    const auto expected = Direct(pcm, 1, 44100, 100, 0, 0, false, nullptr);
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], expected[i], 1.0 / 32768) << i;
}

TEST_F(RenderTest, BadInputIsRefusedClearlyAndNeverLeavesAnOutput) {
    WriteNoise(P("in.wav"), 2, 1000, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    WriteNoise(P("quad.wav"), 4, 1000, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::ofstream(P("garbage.wav")) << "this is not audio at all";
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::string in = P("in.wav"), out = P("out.wav");
    const Case cases[] = {
        {{"-i", "20.5", in, out}, 2, "-20 to 20"},
        {{"-o", "abc", in, out}, 2, "-20 to 20"},
        {{"-i", "nan", in, out}, 2, "-20 to 20"},
        {{"-b", "0", in, out}, 2, "1 to 8192"},
        {{"-b", "8193", in, out}, 2, "1 to 8192"},
        {{"-b", "12x", in, out}, 2, "1 to 8192"},
        {{"-f", "mp3", in, out}, 2, "pcm16"},
        {{"--frobnicate", in, out}, 2, "unknown option"},
        {{in}, 2, "INPUT and an OUTPUT"},
        {{"-i"}, 2, "needs a value"},
        {{P("missing.wav"), out}, 1, "cannot read"},
        {{P("garbage.wav"), out}, 1, "cannot read"},
        {{P("quad.wav"), out}, 1, "4 channels"},
        {{in, in}, 1, "same file"},
        {{in, P("./in.wav")}, 1, "same file"},
        {{in, P("no/such/dir/out.wav")}, 1, "cannot write"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = Run(c.args);
        const std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(r.exitCode, c.status) << shown << "\n" << r.errors;
        EXPECT_NE(r.errors.find(c.message), std::string::npos) << shown << "\n" << r.errors;
        EXPECT_FALSE(fs::exists(P("out.wav"))) << shown;
    }
    // The signal maker takes no option for a file name either.
    EXPECT_EQ(RunProgram(VT4R_DEMO_SIGNAL, {"--help"}, dir.string()).exitCode, 0);
    EXPECT_EQ(RunProgram(VT4R_DEMO_SIGNAL, {"-x"}, dir.string()).exitCode, 2);
    // Nothing but the inputs is left in the folder.
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = Utf8(entry.path().filename());
        EXPECT_TRUE(name == "in.wav" || name == "quad.wav" || name == "garbage.wav") << name;
    }
}

TEST_F(RenderTest, AnOutputThatCannotBeReplacedIsLeftAsItWasWithNoTemporaryBehind) {
    // A folder in OUTPUT's place: everything is rendered, then the final
    // rename fails, even for root.
    WriteNoise(P("in.wav"), 2, 1000, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    fs::create_directories(P("out.wav/inside"));
    const ProgramResult r = Run({P("in.wav"), P("out.wav")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("cannot replace"), std::string::npos) << r.errors;
    EXPECT_TRUE(fs::is_directory(P("out.wav/inside")));
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(Utf8(entry.path().filename()).find(".vt4r-"), std::string::npos) << Utf8(entry.path());
}

// Names as users have them: not ASCII, with spaces, relative and absolute; on
// Windows also backslashes, forward slashes, a drive letter and other letter case
// reaching the same file. A refusal leaves every file as it was.
TEST_F(RenderTest, UnicodeAndWindowsSpelledPathsRenderAndRefusalsLeaveTheFilesAsTheyWere) {
    const fs::path folder = dir / PathFromUtf8("Stücke");
    fs::create_directories(folder / PathFromUtf8("Ordner ☃.wav"));
    const std::string inName = "Kälte ☃.wav", outName = "Wärme ☃.wav", meterName = "Nadel ☃.csv";
    const std::string input = Utf8(folder / PathFromUtf8(inName));
    const auto samples = WriteNoise(input, 2, 3000, 44100, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 5);
    const std::string relativeInput = Utf8(fs::path(PathFromUtf8("Stücke")) / PathFromUtf8(inName));
    std::string output = Utf8(folder / PathFromUtf8(outName));
    if (kWindows) {
        ASSERT_EQ(output.substr(1, 2), ":\\") << output;
        std::replace(output.begin(), output.end(), '\\', '/');
    }

    const ProgramResult done =
        Run({"-q", "-f", "double", "-m", "Stücke/" + meterName, relativeInput, output}, Utf8(dir));
    ASSERT_EQ(done.exitCode, 0) << done.errors;
    SF_INFO info;
    const auto rendered = Read(output, info);
    const auto expected = Direct(samples, 2, 44100, 512, 0, 0, false, nullptr);
    ASSERT_EQ(rendered.size(), expected.size());
    EXPECT_EQ(0, std::memcmp(rendered.data(), expected.data(), rendered.size() * sizeof(double)));
    EXPECT_TRUE(fs::is_regular_file(folder / PathFromUtf8(meterName)));
    const std::string inputBytes = Bytes(PathFromUtf8(input)), outputBytes = Bytes(PathFromUtf8(output));

    std::vector<std::string> sameAsInput = {Utf8(dir) + "/./Stücke/../Stücke/" + inName};
    if (kWindows) {
        std::string upper = input, slashes = input, lowerDrive = input;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
        std::replace(slashes.begin(), slashes.end(), '\\', '/');
        lowerDrive[0] = static_cast<char>(lowerDrive[0] | 0x20);
        sameAsInput.insert(sameAsInput.end(), {upper, slashes, lowerDrive, "STüCKE\\..\\Stücke\\" + inName});
    }
    struct Refusal {
        std::vector<std::string> args;
        const char* message;
    };
    std::vector<Refusal> refusals;
    for (const std::string& same : sameAsInput) refusals.push_back({{relativeInput, same}, "same file"});
    refusals.push_back({{Utf8(folder / PathFromUtf8("Fehlt ☃.wav")), output}, "Fehlt ☃.wav'"});
    refusals.push_back({{"-b", "0", relativeInput, output}, "1 to 8192"});
    const std::string noFolder = Utf8(folder / PathFromUtf8("Nicht da ☃") / PathFromUtf8(outName));
    refusals.push_back({{input, noFolder}, "cannot write"});
    refusals.push_back({{input, Utf8(folder / PathFromUtf8("Ordner ☃.wav"))}, "cannot replace"});
    for (const Refusal& refusal : refusals) {
        const ProgramResult r = Run(refusal.args, Utf8(dir));
        const std::string shown = ::testing::PrintToString(refusal.args);
        EXPECT_NE(r.exitCode, 0) << shown;
        // Each says why; the missing file is named as it was given, in UTF-8.
        EXPECT_NE(r.errors.find(refusal.message), std::string::npos) << shown << "\n" << r.errors;
    }
    EXPECT_EQ(Bytes(PathFromUtf8(input)), inputBytes);
    EXPECT_EQ(Bytes(PathFromUtf8(output)), outputBytes);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{inName, meterName, "Ordner ☃.wav", outName}));
}

TEST_F(RenderTest, ContainerCannotHoldTheFormatIsAClearError) {
    WriteNoise(P("in.flac"), 2, 1000, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const ProgramResult r = Run({"-f", "double", P("in.flac"), P("out.flac")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("cannot hold double"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(P("out.flac")));
}

TEST(RenderOptions, AcceptsEveryFormOfTheOptions) {
    const char* argv[] = {"vt4r-render", "--input=6.5", "-o", "-3", "-r", "-b64", "--format", "pcm24",
                          "-m",          "m.csv",       "-q", "a.wav", "b.wav"};
    RenderOptions o;
    std::string error;
    ASSERT_EQ(ParseRenderOptions(13, argv, o, error), ParseResult::Run) << error;
    EXPECT_EQ(o.inputDb, 6.5);
    EXPECT_EQ(o.outputDb, -3.0);
    EXPECT_TRUE(o.relaxed);
    EXPECT_EQ(o.blockFrames, 64);
    EXPECT_EQ(o.format, "pcm24");
    EXPECT_EQ(o.meterPath, "m.csv");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.inputPath, "a.wav");
    EXPECT_EQ(o.outputPath, "b.wav");
    const char* help[] = {"vt4r-render", "--help"};
    EXPECT_EQ(ParseRenderOptions(2, help, o, error), ParseResult::Help);
    const char* flagValue[] = {"vt4r-render", "--relaxed=1", "a", "b"};
    EXPECT_EQ(ParseRenderOptions(4, flagValue, o, error), ParseResult::Error);
}
