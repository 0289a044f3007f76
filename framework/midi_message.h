#pragma once
#include <cstddef>
#include <cstdint>

struct MidiMessage {
    std::int32_t offset = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    // Bytes that belong to the message (1..3). Messages built field by field
    // count as three bytes; FromBytes records the true length so that program
    // change, channel pressure and one-byte system messages go out as they came.
    std::uint8_t length = 3;

    // Upper four bits for channel messages (0x80..0xEF), else 0.
    int MidiKind() const { return (status >= 0x80 && status <= 0xEF) ? (status >> 4) : 0; }
    int MidiChannel() const { return status & 0x0F; }

    static MidiMessage MakeNoteOn(int note, int velocity, int offset, int channel) {
        return Make(offset, static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), note, velocity);
    }
    static MidiMessage MakeNoteOff(int note, int offset, int channel) {
        return Make(offset, static_cast<std::uint8_t>(0x80 | (channel & 0x0F)), note, 0);
    }
    // The first min(count, 3) bytes; missing data bytes are 0. Longer messages
    // (system exclusive) do not fit and are cut to three bytes.
    static MidiMessage FromBytes(const std::uint8_t* bytes, std::size_t count, int offset = 0) {
        MidiMessage message;
        message.offset = offset;
        const std::size_t n = (bytes == nullptr) ? 0 : (count < 3 ? count : 3);
        message.length = static_cast<std::uint8_t>(n);
        if (n > 0)
            message.status = bytes[0];
        if (n > 1)
            message.data1 = bytes[1];
        if (n > 2)
            message.data2 = bytes[2];
        return message;
    }

  private:
    static MidiMessage Make(int offset, std::uint8_t status, int data1, int data2) {
        MidiMessage message;
        message.offset = offset;
        message.status = status;
        message.data1 = static_cast<std::uint8_t>(data1);
        message.data2 = static_cast<std::uint8_t>(data2);
        return message;
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
