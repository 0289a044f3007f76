#pragma once
#include <memory>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "graphics/control.h"
#include "graphics/headless_view.h"
#include "raster/bitmap.h"

// A plug-in with one number, a three-way choice and an on/off choice, recording what
// the editor tells it.
class TestPlugin : public IEffectStandalone {
  public:
    enum : int { kGain = 0, kMode = 1, kFlag = 2 };

    TestPlugin()
        : IEffectStandalone(IHostRecord{}, 3, "2-2", 1, "Test", "", "Maker", 0x10000, FourCC("Test"),
                            FourCC("Mkr "), 0, false, false, false, 0) {
        Param(kGain)->DefineNumber("Gain", 0.0, -20.0, 20.0, 0.1, "dB");
        Param(kMode)->DefineChoice("Mode", 0, 3);
        Param(kMode)->AddValueText(0, "Soft");
        Param(kMode)->AddValueText(1, "Medium");
        Param(kMode)->AddValueText(2, "Hard");
        Param(kFlag)->DefineChoice("Flag", 0, 2);
        Param(kFlag)->AddValueText(0, "Off");
        Param(kFlag)->AddValueText(1, "On");
    }

    void BeginHostEdit(std::int32_t index) override { begins.push_back(index); }
    void EndHostEdit(std::int32_t index) override { ends.push_back(index); }
    void HandleMidiMessage(const MidiMessage& message) override { midi.push_back(message); }
    void EditorResized(std::int32_t width, std::int32_t height) override {
        resizedWidth = width;
        resizedHeight = height;
    }

    std::vector<int> begins, ends;
    std::vector<MidiMessage> midi;
    int resizedWidth = 0, resizedHeight = 0;
};

// Paints nothing; logs each Paint under its name.
class RecordingControl : public IControl {
  public:
    RecordingControl(std::string name, std::vector<std::string>* log, const IBounds& rect, int paramIdx = -1)
        : IControl(nullptr, rect, paramIdx), mName(std::move(name)), mLog(log) {}
    RecordingControl(IEffectBase* plugin, std::string name, std::vector<std::string>* log,
                     const IBounds& rect, int paramIdx)
        : IControl(plugin, rect, paramIdx), mName(std::move(name)), mLog(log) {}

    bool Paint(IEditorView&) override {
        if (mLog)
            mLog->push_back(mName);
        return true;
    }
    void MousePressed(int x, int y, const IModifierKeys& mods) override {
        Log("press", x, y);
        IControl::MousePressed(x, y, mods);
    }
    void MouseReleased(int x, int y, const IModifierKeys&) override { Log("release", x, y); }
    void MouseDragged(int x, int y, int dX, int dY, const IModifierKeys&) override {
        Log("drag", x, y);
        lastDX = dX;
        lastDY = dY;
    }
    void MouseWheeled(int x, int y, const IModifierKeys& mods, int notches) override {
        Log("wheel", x, y);
        IControl::MouseWheeled(x, y, mods, notches);
    }
    bool KeyPressed(int x, int y, int) override {
        Log("key", x, y);
        return true;
    }
    void MouseDoubleClicked(int x, int y, const IModifierKeys& mods) override {
        Log("double", x, y);
        IControl::MouseDoubleClicked(x, y, mods);
    }
    void MouseHovered(int x, int y, const IModifierKeys&) override { Log("hover", x, y); }
    void MouseLeft() override {
        if (mLog)
            mLog->push_back(mName + ":left");
    }

    int lastDX = 0, lastDY = 0;

  private:
    void Log(const char* what, int x, int y) {
        if (mLog)
            mLog->push_back(mName + ":" + what + "@" + std::to_string(x) + "," + std::to_string(y));
    }
    std::string mName;
    std::vector<std::string>* mLog;
};

// A bitmap filled with one pixel value, or with its row number when `rowCoded`.
inline std::unique_ptr<RasterMemoryBitmap> MakeBitmap(int width, int height, RasterPixel fill,
                                                      bool rowCoded = false) {
    auto bitmap = std::make_unique<RasterMemoryBitmap>(width, height, 4);
    for (int y = 0; y < height; ++y) {
        RasterPixel* row = bitmap->Row(y);
        for (int x = 0; x < width; ++x)
            row[x] = rowCoded ? (0xFF000000u | static_cast<RasterPixel>(y)) : fill;
    }
    return bitmap;
}

inline IBitmapStrip StripOf(RasterBitmap* bitmap, int frames) {
    return IBitmapStrip{bitmap, bitmap->Width(), bitmap->Height(), frames};
}

inline RasterPixel PixelAt(const IEditorView& view, int x, int y) {
    return view.BackBuffer()->Row(y)[x];
}

inline IModifierKeys LeftButton() {
    return IModifierKeys{true, false, false, false, false};
}
inline IModifierKeys RightButton() {
    return IModifierKeys{false, true, false, false, false};
}
