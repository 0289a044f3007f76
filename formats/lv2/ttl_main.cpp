// vt4r-lv2-ttl OUTDIR: writes the bundle's descriptions (manifest.ttl, vt4r.ttl,
// presets.ttl) from the plug-in itself: its parameters as the factory makes them, its
// presets as it captures them, so the bundle can never disagree with the program.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/standalone.h"
#include "formats/lv2/ports.h"

namespace {

using namespace vt4r_lv2;

// A Turtle decimal: always with a point, never with an exponent the schemas would call a double.
std::string Decimal(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    std::string s = text;
    while (s.size() > 1 && s.back() == '0' && s[s.size() - 2] != '.')
        s.pop_back();
    return s == "-0.0" ? "0.0" : s;
}

std::string Quoted(const char* text) {
    std::string s = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\')
            s += '\\';
        s += *c;
    }
    return s + "\"";
}

const char* kPrefixes = "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
                        "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
                        "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
                        "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
                        "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                        "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
                        "@prefix pprop: <http://lv2plug.in/ns/ext/port-props#> .\n"
                        "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                        "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                        "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                        "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
                        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
                        "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

bool IsToggle(const IParameter& p) {
    return p.Kind() != Number && p.Minimum() == 0.0 && p.Maximum() == 1.0;
}

std::string ParameterValue(const IParameter& p) {
    if (p.Kind() == Number)
        return Decimal(p.Value());
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(p.Value()));
    return text;
}

std::string Manifest() {
    std::ostringstream t;
    t << kPrefixes;
    t << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << kPluginBinary
      << "> ;\n    rdfs:seeAlso <vt4r.ttl> .\n\n";
    t << "<" << kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << kUiBinary << "> ;\n    rdfs:seeAlso <vt4r.ttl> .\n\n";
    t << "<" << kDefaultPresetUri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri
      << "> ;\n    rdfs:seeAlso <presets.ttl> .\n";
    return t.str();
}

void AudioPort(std::ostringstream& t, std::uint32_t index, bool input, const char* symbol, const char* name) {
    t << "        a lv2:AudioPort , lv2:" << (input ? "InputPort" : "OutputPort") << " ;\n"
      << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol << "\" ;\n        lv2:name \""
      << name << "\"\n";
}

