#include "preferences_dialog.h"

#include <algorithm>
#include <cstring>

#include "audio_engine.h"
#include "ini_file.h"
#include "midi_bridge.h"

namespace {

constexpr std::array<const char*, 9> kIoVectorSizes = {"32",   "64",   "128",  "256", "512",
                                                       "1024", "2048", "4096", "8192"};
constexpr std::array<const char*, 7> kSignalVectorSizes = {"16", "32", "64", "128", "256", "512", "1024"};
constexpr unsigned kMidiChannels = 16;
constexpr std::uint16_t kJackDriver = 1;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Device names are compared byte for byte, as the engine looks them up, and
// the first match is taken for the same reason: the dialog then shows the
// channels and rates of the device the stream really opens.
int findDevice(const std::vector<std::string>& names, std::string_view stored) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == stored) {
            return static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (isCutFormOf(stored, names[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Position `index` when the list has it, else none.
int positionIfListed(const std::vector<std::string>& items, long index) {
    return index >= 0 && index < static_cast<long>(items.size()) ? static_cast<int>(index) : -1;
}

std::vector<std::string> numbers(unsigned first, unsigned last) {
    std::vector<std::string> items;
    for (unsigned i = first; i <= last; ++i) {
        items.push_back(std::to_string(i));
    }
    return items;
}

template <std::size_t N> std::vector<std::string> texts(const std::array<const char*, N>& table) {
    return {table.begin(), table.end()};
}

} // namespace

int findListText(const std::vector<std::string>& items, std::string_view text) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (equalIgnoringCase(items[i], text)) {
            return static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (isCutFormOf(text, items[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

PreferencesDialog::PreferencesDialog(AppSettings& settings, AppSettings& snapshot,
                                     PreferencesServices& services)
    : mSettings(settings), mSnapshot(snapshot), mServices(services) {}

PreferencesDialog::ListState* PreferencesDialog::findList(int controlId) {
    const auto it = std::find(kListIds.begin(), kListIds.end(), controlId);
    return it == kListIds.end() ? nullptr : &mLists[static_cast<std::size_t>(it - kListIds.begin())];
}

const PreferencesDialog::ListState& PreferencesDialog::list(int controlId) const {
    static const ListState kNoList{{}, -1, false};
    const ListState* found = const_cast<PreferencesDialog*>(this)->findList(controlId);
    return found ? *found : kNoList;
}

void PreferencesDialog::open() {
    ListState& driver = *findList(kDriverType);
    driver.items = {AudioEngine::driverDisplayName(0), AudioEngine::driverDisplayName(1)};
    driver.selected = positionIfListed(driver.items, mSettings.driver);
    fillAudioPart();
    fillMidiPart();
    mSnapshot = mSettings;
}

void PreferencesDialog::fillAudioPart() {
    fillDevicePart();
    mMonoChecked = mSettings.monoinput.load() != 0;
    ListState& io = *findList(kIoVectorSize);
    io.items = texts(kIoVectorSizes);
    io.selected = findListText(io.items, mSettings.iovs);
    ListState& sig = *findList(kSignalVectorSize);
    sig.items = texts(kSignalVectorSizes);
    sig.selected = findListText(sig.items, mSettings.sigvs);
}

void PreferencesDialog::fillDevicePart() {
    // Follows the driver the engine uses (anything but JACK is ALSA), which
    // for a stored value other than 0 or 1 is not what the driver list shows.
    const bool jack = mSettings.driver == kJackDriver;
    ListState& inputList = *findList(kInputDevice);
    ListState& outputList = *findList(kOutputDevice);
    // Where input and output devices are listed apart (WASAPI standing in
    // for the second driver type) the input stays the user's to choose.
    inputList.enabled = !mServices.outputNamesInput(mSettings.driver);
    mControlPanelEnabled = jack && mServices.hasControlPanel();

    // A name that is not found shows the first device; the setting stays.
    auto fill = [&](ListState& list, const std::vector<unsigned>& devices, const SettingsText& stored) {
        list.items.clear();
        for (unsigned device : devices) {
            list.items.push_back(mServices.deviceName(device));
        }
        const int found = findDevice(list.items, stored);
        list.selected = found >= 0 ? found : positionIfListed(list.items, 0);
    };
    const std::vector<unsigned> inputs = mServices.inputDevices();
    const std::vector<unsigned> outputs = mServices.outputDevices();
    fill(inputList, inputs, mSettings.indev);
    fill(outputList, outputs, mSettings.outdev);

    // With JACK the input list is disabled, yet its device still gives the
    // input channels and the rates.
    const PreferencesDeviceInfo input =
        inputList.selected >= 0 ? mServices.deviceInfo(inputs[static_cast<std::size_t>(inputList.selected)])
                                : PreferencesDeviceInfo{};
    const PreferencesDeviceInfo output =
        outputList.selected >= 0
            ? mServices.deviceInfo(outputs[static_cast<std::size_t>(outputList.selected)])
            : PreferencesDeviceInfo{};

    // The left channel of a pair is never the device's last channel.
    auto fillPair = [&](int firstId, int secondId, unsigned channels, std::uint16_t first,
                        std::uint16_t second) {
        ListState& left = *findList(firstId);
        ListState& right = *findList(secondId);
        left.items = channels > 1 ? numbers(1, channels - 1) : std::vector<std::string>{};
        right.items = numbers(1, channels);
        left.selected = positionIfListed(left.items, static_cast<long>(first) - 1);
        right.selected = positionIfListed(right.items, static_cast<long>(second) - 1);
    };
    fillPair(kInput1, kInput2, input.inputChannels, mSettings.in1, mSettings.in2);
    fillPair(kOutput1, kOutput2, output.outputChannels, mSettings.out1, mSettings.out2);

    ListState& rates = *findList(kSamplingRate);
    rates.items.clear();
    for (unsigned rate : input.sampleRates) {
        const bool both =
            std::find(output.sampleRates.begin(), output.sampleRates.end(), rate) != output.sampleRates.end();
        const std::string text = std::to_string(rate);
        // A device that lists a rate twice shows it once.
        if (both && std::find(rates.items.begin(), rates.items.end(), text) == rates.items.end()) {
            rates.items.push_back(text);
        }
    }
    rates.selected = findListText(rates.items, mSettings.sr);
}

void PreferencesDialog::fillMidiPart() {
    ListState& inPorts = *findList(kMidiInPort);
    ListState& outPorts = *findList(kMidiOutPort);
    ListState& inChannel = *findList(kMidiInChannel);
    ListState& outChannel = *findList(kMidiOutChannel);
    for (ListState* list : {&inPorts, &outPorts, &inChannel, &outChannel}) {
        list->items.clear();
        list->selected = -1;
    }
    if (!mServices.hasMidi()) {
        return;
    }
    fillMidiPortList(inPorts, mServices.midiInPorts(), mSettings.midiIndev);
    fillMidiPortList(outPorts, mServices.midiOutPorts(), mSettings.midiOutdev);
    std::vector<std::string> channels = numbers(1, kMidiChannels);
    channels.insert(channels.begin(), "all");
    inChannel.items = channels;
    outChannel.items = channels;
    inChannel.selected = positionIfListed(channels, mSettings.inchan.load());
    outChannel.selected = positionIfListed(channels, mSettings.outchan.load());
}

void PreferencesDialog::fillMidiPortList(ListState& list, const std::vector<std::string>& ports,
                                         SettingsText& setting) {
    list.items = ports;
    list.selected = findListText(list.items, setting);
    if (list.selected < 0) {
        setText(setting, MidiBridge::kOff);
        mServices.writeSettings();
        list.selected = positionIfListed(list.items, 0);
    }
}

void PreferencesDialog::select(int controlId, int position) {
    ListState* list = findList(controlId);
    if (list == nullptr || !list->enabled || positionIfListed(list->items, position) < 0) {
        return;
    }
    list->selected = position;
    switch (controlId) {
    case kDriverType:
        onDriverType(position);
        break;
    case kInputDevice:
        onDevice(true, position);
        break;
    case kOutputDevice:
        onDevice(false, position);
        break;
    case kIoVectorSize:
    case kSignalVectorSize:
        onVectorSize();
        break;
    case kSamplingRate:
        setText(mSettings.sr, list->items[static_cast<std::size_t>(position)]);
        mServices.reopenStream();
        break;
    case kInput1:
        onFirstChannel(true, position);
        break;
    case kOutput1:
        onFirstChannel(false, position);
        break;
    // The right channel always follows the left one.
    case kInput2:
        list->selected = positionIfListed(list->items, static_cast<long>(mSettings.in2) - 1);
        break;
    case kOutput2:
        list->selected = positionIfListed(list->items, static_cast<long>(mSettings.out2) - 1);
        break;
    case kMidiInPort:
        onMidiPort(true, position);
        break;
    case kMidiOutPort:
        onMidiPort(false, position);
        break;
    case kMidiInChannel:
        mSettings.inchan.store(static_cast<std::uint16_t>(position));
        break;
    case kMidiOutChannel:
        mSettings.outchan.store(static_cast<std::uint16_t>(position));
        break;
    default:
        break;
    }
}

void PreferencesDialog::onDriverType(int position) {
    if (position == mSettings.driver) {
        return;
    }
    mSettings.driver = static_cast<std::uint16_t>(position);
    mServices.recreateAudio();
    mServices.scanDevices();
    // A driver type without devices stores the default name, which stands for
    // the back end's default device should one appear.
    auto firstName = [&](const std::vector<unsigned>& devices) {
        return devices.empty() ? std::string(AudioEngine::kDefaultDeviceName)
                               : mServices.deviceName(devices[0]);
    };
    setText(mSettings.indev, firstName(mServices.inputDevices()));
    setText(mSettings.outdev, firstName(mServices.outputDevices()));
    mSettings.out1 = 1;
    mSettings.out2 = 2;
    mServices.reopenStream();
    fillAudioPart();
}

void PreferencesDialog::onDevice(bool input, int position) {
    const ListState& list = *findList(input ? kInputDevice : kOutputDevice);
    // Cut to the field; the engine and the fill still find the device by the
    // start of its name.
    setText(input ? mSettings.indev : mSettings.outdev, list.items[static_cast<std::size_t>(position)]);
    (input ? mSettings.in1 : mSettings.out1) = 1;
    (input ? mSettings.in2 : mSettings.out2) = 2;
    mServices.reopenStream();
    fillDevicePart();
}

void PreferencesDialog::onVectorSize() {
    ListState& io = *findList(kIoVectorSize);
    ListState& sig = *findList(kSignalVectorSize);
    // A list that shows no selection stands for what the settings hold.
    const std::string ioText =
        io.selected >= 0 ? io.items[static_cast<std::size_t>(io.selected)] : mSettings.iovs;
    const std::string sigText =
        sig.selected >= 0 ? sig.items[static_cast<std::size_t>(sig.selected)] : mSettings.sigvs;
    setText(mSettings.iovs, ioText);
    if (parseDecimal(ioText) < parseDecimal(sigText)) {
        // Sub-blocks never exceed the device buffer.
        setText(mSettings.sigvs, kSignalVectorSizes[0]);
        sig.selected = -1;
    } else {
        setText(mSettings.sigvs, sigText);
    }
    mServices.reopenStream();
}

void PreferencesDialog::onFirstChannel(bool input, int position) {
    std::uint16_t& first = input ? mSettings.in1 : mSettings.out1;
    std::uint16_t& second = input ? mSettings.in2 : mSettings.out2;
    first = static_cast<std::uint16_t>(position + 1);
    second = static_cast<std::uint16_t>(first + 1);
    ListState& right = *findList(input ? kInput2 : kOutput2);
    right.selected = positionIfListed(right.items, static_cast<long>(second) - 1);
    mServices.reopenStream();
}

void PreferencesDialog::onMidiPort(bool input, int position) {
    ListState& list = *findList(input ? kMidiInPort : kMidiOutPort);
    SettingsText& setting = input ? mSettings.midiIndev : mSettings.midiOutdev;
    setText(setting, list.items[static_cast<std::size_t>(position)]);
    const std::string name = setting;
    if (input) {
        mServices.openMidiIn(name);
    } else {
        mServices.openMidiOut(name);
    }
    // A port that went away since the list was made turns the setting to
    // "off"; show that rather than the name that failed.
    if (name != setting) {
        list.selected = positionIfListed(list.items, findListText(list.items, setting));
    }
}

void PreferencesDialog::setMono(bool checked) {
    mMonoChecked = checked;
    mSettings.monoinput.store(checked ? 1 : 0);
}

void PreferencesDialog::clickControlPanel() {
    if (mSettings.driver == kJackDriver && mServices.hasControlPanel()) {
        mServices.showControlPanel();
    }
}

int PreferencesDialog::ok() {
    return kResultOk;
}

int PreferencesDialog::cancel() {
    if (!(mSettings == mSnapshot)) {
        restoreSnapshot();
    }
    return kResultCancel;
}

void PreferencesDialog::restoreSnapshot() {
    const std::string midiIn = mSettings.midiIndev;
    const std::string midiOut = mSettings.midiOutdev;
    mSettings = mSnapshot;
    mServices.recreateAudio();
    mServices.scanDevices();
    mServices.reopenStream();
    // The ports follow the names put back, so what is open matches the
    // settings again.
    if (mServices.hasMidi()) {
        if (midiIn != mSettings.midiIndev) {
            mServices.openMidiIn(std::string(mSettings.midiIndev));
        }
        if (midiOut != mSettings.midiOutdev) {
            mServices.openMidiOut(std::string(mSettings.midiOutdev));
        }
    }
}
