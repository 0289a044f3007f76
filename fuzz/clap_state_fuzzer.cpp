// Any bytes as a CLAP host hands them over: a state through clap.state's load (in reads of
// any size, the stream perhaps failing at its end) and a typed text through
// text_to_value. Only a whole parameter block is taken, a refused state changes nothing,
// whatever was taken keeps every value in range, saves as itself and processes to finite
// output; a text taken is in range and reads back from its own display. The plug-in's
// sources are compiled in; it is reached through clap_entry alone.
#include <clap/entry.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin-factory.h>
#include <clap/process.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "fuzz_input.h"

namespace {

constexpr std::size_t kStateSize = 24;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t chunk;
    bool failAtEnd;
    std::size_t at = 0;
};

std::int64_t Read(const clap_istream_t* stream, void* buffer, std::uint64_t size) {
    auto* r = static_cast<Reader*>(stream->ctx);
    if (r->at == r->size && r->failAtEnd)
        return -1;
    std::size_t n = std::min<std::size_t>(size, r->size - r->at);
    if (r->chunk > 0)
        n = std::min(n, r->chunk);
    if (n > 0)
        std::memcpy(buffer, r->data + r->at, n);
    r->at += n;
    return static_cast<std::int64_t>(n);
}

std::int64_t Write(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(stream->ctx);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    out->insert(out->end(), bytes, bytes + size);
    return static_cast<std::int64_t>(size);
}

std::vector<std::uint8_t> Saved(const clap_plugin_t* plugin, const clap_plugin_state_t* state) {
    std::vector<std::uint8_t> bytes;
    clap_ostream_t out{&bytes, Write};
    FUZZ_CHECK(state->save(plugin, &out));
    FUZZ_CHECK(bytes.size() == kStateSize);
    return bytes;
}

bool Load(const clap_plugin_t* plugin, const clap_plugin_state_t* state, Reader reader) {
    clap_istream_t in{&reader, Read};
    return state->load(plugin, &in);
}

const void* NoExtension(const clap_host_t*, const char*) {
    return nullptr;
}
void Nothing(const clap_host_t*) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::size_t chunk = in.u8();
    const bool failAtEnd = in.u8() == 0xFF;
    const clap_id textId = in.pick(5);
    char text[64] = {};
    const unsigned length = in.pick(sizeof text);
    for (unsigned i = 0; i < length; ++i)
        text[i] = static_cast<char>(in.u8());
    text[sizeof text - 1] = '\0';
    const std::uint8_t* state = data + (size - in.remaining());
    const std::size_t stateSize = in.remaining();

    clap_host_t host{CLAP_VERSION, nullptr, "fuzz", "", "", "1", NoExtension, Nothing, Nothing, Nothing};
    FUZZ_CHECK(clap_entry.init("fuzz"));
    const auto* factory =
        static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_t* plugin = factory->create_plugin(factory, &host, "com.marsolind.vt4r");
    FUZZ_CHECK(plugin != nullptr && plugin->init(plugin));
    const auto* params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    const auto* states = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));

    const std::vector<std::uint8_t> before = Saved(plugin, states);
    const bool taken = Load(plugin, states, {state, stateSize, chunk, failAtEnd});
    FUZZ_CHECK(taken == (stateSize == kStateSize && !failAtEnd));
    const std::vector<std::uint8_t> after = Saved(plugin, states);
    if (!taken)
        FUZZ_CHECK(after == before);
    for (clap_id id = 0; id < params->count(plugin); ++id) {
        clap_param_info_t info{};
        double v = NAN;
        FUZZ_CHECK(params->get_info(plugin, id, &info) && params->get_value(plugin, id, &v));
        FUZZ_CHECK(v >= info.min_value && v <= info.max_value);
    }
    // What was taken loads again as itself.
    FUZZ_CHECK(Load(plugin, states, {after.data(), after.size(), 0, false}));
    FUZZ_CHECK(Saved(plugin, states) == after);

    // A typed text: refused, or a value in range whose own text reads back the same.
    double value = 1234.5;
    if (params->text_to_value(plugin, textId, text, &value)) {
        clap_param_info_t info{};
        FUZZ_CHECK(params->get_info(plugin, textId, &info));
        FUZZ_CHECK(value >= info.min_value && value <= info.max_value);
        char shown[64];
        double again = NAN;
        FUZZ_CHECK(params->value_to_text(plugin, textId, value, shown, sizeof shown));
        FUZZ_CHECK(params->text_to_value(plugin, textId, shown, &again));
        char shownAgain[64];
        FUZZ_CHECK(params->value_to_text(plugin, textId, again, shownAgain, sizeof shownAgain));
        FUZZ_CHECK(std::strcmp(shown, shownAgain) == 0);
    } else {
        FUZZ_CHECK(value == 1234.5);
    }

    // A block with the values taken: finite output.
    FUZZ_CHECK(plugin->activate(plugin, 48000, 1, 64));
    float left[64], right[64];
    for (int i = 0; i < 64; ++i)
        left[i] = right[i] = 0.5f * static_cast<float>(std::sin(i * 0.3));
    float* channels[2] = {left, right};
    clap_audio_buffer_t buffer{};
    buffer.data32 = channels;
    buffer.channel_count = 2;
    clap_process_t process{};
    process.frames_count = 64;
    process.audio_inputs = &buffer;
    process.audio_outputs = &buffer;
    process.audio_inputs_count = process.audio_outputs_count = 1;
    FUZZ_CHECK(plugin->process(plugin, &process) == CLAP_PROCESS_CONTINUE);
    for (int i = 0; i < 64; ++i)
        FUZZ_CHECK(std::isfinite(left[i]) && std::isfinite(right[i]));
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
    clap_entry.deinit();
    return 0;
}
