// Runs the audio engine with the real plug-in on DirectSound for a while, as
// the program would after start-up ("Default Device", 48 kHz, 512 frames,
// sub-blocks of 32), for the level test on the JACK side (tests/wine/).
//
//   vt4r-engine-player.exe SECONDS
//
// Exits 0 when the stream ran throughout, 1 otherwise.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "audio_engine.h"
#include "framework/standalone.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    AppSettings settings;
    settings.driver = 0;
    setText(settings.sr, "48000");
    setText(settings.iovs, "512");
    setText(settings.sigvs, "32");
    AudioEngine engine(settings);
    if (!engine.recreateAudio()) {
        return 1;
    }
    engine.scanDevices();
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{nullptr, &settings.outchan});
    plugin->LoadPresetSlot(0);
    engine.setPlugin(plugin.get());
    if (!engine.reopenStream()) {
        return 1;
    }
    std::printf("running\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const bool ok = engine.isStreamRunning() && !engine.streamFailed();
    engine.stopStream();
    engine.closeStream();
    engine.setPlugin(nullptr);
    plugin.reset();
    engine.destroyAudio();
    return ok ? 0 : 1;
}
