#include "snapshot.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "framework/standalone.h"
#include "graphics/editor_view.h"
#include "platform/files.h"
#include "plugin/editor_layout.h"
#include "plugin/params.h"

namespace {

bool ParseNumber(const char* text, double& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool ParseRanged(const char* flag, const char* text, double lo, double hi, double& out, std::string& error) {
    if (!text) {
        error = std::string(flag) + " needs a value";
        return false;
    }
    if (!ParseNumber(text, out)) {
        error = std::string(flag) + ": \"" + text + "\" is not a number";
        return false;
    }
    if (out < lo || out > hi) {
        char range[96];
        std::snprintf(range, sizeof range, " is outside %g .. %g", lo, hi);
        error = std::string(flag) + ": " + text + range;
        return false;
    }
    return true;
}

// Converts straight-alpha pixels to what the window shows: the colour channels alone.
RgbImage CopyRgb(const RasterBitmap& bitmap) {
    RgbImage image;
    image.width = bitmap.Width();
    image.height = bitmap.Height();
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    std::uint8_t* out = image.rgb.data();
    for (int y = 0; y < image.height; ++y) {
        const RasterPixel* row = bitmap.Row(y);
        for (int x = 0; x < image.width; ++x) {
            *out++ = static_cast<std::uint8_t>(row[x] >> 16);
            *out++ = static_cast<std::uint8_t>(row[x] >> 8);
            *out++ = static_cast<std::uint8_t>(row[x]);
        }
    }
    return image;
}

// libpng reports errors by longjmp: nothing here lives across the jump.
bool EncodePng(png_structp png, png_infop info, std::FILE* file, const RgbImage& image) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

const char* SnapshotUsage() {
    return "usage: vt4r-snapshot OUTPUT.png [--input DB] [--output DB] [--relaxed] [--meter V] [--overlay]\n"
           "                    [--scale S]\n"
           "  --input DB, --output DB  gain in dB, -20 .. 20 (default 0)\n"
           "  --relaxed                Relaxed Mode on\n"
           "  --meter V                needle position 0 .. 1 (gain reduction / 20 dB; default 0)\n"
           "  --overlay                show the information screen\n"
           "  --scale S                draw at S device pixels per editor pixel, 1 .. 3 (default 1;\n"
           "                           the nearest of 1, 1.25, 1.5, 1.75, 2, 2.5, 3)\n";
}

bool ParseSnapshotArgs(int argc, const char* const* argv, SnapshotOptions& options, std::string& error) {
    options = SnapshotOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--input") {
            if (!ParseRanged("--input", next, -20.0, 20.0, options.inputDb, error))
                return false;
            ++i;
        } else if (arg == "--output") {
            if (!ParseRanged("--output", next, -20.0, 20.0, options.outputDb, error))
                return false;
            ++i;
        } else if (arg == "--meter") {
            if (!ParseRanged("--meter", next, 0.0, 1.0, options.meter, error))
                return false;
            ++i;
        } else if (arg == "--scale") {
            if (!ParseRanged("--scale", next, 1.0, 3.0, options.scale, error))
                return false;
            ++i;
        } else if (arg == "--relaxed") {
            options.relaxed = true;
        } else if (arg == "--overlay") {
            options.overlay = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.outputPath.empty()) {
            options.outputPath = arg;
        } else {
            error = "more than one output file given (" + options.outputPath + ", " + arg + ")";
            return false;
        }
    }
    if (options.outputPath.empty()) {
        error = "no output file given";
        return false;
    }
    return true;
}

bool RenderSnapshot(const SnapshotOptions& options, RgbImage& image, std::string& error) {
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    if (!plugin) {
        error = "the plug-in could not be created";
        return false;
    }
    auto* view = dynamic_cast<IEditorView*>(plugin->Editor());
    if (!view || !view->BackBuffer()) {
        error = "the plug-in has no editor to draw";
        return false;
    }

    // Through the same path as an edit in the editor, then back into the controls.
    const auto set = [&](int index, double value) {
        plugin->SetParameterFromGUI(index, plugin->Param(index)->ToNormalized(value));
    };
    set(kInputParam, options.inputDb);
    set(kOutputParam, options.outputDb);
    set(kRelaxedModeParam, options.relaxed ? 1.0 : 0.0);
    plugin->RefreshEditorFromParameters();
    view->PushParameterValue(kMeterParamIdx, options.meter, true);

    view->SetScale(options.scale);
    const IBounds whole{0, 0, view->Width(), view->Height()};
    view->MarkAllChanged();
    view->PaintArea(whole);
    if (options.overlay) {
        // A click on the logo, as a user would open the information screen.
        const IModifierKeys left{true, false, false, false, false};
        view->MousePressed(100, 40, left);
        view->MouseReleased(100, 40, left);
        view->MarkAllChanged();
        view->PaintArea(whole);
    }
    image = CopyRgb(*view->BackBuffer());
    return true;
}

bool WritePngRgb(const std::string& path, const RgbImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3) {
        error = "nothing to write";
        return false;
    }
    // Written beside the target and moved over it, so a failure never leaves half a file.
    const std::string temporary = platform::CreateTemporaryBeside(path, platform::NewFileAccess::Default);
    std::FILE* file = temporary.empty() ? nullptr : platform::OpenFile(temporary, "wb");
    if (!file) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        if (!temporary.empty())
            platform::RemoveFile(temporary);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && EncodePng(png, info, file, image);
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0)
        ok = false;
    if (ok && !platform::ReplaceAtomically(temporary, path))
        ok = false;
    if (!ok) {
        platform::RemoveFile(temporary);
        error = "cannot write " + path;
        return false;
    }
    return true;
}
