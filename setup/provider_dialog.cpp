// The provider dialog, modal over the setup dialog.
#include "provider_dialog.h"

#include "host_editor_rules.h"
#include "platform.h"
#include "setup_platform.h"
#include "setup_resources.h"

#include <new>
#include <string>

namespace {

struct ProviderEdit {
    OAuthProvider Provider;
    ProviderFields Fields;
    bool Accepted = false;
    bool OutOfMemory = false;
};

// By ProviderField.
constexpr int kFieldControls[] = {IDC_PROVIDER_AUTHORIZE, IDC_PROVIDER_TOKEN, IDC_PROVIDER_CLIENT_ID,
                                  IDC_PROVIDER_SCOPE, IDC_PROVIDER_DEVICE};

std::string* FieldOf(OAuthProvider& provider, int field)
{
    std::string* const fields[] = {&provider.AuthorizeUrl, &provider.TokenUrl, &provider.ClientId, &provider.Scope,
                                   &provider.DeviceUrl};
    return fields[field];
}

void ShowFields(HWND box, ProviderEdit& edit)
{
    for (int field = AuthorizeField; field <= DeviceField; ++field) {
        const HWND control = GetDlgItem(box, kFieldControls[field]);
        SetWindowTextA(control, FieldOf(edit.Provider, field)->c_str());
        // A preset's addresses are shown, as what the client ID goes with,
        // but they are the preset's.
        if (edit.Fields == ProviderFields::ClientIdOnly && field != ClientIdField)
            SendMessageA(control, EM_SETREADONLY, TRUE, 0);
    }
    SetDlgItemTextA(box, IDC_PROVIDER_NOTE,
                    edit.Fields == ProviderFields::ClientIdOnly ? kClientIdNoteText : kProviderNoteText);
}

// False when a field is refused: the user has been told, and the field has
// the focus.
bool TakeFields(HWND box, ProviderEdit& edit)
{
    OAuthProvider typed;
    for (int field = AuthorizeField; field <= DeviceField; ++field) {
        const HWND control = GetDlgItem(box, kFieldControls[field]);
        std::string& text = *FieldOf(typed, field);
        text.resize(static_cast<size_t>(GetWindowTextLengthA(control)) + 1);
        text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    }
    if (const std::optional<ProviderFault> fault = CheckProvider(typed)) {
        gPlatform.MessageBoxA(box, fault->Text, ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
        const HWND control = GetDlgItem(box, kFieldControls[fault->Field]);
        SetFocus(control);
        SendMessageA(control, EM_SETSEL, 0, -1);
        return false;
    }
    edit.Provider = std::move(typed);
    return true;
}

INT_PTR HandleProviderMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(box, DWLP_USER, lParam);
        auto& edit = *reinterpret_cast<ProviderEdit*>(lParam);
        ShowFields(box, edit);
        if (edit.Fields == ProviderFields::All)
            return TRUE;  // the focus goes to the first field
        SetFocus(GetDlgItem(box, IDC_PROVIDER_CLIENT_ID));
        return FALSE;
    }
    auto* edit = reinterpret_cast<ProviderEdit*>(GetWindowLongPtrA(box, DWLP_USER));
    if (edit == nullptr || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        if (TakeFields(box, *edit)) {
            edit->Accepted = true;
            EndDialog(box, IDOK);
        }
        return TRUE;
    case IDCANCEL:
        EndDialog(box, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ProviderProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    // No exception may travel on into the system's code that called us: it
    // is thrown again once the dialog has returned, to the setup dialog's
    // own report.
    try {
        return HandleProviderMessage(box, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        if (auto* edit = reinterpret_cast<ProviderEdit*>(GetWindowLongPtrA(box, DWLP_USER)))
            edit->OutOfMemory = true;
        EndDialog(box, IDCANCEL);
        return TRUE;
    }
}

}  // namespace

std::optional<OAuthProvider> RunProviderDialog(HINSTANCE instance, HWND owner, const OAuthProvider& provider,
                                               ProviderFields fields)
{
    ProviderEdit edit{provider, fields};
    // The answer is what the dialog recorded: a dialog that could not be
    // made at all answers as Cancel does.
    gSetupPlatform.DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROVIDER), owner, &ProviderProc,
                                   reinterpret_cast<LPARAM>(&edit));
    if (edit.OutOfMemory)
        throw std::bad_alloc();
    if (!edit.Accepted)
        return std::nullopt;
    return edit.Provider;
}
