#include "midi_bridge.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "framework/standalone.h"
#include "no_cancellation.h"

namespace {

template <typename Action> bool guarded(Action&& action) {
    try {
        action();
        return true;
    } catch (const RtMidiError& error) {
        error.printMessage();
    } catch (const std::exception& error) {
        std::cerr << '\n' << error.what() << "\n\n";
    }
    return false;
}

// A send that meets another send retries this often before giving up; one
// send takes microseconds, a port change takes longer and is not waited for.
constexpr int kSendAttempts = 100;

// Without the sequencer device the ALSA back end would only fail, and say so
// on every start.
bool sequencerMissing() {
#if defined(_WIN32)
    return false;
#else
    return ::access("/dev/snd/seq", R_OK | W_OK) != 0;
#endif
}

} // namespace

// ---- output adapter ----

void MidiBridge::OutputAdapter::SendMessage(const std::uint8_t* bytes, int length) {
    if (bytes == nullptr || length <= 0 || !mOpen.load()) {
        return;
    }
    std::unique_lock<std::mutex> lock(mMutex, std::defer_lock);
    for (int attempt = 0; !lock.try_lock(); ++attempt) {
        if (attempt == kSendAttempts) {
            return;
        }
        std::this_thread::yield();
    }
    if (mOut == nullptr || !mOpen.load()) {
        return;
    }
    guarded([&] { mOut->sendMessage(bytes, static_cast<std::size_t>(length)); });
}

void MidiBridge::OutputAdapter::attach(RtMidiOut* out) {
    std::lock_guard<std::mutex> lock(mMutex);
    mOut = out;
    mOpen.store(false);
}

void MidiBridge::OutputAdapter::inspect(const std::function<void(RtMidiOut&)>& look) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mOut != nullptr) {
        look(*mOut);
    }
}

bool MidiBridge::OutputAdapter::change(const std::function<bool(RtMidiOut&)>& change) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mOut == nullptr) {
        return false;
    }
    mOpen.store(false);
    const bool open = change(*mOut);
    mOpen.store(open);
    return open;
}

// ---- bridge ----

MidiBridge::MidiBridge(AppSettings& settings, std::function<void()> writeSettings,
                       std::vector<RtMidi::Api> apis)
    : mSettings(settings), mWriteSettings(std::move(writeSettings)), mApis(std::move(apis)) {}

MidiBridge::~MidiBridge() {
    shutdown();
    destroyMidi();
}

bool MidiBridge::createMidi() {
    std::optional<RtMidiError> lastError;
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    for (std::size_t i = 0; i < mApis.size(); ++i) {
        const RtMidi::Api candidate = mApis[i];
        // Without the sequencer go straight to the next back end.
        const bool last = i + 1 == mApis.size();
        if (candidate == RtMidi::LINUX_ALSA && !last && sequencerMissing()) {
            continue;
        }
        try {
            mIn = std::make_unique<RtMidiIn>(candidate, kInputClientName);
            api = candidate;
            break;
        } catch (const RtMidiError& error) {
            // The library has already said why; only the last failure is
            // repeated below.
            lastError = error;
        }
    }
    if (!mIn) {
        if (lastError) {
            lastError->printMessage();
        }
        return false;
    }
    if (!guarded([&] { mOut = std::make_unique<RtMidiOut>(api, kOutputClientName); })) {
        return false;
    }
    mOutputAdapter.attach(mOut.get());
    mCallbackInstalled = guarded([&] { mIn->setCallback(&midiCallback, this); });
    guarded([&] { mIn->ignoreTypes(true, true, true); });
    return true;
}

void MidiBridge::buildPortLists() {
    // Without both objects MIDI is unavailable and the lists stay empty.
    mInPorts.clear();
    mOutPorts.clear();
    if (!mIn || !mOut) {
        return;
    }
    mInPorts.emplace_back(kOff);
    mOutPorts.emplace_back(kOff);
    auto collect = [](RtMidi& object, std::vector<std::string>& list) {
        guarded([&] {
            const unsigned count = object.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                list.push_back(object.getPortName(i));
            }
        });
    };
    collect(*mIn, mInPorts);
    collect(*mOut, mOutPorts);
}

std::optional<unsigned> MidiBridge::findPort(RtMidi& object, std::string_view name) {
    if (name == kOff) {
        return 0u;
    }
    std::optional<unsigned> found;
    guarded([&] {
        const unsigned count = object.getPortCount();
        std::optional<unsigned> prefixMatch;
        for (unsigned i = 0; i < count && !found; ++i) {
            const std::string portName = object.getPortName(i);
            if (portName == name) {
                found = i + 1;
            } else if (!prefixMatch && isCutFormOf(name, portName)) {
                prefixMatch = i + 1;
            }
        }
        if (!found) {
            found = prefixMatch;
        }
    });
    return found;
}

bool MidiBridge::openMidiIn(std::string_view name) {
    return openInput(name, true);
}

bool MidiBridge::openMidiOut(std::string_view name) {
    return openOutput(name, true);
}

bool MidiBridge::openInput(std::string_view name, bool forgetMissing) {
    if (!mIn) {
        return false;
    }
    std::optional<unsigned> position = findPort(*mIn, name);
    if (!position) {
        if (forgetMissing) {
            setText(mSettings.midiIndev, kOff);
            if (mWriteSettings) {
                mWriteSettings();
            }
        }
        position = 0;
    }
    guarded([&] { mIn->closePort(); });
    mInOpen = false;
    if (*position == 0) {
        return true;
    }
    mInOpen = guarded([&] { mIn->openPort(*position - 1, kInputPortName); });
    return mInOpen;
}

