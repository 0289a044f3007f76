#include "settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "temp_dir.h"

namespace {

constexpr char kFreshFile[] = "[audio]\n"
                              "driver=0\n"
                              "indev=Default Device\n"
                              "outdev=Default Device\n"
                              "in1=1\n"
                              "in2=2\n"
                              "out1=1\n"
                              "out2=2\n"
                              "monoinput=0\n"
                              "iovs=512\n"
                              "sigvs=32\n"
                              "sr=44100\n"
                              "[midi]\n"
                              "indev=off\n"
                              "outdev=off\n"
                              "inchan=0\n"
                              "outchan=0\n";

#if !defined(_WIN32) // the start-up tests follow the Linux folder rules
// Sets or clears an environment variable for one test.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) {
            mOld = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (mOld) {
            ::setenv(mName, mOld->c_str(), 1);
        } else {
            ::unsetenv(mName);
        }
    }

  private:
    const char* mName;
    std::optional<std::string> mOld;
};
#endif

} // namespace

TEST(SettingsRecord, FreshDefaults) {
    const AppSettings s;
    EXPECT_EQ(s.driver, 0);
    EXPECT_STREQ(s.indev, "Default Device");
    EXPECT_STREQ(s.outdev, "Default Device");
    EXPECT_STREQ(s.sr, "44100");
    EXPECT_STREQ(s.iovs, "512");
    EXPECT_STREQ(s.sigvs, "32");
    EXPECT_EQ(s.in1, 1);
    EXPECT_EQ(s.in2, 2);
    EXPECT_EQ(s.out1, 1);
    EXPECT_EQ(s.out2, 2);
    EXPECT_EQ(s.monoinput.load(), 0);
    EXPECT_STREQ(s.midiIndev, "off");
    EXPECT_STREQ(s.midiOutdev, "off");
    EXPECT_EQ(s.inchan.load(), 0);
    EXPECT_EQ(s.outchan.load(), 0);
}

TEST(SettingsRecord, CopyAndCompareCoverEveryField) {
    AppSettings a;
    AppSettings b;
    EXPECT_EQ(a, b);
    b.monoinput.store(1);
    EXPECT_FALSE(a == b);
    a = b;
    EXPECT_EQ(a, b);
    b.outchan.store(16);
    setText(b.sr, "48000");
    const AppSettings c(b);
    EXPECT_EQ(c, b);
    EXPECT_FALSE(c == a);
}

TEST(SettingsRecord, TextIsCutToNinetyNineCharacters) {
    AppSettings s;
    const std::string longName(150, 'n');
    setText(s.indev, longName);
    EXPECT_EQ(std::strlen(s.indev), 99u);
    setText(s.indev, "");
    EXPECT_STREQ(s.indev, "");
}

TEST(SettingsRecord, CutNamesStillNameTheirDevice) {
    const std::string longName = std::string(120, 'L');
    AppSettings s;
    setText(s.outdev, longName);
    EXPECT_TRUE(isCutFormOf(s.outdev, longName));
    EXPECT_FALSE(isCutFormOf(s.outdev, std::string(99, 'L'))) << "equal names are no cut";
    EXPECT_FALSE(isCutFormOf("short", "short and longer")) << "only a full field can be a cut";
    EXPECT_FALSE(isCutFormOf(s.outdev, std::string(98, 'L') + "x" + std::string(21, 'L')));
}

TEST(SettingsFile, WriteGivesAllFifteenKeysInOrder) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    ASSERT_TRUE(writeSettings(path, AppSettings{}));
    EXPECT_EQ(readFile(path), kFreshFile);
}

TEST(SettingsFile, RoundTripKeepsEveryValue) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    AppSettings out;
    out.driver = 1;
    setText(out.indev, "system");
    setText(out.outdev, "USB Audio (hw:1,0)");
    setText(out.sr, "48000");
    setText(out.iovs, "256");
    setText(out.sigvs, "64");
    out.in1 = 3;
    out.in2 = 4;
    out.out1 = 5;
    out.out2 = 6;
    out.monoinput.store(1);
    setText(out.midiIndev, "Midi Through:Midi Through Port-0 14:0");
    setText(out.midiOutdev, "off");
    out.inchan.store(10);
    out.outchan.store(16);
    ASSERT_TRUE(writeSettings(path, out));
    AppSettings in;
    readSettings(path, in);
    EXPECT_EQ(in, out);
}

