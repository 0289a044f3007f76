#pragma once
#include <string>

#include <windows.h>

class AudioEngine;
class MidiBridge;
class PreferencesDialog;
struct AppSettings;

// The Preferences dialog (template 998) over a PreferencesDialog: every list,
// the check box and the buttons show the model's state after each change,
// and every selection change goes to the model. Runs modally; answers 1 for
// OK, 2 for Cancel or the close box (after the Cancel steps have run), -1
// when the dialog could not be created.
//
// [main thread]
int RunPreferencesDialog(PreferencesDialog& model, HWND owner);

// The same over the application's engine, MIDI bridge and settings.
int RunPreferencesDialog(AudioEngine& audio, MidiBridge& midi, AppSettings& settings, AppSettings& snapshot,
                         const std::string& settingsPath, HWND owner);
