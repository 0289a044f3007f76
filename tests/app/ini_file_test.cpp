#include "ini_file.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "temp_dir.h"

TEST(IniLookup, SectionAndKeyAreMatchedWithoutCaseAndTrimmed) {
    const IniFile ini("[Audio]\n  SR = 48000  \nsigvs=64\n[midi]\nInDev=Port A\n");
    EXPECT_EQ(ini.get("audio", "sr"), "48000");
    EXPECT_EQ(ini.get("AUDIO", "SIGVS"), "64");
    EXPECT_EQ(ini.get("midi", "indev"), "Port A");
    EXPECT_EQ(ini.get("midi", "sr"), std::nullopt) << "keys belong to their own section";
    EXPECT_EQ(ini.get("nothing", "sr"), std::nullopt);
}

TEST(IniLookup, FirstMatchWinsAndKeysBeforeAnySectionBelongToNone) {
    const IniFile ini("sr=1\n[audio]\nsr=2\nsr=3\n[audio]\nsr=4\niovs=8\n");
    EXPECT_EQ(ini.get("audio", "sr"), "2");
    EXPECT_EQ(ini.get("audio", "iovs"), "8") << "a repeated section is searched too";
}

TEST(IniLookup, CommentsGarbageAndWindowsLineEndingsAreTolerated) {
    const IniFile ini("; comment=1\r\n[audio\r\nno equals sign here\r\n=orphan\r\nsr=44100\r\n");
    EXPECT_EQ(ini.get("audio", "sr"), "44100") << "a header without ']' still opens its section";
    EXPECT_EQ(ini.get("audio", "; comment"), std::nullopt);
}

TEST(IniLookup, EmptyValueIsPresentForTextAndDefaultForNumbers) {
    const IniFile ini("[a]\nname=\ncount=\nbad=x7\nbig=70000\nneg=-1\n");
    EXPECT_EQ(ini.get("a", "name"), "");
    EXPECT_EQ(ini.getUInt("a", "count", 5), 5u);
    EXPECT_EQ(ini.getUInt("a", "missing", 9), 9u);
    EXPECT_EQ(ini.getUInt("a", "bad", 9), 0u);
    EXPECT_EQ(ini.getUInt("a", "big", 0), 70000u);
    EXPECT_EQ(ini.getUInt("a", "neg", 0), 0xFFFFFFFFu);
}

TEST(IniDecimal, ParsesLikeTheRuntimeConversion) {
    EXPECT_EQ(parseDecimal("512"), 512u);
    EXPECT_EQ(parseDecimal("  \t42abc"), 42u);
    EXPECT_EQ(parseDecimal("+7"), 7u);
    EXPECT_EQ(parseDecimal("-32"), 0u - 32u);
    EXPECT_EQ(parseDecimal(""), 0u);
    EXPECT_EQ(parseDecimal("abc"), 0u);
    EXPECT_EQ(parseDecimal("- 5"), 0u);
    EXPECT_EQ(parseDecimal("4294967296"), 0u) << "wraps instead of overflowing";
    EXPECT_EQ(parseDecimal("99999999999999999999999"), parseDecimal("99999999999999999999999"));
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEverythingElse) {
    IniFile ini("; mine\n[audio]\n  SR = 44100\nother=keep\n\n[midi]\nindev=x\n");
    ini.set("audio", "sr", "48000");
    EXPECT_EQ(ini.text(), "; mine\n[audio]\nSR=48000\nother=keep\n\n[midi]\nindev=x\n");
}

TEST(IniWrite, AddsKeyToItsSectionAndCreatesMissingSections) {
    IniFile ini("[audio]\nsr=1\n\n[midi]\nindev=x\n");
    ini.set("AUDIO", "iovs", "512");
    ini.set("extra", "k", "v");
    EXPECT_EQ(ini.text(), "[audio]\nsr=1\niovs=512\n\n[midi]\nindev=x\n[extra]\nk=v\n");

    IniFile empty;
    empty.set("audio", "driver", "0");
    empty.set("audio", "indev", "Default Device");
    EXPECT_EQ(empty.text(), "[audio]\ndriver=0\nindev=Default Device\n");
}

