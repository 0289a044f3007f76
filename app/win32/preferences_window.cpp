#include "preferences_window.h"

#include <algorithm>

#include "engine_services.h"
#include "platform/files.h"
#include "preferences_dialog.h"
#include "resource_ids.h"

namespace {

struct DialogState {
    PreferencesDialog* model = nullptr;
    bool opened = false;
};

bool isList(int id) {
    return std::find(PreferencesDialog::kListIds.begin(), PreferencesDialog::kListIds.end(), id) !=
           PreferencesDialog::kListIds.end();
}

void showList(HWND dialog, int id, const PreferencesDialog::ListState& list) {
    const HWND combo = ::GetDlgItem(dialog, id);
    if (combo == nullptr) {
        return;
    }
    ::SendMessageW(combo, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : list.items) {
        // Device names are UTF-8; the list shows them in the system's text.
        const std::wstring text = platform::WidePath(item);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(list.selected), 0);
    ::SendMessageW(combo, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(combo, nullptr, TRUE);
    ::EnableWindow(combo, list.enabled ? TRUE : FALSE);
}

void showModel(HWND dialog, const PreferencesDialog& model) {
    for (const int id : PreferencesDialog::kListIds) {
        showList(dialog, id, model.list(id));
    }
    ::CheckDlgButton(dialog, PreferencesDialog::kMonoInput, model.monoChecked() ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(dialog, PreferencesDialog::kControlPanel),
                   model.controlPanelEnabled() ? TRUE : FALSE);
}

INT_PTR onCommand(HWND dialog, DialogState& state, int id, int code) {
    PreferencesDialog& model = *state.model;
    switch (id) {
    case PreferencesDialog::kOk:
        ::EndDialog(dialog, model.ok());
        return TRUE;
    case PreferencesDialog::kCancel:
        // The Cancel steps run once the dialog is gone.
        ::EndDialog(dialog, PreferencesDialog::kResultCancel);
        return TRUE;
    case PreferencesDialog::kMonoInput:
        model.setMono(::IsDlgButtonChecked(dialog, id) == BST_CHECKED);
        return TRUE;
    case PreferencesDialog::kControlPanel:
        if (code == BN_CLICKED) {
            model.clickControlPanel();
        }
        return TRUE;
    default:
        break;
    }
    if (!isList(id) || code != CBN_SELCHANGE) {
        return FALSE;
    }
    const LRESULT position = ::SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (position != CB_ERR) {
        model.select(id, static_cast<int>(position));
    }
    showModel(dialog, model);
    return TRUE;
}

INT_PTR CALLBACK preferencesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<DialogState*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        state->model->open();
        state->opened = true;
        showModel(dialog, *state->model);
        return TRUE;
    case WM_COMMAND:
        if (state == nullptr) {
            return FALSE;
        }
        return onCommand(dialog, *state, LOWORD(wParam), HIWORD(wParam));
    default:
        return FALSE;
    }
}

} // namespace

int RunPreferencesDialog(PreferencesDialog& model, HWND owner) {
    DialogState state;
    state.model = &model;
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PREFERENCES), owner,
                                             &preferencesProc, reinterpret_cast<LPARAM>(&state));
    if (result == PreferencesDialog::kResultOk) {
        return PreferencesDialog::kResultOk;
    }
    // The close box ends the dialog as Cancel does; a dialog that never
    // opened took no snapshot, so there is nothing to put back.
    if (state.opened) {
        return model.cancel();
    }
    return -1;
}

int RunPreferencesDialog(AudioEngine& audio, MidiBridge& midi, AppSettings& settings, AppSettings& snapshot,
                         const std::string& settingsPath, HWND owner) {
    EnginePreferencesServices services(audio, midi, settings, settingsPath);
    PreferencesDialog model(settings, snapshot, services);
    return RunPreferencesDialog(model, owner);
}
