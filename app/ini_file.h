#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A small INI document that behaves like the classic private-profile
// functions: "[section]" lines, "key=value" lines, section and key names
// matched without regard to ASCII case, the first match wins, a write
// replaces the value in place or adds the line, creating the section when
// needed. Lines it does not understand (comments, garbage, binary) are kept
// untouched so that a rewrite never loses them.
//
// Not thread-safe; the application uses it on the main thread only.

// The blanks the reader trims from names and values: space and tab.
bool isIniBlank(char c);
std::string_view trimIniBlanks(std::string_view s);
class IniFile {
  public:
    IniFile() = default;
    explicit IniFile(std::string_view text);

    // Reads a whole file. A missing or unreadable file gives an empty
    // document, as the profile functions treat it.
    static IniFile load(const std::string& path);

    // The value of the first matching key in the first section that has it,
    // with white space around it removed; none when no section holds the key.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;

    // Profile-style integer read: missing or empty value gives `fallback`;
    // otherwise the decimal value (see parseDecimal), wrapped to 32 bits.
    std::uint32_t getUInt(std::string_view section, std::string_view key, std::uint32_t fallback) const;

    // Replaces the value of the first matching key in place, or adds the key
    // at the end of the first matching section, or adds the section at the end
    // of the document. Line breaks and NULs in the value become spaces, since
    // they would otherwise split the line and plant keys of their own.
    void set(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

    // Writes the document to a temporary file beside `path`, flushes it to
    // disk and renames it over `path`, so the file is always either the old
    // or the new one. False (and the old file untouched) on any failure.
    bool save(const std::string& path) const;

  private:
    std::vector<std::string> mLines; // without the '\n'; a '\r' before it is kept
};

// Base-10 conversion used for every number in the settings: skips leading
// white space, accepts one sign, stops at the first non-digit, gives 0 when
// there is no digit. Arithmetic wraps modulo 2^32 (a "-1" is 0xFFFFFFFF), so
// no input is undefined behaviour.
std::uint32_t parseDecimal(std::string_view text);