TEST(IniWrite, KeepsWindowsLineEndings) {
    IniFile ini("[audio]\r\nsr=1\r\n");
    ini.set("audio", "sr", "2");
    ini.set("audio", "iovs", "3");
    EXPECT_EQ(ini.text(), "[audio]\r\nsr=2\r\niovs=3\r\n");
}

TEST(IniWrite, LineBreaksInAValueCannotPlantKeys) {
    IniFile ini;
    ini.set("midi", "indev", "evil\n[audio]\ndriver=1\r");
    EXPECT_EQ(ini.get("audio", "driver"), std::nullopt);
    EXPECT_EQ(ini.get("midi", "indev"), "evil [audio] driver=1");
}

TEST(IniDamaged, BinaryGarbageAndHugeLinesDoNotHurt) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    junk += std::string(1, '\0') + "[audio]\0sr=1\n";
    junk += std::string(8 * 1024 * 1024, 'x'); // one 8 MiB line
    junk += "\n[audio]\nsr=96000\n";
    IniFile ini(junk);
    EXPECT_EQ(ini.get("audio", "sr"), "96000");
    ini.set("audio", "sr", "48000");
    ini.set("midi", "indev", "off");
    const IniFile again(ini.text());
    EXPECT_EQ(again.get("audio", "sr"), "48000");
    EXPECT_EQ(again.get("midi", "indev"), "off");
    EXPECT_EQ(again.text().size(), ini.text().size());
}

TEST(IniFileIo, MissingOrUnreadableFileIsEmpty) {
    TempDir dir;
    EXPECT_EQ(IniFile::load(dir.file("none.ini")).text(), "");
    EXPECT_EQ(IniFile::load(dir.path().string()).text(), "") << "a folder is no file";
}

TEST(IniFileIo, SaveReplacesTheFileAtomically) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, "[audio]\nsr=44100\n");
#if !defined(_WIN32)
    ::chmod(path.c_str(), 0640);
    const int oldFd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);
#endif

    IniFile ini = IniFile::load(path);
    ini.set("audio", "sr", "48000");
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readFile(path), "[audio]\nsr=48000\n");

#if !defined(_WIN32) // POSIX file descriptors and modes
    // The old file was replaced, not rewritten: a reader that had it open
    // still sees the complete old content.
    char buffer[64] = {};
    const ssize_t n = ::read(oldFd, buffer, sizeof buffer - 1);
    ::close(oldFd);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), "[audio]\nsr=44100\n");

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permissions";
#endif
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u) << "no temporary file is left behind";
}

#if !defined(_WIN32) // folder permissions and symbolic links are POSIX matters
TEST(IniFileIo, FailedSaveLeavesTheOldFileWhole) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    writeFile(path, "[audio]\nsr=44100\n");
    ::chmod(dir.path().c_str(), 0500);
    IniFile ini;
    ini.set("audio", "sr", "1");
    EXPECT_FALSE(ini.save(path));
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(readFile(path), "[audio]\nsr=44100\n");
}

#endif

TEST(IniFileIo, SaveIntoAMissingFolderFails) {
    TempDir dir;
    IniFile ini;
    ini.set("a", "b", "c");
    EXPECT_FALSE(ini.save(dir.file("missing/settings.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

#if !defined(_WIN32)
TEST(IniFileIo, SaveThroughASymbolicLinkReplacesItsTarget) {
    TempDir dir;
    const std::string target = dir.file("real.ini");
    const std::string link = dir.file("settings.ini");
    writeFile(target, "[a]\nb=1\n");
    std::filesystem::create_symlink(target, link);
    IniFile ini = IniFile::load(link);
    ini.set("a", "b", "2");
    ASSERT_TRUE(ini.save(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "[a]\nb=2\n");
}
#endif