TEST(SettingsFile, MissingKeysTakeTheirDefaults) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, "[audio]\ndriver=1\n");
    AppSettings s;
    setText(s.sr, "1");
    s.inchan.store(5);
    readSettings(path, s);
    EXPECT_EQ(s.driver, 1);
    EXPECT_STREQ(s.sr, "44100");
    EXPECT_EQ(s.inchan.load(), 0);
    EXPECT_STREQ(s.midiIndev, "no input");
    EXPECT_STREQ(s.midiOutdev, "no output");

    AppSettings none;
    readSettings(dir.file("absent.ini"), none);
    EXPECT_STREQ(none.indev, "Default Device");
    EXPECT_STREQ(none.midiIndev, "no input");
}

TEST(SettingsFile, NumbersKeepTheirLowSixteenBitsAndTextsNinetyNineBytes) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, "[audio]\nin1=70000\nout1=-1\nindev=" + std::string(150, 'd') + "\n");
    AppSettings s;
    readSettings(path, s);
    EXPECT_EQ(s.in1, 4464);
    EXPECT_EQ(s.out1, 0xFFFF);
    EXPECT_EQ(std::string(s.indev), std::string(99, 'd'));
}

// A file read, written back and read again gives the same record, whatever
// its texts hold; and a long name cut where it has a blank still finds its
// device once the file has dropped that blank.
TEST(SettingsFile, ReadingWhatWasWrittenChangesNothing) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    const std::string longName = std::string(98, 'p') + " port of a long name";
    std::string content = "[audio]\nindev=" + longName + "\noutdev=a\rb\r\nsr=x \r\n";
    content += std::string("iovs=a ") + '\0' + "b\nsigvs=\r 64\n[midi]\nindev=" + longName + "\n";
    writeFile(path, content);
    AppSettings first;
    readSettings(path, first);
    ASSERT_TRUE(writeSettings(path, first));
    AppSettings second;
    readSettings(path, second);
    EXPECT_EQ(second, first) << readFile(path);
    EXPECT_STREQ(second.outdev, "a b");
    EXPECT_STREQ(second.sigvs, "64");

    // The running program stores the cut with its blank; the file gives it back without.
    AppSettings running;
    setText(running.midiIndev, longName);
    ASSERT_TRUE(writeSettings(path, running));
    AppSettings next;
    readSettings(path, next);
    EXPECT_EQ(std::strlen(next.midiIndev), 98u);
    EXPECT_TRUE(isCutFormOf(next.midiIndev, longName));
    EXPECT_FALSE(isCutFormOf(next.midiIndev, std::string(98, 'p') + "x port"));
}

TEST(SettingsFile, WritingKeepsForeignLinesAndReplacesOurs) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, "; my notes\n[Audio]\nSR=96000\nmine=1\n[other]\nx=y\n");
    AppSettings s;
    readSettings(path, s);
    EXPECT_STREQ(s.sr, "96000");
    ASSERT_TRUE(writeSettings(path, s));
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("; my notes\n[Audio]\nSR=96000\nmine=1\ndriver=0\n", 0), 0u) << text;
    EXPECT_NE(text.find("[other]\nx=y\n[midi]\n"), std::string::npos) << text;
}

TEST(SettingsFile, DamagedFileReadsAsDefaultsAndIsRepairedByTheWrite) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    std::string junk(2 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    writeFile(path, junk);
    AppSettings s;
    readSettings(path, s);
    EXPECT_STREQ(s.outdev, "Default Device");
    ASSERT_TRUE(writeSettings(path, s));
    AppSettings again;
    readSettings(path, again);
    EXPECT_EQ(again, s);
}