std::string PluginDescription(IEffectStandalone& plugin) {
    const std::uint32_t version = static_cast<std::uint32_t>(plugin.Version());
    std::ostringstream t;
    t << kPrefixes;
    t << "<" << kPluginUri << ">\n"
      << "    a lv2:Plugin , lv2:CompressorPlugin , doap:Project ;\n"
      << "    doap:name " << Quoted(plugin.EffectName()) << " ;\n"
      << "    doap:maintainer [ foaf:name " << Quoted(plugin.MakerName()) << " ] ;\n"
      << "    rdfs:comment \"A stereo compressor with a needle gain-reduction meter.\" ;\n"
      << "    lv2:minorVersion " << ((version >> 8) & 0xFF) << " ;\n"
      << "    lv2:microVersion " << (version & 0xFF) << " ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , opts:options , bufsz:boundedBlockLength ;\n"
      << "    opts:supportedOption bufsz:nominalBlockLength , bufsz:maxBlockLength ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    ui:ui <" << kUiUri << "> ;\n"
      << "    lv2:port [\n";
    AudioPort(t, kInputLeftPort, true, "in_l", "In L");
    t << "    ] , [\n";
    AudioPort(t, kInputRightPort, true, "in_r", "In R");
    t << "    ] , [\n";
    AudioPort(t, kOutputLeftPort, false, "out_l", "Out L");
    t << "    ] , [\n";
    AudioPort(t, kOutputRightPort, false, "out_r", "Out R");
    for (std::int32_t i = 0; i < plugin.ParamCount(); ++i) {
        const IParameter& p = *plugin.Param(i);
        std::vector<std::string> lines = {
            "a lv2:InputPort , lv2:ControlPort",
            "lv2:index " + std::to_string(PortOfParameter(i)),
            "lv2:symbol \"" + SymbolForName(p.Name()) + "\"",
            "lv2:name " + Quoted(p.Name()),
        };
        if (p.Kind() == Number) {
            lines.push_back("lv2:default " + Decimal(p.DefaultValue()));
            lines.push_back("lv2:minimum " + Decimal(p.Minimum()));
            lines.push_back("lv2:maximum " + Decimal(p.Maximum()));
            if (std::strcmp(p.Label(), "dB") == 0)
                lines.push_back("units:unit units:db");
        } else {
            lines.push_back("lv2:default " + std::to_string(static_cast<int>(p.DefaultValue())));
            lines.push_back("lv2:minimum " + std::to_string(static_cast<int>(p.Minimum())));
            lines.push_back("lv2:maximum " + std::to_string(static_cast<int>(p.Maximum())));
            lines.push_back(std::string("lv2:portProperty lv2:integer , ") +
                            (IsToggle(p) ? "lv2:toggled" : "lv2:enumeration"));
            for (int v = static_cast<int>(p.Minimum()); v <= static_cast<int>(p.Maximum()); ++v)
                if (const char* text = p.ValueTextFor(v); *text != '\0')
                    lines.push_back("lv2:scalePoint [ rdfs:label " + Quoted(text) + " ; rdf:value " +
                                    std::to_string(v) + " ]");
        }
        t << "    ] , [\n";
        for (std::size_t l = 0; l < lines.size(); ++l)
            t << "        " << lines[l] << (l + 1 < lines.size() ? " ;\n" : "\n");
    }
    t << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << kGainReductionPort << " ;\n"
      << "        lv2:symbol \"gain_reduction\" ;\n"
      << "        lv2:name \"Gain Reduction\" ;\n"
      << "        lv2:minimum 0.0 ;\n"
      << "        lv2:maximum " << Decimal(kNeedleFullScaleDb) << " ;\n"
      << "        units:unit units:db\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << kNeedlePort << " ;\n"
      << "        lv2:symbol \"needle\" ;\n"
      << "        lv2:name \"Needle\" ;\n"
      << "        lv2:minimum 0.0 ;\n"
      << "        lv2:maximum 1.0 ;\n"
      << "        lv2:portProperty pprop:notOnGUI\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << kLatencyPort << " ;\n"
      << "        lv2:symbol \"latency\" ;\n"
      << "        lv2:name \"Latency\" ;\n"
      << "        lv2:designation lv2:latency ;\n"
      << "        lv2:minimum 0 ;\n"
      << "        lv2:maximum 0 ;\n"
      << "        lv2:portProperty lv2:reportsLatency , lv2:integer , pprop:notOnGUI\n"
      << "    ] , [\n"
      << "        a lv2:InputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << kEnabledPort << " ;\n"
      << "        lv2:symbol \"enabled\" ;\n"
      << "        lv2:name \"Enabled\" ;\n"
      << "        lv2:designation lv2:enabled ;\n"
      << "        lv2:default 1 ;\n"
      << "        lv2:minimum 0 ;\n"
      << "        lv2:maximum 1 ;\n"
      << "        lv2:portProperty lv2:integer , lv2:toggled , lv2:connectionOptional\n"
      << "    ] .\n\n";

    t << "<" << kUiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    lv2:requiredFeature ui:parent ;\n"
      << "    lv2:optionalFeature ui:resize , ui:touch , ui:idleInterface , opts:options ;\n"
      << "    opts:supportedOption ui:scaleFactor ;\n"
      << "    lv2:extensionData ui:idleInterface ;\n"
      << "    ui:portNotification [\n        ui:plugin <" << kPluginUri
      << "> ;\n        lv2:symbol \"needle\" ;\n        ui:protocol ui:floatProtocol\n    ] .\n";
    return t.str();
}

std::string Presets(IEffectStandalone& plugin) {
    std::ostringstream t;
    t << kPrefixes;
    for (std::int32_t slot = 0; slot < plugin.PresetCount(); ++slot) {
        // One preset today ("-"); more would need URIs of their own.
        if (slot > 0 || !plugin.LoadPresetSlot(slot))
            break;
        t << "<" << kDefaultPresetUri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri
          << "> ;\n    rdfs:label " << Quoted(plugin.PresetSlot(slot)->name) << " ;\n    lv2:port ";
        for (std::int32_t i = 0; i < plugin.ParamCount(); ++i) {
            const IParameter& p = *plugin.Param(i);
            t << (i > 0 ? " , " : "") << "[\n        lv2:symbol \"" << SymbolForName(p.Name())
              << "\" ;\n        pset:value " << ParameterValue(p) << "\n    ]";
        }
        t << " .\n";
    }
    return t.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "vt4r-lv2-ttl: cannot write '%s'\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vt4r-lv2-ttl OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::unique_ptr<IEffectStandalone> plugin = CreatePlugin(IHostRecord{});
    const bool ok = WriteFile(dir + "/manifest.ttl", Manifest()) &&
                    WriteFile(dir + "/vt4r.ttl", PluginDescription(*plugin)) &&
                    WriteFile(dir + "/presets.ttl", Presets(*plugin));
    return ok ? 0 : 1;
}
