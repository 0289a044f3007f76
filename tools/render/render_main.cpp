// vt4r-render: runs an audio file through the VT4R plug-in.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "platform/files.h"
#include "plugin/params.h"
#include "plugin/vt4r.h"
#include "render_options.h"
#include "sound_file.h"

namespace {
volatile std::sig_atomic_t gInterrupted = 0;
void OnSignal(int) { gInterrupted = 1; }

int Fail(const std::string& message) {
    std::fprintf(stderr, "vt4r-render: %s\n", message.c_str());
    return 1;
}

bool EqualNoCase(const std::string& a, const char* b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b, b + std::strlen(b),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

int SubtypeFor(const std::string& format, int inputFormat) {
    if (format == "pcm16") return SF_FORMAT_PCM_16;
    if (format == "pcm24") return SF_FORMAT_PCM_24;
    if (format == "float") return SF_FORMAT_FLOAT;
    if (format == "double") return SF_FORMAT_DOUBLE;
    return inputFormat & SF_FORMAT_SUBMASK;
}

std::string ContainerName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) return info.name;
    return "this";
}

// A file beside `path` that becomes `path` only when everything was written.
class TemporaryBeside {
public:
    explicit TemporaryBeside(const std::string& path)
        : mTarget(path), mPath(platform::CreateTemporaryBeside(path, platform::NewFileAccess::Default)) {}
    ~TemporaryBeside() {
        if (!mPath.empty() && !mCommitted) platform::RemoveFile(mPath);
    }
    bool ok() const { return !mPath.empty(); }
    const std::string& path() const { return mPath; }
    bool commit() {
        if (!platform::ReplaceAtomically(mPath, mTarget)) return false;
        mCommitted = true;
        return true;
    }

private:
    std::string mTarget;
    std::string mPath;
    bool mCommitted = false;
};

