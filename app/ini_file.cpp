#include "ini_file.h"

#include <cstdio>

#include "platform/files.h"

bool isIniBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimIniBlanks(std::string_view s) {
    while (!s.empty() && isIniBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isIniBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}


std::string_view withoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

enum class LineKind { Other, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section name or key
    std::string_view value; // entries only
};

ParsedLine parseLine(std::string_view raw) {
    const std::string_view line = trimIniBlanks(withoutCr(raw));
    if (line.empty() || line.front() == ';') {
        return {};
    }
    if (line.front() == '[') {
        std::string_view name = line.substr(1);
        const std::size_t close = name.find(']');
        if (close != std::string_view::npos) {
            name = name.substr(0, close);
        }
        return {LineKind::Section, trimIniBlanks(name), {}};
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return {};
    }
    return {LineKind::Entry, trimIniBlanks(line.substr(0, eq)), trimIniBlanks(line.substr(eq + 1))};
}

bool isBlankLine(std::string_view raw) {
    return trimIniBlanks(withoutCr(raw)).empty();
}

} // namespace

std::uint32_t parseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    return negative ? 0u - value : value;
}

IniFile::IniFile(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        mLines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

IniFile IniFile::load(const std::string& path) {
    std::FILE* file = platform::OpenFile(path, "rb");
    if (!file) {
        return {};
    }
    std::string content;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        content.append(block, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return {};
    }
    return IniFile(content);
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const std::string& raw : mLines) {
        const ParsedLine line = parseLine(raw);
        if (line.kind == LineKind::Section) {
            inSection = equalsNoCase(line.name, section);
        } else if (inSection && line.kind == LineKind::Entry && equalsNoCase(line.name, key)) {
            return std::string(line.value);
        }
    }
    return std::nullopt;
}

std::uint32_t IniFile::getUInt(std::string_view section, std::string_view key, std::uint32_t fallback) const {
    const std::optional<std::string> value = get(section, key);
    if (!value || value->empty()) {
        return fallback;
    }
    return parseDecimal(*value);
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string clean(value);
    for (char& c : clean) {
        if (c == '\n' || c == '\r' || c == '\0') {
            c = ' ';
        }
    }

    bool crlf = false;
    for (const std::string& raw : mLines) {
        if (!raw.empty() && raw.back() == '\r') {
            crlf = true;
            break;
        }
    }
    const std::string lineEnd = crlf ? "\r" : "";

    bool inSection = false;
    std::size_t firstSection = mLines.size(); // header of the first matching section
    for (std::size_t i = 0; i < mLines.size(); ++i) {
        const ParsedLine line = parseLine(mLines[i]);
        if (line.kind == LineKind::Section) {
            inSection = equalsNoCase(line.name, section);
            if (inSection && firstSection == mLines.size()) {
                firstSection = i;
            }
        } else if (inSection && line.kind == LineKind::Entry && equalsNoCase(line.name, key)) {
            const bool hadCr = !mLines[i].empty() && mLines[i].back() == '\r';
            mLines[i] = std::string(line.name) + "=" + clean + (hadCr ? "\r" : "");
            return;
        }
    }

    std::string entry = std::string(key) + "=" + clean + lineEnd;
    if (firstSection != mLines.size()) {
        // After the section's last non-blank line, so blank separators stay last.
        std::size_t insertAt = firstSection + 1;
        for (std::size_t j = firstSection + 1;
             j < mLines.size() && parseLine(mLines[j]).kind != LineKind::Section; ++j) {
            if (!isBlankLine(mLines[j])) {
                insertAt = j + 1;
            }
        }
        mLines.insert(mLines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
        return;
    }
    mLines.push_back("[" + std::string(section) + "]" + lineEnd);
    mLines.push_back(std::move(entry));
}

std::string IniFile::text() const {
    std::string out;
    for (const std::string& line : mLines) {
        out += line;
        out += '\n';
    }
    return out;
}

bool IniFile::save(const std::string& path) const {
    // Through a symbolic link to its target, so the link stays a link.
    const std::string target = platform::LinkTarget(path);
    const std::string temp = platform::CreateTemporaryBeside(target, platform::NewFileAccess::LikeTarget);
    if (temp.empty()) {
        return false;
    }
    const std::string data = text();
    std::FILE* file = platform::OpenFile(temp, "wb");
    bool written =
        file && std::fwrite(data.data(), 1, data.size(), file) == data.size() && platform::FlushToDisk(file);
    if (file && std::fclose(file) != 0) {
        written = false;
    }
    if (!written || !platform::ReplaceAtomically(temp, target)) {
        platform::RemoveFile(temp);
        return false;
    }
    return true;
}