bool MidiBridge::openOutput(std::string_view name, bool forgetMissing) {
    if (!mOut) {
        return false;
    }
    bool notFound = false;
    bool result = true;
    // The lookup talks to the same library object as the sender, so it runs
    // with sends held off too.
    mOutputAdapter.change([&](RtMidiOut& out) {
        std::optional<unsigned> position = findPort(out, name);
        if (!position) {
            notFound = true;
            position = 0;
        }
        guarded([&] { out.closePort(); });
        if (*position == 0) {
            return false;
        }
        result = guarded([&] { out.openPort(*position - 1, kOutputPortName); });
        return result;
    });
    if (notFound && forgetMissing) {
        setText(mSettings.midiOutdev, kOff);
        if (mWriteSettings) {
            mWriteSettings();
        }
    }
    return result;
}

bool MidiBridge::usesJack() const {
    return mIn && mIn->getCurrentApi() == RtMidi::UNIX_JACK;
}

void MidiBridge::release() {
    shutdown();
    destroyMidi();
}

bool MidiBridge::restart(IEffectStandalone* plugin) {
    release();
    if (!createMidi()) {
        return false;
    }
    buildPortLists();
    setPlugin(plugin);
    // A port that is not there yet keeps its name; followPorts connects it.
    openInput(mSettings.midiIndev, false);
    openOutput(mSettings.midiOutdev, false);
    return true;
}

void MidiBridge::followPorts() {
    if (!mIn || !mOut) {
        return;
    }
    const std::string inName = mSettings.midiIndev;
    if (inName != kOff) {
        const std::optional<unsigned> found = findPort(*mIn, inName);
        const bool present = found && *found != 0;
        if (mInOpen && !present) {
            guarded([&] { mIn->closePort(); });
            mInOpen = false;
            std::fprintf(stderr, "VT4R: the MIDI input \"%s\" is gone; it is connected again when it returns\n",
                         inName.c_str());
        } else if (!mInOpen && present && openInput(inName, false)) {
            std::fprintf(stderr, "VT4R: the MIDI input \"%s\" is connected again\n", inName.c_str());
        }
    }
    const std::string outName = mSettings.midiOutdev;
    if (outName != kOff) {
        // Sends go on during the look: a send that meets it waits its turn
        // (or, rarely, is dropped), as with any port change.
        bool present = false;
        mOutputAdapter.inspect([&](RtMidiOut& out) {
            const std::optional<unsigned> found = findPort(out, outName);
            present = found && *found != 0;
        });
        const bool open = mOutputAdapter.isOpen();
        if (open && !present) {
            mOutputAdapter.change([](RtMidiOut& out) {
                guarded([&] { out.closePort(); });
                return false;
            });
            std::fprintf(stderr, "VT4R: the MIDI output \"%s\" is gone; it is connected again when it returns\n",
                         outName.c_str());
        } else if (!open && present && openOutput(outName, false) && mOutputAdapter.isOpen()) {
            std::fprintf(stderr, "VT4R: the MIDI output \"%s\" is connected again\n", outName.c_str());
        }
    }
    std::fflush(stderr);
}

void MidiBridge::setPlugin(IEffectStandalone* plugin) {
    mPlugin.store(plugin);
    if (plugin == nullptr) {
        // A callback that picked up the old plug-in finishes with it first.
        while (mCallbacksInFlight.load() != 0) {
            std::this_thread::yield();
        }
    }
}

IMidiOutput* MidiBridge::midiOutput() {
    return mOut ? &mOutputAdapter : nullptr;
}

void MidiBridge::midiCallback(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
    // JACK MIDI calls from a thread that JACK may cancel.
    const NoCancellation noCancellation;
    if (message == nullptr || message->empty() || userData == nullptr) {
        return;
    }
    static_cast<MidiBridge*>(userData)->handle(*message);
}

void MidiBridge::handle(const std::vector<unsigned char>& bytes) {
    mCallbacksInFlight.fetch_add(1);
    if (IEffectStandalone* plugin = mPlugin.load()) {
        // The true length travels with the record, so two-byte messages
        // (program change, channel pressure) leave as two bytes.
        const MidiMessage message = MidiMessage::FromBytes(bytes.data(), bytes.size(), 0);
        const unsigned inchan = mSettings.inchan.load(std::memory_order_relaxed);
        if (inchan == 0 || static_cast<unsigned>(message.MidiChannel()) + 1 == inchan) {
            // Nothing may escape into the library's thread.
            try {
                plugin->HandleMidiMessage(message);
            } catch (const std::exception& error) {
                std::cerr << '\n' << error.what() << "\n\n";
            }
        }
    }
    mCallbacksInFlight.fetch_sub(1);
}

void MidiBridge::shutdown() {
    if (mIn) {
        if (mCallbackInstalled) {
            guarded([&] { mIn->cancelCallback(); });
            mCallbackInstalled = false;
        }
        guarded([&] { mIn->closePort(); });
        mInOpen = false;
    }
    mOutputAdapter.change([](RtMidiOut& out) {
        guarded([&] { out.closePort(); });
        return false;
    });
    setPlugin(nullptr);
}

void MidiBridge::destroyMidi() {
    mOutputAdapter.attach(nullptr);
    mIn.reset();
    mOut.reset();
}
