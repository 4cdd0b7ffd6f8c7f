// The setup dialog as a whole: start, the host list box with Add and Delete,
// the commit of the host on screen, Save, the close paths, help and icon.
#include "setup_dialog.h"

#include "host_editor_rules.h"
#include "host_labels.h"
#include "platform.h"
#include "setup_config.h"
#include "setup_platform.h"
#include "setup_resources.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// A window's device context with the dialog font chosen into it, both given
// back on every path.
class DialogFontDC {
public:
    explicit DialogFontDC(HWND window)
        : window_(window),
          dc_(GetDC(window)),
          previous_(SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0))))
    {
    }
    ~DialogFontDC()
    {
        SelectObject(dc_, previous_);
        ReleaseDC(window_, dc_);
    }
    DialogFontDC(const DialogFontDC&) = delete;
    DialogFontDC& operator=(const DialogFontDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace

void ReportOutOfMemory()
{
    gPlatform.MessageBoxA(nullptr, "Out of memory!", kBoxCaption, MB_OK | MB_ICONERROR);
    ExitProgram(1);
}

SetupDialog::SetupDialog(HINSTANCE instance)
    : instance_(instance),
      icon_(LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP))),
      smallIcon_(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SETUP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR | LR_SHARED)))
{
}

SetupDialog::~SetupDialog()
{
    if (window_ != nullptr)
        DestroyWindow(window_);
}

INT_PTR SetupDialog::RunModal(HWND owner)
{
    modal_ = true;
    result_ =
        DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_SETUP), owner, &DialogProc, reinterpret_cast<LPARAM>(this));
    ended_ = true;
    return result_;
}

HWND SetupDialog::CreateModeless(HWND owner)
{
    modal_ = false;
    return CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_SETUP), owner, &DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK SetupDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<SetupDialog*>(lParam)->window_ = window;
    }
    auto* dialog = reinterpret_cast<SetupDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    // No exception may travel on into the system's code that called us.
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
}

INT_PTR SetupDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog();
        return TRUE;  // the focus goes to the first tab stop, the host name
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        ConfirmClose();
        return TRUE;
    case WM_HELP:  // F1, wherever the focus is
        ShowHelp();
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return editor_->ColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
        CloseHelp();
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrA(window_, DWLP_USER, 0);
        editor_.reset();
        window_ = nullptr;
        return FALSE;
    case WM_PAINT:
        return PaintMinimised();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    default:
        return FALSE;
    }
}

void SetupDialog::HandleCommand(int id, int code)
{
    switch (id) {
    case IDC_ADD:
        if (code == BN_CLICKED)
            AddHost();
        break;
    case IDC_DELETE:
        if (code == BN_CLICKED)
            DeleteHost();
        break;
    case IDC_HOST_LIST:
        if (code == LBN_SELCHANGE)
            SelectHost();
        break;
    case IDC_PROTOCOL:
        if (code == CBN_SELCHANGE)
            editor_->ShowPortHint();
        break;
    case IDC_SECURITY:
        if (code == CBN_SELCHANGE)
            editor_->ChooseSecurity();
        break;
    case IDC_SIGN_IN:
        if (code == CBN_SELCHANGE)
            editor_->ChooseSignIn();
        break;
    case IDC_SIGN_IN_BUTTON:
        if (code == BN_CLICKED && editor_->SignIn())
            model_.ConfigDirty = 1;
        break;
    case IDC_PROVIDER:
        if (code == BN_CLICKED && editor_->EditProvider())
            model_.ConfigDirty = 1;
        break;
    case IDC_HOST_NAME:
    case IDC_USER_ID:
    case IDC_MAIL_READER:
    case IDC_MAIL_WAVE:
        if (code != EN_CHANGE)
            break;
        editor_->KeepWithinStoredLength(id);
        // The sign-in is for the username as it stands.
        if (id == IDC_USER_ID)
            editor_->ShowSignInStatus();
        break;
    case IDC_BROWSE_READER:
        if (code == BN_CLICKED && editor_->BrowseMailReader())
            model_.ConfigDirty = 1;
        break;
    case IDC_BROWSE_SOUND:
        if (code == BN_CLICKED && editor_->BrowseSound())
            model_.ConfigDirty = 1;
        break;
    case IDOK:
        SaveAndExit();
        break;
    case IDCANCEL:
        Cancel();
        break;
    case ID_HELP:
        ShowHelp();
        break;
    default:
        break;
    }
}

