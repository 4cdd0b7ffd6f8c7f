// The host editor: the fields that show and commit one host record, the
// hint beside the port, the two pickers of the Open dialog, and the sign-in.
#include "host_editor.h"

#include "platform.h"
#include "provider_dialog.h"
#include "provider_presets.h"
#include "reader_command.h"
#include "setup_config.h"
#include "setup_platform.h"
#include "setup_resources.h"
#include "text_encoding.h"

#include <string>
#include <utility>

namespace {

// The dialog makes its controls as ANSI windows, and an ANSI edit control
// loses every character that the code page cannot hold, typed or pasted.
// The password must reach the server whole, so its field is made again as a
// Unicode edit control in the template's place: same place, style, font and
// tab position. Should that fail, the template's field stays.
void MakeUnicodeField(HWND dialog, HINSTANCE instance, int id)
{
    const HWND ansi = GetDlgItem(dialog, id);
    RECT placed;
    GetWindowRect(ansi, &placed);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
    const HWND unicode = CreateWindowExW(static_cast<DWORD>(GetWindowLongW(ansi, GWL_EXSTYLE)), L"EDIT", L"",
                                         static_cast<DWORD>(GetWindowLongW(ansi, GWL_STYLE)), placed.left, placed.top,
                                         placed.right - placed.left, placed.bottom - placed.top, dialog,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (unicode == nullptr)
        return;
    SendMessageW(unicode, WM_SETFONT, static_cast<WPARAM>(SendMessageW(ansi, WM_GETFONT, 0, 0)), FALSE);
    SetWindowPos(unicode, ansi, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(ansi);
}

}  // namespace

HostEditor::HostEditor(HWND dialog) : window_(dialog) {}

void HostEditor::PrepareFields(HINSTANCE instance)
{
    instance_ = instance;
    MakeUnicodeField(window_, instance, IDC_PASSWORD);
    // Nothing longer than the registry gives back can be typed: a character
    // takes at least one byte; the bytes are counted as the text changes.
    for (int control : {IDC_HOST_NAME, IDC_USER_ID, IDC_PASSWORD, IDC_MAIL_WAVE, IDC_MAIL_READER})
        SendItem(control, EM_LIMITTEXT, kLongestFieldText);
    SendItem(IDC_PORT, EM_LIMITTEXT, kLongestPortText);
}

LRESULT HostEditor::SendItem(int control, UINT message, WPARAM wParam, LPARAM lParam) const
{
    return SendDlgItemMessageA(window_, control, message, wParam, lParam);
}

void HostEditor::FillCombo(int control, std::span<const char* const> names)
{
    for (const char* name : names)
        SendItem(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

void HostEditor::FillActionCombo()
{
    FillCombo(IDC_ACTION, ActionNames);
}

// A cue banner inside the field would need version 6 of the common controls,
// which would restyle every control of the dialog; a grey text beside the
// field says the same.
void HostEditor::ShowPortHint()
{
    const int security = static_cast<int>(SendItem(IDC_SECURITY, CB_GETCURSEL));
    const int protocol = static_cast<int>(SendItem(IDC_PROTOCOL, CB_GETCURSEL));
    SetDlgItemTextA(window_, IDC_PORT_HINT, PortHint(security, protocol).c_str());
}

INT_PTR HostEditor::ColorStatic(HDC dc, HWND control) const
{
    if (control != GetDlgItem(window_, IDC_PORT_HINT))
        return FALSE;
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
}

void HostEditor::RefuseField(int control, const char* text)
{
    gPlatform.MessageBoxA(window_, text, ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
    SetFocus(GetDlgItem(window_, control));
    SendItem(control, EM_SETSEL, 0, -1);
}

void HostEditor::ShowHost(const HostConfig& host)
{
    SetDlgItemTextA(window_, IDC_USER_ID, host.UserID.c_str());
    SetDlgItemTextW(window_, IDC_PASSWORD, WideOf(host.Password, CP_UTF8).c_str());
    SetDlgItemTextA(window_, IDC_HOST_NAME, host.Name.c_str());
    SetDlgItemTextA(window_, IDC_MAIL_READER, host.MailReader.c_str());
    SetDlgItemTextA(window_, IDC_MAIL_WAVE, host.MailWave.c_str());
    char delay[16];
    wsprintfA(delay, "%d", host.Delay);
    SetDlgItemTextA(window_, IDC_DELAY, delay);
    const int position = ActionPosition(host.Action);
    if (position < 0)
        SendItem(IDC_ACTION, CB_SETCURSEL, static_cast<WPARAM>(-1));
    else
        SendItem(IDC_ACTION, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(ActionNames[position]));
    SendItem(IDC_PROTOCOL, CB_SETCURSEL, static_cast<WPARAM>(ProtocolPosition(host.Protocol)));
    SendItem(IDC_SECURITY, CB_SETCURSEL, static_cast<WPARAM>(SecurityPosition(host.Security)));
    SetDlgItemTextA(window_, IDC_PORT, PortText(host.Port).c_str());
    ShowPortHint();
    signIn_ = SignInOf(host);
    lastSecurity_ = SecurityPosition(host.Security);
    ShowSignIn();
}

void HostEditor::ClearFields()
{
    for (int control : {IDC_USER_ID, IDC_PASSWORD, IDC_HOST_NAME, IDC_MAIL_READER, IDC_MAIL_WAVE})
        SetDlgItemTextA(window_, control, "");
    char delay[16];
    wsprintfA(delay, "%d", kNewHostDelay);
    SetDlgItemTextA(window_, IDC_DELAY, delay);
    SendItem(IDC_ACTION, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(ActionNames[Nothing]));
    // As a new host would show.
    SendItem(IDC_PROTOCOL, CB_SETCURSEL, Pop3);
    SendItem(IDC_SECURITY, CB_SETCURSEL, SslTls);
    SetDlgItemTextA(window_, IDC_PORT, "");
    ShowPortHint();
    signIn_ = SignInOf(NewHost());
    lastSecurity_ = SslTls;
    ShowSignIn();
}

void HostEditor::ShowSignIn()
{
    const int position = SignInPosition(signIn_);
    SendItem(IDC_SIGN_IN, CB_SETCURSEL, static_cast<WPARAM>(position));
    const bool oauth = signIn_.Auth == OAuthSignIn;
    for (int control : {IDC_PASSWORD_LABEL, IDC_PASSWORD})
        ShowWindow(GetDlgItem(window_, control), oauth ? SW_HIDE : SW_SHOW);
    for (int control : {IDC_SIGN_IN_STATUS, IDC_SIGN_IN_BUTTON})
        ShowWindow(GetDlgItem(window_, control), oauth ? SW_SHOW : SW_HIDE);
    // A preset's client ID is the user's to change only where this build has
    // none of its own.
    const bool provider =
        position == OtherProviderEntry || (position == MicrosoftEntry && MicrosoftAccountProvider().ClientId.empty());
    ShowWindow(GetDlgItem(window_, IDC_PROVIDER), provider ? SW_SHOW : SW_HIDE);
    ShowSignInStatus();
}

void HostEditor::ShowSignInStatus()
{
    SetDlgItemTextA(window_, IDC_SIGN_IN_STATUS, SignInStatus(signIn_, FieldText(IDC_USER_ID)).c_str());
}

void HostEditor::ChooseSecurity()
{
    const int security = static_cast<int>(SendItem(IDC_SECURITY, CB_GETCURSEL));
    if (security == NoSecurity && signIn_.Auth == OAuthSignIn) {
        gPlatform.MessageBoxA(window_, kSignInNeedsSecurityText, ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
        SendItem(IDC_SECURITY, CB_SETCURSEL, lastSecurity_ == StartTls ? StartTls : SslTls);
    }
    lastSecurity_ = static_cast<int>(SendItem(IDC_SECURITY, CB_GETCURSEL));
    ShowPortHint();
}

void HostEditor::ChooseSignIn()
{
    const int position = static_cast<int>(SendItem(IDC_SIGN_IN, CB_GETCURSEL));
    ::ChooseSignIn(signIn_, position);
    if (signIn_.Auth == OAuthSignIn) {
        // Where no server is named yet, the preset names its own; a new
        // host's name is no server.
        const std::string name = FieldText(IDC_HOST_NAME);
        if (position == MicrosoftEntry && (name.empty() || name == kNewHostName)) {
            SetDlgItemTextA(window_, IDC_HOST_NAME, kMicrosoftMailServer.Name);
            SendItem(IDC_SECURITY, CB_SETCURSEL, SslTls);
            const int protocol = static_cast<int>(SendItem(IDC_PROTOCOL, CB_GETCURSEL));
            if (ProtocolPosition(protocol) >= 0) {
                const int32_t port = protocol == Imap ? kMicrosoftMailServer.ImapPort : kMicrosoftMailServer.Pop3Port;
                SetDlgItemTextA(window_, IDC_PORT, PortText(port).c_str());
            }
        }
        // A token is never sent without encryption, and the check would
        // refuse the host: the list says so before the first check does.
        if (SendItem(IDC_SECURITY, CB_GETCURSEL) == NoSecurity)
            SendItem(IDC_SECURITY, CB_SETCURSEL, SslTls);
        lastSecurity_ = static_cast<int>(SendItem(IDC_SECURITY, CB_GETCURSEL));
        ShowPortHint();
    }
    ShowSignIn();
}

std::optional<OAuthProvider> HostEditor::AskProvider() const
{
    const ProviderFields fields =
        SignInPosition(signIn_) == MicrosoftEntry ? ProviderFields::ClientIdOnly : ProviderFields::All;
    return RunProviderDialog(instance_, window_, signIn_.OAuth, fields);
}

bool HostEditor::EditProvider()
{
    const std::optional<OAuthProvider> provider = AskProvider();
    if (!provider)
        return false;
    const bool changed = ChangeProvider(signIn_, *provider);
    // Another provider's addresses may be the preset's.
    ShowSignIn();
    return changed;
}

bool HostEditor::SignIn()
{
    // The token is handed out for this user and sent with this user's name.
    const std::string user = FieldText(IDC_USER_ID);
    if (user.empty()) {
        RefuseField(IDC_USER_ID, kSignInNeedsUserText);
        return false;
    }
    bool changed = false;
    // A preset without a client ID, or another provider not named in full,
    // is completed first.
    if (CheckProvider(signIn_.OAuth)) {
        const std::optional<OAuthProvider> provider = AskProvider();
        if (!provider)
            return false;
        changed = ChangeProvider(signIn_, *provider);
        ShowSignIn();
    }
    std::optional<std::string> token = gSetupPlatform.RunSignInWindow(window_, signIn_.OAuth, user);
    if (!token)
        return changed;
    AcceptToken(signIn_, std::move(*token));
    ShowSignInStatus();
    return true;
}

std::string HostEditor::FieldText(int control) const
{
    // In bytes of the code page: at least as many as there are characters.
    std::string text(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(window_, control))) + 1, '\0');
    text.resize(static_cast<size_t>(GetDlgItemTextA(window_, control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The field counts characters (EM_LIMITTEXT), the registry bytes: where the
// code page takes two bytes for a character, the field would hold more than
// both programs read back.
void HostEditor::KeepWithinStoredLength(int control)
{
    const std::string text = FieldText(control);
    const size_t fitting = FittingLength(text, &IsAnsiLeadByte);
    if (fitting == text.size())
        return;
    SetDlgItemTextA(window_, control, text.substr(0, fitting).c_str());
    // No position lies past the end: the caret goes to the end, where the text
    // was cut.
    SendItem(control, EM_SETSEL, fitting, fitting);
}

bool HostEditor::StoreTextField(int control, std::string& field)
{
    return StoreText(field, FieldText(control));
}

std::optional<bool> HostEditor::StoreFields(HostConfig& host)
{
    // Judged before anything is stored, so that a refusal leaves the whole
    // record as it was.
    char portText[16];
    GetDlgItemTextA(window_, IDC_PORT, portText, sizeof portText);
    int32_t port = host.Port;
    const std::optional<bool> portChanged = StorePort(port, portText);
    if (!portChanged) {
        RefuseField(IDC_PORT, kPortRefusedText);
        return std::nullopt;
    }
    bool changed = *portChanged;
    host.Port = port;
    changed |= StoreTextField(IDC_USER_ID, host.UserID);
    if (signIn_.Auth == OAuthSignIn) {
        // No password is kept for a host that signs in with a token.
        changed |= StoreText(host.Password, "");
        host.PasswordLost = false;
    } else {
        wchar_t password[128];
        GetDlgItemTextW(window_, IDC_PASSWORD, password, sizeof password / sizeof *password);
        changed |= StoreText(host.Password, Utf8Of(password));
    }
    changed |= StoreSignIn(host, signIn_);
    changed |= StoreTextField(IDC_HOST_NAME, host.Name);
    changed |= StoreTextField(IDC_MAIL_READER, host.MailReader);
    changed |= StoreTextField(IDC_MAIL_WAVE, host.MailWave);
    char seconds[16];
    GetDlgItemTextA(window_, IDC_DELAY, seconds, sizeof seconds);
    changed |= StoreSeconds(host.Delay, seconds);
    changed |= StoreAction(host.Action, static_cast<int>(SendItem(IDC_ACTION, CB_GETCURSEL)));
    changed |= StoreSecurity(host.Security, static_cast<int>(SendItem(IDC_SECURITY, CB_GETCURSEL)));
    changed |= StoreProtocol(host.Protocol, static_cast<int>(SendItem(IDC_PROTOCOL, CB_GETCURSEL)));
    return changed;
}

bool HostEditor::PickFile(int control, DWORD bufferSize, const char* filter, const char* defaultExtension)
{
    char file[260] = "";
    GetDlgItemTextA(window_, control, file, bufferSize);
    const bool readerField = control == IDC_MAIL_READER;
    // The dialog starts at the reader's program: quotation marks and
    // arguments make no file name.
    if (readerField)
        lstrcpynA(file, ReadReaderCommand(file, &NamesExistingFile).Program.c_str(), bufferSize);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = file;
    dialog.nMaxFile = bufferSize;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!gSetupPlatform.GetOpenFileNameA(&dialog))
        return false;
    // Quoted, a program whose path holds a blank is read back whole.
    const std::string text = readerField ? ReaderFieldText(file) : std::string(file);
    // A longer text could be stored but never read back.
    if (text.size() > kLongestFieldText) {
        gPlatform.MessageBoxA(window_, kPathTooLongText, ProgramTitle().c_str(), MB_OK | MB_ICONWARNING);
        return false;
    }
    SetDlgItemTextA(window_, control, text.c_str());
    return true;
}

bool HostEditor::BrowseMailReader()
{
    return PickFile(IDC_MAIL_READER, 260, "Programs\0*.EXE\0", "EXE");
}

bool HostEditor::BrowseSound()
{
    return PickFile(IDC_MAIL_WAVE, 100, "Sounds (*.wav)\0*.WAV\0", "WAV");
}
