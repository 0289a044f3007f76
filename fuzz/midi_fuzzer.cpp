// MIDI in and out: messages of any length and bytes reach the bridge's input callback, or the
// plug-in directly, under any input and output channel settings. What leaves through the
// output must be exactly what the channel rules make of what was accepted.
#include <atomic>
#include <memory>
#include <vector>

#include "app/midi_bridge.h"
#include "framework/standalone.h"
#include "fuzz_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct RecordingOutput : IMidiOutput {
    void SendMessage(const std::uint8_t* bytes, int length) override {
        FUZZ_CHECK(length >= 1 && length <= 3);
        sent.emplace_back(bytes, bytes + length);
    }
    std::vector<Bytes> sent;
};

struct Rig {
    AppSettings settings;
    MidiBridge bridge{settings, [] {}};
    RecordingOutput output;
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{&output, &settings.outchan});
    Rig() { bridge.setPlugin(plugin.get()); }
};

std::uint16_t channelSetting(FuzzInput& in) {
    static const std::uint16_t kOutside[] = {17, 100, 65535};
    const unsigned choice = in.pick(20);
    return choice <= 16 ? static_cast<std::uint16_t>(choice) : kOutside[choice - 17];
}

// The channel rules: the first three bytes leave; a channel message moves to the output
// channel when one (1..16) is set.
Bytes expectedSend(const Bytes& message, unsigned outchan) {
    Bytes out(message.begin(),
              message.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(message.size(), 3)));
    if (outchan >= 1 && outchan <= 16 && out[0] >= 0x80 && out[0] <= 0xEF) {
        out[0] = static_cast<std::uint8_t>((out[0] & 0xF0) | (outchan - 1));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rig rig;
    rig.output.sent.clear();
    FuzzInput in(data, size);
    rig.settings.inchan.store(channelSetting(in));
    rig.settings.outchan.store(channelSetting(in));

    std::vector<Bytes> expected;
    while (!in.empty()) {
        const std::uint8_t op = in.u8();
        if (op >= 0xF0) {
            // The Preferences dialog changes a channel while messages flow.
            (op & 1 ? rig.settings.inchan : rig.settings.outchan).store(channelSetting(in));
            continue;
        }
        const std::string_view raw = in.bytes(op % 6);
        std::vector<unsigned char> message(raw.begin(), raw.end());
        const unsigned outchan = rig.settings.outchan.load();
        if (op & 0x80) {
            // The plug-in's own send path, with any length field.
            MidiMessage m = MidiMessage::FromBytes(message.data(), message.size());
            if (op & 0x40) {
                m.length = static_cast<std::uint8_t>(op & 0x3F);
            }
            const bool sent = rig.plugin->SendMidiMessage(m);
            FUZZ_CHECK(sent == (m.length > 0));
            if (sent) {
                const std::uint8_t full[3] = {m.status, m.data1, m.data2};
                expected.push_back(expectedSend(Bytes(full, full + std::min<int>(m.length, 3)), outchan));
            }
            continue;
        }
        MidiBridge::midiCallback(0.0, &message, &rig.bridge);
        const unsigned inchan = rig.settings.inchan.load();
        if (!message.empty() && (inchan == 0 || (message[0] & 0x0F) + 1u == inchan)) {
            expected.push_back(expectedSend(Bytes(message.begin(), message.end()), outchan));
        }
    }
    FUZZ_CHECK(rig.output.sent == expected);
    return 0;
}
