// vt4r-render as a user runs it: real files through the real program.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "plugin/params.h"
#include "plugin/vt4r.h"
#include "render_options.h"

namespace fs = std::filesystem;

namespace {
struct RunResult {
    int status;
    std::string err;
};

class RenderTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vt4r-render-test-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }

    RunResult Run(const std::string& args) const {
        const std::string errFile = P("stderr.txt");
        const std::string cmd = std::string(VT4R_RENDER) + " " + args + " 2>'" + errFile + "' >/dev/null";
        const int rc = std::system(cmd.c_str());
        std::ifstream in(errFile);
        std::stringstream ss;
        ss << in.rdbuf();
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ss.str()};
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
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_double(f, data.data(), frames);
        sf_close(f);
        return data;
    }

    static std::vector<double> Read(const std::string& path, SF_INFO& info) {
        info = {};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
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
    RunResult r = Run("-i 6.5 -o -3.2 -r -b 512 -f double -m '" + P("meter.csv") + "' '" + P("in.wav") + "' '" +
                      P("out.wav") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
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
    EXPECT_NE(r.err.find("largest gain reduction"), std::string::npos) << r.err;
}

TEST_F(RenderTest, MonoFeedsBothInputsAndWritesTheLeftOutputInTheInputFormat) {
    const auto in = WriteNoise(P("in.flac"), 1, 5000, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ASSERT_EQ(Run("-q -b 100 '" + P("in.flac") + "' '" + P("out.flac") + "'").status, 0);
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
        std::string args;
        int status;
        const char* message;
    };
    const std::string in = "'" + P("in.wav") + "' ", out = "'" + P("out.wav") + "'";
    const Case cases[] = {
        {"-i 20.5 " + in + out, 2, "-20 to 20"},
        {"-o abc " + in + out, 2, "-20 to 20"},
        {"-i nan " + in + out, 2, "-20 to 20"},
        {"-b 0 " + in + out, 2, "1 to 8192"},
        {"-b 8193 " + in + out, 2, "1 to 8192"},
        {"-b 12x " + in + out, 2, "1 to 8192"},
        {"-f mp3 " + in + out, 2, "pcm16"},
        {"--frobnicate " + in + out, 2, "unknown option"},
        {in, 2, "INPUT and an OUTPUT"},
        {"-i", 2, "needs a value"},
        {"'" + P("missing.wav") + "' " + out, 1, "cannot read"},
        {"'" + P("garbage.wav") + "' " + out, 1, "cannot read"},
        {"'" + P("quad.wav") + "' " + out, 1, "4 channels"},
        {in + in, 1, "same file"},
        {in + "'" + P("./in.wav") + "'", 1, "same file"},
        {in + "'" + P("no/such/dir/out.wav") + "'", 1, "cannot write"},
    };
    for (const Case& c : cases) {
        RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(fs::exists(P("out.wav"))) << c.args;
    }
    // Nothing but the inputs and the captured messages is left in the folder.
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "in.wav" || name == "quad.wav" || name == "garbage.wav" || name == "stderr.txt")
            << name;
    }
}

TEST_F(RenderTest, AnOutputThatCannotBeReplacedIsLeftAsItWasWithNoTemporaryBehind) {
    // A folder in OUTPUT's place: everything is rendered, then the final
    // rename fails, even for root.
    WriteNoise(P("in.wav"), 2, 1000, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    fs::create_directories(P("out.wav/inside"));
    RunResult r = Run("'" + P("in.wav") + "' '" + P("out.wav") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot replace"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(P("out.wav/inside")));
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".vt4r-"), std::string::npos) << entry.path();
}

TEST_F(RenderTest, ContainerCannotHoldTheFormatIsAClearError) {
    WriteNoise(P("in.flac"), 2, 1000, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    RunResult r = Run("-f double '" + P("in.flac") + "' '" + P("out.flac") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot hold double"), std::string::npos) << r.err;
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