LRESULT SetupDialog::SendItem(int control, UINT message, WPARAM wParam, LPARAM lParam) const
{
    return SendDlgItemMessageA(window_, control, message, wParam, lParam);
}

// The labels end where their fields begin. A system whose substitute for the
// dialog font is wider than the one the layout was drawn for would wrap a
// label and hide its second line; such a label grows to the left instead,
// within its group box. The port hint and the sign-in line are no labels:
// they begin at their fields.
void SetupDialog::FitLabels()
{
    RECT margin{10, 0, 0, 0};
    MapDialogRect(window_, &margin);
    DialogFontDC dc(window_);
    for (HWND control = GetWindow(window_, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        char className[16] = "";
        GetClassNameA(control, className, sizeof className);
        const int id = GetDlgCtrlID(control);
        if (lstrcmpiA(className, "Static") != 0 || id == IDC_PORT_HINT || id == IDC_SIGN_IN_STATUS)
            continue;
        char text[64] = "";
        const int length = GetWindowTextA(control, text, sizeof text);
        SIZE extent{};
        GetTextExtentPoint32A(dc.get(), text, length, &extent);
        RECT placed;
        GetWindowRect(control, &placed);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&placed), 2);
        if (extent.cx <= placed.right - placed.left)
            continue;
        const LONG left = std::max(margin.left, placed.right - extent.cx);
        MoveWindow(control, left, placed.top, placed.right - left, placed.bottom - placed.top, FALSE);
    }
}

void SetupDialog::InitDialog()
{
    editor_.emplace(window_);
    editor_->PrepareFields(instance_);
    FitLabels();
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    model_.CurrentHost = -1;
    LoadConfig(model_);
    editor_->FillActionCombo();
    editor_->FillCombo(IDC_SECURITY, SecurityNames);
    editor_->FillCombo(IDC_PROTOCOL, ProtocolNames);
    editor_->FillCombo(IDC_SIGN_IN, SignInNames);
    for (size_t index = 0; index < model_.HostList.size(); ++index)
        SendItem(IDC_HOST_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(HostLabel(model_.HostList, index).c_str()));
    if (model_.HostCount() > 0) {
        SendItem(IDC_HOST_LIST, LB_SETCURSEL, 0);
        SelectHost();
    } else {
        SendItem(IDC_HOST_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNoHostsText));
        AddHost();
    }
    // A first start greets with help where there is help, never with an
    // error about it. The help is not the dialog's own window: an owned
    // window stays above its owner for good, and would hide the dialog that
    // the user came to fill in. So the dialog, activated as it shows, stays
    // in front, and a click brings either forward.
    if (model_.NoSavedConfig)
        ShowHelpTopic(nullptr, kFirstStartHelpTopic);
}

void SetupDialog::AddHost()
{
    if (!CommitCurrentHost())
        return;
    if (model_.HostList.empty())
        SendItem(IDC_HOST_LIST, LB_RESETCONTENT);
    model_.HostList.push_back(NewHost());
    const int index = model_.HostCount() - 1;
    SendItem(IDC_HOST_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model_.HostList[index].Name.c_str()));
    ShowHostLabels();
    SendItem(IDC_HOST_LIST, LB_SETCURSEL, index);
    model_.CurrentHost = -1;
    SelectHost();
    SetFocus(GetDlgItem(window_, IDC_HOST_NAME));
    model_.ConfigDirty = 1;
}

void SetupDialog::DeleteHost()
{
    if (model_.CurrentHost == -1)
        return;
    FreeHostStrings(model_.HostList[model_.CurrentHost]);
    model_.HostList.erase(model_.HostList.begin() + model_.CurrentHost);
    if (model_.HostList.empty())
        model_.HostList.shrink_to_fit();  // an empty list holds no array
    SendItem(IDC_HOST_LIST, LB_DELETESTRING, model_.CurrentHost);
    model_.CurrentHost = -1;
    if (model_.HostCount() > 0) {
        ShowHostLabels();
        SendItem(IDC_HOST_LIST, LB_SETCURSEL, 0);
        SelectHost();
    } else {
        SendItem(IDC_HOST_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNoHostsText));
        editor_->ClearFields();
    }
    model_.ConfigDirty = 1;
}