void ShowProgress(double fraction) {
    const int width = 40;
    const int filled = static_cast<int>(fraction * width);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", width - filled,
                 "", static_cast<int>(fraction * 100));
}
}  // namespace

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    std::vector<const char*> args;
    for (const std::string& a : arguments) args.push_back(a.c_str());
    RenderOptions opt;
    std::string error;
    switch (ParseRenderOptions(static_cast<int>(args.size()), args.data(), opt, error)) {
        case ParseResult::Help:
            std::fputs(kRenderUsage, stdout);
            return 0;
        case ParseResult::Version:
            std::printf("vt4r-render 1.1.2\n");
            return 0;
        case ParseResult::Error:
            std::fprintf(stderr, "vt4r-render: %s\nTry 'vt4r-render --help'.\n", error.c_str());
            return 2;
        case ParseResult::Run:
            break;
    }
    if (opt.inputPath == opt.outputPath || platform::SameFile(opt.inputPath, opt.outputPath))
        return Fail("OUTPUT is the same file as INPUT; refusing to overwrite it");
    if (platform::KindOfPath(opt.inputPath) == platform::PathKind::Other)
        return Fail("'" + opt.inputPath + "' is not a regular file");

    SF_INFO inInfo{};
    SNDFILE* in = OpenSoundFile(opt.inputPath, SFM_READ, &inInfo);
    if (!in) return Fail("cannot read '" + opt.inputPath + "': " + sf_strerror(nullptr));
    struct InputCloser {
        SNDFILE* f;
        ~InputCloser() { sf_close(f); }
    } inCloser{in};
    if (inInfo.channels < 1 || inInfo.channels > 2)
        return Fail("'" + opt.inputPath + "' has " + std::to_string(inInfo.channels) +
                    " channels; only mono and stereo files can be processed");
    if (inInfo.samplerate <= 0) return Fail("'" + opt.inputPath + "' has no valid sample rate");

    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = (inInfo.format & SF_FORMAT_TYPEMASK) | SubtypeFor(opt.format, inInfo.format);
    if (!sf_format_check(&outInfo))
        return Fail("the " + ContainerName(inInfo.format) + " container cannot hold " +
                    (opt.format.empty() ? std::string("the input's sample format") : opt.format + " samples"));

    SF_FORMAT_INFO container{};
    container.format = inInfo.format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &container, sizeof container) == 0 && container.extension) {
        const auto dot = opt.outputPath.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : opt.outputPath.substr(dot + 1);
        if (!ext.empty() && !EqualNoCase(ext, container.extension))
            std::fprintf(stderr, "vt4r-render: note: '%s' is written as %s, the input's container\n",
                         opt.outputPath.c_str(), container.name);
    }

    TemporaryBeside temp(opt.outputPath);
    if (!temp.ok()) return Fail("cannot write beside '" + opt.outputPath + "': " + std::strerror(errno));
    SNDFILE* out = OpenSoundFile(temp.path(), SFM_WRITE, &outInfo);
    if (!out) return Fail("cannot write '" + opt.outputPath + "': " + sf_strerror(nullptr));
    // Integer formats clip rather than wrap around.
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    FILE* meter = nullptr;
    if (!opt.meterPath.empty()) {
        meter = platform::OpenFile(opt.meterPath, "wb");
        if (!meter) {
            sf_close(out);
            return Fail("cannot write '" + opt.meterPath + "': " + std::strerror(errno));
        }
        std::fprintf(meter, "block,time_s,needle\n");
    }

    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    auto* vt4r = static_cast<VT4R*>(plugin.get());
    plugin->SetSampleRateHz(inInfo.samplerate);
    plugin->SetBlockFrames(opt.blockFrames);
    plugin->ResetProcessing();
    plugin->Param(kInputParam)->SetClamped(opt.inputDb);
    plugin->Param(kOutputParam)->SetClamped(opt.outputDb);
    plugin->Param(kRelaxedModeParam)->SetClamped(opt.relaxed ? 1.0 : 0.0);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    const int channels = inInfo.channels;
    const int n = opt.blockFrames;
    std::vector<double> interleaved(static_cast<size_t>(n) * channels);
    std::vector<double> inL(n), inR(n), outL(n), outR(n);
    double* ins[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};

    const bool progress = !opt.quiet && platform::IsTerminal(stderr) && inInfo.frames > 5LL * inInfo.samplerate;
    const auto started = std::chrono::steady_clock::now();
    long long done = 0, block = 0;
    double lowestGain = 1.0;
    bool writeFailed = false;
    int lastShown = -1;
    for (;;) {
        const sf_count_t got = sf_readf_double(in, interleaved.data(), n);
        if (got <= 0) break;
        const int frames = static_cast<int>(got);
        for (int i = 0; i < frames; ++i) {
            inL[i] = interleaved[static_cast<size_t>(i) * channels];
            inR[i] = channels == 2 ? interleaved[static_cast<size_t>(i) * 2 + 1] : inL[i];
        }
        vt4r->ProcessBlockLocked(ins, outs, frames);
        // The compressor fades in from silence after construction; that is not
        // gain reduction of the material.
        if (done + got > inInfo.samplerate / 2 || inInfo.frames <= inInfo.samplerate / 2)
            lowestGain = std::min(lowestGain, vt4r->LowestGainInBlock());
        for (int i = 0; i < frames; ++i) {
            interleaved[static_cast<size_t>(i) * channels] = outL[i];
            if (channels == 2) interleaved[static_cast<size_t>(i) * 2 + 1] = outR[i];
        }
        if (sf_writef_double(out, interleaved.data(), got) != got) {
            writeFailed = true;
            break;
        }
        done += got;
        ++block;
        if (meter)
            std::fprintf(meter, "%lld,%.6f,%.17g\n", block, static_cast<double>(done) / inInfo.samplerate,
                         vt4r->NeedlePosition());
        if (progress && inInfo.frames > 0) {
            const int percent = static_cast<int>(100 * done / inInfo.frames);
            if (percent != lastShown) ShowProgress(static_cast<double>(done) / inInfo.frames), lastShown = percent;
        }
        if (gInterrupted) break;
    }
    if (progress) std::fprintf(stderr, "\n");
    const int readError = sf_error(in);
    const std::string writeError = writeFailed ? sf_strerror(out) : "";
    const bool closeFailed = sf_close(out) != 0;
    const bool meterFailed = meter && (std::ferror(meter) | std::fclose(meter)) != 0;

    if (gInterrupted) return Fail("interrupted; '" + opt.outputPath + "' was not written");
    if (readError != SF_ERR_NO_ERROR) return Fail("error reading '" + opt.inputPath + "': " + sf_strerror(in));
    if (writeFailed || closeFailed)
        return Fail("error writing '" + opt.outputPath + "': " + (writeFailed ? writeError : "close failed"));
    if (meterFailed) return Fail("error writing '" + opt.meterPath + "'");
    if (!temp.commit()) return Fail("cannot replace '" + opt.outputPath + "': " + std::strerror(errno));

    const double seconds = static_cast<double>(done) / inInfo.samplerate;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double reductionDb = lowestGain > 0 ? -20 * std::log10(lowestGain) : INFINITY;
    std::fprintf(stderr, "vt4r-render: %.2f s of audio, largest gain reduction %.2f dB, %.0fx real time\n",
                 seconds, reductionDb + 0.0, elapsed > 0 ? seconds / elapsed : 0.0);
    return 0;
}