TEST(SettingsFile, TheZoomLivesInItsOwnSectionAndDamageMeansFollowTheDesktop) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, kFreshFile);
    EXPECT_EQ(readViewScale(path), kFollowDesktop); // an older file has no [view]
    ASSERT_TRUE(writeViewScale(path, 2.0));
    EXPECT_EQ(readFile(path), std::string(kFreshFile) + "[view]\nscale=2\n");
    EXPECT_EQ(readViewScale(path), 2.0);
    // The audio keys' writer keeps the section; their reader never sees it.
    AppSettings s;
    readSettings(path, s);
    ASSERT_TRUE(writeSettings(path, s));
    EXPECT_EQ(readViewScale(path), 2.0);
    ASSERT_TRUE(writeViewScale(path, kFollowDesktop));
    EXPECT_EQ(readFile(path), std::string(kFreshFile) + "[view]\nscale=follow\n");

    EXPECT_EQ(parseViewScale(" 1.5 "), 1.5);
    EXPECT_EQ(parseViewScale("1.6"), 1.5); // between the steps: the nearest
    EXPECT_EQ(parseViewScale("3"), 3.0);
    for (const char* damaged : {"", "follow", "0", "0.5", "3.5", "-2", "2x", "1e0", "nan", "inf", "2,0", "..", "."})
        EXPECT_EQ(parseViewScale(damaged), kFollowDesktop) << damaged;
}

TEST(SettingsPath, FollowsTheXdgRules) {
    EXPECT_EQ(settingsPathFrom("/cfg", "/home/u"), "/cfg/VT4R/settings.ini");
    EXPECT_EQ(settingsPathFrom("/cfg//", "/home/u"), "/cfg/VT4R/settings.ini");
    EXPECT_EQ(settingsPathFrom("", "/home/u"), "/home/u/.config/VT4R/settings.ini");
    EXPECT_EQ(settingsPathFrom("relative", "/home/u"), "/home/u/.config/VT4R/settings.ini");
    EXPECT_EQ(settingsPathFrom(nullptr, "/home/u/"), "/home/u/.config/VT4R/settings.ini");
    EXPECT_EQ(settingsPathFrom(nullptr, nullptr), std::nullopt);
    EXPECT_EQ(settingsPathFrom(nullptr, ""), std::nullopt);
    EXPECT_EQ(settingsPathFrom("relative", nullptr), std::nullopt);
    EXPECT_EQ(settingsPathFrom("/", nullptr), "/VT4R/settings.ini");
}

#if !defined(_WIN32)
TEST(SettingsStartup, FirstRunCreatesFolderAndFileWithDefaults) {
    TempDir dir;
    const std::string base = dir.file("deep/config"); // parents missing too
    ScopedEnv xdg("XDG_CONFIG_HOME", base.c_str());
    AppSettings s;
    std::string path;
    ASSERT_TRUE(loadSettingsAtStartup(s, path));
    EXPECT_EQ(path, base + "/VT4R/settings.ini");
    EXPECT_EQ(readFile(path), kFreshFile);
}

TEST(SettingsStartup, ExistingFileIsReadAndCompletedNoFolderNoRead) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().c_str());
    std::filesystem::create_directories(dir.path() / "VT4R");
    const std::string path = dir.file("VT4R/settings.ini");
    writeFile(path, "[audio]\ndriver=1\n[midi]\noutdev=off\n");
    AppSettings s;
    std::string found;
    ASSERT_TRUE(loadSettingsAtStartup(s, found));
    EXPECT_EQ(s.driver, 1);
    EXPECT_STREQ(s.midiIndev, "no input") << "the MIDI bridge turns this into off";
    AppSettings onDisk;
    readSettings(path, onDisk);
    EXPECT_EQ(onDisk, s) << "every key is on disk after start-up";
}

TEST(SettingsStartup, FallsBackToHomeAndFailsWithoutEither) {
    TempDir dir;
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", dir.path().c_str());
        AppSettings s;
        std::string path;
        ASSERT_TRUE(loadSettingsAtStartup(s, path));
        EXPECT_TRUE(std::filesystem::exists(dir.file(".config/VT4R/settings.ini")));
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", nullptr);
        AppSettings s;
        std::string path;
        EXPECT_FALSE(loadSettingsAtStartup(s, path));
    }
}

TEST(SettingsStartup, UnwritableFolderStillStartsOnDefaults) {
    TempDir dir;
    writeFile(dir.file("blocker"), "a file where the folder should be");
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.file("blocker").c_str());
    AppSettings s;
    std::string path;
    EXPECT_TRUE(loadSettingsAtStartup(s, path));
    EXPECT_EQ(s, AppSettings{});
}
#endif
