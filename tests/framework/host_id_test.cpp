#include "framework/host_id.h"

#include <gtest/gtest.h>

#include <string>

#include "test_effect.h"

namespace {

TEST(HostLookup, KeysMatchAnywhereInTheLowerCasedName) {
    const std::pair<const char*, int> cases[] = {
        {"standalone", 23},
        {"StandAlone App", 23},
        {"Cubase 6", 3},
        {"REAPER x64", 1},
        {"Nuendo 5", 4},
        {"Nuendo with Cubase inside", 3},
        {"Digital Performer", 22},
        {"PreSonus VST2 Host", 25},
        {"deliverance", 9},
        {"Ableton Live 9", 9},
        {"Logic Pro", 21},
        {"AudioMulch", 24},
        {"", 0},
        {"Unknown DAW", 0},
        {nullptr, 0},
    };
    for (auto [name, id] : cases)
        EXPECT_EQ(LookUpHostId(name), id) << (name ? name : "(null)");
}

TEST(HostLookup, OnlyTheFirst255CharactersAreSearched) {
    std::string name(255, 'x');
    EXPECT_EQ(LookUpHostId((name + "reaper").c_str()), 0);
    EXPECT_EQ(LookUpHostId((name.substr(6) + "reaper").c_str()), 1);
}

TEST(HostLookup, OnlyAsciiCapitalsAreLowered) {
    EXPECT_EQ(LookUpHostId("\xC3\x89LIVE"), 9);
    EXPECT_EQ(LookUpHostId("L\xC4\xB0VE"), 0);
}

TEST(HostVersion, IsWrittenAsMajorMinorPatch) {
    char text[32];
    FormatHostVersion(0x10102, text, sizeof text);
    EXPECT_STREQ(text, "v1.1.2");
    FormatHostVersion(0x20A0B, text, sizeof text);
    EXPECT_STREQ(text, "v2.10.11");
    FormatHostVersion(-1, text, sizeof text);
    EXPECT_STREQ(text, "v65535.255.255");
}

TEST(HostVersion, SetHostRecordsIdAndVersion) {
    TestEffect effect;
    effect.SetHost("Samplitude Pro", 0x30405);
    EXPECT_EQ(effect.HostId(), 8);
    EXPECT_EQ(effect.HostVersion(), 0x30405);
    effect.SetHost(nullptr, 0);
    EXPECT_EQ(effect.HostId(), 0);
}

} // namespace
