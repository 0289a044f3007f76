// The bundle in the hosts users have: lv2_validate, lv2file offline (against
// vt4r-render, bit for bit) and jalv live on the JACK test server (its level, its
// Gain Reduction port, a saved state loaded back). Run under scripts/with-jack.sh;
// the live part skips without a server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <jack/jack.h>
#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/standalone.h"
#include "formats/lv2/ports.h"
#include "lv2_test_host.h"
#include "tests/support/render_compare.h"
#include "jalv_rig.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace vt4r_lv2;

const fs::path kBundle = VT4R_LV2_BUNDLE;

// The bundle where jalv and lv2file look for it.
struct Scratch : render_compare::Scratch {
    Scratch() { setenv("LV2_PATH", kBundle.parent_path().c_str(), 1); }
};

} // namespace

TEST(Lv2Hosts, BundleValidates) {
    const ProgramResult result = RunProgram("/bin/sh", {"-c", "lv2_validate manifest.ttl vt4r.ttl presets.ttl 1>&2"},
                                            kBundle.string());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.errors.find("Found 0 errors"), std::string::npos) << result.errors;
    EXPECT_EQ(result.errors.find("warning"), std::string::npos) << result.errors;
}

TEST(Lv2Hosts, Lv2fileEqualsTheRendererBitForBit) {
    Scratch scratch;
    const fs::path recording = scratch.dir / "recording.wav";
    render_compare::WriteRecording(recording, 6);
    struct Case {
        std::vector<std::string> render, lv2file;
    };
    const Case cases[] = {
        {{}, {}},
        {{"--relaxed"}, {"-p", "relaxed_mode:1"}},
        {{"-i", "12.5", "-o", "-6"}, {"-p", "input:12.5", "-p", "output:-6"}},
        {{"-i", "-20", "-o", "20", "--relaxed"}, {"-p", "input:-20", "-p", "output:20", "-p", "relaxed_mode:1"}},
        {{"-i", "20", "-o", "-3.25"}, {"-p", "input:20", "-p", "output:-3.25"}},
    };
    for (const Case& c : cases) {
        const fs::path hosted = scratch.dir / "hosted.wav";
        std::vector<std::string> args = {"-b", "512", "--ignore-clipping"};
        args.insert(args.end(), c.lv2file.begin(), c.lv2file.end());
        args.insert(args.end(), {"-i", recording.string(), "-o", hosted.string(), kPluginUri});
        const ProgramResult r = RunProgram("/usr/bin/lv2file", args);
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        SF_INFO b;
        const std::vector<float> got = render_compare::ReadInterleaved<float>(hosted, b);
        ASSERT_EQ(b.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
        ASSERT_NO_FATAL_FAILURE(render_compare::ExpectRendererWrites(got, recording, 512, "float", c.render));
    }
}

namespace {

using lv2rig::Expected;
using lv2rig::Jalv;
using lv2rig::JalvProbe;

// Saves a state of the bundle with these port values, the way jalv saves one (lilv).
void SaveStateWithOutput(const fs::path& dir, double outputDb) {
    Lv2TestHost host(kBundle.string(), 48000, 0, 512);
    struct Values {
        float control[kPortCount] = {};
        std::vector<float> audio = std::vector<float>(512);
    } v;
    v.control[PortOfParameter(kOutputParam)] = static_cast<float>(outputDb);
    v.control[kEnabledPort] = 1.0f;
    LilvInstance* instance = host.Instance();
    for (std::uint32_t p = 0; p < 4; ++p)
        lilv_instance_connect_port(instance, p, v.audio.data());
    for (std::uint32_t p = kFirstParameterPort; p < kPortCount; ++p)
        lilv_instance_connect_port(instance, p, &v.control[p]);
    lilv_instance_run(instance, 512);
    // lilv asks for port values through a callback with the type as a URID.
    struct Ctx {
        Values* values;
        LV2_URID floatType;
        std::vector<std::string> symbols;
    } ctx{&v, host.Urid(LV2_ATOM__Float), {}};
    {
        std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
        for (std::int32_t i = 0; i < kNumParams; ++i)
            ctx.symbols.push_back(SymbolForName(plugin->Param(i)->Name()));
    }
    LilvState* state = lilv_state_new_from_instance(
        host.Plugin(), instance, host.UridMap(), nullptr, nullptr, nullptr, dir.c_str(),
        [](const char* symbol, void* data, std::uint32_t* size, std::uint32_t* type) -> const void* {
            auto* c = static_cast<Ctx*>(data);
            for (std::int32_t i = 0; i < kNumParams; ++i)
                if (c->symbols[static_cast<std::size_t>(i)] == symbol) {
                    *size = sizeof(float);
                    *type = c->floatType;
                    return &c->values->control[PortOfParameter(i)];
                }
            *size = 0;
            return nullptr;
        },
        &ctx, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, host.Features());
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(lilv_state_save(host.World(), host.UridMap(), host.UridUnmap(), state, nullptr, dir.c_str(),
                              "state.ttl"),
              0);
    lilv_state_free(state);
}

} // namespace

TEST(Lv2Hosts, JalvPlaysAtThePluginsLevelAndLoadsASavedState) {
    if (std::getenv("JACK_DEFAULT_SERVER") == nullptr)
        GTEST_SKIP() << "needs the JACK test server (scripts/with-jack.sh)";
    Scratch scratch;
    struct Run {
        double peak, reductionDb, printedDb;
        int exitCode;
    };
    auto play = [&](const std::vector<std::string>& options) -> Run {
        JalvProbe probe("vt4r-jalv");
        EXPECT_TRUE(probe.Ok());
        Jalv jalv("vt4r-jalv", options, scratch.dir / "jalv.out");
        EXPECT_TRUE(probe.Connect()) << "jalv's ports never appeared";
        while (probe.Position() < 3 * probe.Rate())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Run r{probe.Peak(0, 0.5), 0, 0, 0};
        jalv.AskForMonitors();
        r.exitCode = jalv.Quit(); // its output reaches the file at exit
        r.printedDb = jalv.LastPrinted("gain_reduction");
        return r;
    };
    JalvProbe rig("vt4r-none");
    ASSERT_TRUE(rig.Ok()) << "no JACK server";
    const std::uint32_t rate = rig.Rate(), block = rig.Block();

    const Run plain = play({});
    const Expected expected = lv2rig::Simulate(kBundle.string(), rate, block, 0.0, 0.0, 3.0);
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_NEAR(plain.peak, expected.peak, 0.02 * expected.peak) << "expected " << expected.peak;
    EXPECT_GT(expected.peak, 0.1) << "the plug-in's level, no standalone factor of 0.25";
    EXPECT_NEAR(plain.printedDb, expected.reductionDb, 0.5);
    EXPECT_GT(expected.reductionDb, 3.0);

    const fs::path stateDir = scratch.dir / "state";
    SaveStateWithOutput(stateDir, -6.0);
    const Run restored = play({"-l", stateDir.string()});
    EXPECT_EQ(restored.exitCode, 0);
    EXPECT_NEAR(restored.peak / plain.peak, std::pow(10.0, -6.0 / 20.0), 0.02);
}
