#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text fields hold at most 99 characters and a terminating zero.
inline constexpr std::size_t kSettingsTextSize = 100;
using SettingsText = char[kSettingsTextSize];

// The standalone application's audio and MIDI choices. Everything is read and
// written on the main thread, except the three atomics, which the callbacks
// read live: `monoinput` on the audio thread, `inchan` and `outchan` on the
// MIDI thread. A change to them applies from the next callback.
struct AppSettings {
    std::uint16_t driver = 0; // 0 ALSA, 1 JACK
    SettingsText indev = "Default Device";
    SettingsText outdev = "Default Device";
    SettingsText sr = "44100";
    SettingsText iovs = "512";
    SettingsText sigvs = "32";
    std::uint16_t in1 = 1;
    std::uint16_t in2 = 2;
    std::uint16_t out1 = 1;
    std::uint16_t out2 = 2;
    std::atomic<std::uint16_t> monoinput{0};
    SettingsText midiIndev = "off";
    SettingsText midiOutdev = "off";
    std::atomic<std::uint16_t> inchan{0};
    std::atomic<std::uint16_t> outchan{0};

    AppSettings() = default;
    AppSettings(const AppSettings& other);
    AppSettings& operator=(const AppSettings& other);
    // Every field; texts compared exactly.
    bool operator==(const AppSettings& other) const;
};

// Copies `text` into a settings field, cut to its first 99 bytes.
void setText(SettingsText& field, std::string_view text);

// Whether a name cut to fit a settings field names the same thing as `full`:
// a field of full length (99 bytes) may hold the start of a longer name, less
// the blanks that cut ends in once the settings file has been read back.
bool isCutFormOf(std::string_view stored, std::string_view full);

// Where the settings live: $XDG_CONFIG_HOME/VT4R/settings.ini, else
// $HOME/.config/VT4R/settings.ini. A relative or empty XDG_CONFIG_HOME is
// ignored, as the XDG rules say. None when neither variable gives a folder.
std::optional<std::string> settingsPathFrom(const char* xdgConfigHome, const char* home);
// Where the settings live on this platform: on Linux settingsPathFrom() the
// process environment; on Windows <local application data>\VT4R\settings.ini.
// None when no folder can be named.
std::optional<std::string> settingsPath();
// What ends the folder part of a settings path.
#ifdef _WIN32
inline constexpr const char* kSettingsPathSeparators = "\\/";
#else
inline constexpr const char* kSettingsPathSeparators = "/";
#endif

// Reads every key into `settings`; a missing key yields its default, a file
// that does not exist or cannot be read yields all defaults. Numbers keep
// their low 16 bits, texts their first 99 characters.
void readSettings(const std::string& path, AppSettings& settings);

// Writes all fifteen keys, replacing the file atomically. Keys and lines of
// the existing file that are not ours are kept. False when the file could not
// be written; the caller runs on with the record in memory.
bool writeSettings(const std::string& path, const AppSettings& settings);

// The start-up sequence: find the path (creating the VT4R folder and its
// parents when missing), read the file when the folder and the file existed,
// then write the file back so it holds every key. False only when no
// configuration folder can be named; `pathOut` is set otherwise, and `saved`
// (when given) tells whether that write succeeded (errno says why not).
bool loadSettingsAtStartup(AppSettings& settings, std::string& pathOut, bool* saved = nullptr);

// The editor's zoom, chosen in the View menu: a scale from 1 to 3 (graphics/editor_scale.h), or
// kFollowDesktop for the desktop's own scale. Kept apart from AppSettings in section [view], key
// "scale", as "follow" or the scale as a decimal number ("1", "1.5", "2", "3"), so the audio keys
// and their order stay as they were and an older VT4R, which ignores the section, keeps it.
inline constexpr double kFollowDesktop = 0.0;

// The stored text for a zoom, and the zoom a stored text names: a missing, damaged or
// out-of-range value reads as kFollowDesktop; a number between the steps as the nearest step.
std::string formatViewScale(double zoom);
double parseViewScale(std::string_view text);
// [view] scale of the settings file; kFollowDesktop when absent or unreadable.
double readViewScale(const std::string& path);
// Replaces the file atomically with [view] scale set; every other line is kept. False when it
// could not be written.
bool writeViewScale(const std::string& path, double zoom);
