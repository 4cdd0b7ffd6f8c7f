// The host editor: the fields on the left of the setup dialog that show and
// take one host record, the hint beside the port, the two pickers of the
// Open dialog, and the sign-in: the list, the provider and the sign-in
// itself. It works on the dialog's controls; which record it shows, and what
// a change means for the host list, is the dialog's business.
#pragma once

#include "host_editor_rules.h"
#include "host_records.h"

#include <windows.h>

#include <optional>
#include <span>
#include <string>

inline constexpr const char* kPathTooLongText = "The path of the chosen file is too long (at most 98 characters).";
inline constexpr const char* kPortRefusedText = "Port must be a number from 1 to 65535.";

class HostEditor {
public:
    // Over the controls of the dialog window, which outlives the editor's use.
    explicit HostEditor(HWND dialog);

    // Once, as the dialog starts: the password field made a Unicode one, and
    // no field takes more than the registry gives back.
    void PrepareFields(HINSTANCE instance);
    // A drop-down list's entries, in stored-value order.
    void FillCombo(int control, std::span<const char* const> names);
    void FillActionCombo();
    void ShowHost(const HostConfig& host);
    void ClearFields();
    // Whether a value changed; nothing when a field refused its text, and
    // then the record is left as it was.
    std::optional<bool> StoreFields(HostConfig& host);
    // True when a picked file went into its field.
    bool BrowseMailReader();
    bool BrowseSound();
    void ShowPortHint();
    // The security list's pick: "None" is refused at once for a host that
    // signs in with OAuth.
    void ChooseSecurity();
    // The sign-in list's pick: the fields that the entry needs take the
    // place of the others, and an OAuth entry never keeps "None".
    void ChooseSignIn();
    // True when the provider changed.
    bool EditProvider();
    // True when anything of the host changed: a token, or a client ID that
    // was asked for first.
    bool SignIn();
    // The line under the sign-in list, for the username as it stands.
    void ShowSignInStatus();
    void KeepWithinStoredLength(int control);
    // The dialog's answer to WM_CTLCOLORSTATIC: grey for the port hint,
    // FALSE for every other control.
    INT_PTR ColorStatic(HDC dc, HWND control) const;

private:
    bool StoreTextField(int control, std::string& field);
    std::string FieldText(int control) const;
    void RefuseField(int control, const char* text);
    bool PickFile(int control, DWORD bufferSize, const char* filter, const char* defaultExtension);
    LRESULT SendItem(int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void ShowSignIn();
    std::optional<OAuthProvider> AskProvider() const;

    HWND window_;
    HINSTANCE instance_ = nullptr;
    // The shown host's sign-in as changed since it was shown; committed with
    // the fields.
    SignInValues signIn_{};
    // What the security list showed before its latest pick.
    int lastSecurity_ = SslTls;
};
