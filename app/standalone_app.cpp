#include "standalone_app.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

#include "graphics/editor_view.h"
#include "graphics/embedded_images.h"

namespace {

// The images the plug-in's editor shows when it opens. The information screen (106) is
// decoded when first shown.
constexpr int kEditorImageIds[] = {101, 102, 103, 104, 105, 107};

} // namespace

StandaloneApp::~StandaloneApp() {
    // Also reached when an exception ends the run early: the order still holds.
    shutdown();
}

void StandaloneApp::saveSettings() {
    errno = 0;
    if (!writeSettings(mSettingsPath, mSettings)) {
        reportUnsavedSettings(errno);
    }
}

void StandaloneApp::reportUnsavedSettings(int error) {
    if (mSaveFailureReported) {
        return;
    }
    mSaveFailureReported = true;
    std::fprintf(stderr, "VT4R: could not save the settings to %s (%s); they apply until VT4R is closed\n",
                 mSettingsPath.c_str(), error != 0 ? std::strerror(error) : "unknown error");
    std::fflush(stderr);
}

bool StandaloneApp::startUp() {
    bool saved = false;
    errno = 0;
    if (!loadSettingsAtStartup(mSettings, mSettingsPath, &saved)) {
        return false;
    }
    if (!saved) {
        // Nothing is lost: the file keeps what it held, the run uses what was read.
        reportUnsavedSettings(errno);
    }

    // Decoding the editor's images is the plug-in's slowest step; it runs
    // while the audio and MIDI libraries talk to their servers. A zoom kept in the settings
    // readies that scale's images; following the desktop, whose scale the shell learns
    // later, readies the 100 % ones.
    const double zoom = readViewScale(mSettingsPath);
    std::jthread warmUp([zoom] {
        PrepareEditorImages(kEditorImageIds, static_cast<int>(std::size(kEditorImageIds)),
                            zoom == kFollowDesktop ? 1.0 : zoom);
    });

    mAudio = std::make_unique<AudioEngine>(mSettings);
    // The soak asks for every callback's duration, written out at the end.
    if (const char* times = std::getenv("VT4R_CALLBACK_TIMES"); times != nullptr && times[0] != '\0') {
        mCallbackTimesPath = times;
        mAudio->recordCallbackTimes(std::size_t{1} << 21);
    }
    mAudio->recreateAudio();
    mAudio->scanDevices();

    mMidi = std::make_unique<MidiBridge>(mSettings, [this] { saveSettings(); });
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
    if (!mAudio->reopenStream()) {
        if (const std::optional<std::string> missing = mAudio->missingDevice()) {
            std::fprintf(stderr,
                         "VT4R: no %s device is called \"%s\" now; VT4R runs without audio until one is chosen "
                         "under File > Preferences...\n",
                         AudioEngine::driverDisplayName(mSettings.driver), missing->c_str());
            std::fflush(stderr);
        }
    }
}

void StandaloneApp::watch(std::chrono::steady_clock::time_point now) {
    if (!mAudio || !mMidi || mInDialog || mShutDown) {
        return;
    }
    if (!mRecovering && mAudio->streamFailed()) {
        std::fprintf(stderr, "VT4R: the %s stream stopped; VT4R opens it again as soon as the audio system answers\n",
                     AudioEngine::driverDisplayName(mSettings.driver));
        std::fflush(stderr);
        mRecovering = true;
        mRetryPause = kWatchInterval;
        mNextAttempt = now;
        // JACK MIDI went with the server. Its clients must go too: the JACK
        // library reaches a new server only once every old client is closed.
        mMidiReleased = mMidi->usesJack() && mSettings.driver == 1;
        if (mMidiReleased) {
            mMidi->release();
        }
    }
    if (mRecovering) {
        if (now < mNextAttempt) {
            return;
        }
        if (!tryReopen()) {
            mNextAttempt = now + mRetryPause;
            mRetryPause = std::min(mRetryPause * 2, kLongestRetryPause);
            return;
        }
        mRecovering = false;
        std::fprintf(stderr, "VT4R: the %s stream runs again\n", AudioEngine::driverDisplayName(mSettings.driver));
        std::fflush(stderr);
    }
    if (now >= mNextPortCheck) {
        mNextPortCheck = now + std::chrono::seconds(1);
        mMidi->followPorts();
    }
}

bool StandaloneApp::tryReopen() {
    // A fresh library object: the old one may still hold the lost server.
    mAudio->recreateAudio();
    mAudio->scanDevices();
    if (!mAudio->reopenStream()) {
        return false;
    }
    restartReleasedMidi();
    return true;
}

void StandaloneApp::restartReleasedMidi() {
    if (mMidiReleased) {
        mMidiReleased = false;
        mMidi->restart(mPlugin.get());
    }
}

void StandaloneApp::afterPreferences() {
    // The dialog may have opened a stream of its own choosing; a lost one the
    // dialog could not open is still tried, from a short pause.
    if (mRecovering) {
        if (mAudio->isStreamRunning() && !mAudio->streamFailed()) {
            mRecovering = false;
            restartReleasedMidi();
        } else {
            mRetryPause = kWatchInterval;
            mNextAttempt = std::chrono::steady_clock::now() + mRetryPause;
        }
    }
}

void StandaloneApp::shutdown() {
    if (mShutDown) {
        return;
    }
    mShutDown = true;
    // Callbacks stop before the plug-in they feed goes.
    if (mAudio) {
        mAudio->stopStream();
        if (!mCallbackTimesPath.empty() && !mAudio->writeCallbackTimes(mCallbackTimesPath)) {
            std::fprintf(stderr, "VT4R: could not write the callback times to %s\n", mCallbackTimesPath.c_str());
        }
        if (!mCallbackTimesPath.empty() && mPlugin) {
            const IEffectStandalone::LockWaits waits = mPlugin->LockWaitsSoFar();
            std::printf("VT4R: the audio thread waited for the plug-in's lock %llu times, %.1f µs in all, at most %.1f µs\n",
                        static_cast<unsigned long long>(waits.count), waits.totalNs / 1000.0, waits.longestNs / 1000.0);
        }
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
