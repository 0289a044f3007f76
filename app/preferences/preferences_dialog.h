#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "preferences_services.h"
#include "settings.h"

// The Preferences dialog's logic, without a window toolkit: the contents,
// selection and enabled state of every control, and the reaction to each
// user action. Every change acts at once on the current settings record;
// audio changes reopen the stream, MIDI port changes reopen the port. A view
// shows the state after each call and forwards the user's actions.
//
// [main thread] All of it. `monoinput`, `inchan` and `outchan` are atomics
// that the audio and MIDI callbacks read live.
class PreferencesDialog {
  public:
    // Control ids; a list's id is what select() takes.
    enum ControlId : int {
        kOk = 1,
        kCancel = 2,
        kDriverType = 1003,
        kInputDevice = 1004,
        kOutputDevice = 1005,
        kIoVectorSize = 1006,
        kSignalVectorSize = 1007,
        kSamplingRate = 1008,
        kInput1 = 40006,
        kInput2 = 40007,
        kOutput2 = 40008,
        kOutput1 = 40009,
        kMidiInPort = 40010,
        kMidiOutPort = 40011,
        kMidiInChannel = 40012,
        kMidiOutChannel = 40013,
        kControlPanel = 40014,
        kMonoInput = 40015,
    };
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;
    // Every list, in the order of the dialog.
    static constexpr std::array<int, 14> kListIds = {
        kDriverType,   kInputDevice, kOutputDevice,  kIoVectorSize,  kSignalVectorSize,
        kSamplingRate, kInput1,      kInput2,        kOutput1,       kOutput2,
        kMidiInPort,   kMidiOutPort, kMidiInChannel, kMidiOutChannel};

    struct ListState {
        std::vector<std::string> items;
        int selected = -1; // -1: nothing selected
        bool enabled = true;
    };

    // `settings` is the current record; `snapshot` receives its copy when the
    // dialog opens and is what Cancel restores. Both, and `services`, must
    // outlive the dialog.
    PreferencesDialog(AppSettings& settings, AppSettings& snapshot, PreferencesServices& services);

    // Fills every control from the settings and the engine's lists, then
    // takes the snapshot.
    void open();

    // The user picked item `position` of list `controlId`. Positions outside
    // the list and unknown ids are ignored.
    void select(int controlId, int position);
    void setMono(bool checked);
    void clickControlPanel();
    // The dialog's result: 1 for OK (the caller then writes the settings
    // file), 2 for Cancel, after the settings are put back as they were when
    // the dialog opened and the audio side is rebuilt, if anything changed.
    int ok();
    int cancel();

    // State of a list; an unknown id gives an empty, disabled list.
    const ListState& list(int controlId) const;
    bool monoChecked() const { return mMonoChecked; }
    bool controlPanelEnabled() const { return mControlPanelEnabled; }

  private:
    ListState* findList(int controlId);
    void fillAudioPart();
    void fillDevicePart();
    void fillMidiPart();
    void fillMidiPortList(ListState& list, const std::vector<std::string>& ports, SettingsText& setting);

    void onDriverType(int position);
    void onDevice(bool input, int position);
    void onVectorSize();
    void onFirstChannel(bool input, int position);
    void onMidiPort(bool input, int position);
    void restoreSnapshot();

    AppSettings& mSettings;
    AppSettings& mSnapshot;
    PreferencesServices& mServices;
    std::array<ListState, kListIds.size()> mLists;
    bool mMonoChecked = false;
    bool mControlPanelEnabled = false;
};

// Position of the item whose whole text equals `text`, ignoring ASCII case,
// as a list's exact-text search finds it; a name cut to fit a settings field
// also finds the longer item it was cut from. -1 when there is none.
int findListText(const std::vector<std::string>& items, std::string_view text);