void SetupDialog::SelectHost()
{
    if (model_.HostCount() == 0)
        return;
    if (!CommitCurrentHost()) {
        // The host whose field refused stays on screen and selected.
        SendItem(IDC_HOST_LIST, LB_SETCURSEL, model_.CurrentHost);
        return;
    }
    const LRESULT selected = SendItem(IDC_HOST_LIST, LB_GETCURSEL);
    if (selected < 0 || selected >= model_.HostCount())
        return;
    model_.CurrentHost = static_cast<int32_t>(selected);
    editor_->ShowHost(model_.HostList[model_.CurrentHost]);
}

bool SetupDialog::CommitCurrentHost()
{
    if (model_.CurrentHost == -1)
        return true;
    HostConfig& host = model_.HostList[model_.CurrentHost];
    const std::optional<bool> changed = editor_->StoreFields(host);
    if (!changed)
        return false;
    if (*changed)
        model_.ConfigDirty = 1;
    ShowHostLabels();
    return true;
}

// A new server or username of one host can change the line of another that
// shares, or shared, its server, so every line is compared with its label.
void SetupDialog::ShowHostLabels()
{
    const LRESULT selected = SendItem(IDC_HOST_LIST, LB_GETCURSEL);
    bool replaced = false;
    for (int32_t index = 0; index < model_.HostCount(); ++index) {
        const std::string label = HostLabel(model_.HostList, static_cast<size_t>(index));
        const LRESULT length = SendItem(IDC_HOST_LIST, LB_GETTEXTLEN, index);
        if (length >= 0) {
            std::vector<char> shown(static_cast<size_t>(length) + 1);
            SendItem(IDC_HOST_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(shown.data()));
            if (label == shown.data())
                continue;
        }
        SendItem(IDC_HOST_LIST, LB_DELETESTRING, index);
        SendItem(IDC_HOST_LIST, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(label.c_str()));
        replaced = true;
    }
    // Replacing the entry drops the list box's selection when it was the
    // selected one; the user's selection stays where it was.
    if (replaced && selected >= 0)
        SendItem(IDC_HOST_LIST, LB_SETCURSEL, selected);
}

void SetupDialog::SaveAndExit()
{
    // A refused field or a failed save has told the user; the dialog stays
    // for another try.
    if (!CommitCurrentHost() || !SaveConfig(model_))
        return;
    End(IDOK);
}

void SetupDialog::ConfirmClose()
{
    // What stands in the fields counts as a change too; a field that refuses
    // its text keeps the dialog open, so that nothing typed is lost unasked.
    if (!CommitCurrentHost())
        return;
    if (model_.ConfigDirty) {
        const int answer =
            gPlatform.MessageBoxA(window_, kSavePromptText, ProgramTitle().c_str(), MB_YESNO | MB_ICONQUESTION);
        if (answer == IDYES && !SaveConfig(model_))
            return;
    }
    End(IDCANCEL);
}

void SetupDialog::Cancel()
{
    End(IDCANCEL);
}

void SetupDialog::ShowHelp()
{
    if (!ShowHelpTopic(window_, kSetupDialogHelpTopic))
        gPlatform.MessageBoxA(window_, kHelpFailedText, ProgramTitle().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void SetupDialog::FreeHostStrings(HostConfig& host)
{
    for (std::string* text :
         {&host.Name, &host.UserID, &host.Password, &host.RefreshToken, &host.MailReader, &host.MailWave})
        std::string().swap(*text);
}

bool SetupDialog::PaintMinimised()
{
    if (!IsIconic(window_))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(window_, &paint);
    return true;
}

void SetupDialog::End(INT_PTR result)
{
    ended_ = true;
    result_ = result;
    if (modal_)
        EndDialog(window_, result);
    else
        DestroyWindow(window_);
}
