#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <rtmidi/RtMidi.h>

#include "framework/midi_message.h"
#include "settings.h"

class IEffectStandalone;

// Connects the MIDI library to the plug-in: one input and one output object,
// the port lists the Preferences dialog offers, ports opened by name from the
// settings. Accepted input goes to the plug-in's HandleMidiMessage, which
// sends it on through midiOutput(), moved to the output channel.
//
// All member functions except midiCallback and the output's SendMessage run
// on the main thread. Library errors are caught, printed with the library's
// printer and otherwise ignored; nothing here throws.
class MidiBridge {
  public:
    static constexpr const char* kOff = "off";
    static constexpr const char* kInputClientName = "RtMidi Input Client";
    static constexpr const char* kOutputClientName = "RtMidi Output Client";
    static constexpr const char* kInputPortName = "RtMidi Input";
    static constexpr const char* kOutputPortName = "RtMidi Output";

    // `writeSettings` saves the settings file; called when a stored port name
    // is not found and becomes "off". `apis` are tried in order until both
    // objects can be made: on Linux the ALSA sequencer first, JACK MIDI where
    // the sequencer cannot be opened; on Windows the multimedia MIDI API.
    MidiBridge(AppSettings& settings, std::function<void()> writeSettings,
               std::vector<RtMidi::Api> apis = defaultApis());

    static std::vector<RtMidi::Api> defaultApis() {
#if defined(_WIN32)
        return {RtMidi::WINDOWS_MM};
#else
        return {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
#endif
    }
    ~MidiBridge();
    MidiBridge(const MidiBridge&) = delete;
    MidiBridge& operator=(const MidiBridge&) = delete;

    // Creates both objects, installs midiCallback and makes the input ignore
    // system exclusive, timing and active sensing. No port is open after it.
    bool createMidi();
    // "off", then the ports' names, for input and output; both empty when
    // either object is missing.
    void buildPortLists();
    // Closes the current port and opens the one called `name`, or none for
    // "off". A name no port has becomes "off" in the settings and the file is
    // written. False when there is no object or the library refuses the port.
    bool openMidiIn(std::string_view name);
    bool openMidiOut(std::string_view name);

    // For a MIDI server that went away (JACK MIDI): the objects go, with
    // their clients; the settings keep the port names.
    void release();
    // Once a server answers again: new objects feeding `plugin`, the stored
    // ports opened again; a stored port that is not there yet keeps its name
    // for followPorts.
    bool restart(IEffectStandalone* plugin);
    // Whether the objects talk to the JACK server (and die with it).
    bool usesJack() const;
    // Called now and then: closes a stored port whose peer has gone and opens
    // it again once a port of that name is back, saying so on stderr. The
    // settings keep the name throughout.
    void followPorts();

    // The plug-in that receives accepted input. Set it before opening the
    // input; clearing it waits for a callback in progress to finish.
    void setPlugin(IEffectStandalone* plugin);
    // For the plug-in's host record: the output object, or none when it
    // could not be made.
    IMidiOutput* midiOutput();

    // [MIDI thread] The library's input callback; `userData` is the bridge.
    static void midiCallback(double timeStamp, std::vector<unsigned char>* message, void* userData);

    // Shutdown: cancel the callback, close both ports; later destroy the
    // objects. The plug-in may be destroyed after shutdown().
    void shutdown();
    void destroyMidi();

    const std::vector<std::string>& midiInPorts() const { return mInPorts; }
    const std::vector<std::string>& midiOutPorts() const { return mOutPorts; }
    RtMidiIn* input() { return mIn.get(); }
    RtMidiOut* output() { return mOut.get(); }
    bool isInputOpen() const { return mInOpen; }
    bool isOutputOpen() const { return mOutputAdapter.isOpen(); }

  private:
    // Serialises sends against port changes. The sending side never blocks:
    // it may run on a real-time thread (JACK MIDI calls back from the
    // server's process thread), so a message that meets a port change, or
    // goes out while no port is open, is dropped.
    class OutputAdapter : public IMidiOutput {
      public:
        void SendMessage(const std::uint8_t* bytes, int length) override;
        void attach(RtMidiOut* out);
        // Runs `change` on the object with sends held off; `open` is the port
        // state afterwards.
        bool change(const std::function<bool(RtMidiOut&)>& change);
        // Runs `look` on the object with sends waiting, the port state kept.
        void inspect(const std::function<void(RtMidiOut&)>& look);
        bool isOpen() const { return mOpen.load(); }

      private:
        std::mutex mMutex;
        RtMidiOut* mOut = nullptr;
        std::atomic<bool> mOpen{false};
    };

    // Position of `name` in "off" + the object's current ports: 0 for "off",
    // i + 1 for port i, none when no port has that name.
    std::optional<unsigned> findPort(RtMidi& object, std::string_view name);
    // Opens the port called `name`; one that is missing becomes "off" in the
    // settings (and the file is written) only with `forgetMissing`.
    bool openInput(std::string_view name, bool forgetMissing);
    bool openOutput(std::string_view name, bool forgetMissing);
    void handle(const std::vector<unsigned char>& message);

    AppSettings& mSettings;
    std::function<void()> mWriteSettings;
    std::vector<RtMidi::Api> mApis;
    std::unique_ptr<RtMidiIn> mIn;
    std::unique_ptr<RtMidiOut> mOut;
    OutputAdapter mOutputAdapter;
    bool mInOpen = false;
    bool mCallbackInstalled = false;
    std::vector<std::string> mInPorts;
    std::vector<std::string> mOutPorts;
    std::atomic<IEffectStandalone*> mPlugin{nullptr};
    std::atomic<int> mCallbacksInFlight{0};
};
