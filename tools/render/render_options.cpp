#include "render_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

const char* const kRenderUsage =
    "Usage: vt4r-render [options] INPUT OUTPUT\n"
    "Runs an audio file through the VT4R compressor.\n"
    "\n"
    "  -i, --input DB      Input gain in dB, -20..20 (default 0)\n"
    "  -o, --output DB     Output gain in dB, -20..20 (default 0)\n"
    "  -r, --relaxed       Relaxed Mode on (default off)\n"
    "  -b, --block N       processing block length in frames, 1..8192 (default 512)\n"
    "  -f, --format FMT    output sample format: pcm16, pcm24, float, double (default: as the input)\n"
    "  -m, --meter FILE    write the needle position after every block as CSV: block,time_s,needle\n"
    "  -q, --quiet         no progress bar\n"
    "      --help, --version\n";

namespace {
bool ParseDouble(const char* text, double lo, double hi, double& out) {
    if (!*text) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseInt(const char* text, long lo, long hi, int& out) {
    if (!*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}
}  // namespace

ParseResult ParseRenderOptions(int argc, const char* const* argv, RenderOptions& o, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (o.inputPath.empty())
                o.inputPath = arg;
            else if (o.outputPath.empty())
                o.outputPath = arg;
            else {
                error = "unexpected extra argument '" + arg + "'";
                return ParseResult::Error;
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // --name=value and -xVALUE forms as well as separate values.
        std::string name = arg, inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) name = arg.substr(0, eq), inlineValue = arg.substr(eq + 1), hasInline = true;
        } else if (arg.size() > 2) {
            name = arg.substr(0, 2), inlineValue = arg.substr(2), hasInline = true;
        }
        auto takeValue = [&](std::string& value) {
            if (hasInline) {
                value = inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto noValue = [&] {
            if (hasInline) {
                error = "option " + name + " takes no value";
                return false;
            }
            return true;
        };
        std::string value;
        if (name == "-i" || name == "--input" || name == "-o" || name == "--output") {
            if (!takeValue(value)) return ParseResult::Error;
            double& target = (name == "-i" || name == "--input") ? o.inputDb : o.outputDb;
            if (!ParseDouble(value.c_str(), -20.0, 20.0, target)) {
                error = "option " + name + " needs a number of dB from -20 to 20, not '" + value + "'";
                return ParseResult::Error;
            }
        } else if (name == "-b" || name == "--block") {
            if (!takeValue(value)) return ParseResult::Error;
            if (!ParseInt(value.c_str(), 1, 8192, o.blockFrames)) {
                error = "option " + name + " needs a whole number of frames from 1 to 8192, not '" + value + "'";
                return ParseResult::Error;
            }
        } else if (name == "-f" || name == "--format") {
            if (!takeValue(value)) return ParseResult::Error;
            if (value != "pcm16" && value != "pcm24" && value != "float" && value != "double") {
                error = "option " + name + " needs one of pcm16, pcm24, float, double, not '" + value + "'";
                return ParseResult::Error;
            }
            o.format = value;
        } else if (name == "-m" || name == "--meter") {
            if (!takeValue(value)) return ParseResult::Error;
            if (value.empty()) {
                error = "option " + name + " needs a file name";
                return ParseResult::Error;
            }
            o.meterPath = value;
        } else if (name == "-r" || name == "--relaxed") {
            if (!noValue()) return ParseResult::Error;
            o.relaxed = true;
        } else if (name == "-q" || name == "--quiet") {
            if (!noValue()) return ParseResult::Error;
            o.quiet = true;
        } else if (name == "--help" || name == "-h") {
            return ParseResult::Help;
        } else if (name == "--version") {
            return ParseResult::Version;
        } else {
            error = "unknown option '" + arg + "'";
            return ParseResult::Error;
        }
    }
    if (o.inputPath.empty() || o.outputPath.empty()) {
        error = "an INPUT and an OUTPUT file are needed";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}
