#include "settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "graphics/editor_scale.h"
#include "ini_file.h"
#include "platform/files.h"

namespace {

constexpr char kAudio[] = "audio";
constexpr char kMidi[] = "midi";
constexpr char kView[] = "view";
constexpr char kFollow[] = "follow";

void copyFields(AppSettings& to, const AppSettings& from) {
    to.driver = from.driver;
    std::memcpy(to.indev, from.indev, kSettingsTextSize);
    std::memcpy(to.outdev, from.outdev, kSettingsTextSize);
    std::memcpy(to.sr, from.sr, kSettingsTextSize);
    std::memcpy(to.iovs, from.iovs, kSettingsTextSize);
    std::memcpy(to.sigvs, from.sigvs, kSettingsTextSize);
    to.in1 = from.in1;
    to.in2 = from.in2;
    to.out1 = from.out1;
    to.out2 = from.out2;
    to.monoinput.store(from.monoinput.load());
    std::memcpy(to.midiIndev, from.midiIndev, kSettingsTextSize);
    std::memcpy(to.midiOutdev, from.midiOutdev, kSettingsTextSize);
    to.inchan.store(from.inchan.load());
    to.outchan.store(from.outchan.load());
}

bool sameText(const SettingsText& a, const SettingsText& b) {
    return std::strcmp(a, b) == 0;
}

std::string number(std::uint16_t value) {
    return std::to_string(value);
}

// A value as a write gives it back: cut at a NUL, line breaks as blanks (the
// file's writer stores them so), at most 99 bytes, no blanks at either end (the
// reader trims them). Reading a file and writing it again then changes nothing.
void readText(const IniFile& ini, const char* section, const char* key, const char* fallback,
              SettingsText& field) {
    const std::optional<std::string> value = ini.get(section, key);
    std::string text = value ? value->substr(0, value->find('\0')) : std::string(fallback);
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    text.resize(std::min(text.size(), kSettingsTextSize - 1));
    setText(field, trimIniBlanks(text));
}

std::uint16_t readNumber(const IniFile& ini, const char* section, const char* key, std::uint16_t fallback) {
    return static_cast<std::uint16_t>(ini.getUInt(section, key, fallback));
}

} // namespace

AppSettings::AppSettings(const AppSettings& other) {
    copyFields(*this, other);
}

AppSettings& AppSettings::operator=(const AppSettings& other) {
    if (this != &other) {
        copyFields(*this, other);
    }
    return *this;
}

bool AppSettings::operator==(const AppSettings& other) const {
    return driver == other.driver && sameText(indev, other.indev) && sameText(outdev, other.outdev) &&
           sameText(sr, other.sr) && sameText(iovs, other.iovs) && sameText(sigvs, other.sigvs) &&
           in1 == other.in1 && in2 == other.in2 && out1 == other.out1 && out2 == other.out2 &&
           monoinput.load() == other.monoinput.load() && sameText(midiIndev, other.midiIndev) &&
           sameText(midiOutdev, other.midiOutdev) && inchan.load() == other.inchan.load() &&
           outchan.load() == other.outchan.load();
}

