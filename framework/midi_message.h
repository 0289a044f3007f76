#pragma once
#include <cstdint>

struct MidiMessage {
    std::int32_t offset = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;

    // Upper four bits for channel messages (0x80..0xEF), else 0.
    int MidiKind() const { return (status >= 0x80 && status <= 0xEF) ? (status >> 4) : 0; }
    int MidiChannel() const { return status & 0x0F; }

    static MidiMessage MakeNoteOn(int note, int velocity, int offset, int channel) {
        return {offset, static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), static_cast<std::uint8_t>(note),
                static_cast<std::uint8_t>(velocity)};
    }
    static MidiMessage MakeNoteOff(int note, int offset, int channel) {
        return {offset, static_cast<std::uint8_t>(0x80 | (channel & 0x0F)), static_cast<std::uint8_t>(note), 0};
    }
};

// Where the standalone wrapper sends MIDI. The application adapts its MIDI
// library's output object to this; the framework knows no MIDI library.
class IMidiOutput {
public:
    virtual ~IMidiOutput() = default;
    // [MIDI input thread or main thread] Sends one message of `length` bytes.
    virtual void SendMessage(const std::uint8_t* bytes, int length) = 0;
};
