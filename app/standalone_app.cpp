#include "standalone_app.h"

#include <thread>

#include "graphics/editor_view.h"
#include "graphics/embedded_images.h"
#include "raster/bitmap_cache.h"
#include "raster/png_decode.h"

namespace {

// The images the plug-in's editor is built from.
constexpr int kEditorImageIds[] = {101, 102, 103, 104, 105, 106, 107};

} // namespace

StandaloneApp::~StandaloneApp() {
    // Also reached when an exception ends the run early: the order still holds.
    shutdown();
}

bool StandaloneApp::startUp() {
    if (!loadSettingsAtStartup(mSettings, mSettingsPath)) {
        return false;
    }

    // Decoding the editor's images is the plug-in's slowest step; it runs
    // while the audio and MIDI libraries talk to their servers.
    std::jthread warmUp([] {
        for (const int id : kEditorImageIds) {
            BitmapCache::Instance().LoadStrip(id, 1, [id] { return LoadPngFromResource(&EmbeddedImageLookup, id, nullptr); });
        }
    });

    mAudio = std::make_unique<AudioEngine>(mSettings);
    mAudio->recreateAudio();
    mAudio->scanDevices();

    mMidi = std::make_unique<MidiBridge>(mSettings, [this] { writeSettings(mSettingsPath, mSettings); });
    mMidi->createMidi();
    mMidi->buildPortLists();

    warmUp.join();

    IHostRecord host;
    host.midiOutput = mMidi->midiOutput();
    host.midiOutputChannel = &mSettings.outchan;
    mPlugin = CreatePlugin(host);
    mPlugin->LoadPresetSlot(0);
    mEditor = dynamic_cast<IEditorView*>(mPlugin->Editor());
    return true;
}

void StandaloneApp::openPortsAndStream() {
    mMidi->setPlugin(mPlugin.get());
    mMidi->openMidiIn(mSettings.midiIndev);
    mMidi->openMidiOut(mSettings.midiOutdev);

    mAudio->setPlugin(mPlugin.get());
    mAudio->reopenStream();
}

void StandaloneApp::shutdown() {
    if (mShutDown) {
        return;
    }
    mShutDown = true;
    // Callbacks stop before the plug-in they feed goes.
    if (mAudio) {
        mAudio->stopStream();
    }
    if (mMidi) {
        mMidi->shutdown();
    }
    if (mAudio) {
        mAudio->closeStream();
        mAudio->setPlugin(nullptr);
    }
    mEditor = nullptr;
    mPlugin.reset();
    if (mMidi) {
        mMidi->destroyMidi();
    }
    if (mAudio) {
        mAudio->destroyAudio();
    }
    mMidi.reset();
    mAudio.reset();
}