void setText(SettingsText& field, std::string_view text) {
    const std::size_t n = std::min(text.size(), kSettingsTextSize - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

bool isCutFormOf(std::string_view stored, std::string_view full) {
    constexpr std::size_t kField = kSettingsTextSize - 1;
    if (stored.empty() || stored.size() > kField || full.size() <= kField ||
        full.substr(0, stored.size()) != stored) {
        return false;
    }
    // The file drops the blanks a cut may end in.
    for (const char c : full.substr(stored.size(), kField - stored.size())) {
        if (!isIniBlank(c)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> settingsPathFrom(const char* xdgConfigHome, const char* home) {
    auto withoutTrailingSlashes = [](std::string folder) {
        while (!folder.empty() && folder.back() == '/') {
            folder.pop_back();
        }
        return folder;
    };
    std::string base;
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        base = withoutTrailingSlashes(xdgConfigHome);
    } else if (home != nullptr && home[0] != '\0') {
        base = withoutTrailingSlashes(home) + "/.config";
    } else {
        return std::nullopt;
    }
    return base + "/VT4R/settings.ini";
}

void readSettings(const std::string& path, AppSettings& s) {
    const IniFile ini = IniFile::load(path);
    s.driver = readNumber(ini, kAudio, "driver", 0);
    readText(ini, kAudio, "indev", "Default Device", s.indev);
    readText(ini, kAudio, "outdev", "Default Device", s.outdev);
    s.in1 = readNumber(ini, kAudio, "in1", 1);
    s.in2 = readNumber(ini, kAudio, "in2", 2);
    s.out1 = readNumber(ini, kAudio, "out1", 1);
    s.out2 = readNumber(ini, kAudio, "out2", 2);
    s.monoinput.store(readNumber(ini, kAudio, "monoinput", 0));
    readText(ini, kAudio, "iovs", "512", s.iovs);
    readText(ini, kAudio, "sigvs", "32", s.sigvs);
    readText(ini, kAudio, "sr", "44100", s.sr);
    // Neither default is a port name: the MIDI bridge turns them into "off".
    readText(ini, kMidi, "indev", "no input", s.midiIndev);
    readText(ini, kMidi, "outdev", "no output", s.midiOutdev);
    s.inchan.store(readNumber(ini, kMidi, "inchan", 0));
    s.outchan.store(readNumber(ini, kMidi, "outchan", 0));
}

bool writeSettings(const std::string& path, const AppSettings& s) {
    IniFile ini = IniFile::load(path);
    ini.set(kAudio, "driver", number(s.driver));
    ini.set(kAudio, "indev", s.indev);
    ini.set(kAudio, "outdev", s.outdev);
    ini.set(kAudio, "in1", number(s.in1));
    ini.set(kAudio, "in2", number(s.in2));
    ini.set(kAudio, "out1", number(s.out1));
    ini.set(kAudio, "out2", number(s.out2));
    ini.set(kAudio, "monoinput", number(s.monoinput.load()));
    ini.set(kAudio, "iovs", s.iovs);
    ini.set(kAudio, "sigvs", s.sigvs);
    ini.set(kAudio, "sr", s.sr);
    ini.set(kMidi, "indev", s.midiIndev);
    ini.set(kMidi, "outdev", s.midiOutdev);
    ini.set(kMidi, "inchan", number(s.inchan.load()));
    ini.set(kMidi, "outchan", number(s.outchan.load()));
    return ini.save(path);
}

bool loadSettingsAtStartup(AppSettings& settings, std::string& pathOut, bool* saved) {
    const std::optional<std::string> path = settingsPath();
    if (!path) {
        return false;
    }
    pathOut = *path;
    const std::string folder = path->substr(0, path->find_last_of(kSettingsPathSeparators));
    if (platform::KindOfPath(folder) != platform::PathKind::Other) {
        // A folder that cannot be made is not fatal: the write below fails,
        // the caller says so and the program runs on its defaults.
        platform::CreateFolders(folder);
    } else if (platform::KindOfPath(*path) != platform::PathKind::None) {
        readSettings(*path, settings);
    }
    const bool written = writeSettings(*path, settings);
    if (saved != nullptr) {
        *saved = written;
    }
    return true;
}

std::string formatViewScale(double zoom) {
    if (!(zoom >= 1.0)) {
        return kFollow;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%g", ConformEditorScale(zoom));
    return text;
}

double parseViewScale(std::string_view text) {
    const std::string value(trimIniBlanks(text));
    if (value.empty() || value.size() > 15) {
        return kFollowDesktop;
    }
    // Digits and one point only: no signs, exponents, "nan" or "inf", and the C locale's point
    // whatever the user's locale.
    double whole = 0.0;
    double fraction = 0.0;
    double unit = 1.0;
    bool point = false;
    for (char c : value) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (point) {
                unit /= 10.0;
                fraction += (c - '0') * unit;
            } else {
                whole = whole * 10.0 + (c - '0');
            }
        } else {
            return kFollowDesktop;
        }
    }
    const double zoom = whole + fraction;
    if (value == "." || !(zoom >= 1.0 && zoom <= 3.0)) {
        return kFollowDesktop;
    }
    return ConformEditorScale(zoom);
}

double readViewScale(const std::string& path) {
    const std::optional<std::string> value = IniFile::load(path).get(kView, "scale");
    return value ? parseViewScale(*value) : kFollowDesktop;
}

bool writeViewScale(const std::string& path, double zoom) {
    IniFile ini = IniFile::load(path);
    ini.set(kView, "scale", formatViewScale(zoom));
    return ini.save(path);
}
