// The INI document: any bytes as a file, then writes of any section, key and value. A document
// gives back every byte it was read from; a write of a well-formed name reads back as written,
// leaves other keys alone, and survives a save and a reread.
#include <optional>
#include <string>

#include "app/ini_file.h"
#include "fuzz_input.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Names that a "[name]" or "name=value" line gives back unchanged.
bool readsBack(std::string_view name, bool section) {
    if (name.empty() || trimmed(name) != name) {
        return false;
    }
    if (name.find_first_of(section ? std::string_view("]\r\n\0", 4) : std::string_view("=\r\n\0", 4)) !=
        std::string_view::npos) {
        return false;
    }
    return section || (name.front() != '[' && name.front() != ';');
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string name(FuzzInput& in) {
    static const char* const kNames[] = {"Audio", "MIDI", "audio", "indev", "sr", "driver", "a", "A"};
    const unsigned choice = in.pick(12);
    if (choice < 8) {
        return kNames[choice];
    }
    // Names are the program's own constants: one with a line break would be the caller's fault.
    std::string fuzzed(in.bytes(in.pick(16)));
    std::erase(fuzzed, '\n');
    return fuzzed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::string text(in.bytes(in.u16()));

    IniFile ini(text);
    std::string expected = text;
    if (!expected.empty() && expected.back() != '\n') {
        expected += '\n';
    }
    FUZZ_CHECK(ini.text() == expected);

    for (int step = 0; step < 16 && !in.empty(); ++step) {
        const std::string section = name(in);
        const std::string key = name(in);
        const std::string value(in.bytes(in.pick(24)));
        const std::string probeSection = name(in);
        const std::string probeKey = name(in);
        const std::optional<std::string> probeBefore = ini.get(probeSection, probeKey);
        parseDecimal(value);
        ini.getUInt(section, key, 7);

        ini.set(section, key, value);
        if (!readsBack(section, true) || !readsBack(key, false)) {
            continue;
        }
        std::string clean = value;
        for (char& c : clean) {
            if (c == '\n' || c == '\r' || c == '\0') {
                c = ' ';
            }
        }
        const std::optional<std::string> got = ini.get(section, key);
        FUZZ_CHECK(got && *got == trimmed(clean));
        if (!sameNoCase(probeSection, section) || !sameNoCase(probeKey, key)) {
            FUZZ_CHECK(ini.get(probeSection, probeKey) == probeBefore);
        }
        const IniFile reread(ini.text());
        FUZZ_CHECK(reread.get(section, key) == got);
        FUZZ_CHECK(reread.get(probeSection, probeKey) == ini.get(probeSection, probeKey));
        FUZZ_CHECK(reread.text() == ini.text());
    }
    return 0;
}
