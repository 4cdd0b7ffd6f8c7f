// The host editor: the seven fields that show and commit one host record,
// and the two pickers of the Open dialog.
#include "host_editor_rules.h"
#include "platform.h"
#include "reader_command.h"
#include "setup_dialog.h"
#include "setup_platform.h"
#include "setup_resources.h"

#include <string>

void SetupDialog::FillActionCombo()
{
    for (const char* name : ActionNames)
        SendItem(IDC_ACTION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

void SetupDialog::ShowHost(const HostConfig& host)
{
    SetDlgItemTextA(window_, IDC_USER_ID, host.UserID.c_str());
    SetDlgItemTextA(window_, IDC_PASSWORD, host.Password.c_str());
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
}

void SetupDialog::ClearFields()
{
    for (int control : {IDC_USER_ID, IDC_PASSWORD, IDC_HOST_NAME, IDC_MAIL_READER, IDC_MAIL_WAVE})
        SetDlgItemTextA(window_, control, "");
    char delay[16];
    wsprintfA(delay, "%d", kNewHostDelay);
    SetDlgItemTextA(window_, IDC_DELAY, delay);
    SendItem(IDC_ACTION, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(ActionNames[Nothing]));
}

bool SetupDialog::StoreTextField(int control, std::string& field)
{
    char text[128];
    GetDlgItemTextA(window_, control, text, sizeof text);
    return StoreText(field, text);
}

bool SetupDialog::StoreFields(HostConfig& host)
{
    bool changed = false;
    changed |= StoreTextField(IDC_USER_ID, host.UserID);
    changed |= StoreTextField(IDC_PASSWORD, host.Password);
    changed |= StoreTextField(IDC_HOST_NAME, host.Name);
    changed |= StoreTextField(IDC_MAIL_READER, host.MailReader);
    changed |= StoreTextField(IDC_MAIL_WAVE, host.MailWave);
    char seconds[16];
    GetDlgItemTextA(window_, IDC_DELAY, seconds, sizeof seconds);
    changed |= StoreSeconds(host.Delay, seconds);
    changed |= StoreAction(host.Action, static_cast<int>(SendItem(IDC_ACTION, CB_GETCURSEL)));
    return changed;
}

bool SetupDialog::PickFile(int control, DWORD bufferSize, const char* filter, const char* defaultExtension)
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

bool SetupDialog::BrowseMailReader()
{
    return PickFile(IDC_MAIL_READER, 260, "Programs\0*.EXE\0", "EXE");
}

bool SetupDialog::BrowseSound()
{
    return PickFile(IDC_MAIL_WAVE, 100, "Sounds (*.wav)\0*.WAV\0", "WAV");
}
