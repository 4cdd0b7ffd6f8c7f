// The setup dialog from its template, driven in-process the way a user would
// drive it: texts typed into its fields, clicks on its buttons, selections
// in its host list, keys and the close box. Boxes, help and the Open dialog
// are recorded instead of shown.
#include "config_registry.h"
#include "control_messages.h"
#include "password_protection.h"
#include "provider_dialog.h"
#include "provider_presets.h"
#include "setup_config.h"
#include "setup_dialog.h"
#include "setup_platform.h"
#include "setup_platform_recorder.h"
#include "setup_resources.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>

#include <cstdlib>
#include <memory>

namespace {

const std::vector<std::string> kFieldTexts{"New host", "", "", "", "", "30"};

bool ConfigKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string DwordData(int32_t number)
{
    return std::string(reinterpret_cast<const char*>(&number), sizeof number);
}

// A top-level window titled like the monitor's, which records what is
// posted to it.
class FakeMonitor {
public:
    FakeMonitor()
        : window_(CreateWindowExA(0, "STATIC", kMonitorWindowName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr))
    {
    }
    ~FakeMonitor() { DestroyWindow(window_); }
    std::vector<UINT> Posted() const
    {
        std::vector<UINT> messages;
        MSG message;
        while (PeekMessageA(&message, window_, 0x0400, 0x7FFF, PM_REMOVE))
            messages.push_back(message.message);
        return messages;
    }

private:
    HWND window_;
};

class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override
    {
        dialog_.reset();
        DeleteConfigKey();
    }

    void Open()
    {
        dialog_ = std::make_unique<SetupDialog>(GetModuleHandleA(nullptr));
        window_ = dialog_->CreateModeless(nullptr);
        ASSERT_NE(window_, nullptr);
    }

    // The open dialog's model; each Open starts a new one, as a new start of
    // the program would.
    SetupModel& Model() const { return dialog_->model(); }

    HWND Item(int id) const { return GetDlgItem(window_, id); }

    std::string Text(int id) const
    {
        char text[512] = "";
        GetWindowTextA(Item(id), text, sizeof text);
        return text;
    }

    std::vector<std::string> Fields() const
    {
        return {Text(IDC_HOST_NAME), Text(IDC_USER_ID),     Text(IDC_PASSWORD),
                Text(IDC_MAIL_WAVE), Text(IDC_MAIL_READER), Text(IDC_DELAY)};
    }

    void Type(int id, const std::string& text) const { SetWindowTextA(Item(id), text.c_str()); }

    void Click(int id) const { SendMessageA(Item(id), BM_CLICK, 0, 0); }

    // A click on a list entry: the list box tells the dialog of the change.
    void ChooseHost(int entry) const
    {
        SendMessageA(Item(IDC_HOST_LIST), LB_SETCURSEL, entry, 0);
        SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_HOST_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Item(IDC_HOST_LIST)));
    }

    std::vector<std::string> ListEntries() const
    {
        std::vector<std::string> entries;
        const int count = static_cast<int>(SendMessageA(Item(IDC_HOST_LIST), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            char text[256] = "";
            SendMessageA(Item(IDC_HOST_LIST), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            entries.emplace_back(text);
        }
        return entries;
    }

    int ListSelection() const { return static_cast<int>(SendMessageA(Item(IDC_HOST_LIST), LB_GETCURSEL, 0, 0)); }
    int ActionSelection() const { return static_cast<int>(SendMessageA(Item(IDC_ACTION), CB_GETCURSEL, 0, 0)); }
    int SecuritySelection() const { return static_cast<int>(SendMessageA(Item(IDC_SECURITY), CB_GETCURSEL, 0, 0)); }
    int ProtocolSelection() const { return static_cast<int>(SendMessageA(Item(IDC_PROTOCOL), CB_GETCURSEL, 0, 0)); }

    // A pick in a drop-down list: the list tells the dialog of the change.
    void Choose(int list, int entry) const
    {
        SendMessageA(Item(list), CB_SETCURSEL, entry, 0);
        SendMessageA(window_, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(list)));
    }

    std::vector<std::string> ComboEntries(int list) const
    {
        std::vector<std::string> entries;
        for (int i = 0; i < SendMessageA(Item(list), CB_GETCOUNT, 0, 0); ++i) {
            char text[64] = "";
            SendMessageA(Item(list), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            entries.emplace_back(text);
        }
        return entries;
    }

    // The protocol and security lists' entries, the port field and its hint,
    // as shown.
    std::vector<std::string> Connection() const
    {
        return {Text(IDC_PROTOCOL), Text(IDC_SECURITY), Text(IDC_PORT), Text(IDC_PORT_HINT)};
    }

    void CloseBox() const { SendMessageA(window_, WM_CLOSE, 0, 0); }

    // A key pressed in a control, delivered as the dialog's own loop would.
    void PressKey(int id, WPARAM key) const
    {
        SetFocus(Item(id));
        PostMessageA(Item(id), WM_KEYDOWN, key, 1);
        PostMessageA(Item(id), WM_KEYUP, key, 0xC0000001);
        Pump();
    }

    void Pump() const
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (window_ != nullptr && dialog_->window() != nullptr && IsDialogMessageA(window_, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    // A key as the keyboard gives it, which arrives a moment later: the
    // system makes WM_HELP of real input only.
    void PressRealKey(int id, BYTE key) const
    {
        SetForegroundWindow(window_);
        SetFocus(Item(id));
        keybd_event(key, 0, 0, 0);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        for (int round = 0; round < 20; ++round, Sleep(10))
            Pump();
    }

    // Only the closing HH_CLOSE_ALL is left out.
    std::vector<ULONG_PTR> HelpTopicsOpened() const
    {
        std::vector<ULONG_PTR> topics;
        for (const RecordedHelp& help : platform.helps) {
            if (help.command == HH_HELP_CONTEXT)
                topics.push_back(help.data);
        }
        return topics;
    }

    SetupPlatformRecorder platform;
    std::unique_ptr<SetupDialog> dialog_;
    HWND window_ = nullptr;
};

TEST_F(SetupDialogTest, FirstStartShowsOneNewHostOpensHelpAndAsksOnClose)
{
    Open();
    EXPECT_EQ(ListEntries(), std::vector<std::string>{"New host"});
    EXPECT_EQ(ListSelection(), 0);
    EXPECT_EQ(Fields(), kFieldTexts);
    EXPECT_EQ(Text(IDC_ACTION), "Nothing");
    EXPECT_EQ(Connection(), (std::vector<std::string>{"POP3", "SSL/TLS", "", "(default 995)"}));
    ASSERT_EQ(platform.helps.size(), 1u);
    EXPECT_EQ(platform.helps[0].window, nullptr);  // not above the dialog for good
    EXPECT_EQ(platform.helps[0].file, HelpFilePath());
    EXPECT_EQ(platform.helps[0].command, static_cast<UINT>(HH_HELP_CONTEXT));
    EXPECT_EQ(platform.helps[0].data, 700u);

    platform.boxAnswer = IDNO;
    CloseBox();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Do you want to save your changes?");
    EXPECT_EQ(platform.boxes[0].caption, "setup_dialog_test");
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(dialog_->result(), IDCANCEL);
    EXPECT_FALSE(ConfigKeyExists());
    // The dialog closes the help it may have opened.
    EXPECT_EQ(platform.helps.back().command, static_cast<UINT>(HH_CLOSE_ALL));
}

TEST_F(SetupDialogTest, AFirstStartWhoseHelpCannotOpenShowsTheDialogAlone)
{
    platform.helpStarts = false;
    Open();
    EXPECT_EQ(HelpTopicsOpened(), std::vector<ULONG_PTR>{700});
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(dialog_->ended());
    // The real viewer is not even asked for a file that is not there: it
    // would answer with an error box of its own.
    EXPECT_EQ(OpenHtmlHelp(window_, "C:\\nowhere\\kelvo.chm", HH_HELP_CONTEXT, 700), nullptr);
}

TEST(HelpViewer, IsTheSystemsOwnEvenWithAPlantedOneBesideTheProgram)
{
    std::string folder = ModulePath();
    folder.erase(folder.rfind('\\'));
    ASSERT_TRUE(NamesExistingFile(folder + "\\hhctrl.ocx")) << "tests/support plants it";
    // A command the viewer does not know: it is loaded, and nothing opens.
    OpenHtmlHelp(nullptr, ModulePath().c_str(), 0x7FFF, 0);
    const HMODULE viewer = GetModuleHandleA("hhctrl.ocx");
    ASSERT_NE(viewer, nullptr);
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(viewer, loaded, sizeof loaded);
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    EXPECT_EQ(lstrcmpiA((std::string(system) + "\\hhctrl.ocx").c_str(), loaded), 0) << loaded;
}

TEST_F(SetupDialogTest, AStoredCountOfZeroOpensWithANewHostButNoHelp)
{
    WriteDwordValue(kHostCountValue, 0);
    Open();
    EXPECT_EQ(ListEntries(), std::vector<std::string>{"New host"});
    EXPECT_EQ(ListSelection(), 0);
    EXPECT_EQ(Fields(), kFieldTexts);
    EXPECT_TRUE(HelpTopicsOpened().empty());
    EXPECT_EQ(Model().ConfigDirty, 1);
}

TEST_F(SetupDialogTest, StoredHostsShowInStoredOrderTheFirstOnScreenAndAnUnchangedCloseAsksNothing)
{
    StoreHosts({SampleHost(1), SampleHost(2), SampleHost(3)});
    Open();
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"pop1.example.org", "pop2.example.org", "pop3.example.org"}));
    EXPECT_EQ(ListSelection(), 0);
    EXPECT_EQ(Fields(), (std::vector<std::string>{"pop1.example.org", "user1", "Secret1", "C:\\Sounds\\ding1.wav",
                                                  "C:\\Mail\\reader1.exe", "60"}));
    EXPECT_EQ(Text(IDC_ACTION), "Pop-up message box");
    EXPECT_EQ(GetWindowLongA(Item(IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD, ES_PASSWORD);
    ChooseHost(2);
    EXPECT_EQ(Text(IDC_HOST_NAME), "pop3.example.org");
    EXPECT_EQ(Text(IDC_ACTION), "Nothing");
    EXPECT_TRUE(HelpTopicsOpened().empty());

    CloseBox();
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(dialog_->ended());
    EXPECT_TRUE(platform.registryWrites.empty());
}

TEST_F(SetupDialogTest, DeleteShowsTheFirstHostAndAddAppendsANewHost)
{
    StoreHosts({SampleHost(1), SampleHost(2), SampleHost(3)});
    Open();
    ChooseHost(1);
    Click(IDC_DELETE);
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"pop1.example.org", "pop3.example.org"}));
    EXPECT_EQ(ListSelection(), 0);
    EXPECT_EQ(Model().CurrentHost, 0);
    EXPECT_EQ(Text(IDC_HOST_NAME), "pop1.example.org");
    EXPECT_EQ(Model().HostCount(), 2);
    EXPECT_EQ(Model().HostList[1].Name, "pop3.example.org");
    EXPECT_EQ(Model().ConfigDirty, 1);

    Click(IDC_ADD);
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"pop1.example.org", "pop3.example.org", "New host"}));
    EXPECT_EQ(ListSelection(), 2);
    EXPECT_EQ(Model().CurrentHost, 2);
    EXPECT_EQ(Fields(), kFieldTexts);
    EXPECT_EQ(Text(IDC_ACTION), "Nothing");
}

TEST_F(SetupDialogTest, DeletingTheLastHostLeavesThePlaceholderUntilAdd)
{
    StoreHosts({SampleHost(1)});
    Open();
    Click(IDC_DELETE);
    const std::vector<std::string> placeholder{"(no hosts configured)"};
    const std::vector<std::string> cleared{"", "", "", "", "", "30"};
    EXPECT_EQ(ListEntries(), placeholder);
    EXPECT_EQ(Fields(), cleared);
    EXPECT_EQ(Text(IDC_ACTION), "Nothing");
    EXPECT_EQ(Connection(), (std::vector<std::string>{"POP3", "SSL/TLS", "", "(default 995)"}));
    EXPECT_EQ(Model().CurrentHost, -1);
    EXPECT_EQ(Model().HostCount(), 0);

    // What is typed now belongs to no host.
    Type(IDC_HOST_NAME, "typed into nothing");
    Click(IDC_DELETE);
    ChooseHost(0);
    EXPECT_EQ(ListEntries(), placeholder);
    EXPECT_EQ(Model().HostCount(), 0);
    EXPECT_EQ(Model().CurrentHost, -1);

    Click(IDC_ADD);
    EXPECT_EQ(ListEntries(), std::vector<std::string>{"New host"});
    EXPECT_EQ(ListSelection(), 0);
    ASSERT_EQ(Model().HostCount(), 1);
    EXPECT_EQ(Model().HostList[0].Name, "New host");
    EXPECT_EQ(Fields(), kFieldTexts);
}

TEST_F(SetupDialogTest, ARenamedHostShowsInTheListAfterTheNextCommitWithTheSelectionKept)
{
    StoreHosts({SampleHost(1), SampleHost(2), SampleHost(3)});
    Open();
    Type(IDC_HOST_NAME, "renamed.example.org");
    EXPECT_EQ(ListEntries()[0], "pop1.example.org");

    // Clicking the host on screen again commits it and keeps it selected.
    ChooseHost(0);
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"renamed.example.org", "pop2.example.org", "pop3.example.org"}));
    EXPECT_EQ(ListSelection(), 0);
    EXPECT_EQ(Model().CurrentHost, 0);
    EXPECT_EQ(Text(IDC_HOST_NAME), "renamed.example.org");
    EXPECT_EQ(Model().ConfigDirty, 1);

    ChooseHost(1);
    Type(IDC_HOST_NAME, "second.example.org");
    ChooseHost(2);
    EXPECT_EQ(ListEntries(),
              (std::vector<std::string>{"renamed.example.org", "second.example.org", "pop3.example.org"}));
    EXPECT_EQ(ListSelection(), 2);
    EXPECT_EQ(Text(IDC_HOST_NAME), "pop3.example.org");

    Type(IDC_HOST_NAME, "third.example.org");
    Click(IDC_ADD);
    EXPECT_EQ(ListEntries()[2], "third.example.org");
    EXPECT_EQ(ListSelection(), 3);
}

TEST_F(SetupDialogTest, HostsOnOneServerShowAsUserAtServerInTheListAsLongAsTheyShareIt)
{
    HostConfig second = SampleHost(2);
    second.Name = "pop1.example.org";
    StoreHosts({SampleHost(1), second, SampleHost(3)});
    Open();
    EXPECT_EQ(ListEntries(),
              (std::vector<std::string>{"user1@pop1.example.org", "user2@pop1.example.org", "pop3.example.org"}));

    // One commit changes the lines of the hosts that the new name joins or leaves.
    Type(IDC_HOST_NAME, "POP3.example.org");
    ChooseHost(2);
    EXPECT_EQ(ListEntries(),
              (std::vector<std::string>{"user1@POP3.example.org", "pop1.example.org", "user3@pop3.example.org"}));
    EXPECT_EQ(ListSelection(), 2);
    Click(IDC_DELETE);
    EXPECT_EQ(ListEntries(), (std::vector<std::string>{"POP3.example.org", "pop1.example.org"}));
}

TEST_F(SetupDialogTest, SecondsAreCommittedOnlyAsAUsablePositiveNumber)
{
    StoreHosts({SampleHost(0)});  // 30 seconds
    Open();
    struct Case {
        const char* text;
        int32_t delay;  // after the commit; a change when it is not 30
    };
    const Case cases[] = {
        {"45", 45},      {" 45", 45},        {"+45", 45},           {"45 apples", 45}, {"2147483", 2147483},
        {"0", 30},       {"-5", 30},         {"apples", 30},        {"", 30},          {"30", 30},
        {"2147484", 30}, {"4294967326", 30}, {"99999999999999", 30}};
    for (const Case& c : cases) {
        Model().HostList[0].Delay = 30;
        Model().ConfigDirty = 0;
        Type(IDC_DELAY, c.text);
        ChooseHost(0);
        EXPECT_EQ(Model().HostList[0].Delay, c.delay) << '"' << c.text << '"';
        EXPECT_EQ(Model().ConfigDirty, c.delay != 30 ? 1 : 0) << '"' << c.text << '"';
    }
}

TEST_F(SetupDialogTest, OnlyARealDifferenceIsAChange)
{
    StoreHosts({SampleHost(1), SampleHost(2)});
    Open();
    Type(IDC_USER_ID, "someone else");
    Type(IDC_USER_ID, "user1");
    Type(IDC_DELAY, "60");
    ChooseHost(1);
    EXPECT_EQ(Model().ConfigDirty, 0);

    SendMessageA(Item(IDC_ACTION), CB_SETCURSEL, 0, 0);
    ChooseHost(0);
    EXPECT_EQ(Model().ConfigDirty, 1);
    EXPECT_EQ(Model().HostList[1].Action, Nothing);
    EXPECT_EQ(Model().HostList[1].Name, "pop2.example.org");

    // The password is kept as typed.
    Model().ConfigDirty = 0;
    Type(IDC_PASSWORD, "new Secret");
    ChooseHost(1);
    EXPECT_EQ(Model().HostList[0].Password, "new Secret");
    EXPECT_EQ(Model().ConfigDirty, 1);
}

TEST_F(SetupDialogTest, AnActionTheListCannotShowStaysUntilTheUserPicksOne)
{
    HostConfig odd = SampleHost(1);
    odd.Action = 7;
    StoreHosts({odd});
    Open();
    EXPECT_EQ(ActionSelection(), CB_ERR);
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Action, 7);
    EXPECT_EQ(Model().ConfigDirty, 0);
    SendMessageA(Item(IDC_ACTION), CB_SETCURSEL, 2, 0);
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Action, LaunchMailReader);
    EXPECT_EQ(Model().ConfigDirty, 1);
}

TEST_F(SetupDialogTest, LoadedHostsShowTheirOwnProtocolSecurityAndPortAndAddedOnesStartAsPop3OverSslTls)
{
    // The first host as an older version left it, without any of the values.
    StoreHosts({SampleHost(1), SampleHost(2)});
    WriteDwordValue("Host1Security", StartTls);
    WriteDwordValue("Host1Port", 1110);
    WriteDwordValue("Host1Protocol", Imap);
    Open();
    EXPECT_EQ(ComboEntries(IDC_PROTOCOL), (std::vector<std::string>{"POP3", "IMAP"}));
    EXPECT_EQ(ComboEntries(IDC_SECURITY), (std::vector<std::string>{"None", "STARTTLS", "SSL/TLS"}));
    EXPECT_EQ(Connection(), (std::vector<std::string>{"POP3", "None", "", "(default 110)"}));
    ChooseHost(1);
    EXPECT_EQ(Connection(), (std::vector<std::string>{"IMAP", "STARTTLS", "1110", "(default 143)"}));
    Click(IDC_ADD);
    EXPECT_EQ(Connection(), (std::vector<std::string>{"POP3", "SSL/TLS", "", "(default 995)"}));
    ASSERT_EQ(Model().HostCount(), 3);
    EXPECT_EQ(Model().HostList[2].Protocol, Pop3);
    EXPECT_EQ(Model().HostList[2].Security, SslTls);
    EXPECT_EQ(Model().HostList[2].Port, 0);
    EXPECT_EQ(Model().HostList[1].Protocol, Imap);
    EXPECT_EQ(Model().HostList[1].Security, StartTls);
    EXPECT_EQ(Model().HostList[1].Port, 1110);
    EXPECT_EQ(Model().HostList[0].Protocol, Pop3);
    EXPECT_EQ(Model().HostList[0].Security, NoSecurity);

    // The hint follows either pick before any commit, in grey.
    Choose(IDC_SECURITY, 0);
    EXPECT_EQ(Text(IDC_PORT_HINT), "(default 110)");
    Choose(IDC_SECURITY, 2);
    EXPECT_EQ(Text(IDC_PORT_HINT), "(default 995)");
    Choose(IDC_PROTOCOL, 1);
    EXPECT_EQ(Text(IDC_PORT_HINT), "(default 993)");
    Choose(IDC_SECURITY, 1);
    EXPECT_EQ(Text(IDC_PORT_HINT), "(default 143)");
    HDC dc = GetDC(window_);
    SetTextColor(dc, RGB(0, 0, 0));
    SendMessageA(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Item(IDC_PORT_HINT)));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_GRAYTEXT));
    ReleaseDC(window_, dc);
}

TEST_F(SetupDialogTest, AProtocolSecurityOrPortOutOfRangeStaysUntilTheUserChangesIt)
{
    StoreHosts({SampleHost(1)});
    WriteDwordValue("Host0Security", 7);
    WriteDwordValue("Host0Port", 70000);
    WriteDwordValue("Host0Protocol", 2);
    Open();
    EXPECT_EQ(ProtocolSelection(), CB_ERR);
    EXPECT_EQ(SecuritySelection(), CB_ERR);
    EXPECT_EQ(Text(IDC_PORT), "70000");
    EXPECT_EQ(Text(IDC_PORT_HINT), "");
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Protocol, 2);
    EXPECT_EQ(Model().HostList[0].Security, 7);
    EXPECT_EQ(Model().HostList[0].Port, 70000);
    EXPECT_EQ(Model().ConfigDirty, 0);
    EXPECT_TRUE(platform.boxes.empty());

    // A known mode with an unknown protocol still has no default port.
    Choose(IDC_SECURITY, 1);
    EXPECT_EQ(Text(IDC_PORT_HINT), "");
    Type(IDC_PORT, "");
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Protocol, 2);
    EXPECT_EQ(Model().HostList[0].Security, StartTls);
    EXPECT_EQ(Model().HostList[0].Port, 0);
    EXPECT_EQ(Model().ConfigDirty, 1);
    Choose(IDC_PROTOCOL, 0);
    EXPECT_EQ(Text(IDC_PORT_HINT), "(default 110)");
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Protocol, Pop3);
}

TEST_F(SetupDialogTest, APortOutsideOneTo65535IsRefusedAtEveryCommitAndTheFieldKeepsTheFocus)
{
    StoreHosts({SampleHost(1), SampleHost(2)});
    Open();
    // Typed digits, and what a paste may bring.
    for (const char* port : {"0", "65536", "99999", "9a"}) {
        SCOPED_TRACE(port);
        Type(IDC_PORT, port);
        Type(IDC_USER_ID, "typed");
        platform.boxes.clear();
        SetFocus(Item(IDC_HOST_LIST));
        ChooseHost(1);
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].text, "Port must be a number from 1 to 65535.");
        EXPECT_EQ(platform.boxes[0].caption, "setup_dialog_test");
        EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
        EXPECT_EQ(GetFocus(), Item(IDC_PORT));
        // Nothing of the host is taken, and it stays on screen.
        EXPECT_EQ(ListSelection(), 0);
        EXPECT_EQ(Model().CurrentHost, 0);
        EXPECT_EQ(Text(IDC_HOST_NAME), "pop1.example.org");
        EXPECT_EQ(Model().HostList[0].UserID, "user1");
        EXPECT_EQ(Model().HostList[0].Port, 0);
        EXPECT_EQ(Model().ConfigDirty, 0);
    }
    // Add, Save and the close box commit too, and stop at the refusal.
    Click(IDC_ADD);
    EXPECT_EQ(Model().HostCount(), 2);
    Click(IDOK);
    CloseBox();
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>(4, "Port must be a number from 1 to 65535."));
    EXPECT_FALSE(dialog_->ended());
    EXPECT_TRUE(platform.registryWrites.empty());
    EXPECT_EQ(GetFocus(), Item(IDC_PORT));

    // All three values are saved, and the password with them.
    Choose(IDC_PROTOCOL, 1);
    Choose(IDC_SECURITY, 1);
    Type(IDC_PORT, "65535");
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(ReadRawValue("Host0Protocol")->data, DwordData(Imap));
    EXPECT_EQ(ReadRawValue("Host0Security")->data, DwordData(StartTls));
    EXPECT_EQ(ReadRawValue("Host0Port")->data, DwordData(65535));
    EXPECT_EQ(ReadRawValue("Host1Protocol")->data, DwordData(Pop3));
    EXPECT_EQ(ReadRawValue("Host1Security")->data, DwordData(NoSecurity));
    EXPECT_EQ(ReadRawValue("Host1Port")->data, DwordData(0));
    EXPECT_EQ(OpenedPassword(0), "Secret1");
}

TEST_F(SetupDialogTest, APastedLongNameKeepsNinetyEightCharacters)
{
    StoreHosts({SampleHost(1)});
    Open();
    const std::string longName(200, 'n');
    ASSERT_TRUE(OpenClipboard(window_));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, longName.size() + 1);
    memcpy(GlobalLock(memory), longName.c_str(), longName.size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();

    SendMessageA(Item(IDC_HOST_NAME), EM_SETSEL, 0, -1);
    SendMessageA(Item(IDC_HOST_NAME), WM_PASTE, 0, 0);
    EXPECT_EQ(Text(IDC_HOST_NAME), longName.substr(0, 98));
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].Name, longName.substr(0, 98));
    for (int id : {IDC_USER_ID, IDC_PASSWORD, IDC_MAIL_WAVE, IDC_MAIL_READER})
        EXPECT_EQ(SendMessageA(Item(id), EM_GETLIMITTEXT, 0, 0), 98) << id;
}

TEST_F(SetupDialogTest, AStoredTextTooLongForItsFieldIsOfferedForACut)
{
    HostConfig host = SampleHost(1);
    host.MailWave = std::string(150, 'w');
    StoreHosts({host});
    platform.boxAnswer = IDYES;
    Open();
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"The stored value Host0MailWave is too long (more than 98 "
                                                            "bytes). Cut it to 98 bytes and go on? No ends the setup "
                                                            "program."});
    EXPECT_EQ(Text(IDC_MAIL_WAVE), std::string(98, 'w'));
    EXPECT_EQ(Model().ConfigDirty, 1);
}

// Run by ctest under code page 932 (setup_dialog_test_932): elsewhere no
// character takes two bytes.
TEST_F(SetupDialogTest, OnADoubleByteCodePageAFieldKeepsNinetyEightBytes)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs code page 932";
    std::string kanji49;  // 98 bytes
    for (int i = 0; i < 49; ++i)
        kanji49 += "\x93\xfa";
    StoreHosts({SampleHost(1)});
    Open();
    SetWindowTextW(Item(IDC_MAIL_WAVE), std::wstring(60, L'\x65e5').c_str());
    EXPECT_EQ(Text(IDC_MAIL_WAVE), kanji49);

    // Stored by a version that counted characters: cut between two.
    WriteTextValue("Host0MailWave", "a" + kanji49);
    platform.boxAnswer = IDYES;
    Open();
    EXPECT_EQ(Text(IDC_MAIL_WAVE), "a" + kanji49.substr(2));
}

TEST_F(SetupDialogTest, SaveWritesTheRegistryAndTellsARunningMonitor)
{
    StoreHosts({SampleHost(1), SampleHost(2)});
    FakeMonitor monitor;
    Open();
    Type(IDC_HOST_NAME, "changed.example.org");
    Type(IDC_PASSWORD, "Pass word");
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(dialog_->result(), IDOK);
    EXPECT_EQ(Model().ConfigDirty, 0);

    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(2));
    const std::optional<RawValue> name = ReadRawValue("Host0Name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name->data, std::string("changed.example.org") + '\0');
    EXPECT_EQ(OpenedPassword(0), "Pass word");
    EXPECT_EQ(ReadRawValue("Host0Password")->data, std::string(1, '\0'));
    EXPECT_EQ(ReadRawValue("Host1Name")->data, std::string("pop2.example.org") + '\0');
    const std::optional<RawValue> delay = ReadRawValue("Host1Delay");
    EXPECT_EQ(delay->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(delay->data, DwordData(90));

    EXPECT_EQ(monitor.Posted(), std::vector<UINT>{UM_NEWCONFIG});
    EXPECT_TRUE(platform.processes.empty());
}

TEST_F(SetupDialogTest, SaveStartsTheMonitorWhenNoneRunsButNotForAnEmptyList)
{
    platform.UseReal(&PlatformCalls::CreateProcessA);
    StandinLog log;
    Open();
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    const std::vector<StandinStart> starts = log.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, "quillo.exe");
    // The first configuration: the monitor shows its first-start note.
    EXPECT_EQ(starts[0].commandLine, "quillo /firststart");
    EXPECT_EQ(ReadRawValue("Host0Name")->data, std::string("New host") + '\0');

    Open();
    Click(IDC_DELETE);
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(0));
    Sleep(500);
    EXPECT_EQ(log.WaitForStarts(2, 0).size(), 1u);
}

TEST_F(SetupDialogTest, EnterSavesAndEscapeLeavesWithoutSaving)
{
    StoreHosts({SampleHost(1)});
    Open();
    Type(IDC_USER_ID, "typed");
    PressKey(IDC_USER_ID, VK_RETURN);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(dialog_->result(), IDOK);
    EXPECT_EQ(ReadRawValue("Host0UserID")->data, std::string("typed") + '\0');

    platform.registryWrites.clear();
    Open();
    Click(IDC_ADD);
    Type(IDC_HOST_NAME, "not kept");
    PressKey(IDC_HOST_NAME, VK_ESCAPE);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(dialog_->result(), IDCANCEL);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.registryWrites.empty());
    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(1));
}

TEST_F(SetupDialogTest, TheCloseBoxOffersToSaveEveryChangeIncludingOneStillInAField)
{
    StoreHosts({SampleHost(1)});
    Open();
    Click(IDC_ADD);
    platform.boxAnswer = IDYES;
    CloseBox();
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Do you want to save your changes?"});
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(2));
    EXPECT_EQ(ReadRawValue("Host1Name")->data, std::string("New host") + '\0');

    // An edit that no commit has taken yet.
    platform.boxes.clear();
    platform.registryWrites.clear();
    Open();
    Type(IDC_MAIL_READER, "C:\\Other\\reader.exe");
    platform.boxAnswer = IDNO;
    CloseBox();
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Do you want to save your changes?"});
    EXPECT_TRUE(dialog_->ended());
    EXPECT_TRUE(platform.registryWrites.empty());
    EXPECT_EQ(ReadRawValue("Host0MailReader")->data, std::string("C:\\Mail\\reader1.exe") + '\0');
}

TEST_F(SetupDialogTest, AFailedSaveKeepsTheDialogOpenWithTheChanges)
{
    StoreHosts({SampleHost(1)});
    Open();
    Click(IDC_ADD);
    platform.failRegistryWriteOf = "Host1Delay";
    Click(IDOK);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Unable to save the configuration!"});
    EXPECT_FALSE(dialog_->ended());
    EXPECT_EQ(Model().ConfigDirty, 1);
    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(1));

    platform.boxAnswer = IDYES;
    CloseBox();
    EXPECT_FALSE(dialog_->ended());
    EXPECT_EQ(platform.boxes.size(), 3u);

    platform.failRegistryWriteOf.clear();
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_EQ(ReadRawValue("HostCount")->data, DwordData(2));
}

TEST_F(SetupDialogTest, PickersOpenTheSystemDialogAndFillTheirField)
{
    StoreHosts({SampleHost(1)});
    Open();
    platform.openDialogChoice = "C:\\Programs\\other reader.exe";
    Click(IDC_BROWSE_READER);
    platform.openDialogChoice = "C:\\Sounds\\bell.wav";
    Click(IDC_BROWSE_SOUND);
    ASSERT_EQ(platform.openDialogs.size(), 2u);
    const RecordedOpenDialog& reader = platform.openDialogs[0];
    EXPECT_EQ(reader.owner, window_);
    EXPECT_EQ(reader.filter, "Programs|*.EXE|");
    EXPECT_EQ(reader.defaultExtension, "EXE");
    EXPECT_EQ(reader.flags, 0x81004u);
    EXPECT_EQ(reader.initialFile, "C:\\Mail\\reader1.exe");
    EXPECT_EQ(reader.fileBufferSize, 260u);
    const RecordedOpenDialog& sound = platform.openDialogs[1];
    EXPECT_EQ(sound.owner, window_);
    EXPECT_EQ(sound.filter, "Sounds (*.wav)|*.WAV|");
    EXPECT_EQ(sound.defaultExtension, "WAV");
    EXPECT_EQ(sound.flags, 0x81004u);
    EXPECT_EQ(sound.initialFile, "C:\\Sounds\\ding1.wav");
    EXPECT_EQ(sound.fileBufferSize, 100u);

    // A program whose path holds a blank is kept in quotation marks.
    EXPECT_EQ(Text(IDC_MAIL_READER), "\"C:\\Programs\\other reader.exe\"");
    EXPECT_EQ(Text(IDC_MAIL_WAVE), "C:\\Sounds\\bell.wav");
    EXPECT_EQ(Model().ConfigDirty, 1);
    ChooseHost(0);
    EXPECT_EQ(Model().HostList[0].MailReader, "\"C:\\Programs\\other reader.exe\"");
    EXPECT_EQ(Model().HostList[0].MailWave, "C:\\Sounds\\bell.wav");

    // The very file already named is still a choice.
    Model().ConfigDirty = 0;
    Click(IDC_BROWSE_SOUND);
    EXPECT_EQ(Model().ConfigDirty, 1);

    Model().ConfigDirty = 0;
    platform.openDialogChoice.reset();
    Click(IDC_BROWSE_READER);
    Click(IDC_BROWSE_SOUND);
    // The dialog opens at the program itself, without the quotation marks.
    ASSERT_EQ(platform.openDialogs.size(), 5u);
    EXPECT_EQ(platform.openDialogs[3].initialFile, "C:\\Programs\\other reader.exe");
    EXPECT_EQ(Model().ConfigDirty, 0);
    EXPECT_EQ(Text(IDC_MAIL_READER), "\"C:\\Programs\\other reader.exe\"");
    EXPECT_EQ(Text(IDC_MAIL_WAVE), "C:\\Sounds\\bell.wav");
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(SetupDialogTest, APickedPathLongerThanTheRegistryKeepsIsRefusedWithABox)
{
    StoreHosts({SampleHost(1)});
    Open();
    const std::string longest = "C:\\" + std::string(91, 'p') + ".exe";  // 98 characters
    ASSERT_EQ(longest.size(), 98u);
    platform.openDialogChoice = "C:\\" + std::string(92, 'p') + ".exe";
    Click(IDC_BROWSE_READER);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "The path of the chosen file is too long (at most 98 characters).");
    EXPECT_EQ(platform.boxes[0].caption, "setup_dialog_test");
    EXPECT_EQ(platform.boxes[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(Text(IDC_MAIL_READER), "C:\\Mail\\reader1.exe");
    EXPECT_EQ(Model().ConfigDirty, 0);

    // The quotation marks around a path with a blank count too.
    platform.openDialogChoice = "C:\\" + std::string(46, 'p') + ' ' + std::string(44, 'p') + ".exe";
    Click(IDC_BROWSE_READER);
    EXPECT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(Text(IDC_MAIL_READER), "C:\\Mail\\reader1.exe");

    platform.openDialogChoice = longest;
    Click(IDC_BROWSE_READER);
    EXPECT_EQ(Text(IDC_MAIL_READER), longest);
    EXPECT_EQ(Model().ConfigDirty, 1);
    EXPECT_EQ(platform.boxes.size(), 2u);
}

TEST_F(SetupDialogTest, TheHelpButtonOpensTheDialogsTopicOrSaysThatHelpFailed)
{
    StoreHosts({SampleHost(1)});
    Open();
    Click(ID_HELP);
    ASSERT_EQ(platform.helps.size(), 1u);
    EXPECT_EQ(platform.helps[0].command, static_cast<UINT>(HH_HELP_CONTEXT));
    EXPECT_EQ(platform.helps[0].data, 131174u);
    EXPECT_EQ(platform.helps[0].file, HelpFilePath());
    EXPECT_FALSE(dialog_->ended());
    EXPECT_TRUE(platform.boxes.empty());

    platform.helpStarts = false;
    Click(ID_HELP);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Failed to launch help.");
    EXPECT_EQ(platform.boxes[0].caption, "setup_dialog_test");
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_FALSE(dialog_->ended());

    // F1 in any field asks for the same topic.
    platform.helpStarts = true;
    PressRealKey(IDC_USER_ID, VK_F1);
    EXPECT_EQ(HelpTopicsOpened(), (std::vector<ULONG_PTR>{131174, 131174, 131174}));
    EXPECT_EQ(platform.boxes.size(), 1u);
}

TEST_F(SetupDialogTest, TheDialogCarriesTheProgramIconInBothSizes)
{
    StoreHosts({SampleHost(1)});
    Open();
    const auto iconSize = [](LRESULT icon) {
        ICONINFO info{};
        if (icon == 0 || !GetIconInfo(reinterpret_cast<HICON>(icon), &info))
            return 0L;
        BITMAP bitmap{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return bitmap.bmWidth;
    };
    const LRESULT big = SendMessageA(window_, WM_GETICON, ICON_BIG, 0);
    EXPECT_EQ(iconSize(big), 32);
    EXPECT_EQ(iconSize(SendMessageA(window_, WM_GETICON, ICON_SMALL, 0)), 16);
    EXPECT_EQ(SendMessageA(window_, WM_QUERYDRAGICON, 0, 0), big);
}

// The dialog as its template lays it out, in template (and tab) order.
TEST_F(SetupDialogTest, TheTemplateHasEveryControlWhereTheLayoutPutsIt)
{
    StoreHosts({SampleHost(1)});
    Open();
    char caption[64] = "";
    GetWindowTextA(window_, caption, sizeof caption);
    EXPECT_STREQ(caption, "Quillo Setup");
    const DWORD style = static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE));
    for (DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_VISIBLE}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{DS_MODALFRAME}})
        EXPECT_EQ(style & bit, bit) << std::hex << bit;
    // Centred in the work area of its screen, clear of the taskbar.
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &screen));
    RECT frame;
    GetWindowRect(window_, &frame);
    EXPECT_LE(std::abs((frame.left + frame.right) - (screen.rcWork.left + screen.rcWork.right)), 2);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (screen.rcWork.top + screen.rcWork.bottom)), 2);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
    RECT client;
    GetClientRect(window_, &client);
    RECT size{0, 0, 362, 280};
    MapDialogRect(window_, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    struct Expected {
        int id;
        const char* className;
        const char* text;
        RECT units;  // x, y, width, height
    };
    const Expected layout[] = {
        {1000, "Edit", "", {87, 21, 142, 13}},
        {1018, "ComboBox", "", {87, 42, 142, 0}},
        {1016, "ComboBox", "", {87, 63, 142, 0}},
        {1017, "Edit", "", {87, 84, 40, 13}},
        {1001, "Edit", "", {87, 105, 142, 13}},
        {1020, "ComboBox", "", {87, 126, 142, 0}},
        {1002, "Edit", "", {87, 147, 142, 13}},
        {1022, "Button", "Sign &in\x85", {87, 168, 50, 14}},
        {1023, "Button", "&Provider...", {141, 168, 50, 14}},
        {1003, "Edit", "", {87, 189, 127, 13}},
        {1013, "Button", "...", {218, 189, 11, 13}},
        {1004, "Edit", "", {87, 210, 127, 13}},
        {1015, "Button", "...", {218, 210, 11, 13}},
        {1005, "Edit", "", {87, 231, 142, 13}},
        {1006, "ComboBox", "", {87, 252, 142, 0}},
        {1007, "ListBox", "", {250, 20, 98, 77}},
        {1008, "Button", "&Add", {259, 102, 36, 14}},
        {1009, "Button", "&Delete", {304, 102, 36, 14}},
        {1, "Button", "&Save", {243, 132, 48, 14}},
        {57670, "Button", "Help", {307, 132, 48, 14}},
        {0xFFFF, "Button", "Hosts", {243, 7, 112, 119}},
        {0xFFFF, "Button", "Host information", {7, 7, 228, 265}},
        {0xFFFF, "Static", "Host name:", {45, 23, 37, 8}},
        {0xFFFF, "Static", "Username:", {43, 107, 39, 8}},
        {1024, "Static", "Password:", {42, 149, 40, 8}},
        {0xFFFF, "Static", "Play sound:", {45, 191, 38, 8}},
        {0xFFFF, "Static", "Mail reader:", {44, 212, 38, 8}},
        {0xFFFF, "Static", "Seconds per check:", {13, 233, 69, 8}},
        {0xFFFF, "Static", "Action on new mail:", {16, 254, 66, 8}},
        {0xFFFF, "Static", "Protocol:", {46, 44, 36, 8}},
        {0xFFFF, "Static", "Security:", {46, 65, 36, 8}},
        {0xFFFF, "Static", "Port:", {62, 86, 20, 8}},
        // The hint of the shown host's protocol and mode (POP3, none).
        {1019, "Static", "(default 110)", {132, 86, 97, 8}},
        {0xFFFF, "Static", "Sign-in:", {54, 128, 28, 8}},
        // Empty for a host that signs in with a password.
        {1021, "Static", "", {87, 149, 142, 8}},
    };
    HWND control = GetWindow(window_, GW_CHILD);
    for (const Expected& expected : layout) {
        ASSERT_NE(control, nullptr) << expected.text;
        char className[32] = "";
        GetClassNameA(control, className, sizeof className);
        EXPECT_STRCASEEQ(className, expected.className) << expected.id << ' ' << expected.text;
        EXPECT_EQ(GetDlgCtrlID(control) & 0xFFFF, expected.id) << expected.text;
        if (std::string(expected.className) == "Button" || std::string(expected.className) == "Static") {
            char text[64] = "";
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(text, expected.text);
        }
        // The dialog manager converts position and size each on its own.
        RECT units = expected.units;
        MapDialogRect(window_, &units);
        RECT placed;
        GetWindowRect(control, &placed);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.top, units.top) << expected.text << ' ' << expected.id;
        if (std::string(expected.className) == "Static") {
            // A label ends where the layout ends it and shows its whole text,
            // even in a font wider than the layout's.
            EXPECT_EQ(placed.right, units.left + units.right) << expected.text;
            EXPECT_LE(placed.left, units.left) << expected.text;
            SIZE extent{};
            HDC dc = GetDC(window_);
            HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(window_, WM_GETFONT, 0, 0)));
            GetTextExtentPoint32A(dc, expected.text, lstrlenA(expected.text), &extent);
            SelectObject(dc, previous);
            ReleaseDC(window_, dc);
            EXPECT_LE(extent.cx, placed.right - placed.left) << expected.text;
            if (extent.cx < units.right) {
                EXPECT_EQ(placed.left, units.left) << expected.text;
            }
        } else {
            EXPECT_EQ(placed.left, units.left) << expected.text << ' ' << expected.id;
            EXPECT_EQ(placed.right - placed.left, units.right) << expected.text << ' ' << expected.id;
        }
        // A closed combo box has its own height; a list box shows whole lines.
        if (std::string(expected.className) != "ComboBox" && expected.id != 1007) {
            EXPECT_EQ(placed.bottom - placed.top, units.bottom) << expected.text << ' ' << expected.id;
        }
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);
    const LONG listStyle = GetWindowLongA(Item(IDC_HOST_LIST), GWL_STYLE);
    EXPECT_EQ(listStyle & (LBS_NOTIFY | LBS_SORT), LBS_NOTIFY);
    EXPECT_EQ(GetWindowLongA(Item(IDC_ACTION), GWL_STYLE) & (CBS_DROPDOWNLIST | CBS_SORT), CBS_DROPDOWNLIST);
    EXPECT_EQ(GetWindowLongA(Item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    // The three settings of the connection come right after the host name.
    // (WS_VSCROLL and WS_BORDER do not stay in the styles that these report.)
    for (int list : {IDC_PROTOCOL, IDC_SECURITY}) {
        const LONG comboStyle = GetWindowLongA(Item(list), GWL_STYLE);
        EXPECT_EQ(comboStyle & (CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP), CBS_DROPDOWNLIST | WS_TABSTOP) << list;
    }
    const LONG port = GetWindowLongA(Item(IDC_PORT), GWL_STYLE);
    EXPECT_EQ(port & (ES_NUMBER | WS_TABSTOP | ES_AUTOHSCROLL), ES_NUMBER | WS_TABSTOP | ES_AUTOHSCROLL);
    EXPECT_EQ(SendMessageA(Item(IDC_PORT), EM_GETLIMITTEXT, 0, 0), 5);
    EXPECT_EQ(GetWindowLongA(Item(IDC_PORT_HINT), GWL_STYLE) & WS_TABSTOP, 0);
    std::vector<int> tabOrder;
    for (HWND at = Item(IDC_HOST_NAME); tabOrder.size() < 7; at = GetNextDlgTabItem(window_, at, FALSE))
        tabOrder.push_back(GetDlgCtrlID(at));
    EXPECT_EQ(tabOrder, (std::vector<int>{IDC_HOST_NAME, IDC_PROTOCOL, IDC_SECURITY, IDC_PORT, IDC_USER_ID, IDC_SIGN_IN,
                                          IDC_PASSWORD}));
}

const OAuthProvider kOtherProvider{"https://login.example.com/authorize", "https://login.example.com/token", "client-1",
                                   "mail offline_access", ""};

// A host that signs in with OAuth over SSL/TLS, signed in when a token is
// given.
HostConfig OAuthHost(int number, const OAuthProvider& provider, const std::string& token)
{
    HostConfig host = SampleHost(number);
    host.Password.clear();
    host.Security = SslTls;
    host.Auth = OAuthSignIn;
    host.OAuth = provider;
    host.RefreshToken = token;
    host.TokenChanged = !token.empty();
    return host;
}

// The list as the setup program saves it, and as it reads it back.
void SaveHosts(std::vector<HostConfig> hosts)
{
    SetupModel model;
    model.HostList = std::move(hosts);
    ASSERT_TRUE(SaveConfig(model));
}
std::vector<HostConfig> LoadHosts()
{
    SetupModel model;
    LoadConfig(model);
    return model.HostList;
}

TEST_F(SetupDialogTest, TheSignInListShowsThePasswordOrTheSignInAndAnOAuthEntryNeverKeepsNone)
{
    OAuthProvider ownClient = MicrosoftAccountProvider();
    ownClient.ClientId = "own-client";
    SaveHosts({SampleHost(1), OAuthHost(2, ownClient, "token-2"), OAuthHost(3, kOtherProvider, "")});
    Open();
    EXPECT_EQ(ComboEntries(IDC_SIGN_IN),
              (std::vector<std::string>{"Password", "Microsoft account", "Other OAuth 2.0 provider"}));
    const auto shown = [this] {
        std::string controls;
        for (int id : {IDC_PASSWORD, IDC_PASSWORD_LABEL, IDC_SIGN_IN_STATUS, IDC_SIGN_IN_BUTTON, IDC_PROVIDER})
            controls += IsWindowVisible(Item(id)) ? '1' : '0';
        return controls;
    };
    const std::string providerShown = MicrosoftAccountProvider().ClientId.empty() ? "1" : "0";
    struct Case {
        const char* entry;
        std::string controls;  // password, its label, the sign-in line, Sign in, Provider
        const char* status;
    };
    const Case cases[] = {{"Password", "11000", ""},
                          {"Microsoft account", "0011" + providerShown, "Signed in as user2."},
                          {"Other OAuth 2.0 provider", "00111", "Not signed in yet."}};
    for (int host = 0; host < 3; ++host) {
        ChooseHost(host);
        EXPECT_EQ(Text(IDC_SIGN_IN), cases[host].entry);
        EXPECT_EQ(shown(), cases[host].controls) << host;
        EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), cases[host].status);
    }

    // The first host has no security: an OAuth entry takes SSL/TLS at once,
    // and "None" is refused while it is chosen.
    ChooseHost(0);
    Choose(IDC_SIGN_IN, OtherProviderEntry);
    EXPECT_EQ(shown(), "00111");
    EXPECT_EQ(Text(IDC_SECURITY), "SSL/TLS");
    EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), "Not signed in yet.");
    Choose(IDC_SECURITY, NoSecurity);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{kSignInNeedsSecurityText});
    EXPECT_EQ(Text(IDC_SECURITY), "SSL/TLS");
    Choose(IDC_SIGN_IN, PasswordEntry);
    Choose(IDC_SECURITY, NoSecurity);
    EXPECT_EQ(Text(IDC_SECURITY), "None");
    EXPECT_EQ(shown(), "11000");
    EXPECT_EQ(platform.boxes.size(), 1u);
}

TEST_F(SetupDialogTest, TheMicrosoftEntryFillsItsProviderAndAServerNotNamedYet)
{
    Open();
    Choose(IDC_SIGN_IN, MicrosoftEntry);
    EXPECT_EQ(Text(IDC_HOST_NAME), "outlook.office365.com");
    EXPECT_EQ(Connection(), (std::vector<std::string>{"POP3", "SSL/TLS", "995", "(default 995)"}));
    Click(IDC_ADD);
    EXPECT_EQ(Model().HostList[0].Auth, OAuthSignIn);
    EXPECT_EQ(Model().HostList[0].OAuth, MicrosoftAccountProvider());
    EXPECT_EQ(Model().HostList[0].Port, 995);

    Type(IDC_HOST_NAME, "");
    Choose(IDC_PROTOCOL, Imap);
    Choose(IDC_SECURITY, StartTls);
    Choose(IDC_SIGN_IN, MicrosoftEntry);
    EXPECT_EQ(Connection(), (std::vector<std::string>{"IMAP", "SSL/TLS", "993", "(default 993)"}));
    // A server already named stays.
    Type(IDC_HOST_NAME, "imap.example.org");
    Choose(IDC_SIGN_IN, PasswordEntry);
    Choose(IDC_SIGN_IN, MicrosoftEntry);
    EXPECT_EQ(Text(IDC_HOST_NAME), "imap.example.org");
}

TEST_F(SetupDialogTest, ASignInIsSavedAsTheTokenWithoutAPasswordAndAFailedOneChangesNothing)
{
    SaveHosts({SampleHost(1)});
    Open();
    Choose(IDC_SIGN_IN, MicrosoftEntry);
    Type(IDC_USER_ID, "");
    Click(IDC_SIGN_IN_BUTTON);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{kSignInNeedsUserText});
    Type(IDC_USER_ID, "user1");

    // Without a client ID built in, the first sign-in asks for one.
    const bool asksClientId = MicrosoftAccountProvider().ClientId.empty();
    OAuthProvider expected = MicrosoftAccountProvider();
    if (asksClientId)
        expected.ClientId = "my-client";
    std::string note;
    bool presetLocked = false;
    platform.modalScript = [&](HWND box) {
        char text[512] = "";
        GetDlgItemTextA(box, IDC_PROVIDER_NOTE, text, sizeof text);
        note = text;
        presetLocked = (GetWindowLongA(GetDlgItem(box, IDC_PROVIDER_TOKEN), GWL_STYLE) & ES_READONLY) != 0;
        SetDlgItemTextA(box, IDC_PROVIDER_CLIENT_ID, "my-client");
        SendMessageA(box, WM_COMMAND, IDOK, 0);
    };
    Click(IDC_SIGN_IN_BUTTON);
    ASSERT_EQ(platform.signIns.size(), 1u);
    EXPECT_EQ(platform.signIns[0].owner, window_);
    EXPECT_EQ(platform.signIns[0].user, "user1");
    EXPECT_EQ(platform.signIns[0].provider, expected);
    EXPECT_EQ(platform.modalDialogs, asksClientId ? 1 : 0);
    if (asksClientId) {
        EXPECT_EQ(note, kClientIdNoteText);
        EXPECT_TRUE(presetLocked);
    }
    EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), "Not signed in yet.");

    // The client ID stays with the host: the next sign-in asks no more.
    platform.signInToken = "refresh-1";
    Click(IDC_SIGN_IN_BUTTON);
    EXPECT_EQ(platform.modalDialogs, asksClientId ? 1 : 0);
    EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), "Signed in as user1.");
    EXPECT_EQ(Model().ConfigDirty, 1);
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());
    EXPECT_FALSE(ReadRawValue("Host0PasswordProtected"));
    const std::vector<HostConfig> stored = LoadHosts();
    EXPECT_EQ(stored[0].RefreshToken, "refresh-1");
    EXPECT_EQ(stored[0].OAuth, expected);
    EXPECT_EQ(stored[0].Password, "");
}

TEST_F(SetupDialogTest, ANewUserKeepsTheTokenStoredNowAndANewTokenAddressDropsIt)
{
    SaveHosts({OAuthHost(1, kOtherProvider, "refresh-1"), OAuthHost(2, kOtherProvider, "refresh-2")});
    Open();
    // The monitor stores the token that its provider rotated meanwhile.
    HostConfig rotated = LoadHosts()[0];
    rotated.RefreshToken = "refresh-1b";
    WriteRawValue("Host0OAuthTokenProtected", REG_BINARY, ProtectToken(rotated).value());
    Type(IDC_USER_ID, "someone.else");
    EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), "Signed in as someone.else.");

    ChooseHost(1);
    platform.modalScript = [](HWND box) {
        SetDlgItemTextA(box, IDC_PROVIDER_TOKEN, "http://other.example.com/token");
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(GetFocus(), GetDlgItem(box, IDC_PROVIDER_TOKEN));
        SetDlgItemTextA(box, IDC_PROVIDER_TOKEN, "https://other.example.com/token");
        SendMessageA(box, WM_COMMAND, IDOK, 0);
    };
    Click(IDC_PROVIDER);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"An address must start with https://."});
    EXPECT_EQ(Text(IDC_SIGN_IN_STATUS), "Not signed in yet.");
    Click(IDOK);
    EXPECT_TRUE(dialog_->ended());

    const std::vector<HostConfig> stored = LoadHosts();
    EXPECT_EQ(stored[0].UserID, "someone.else");
    EXPECT_EQ(stored[0].RefreshToken, "refresh-1b");
    EXPECT_EQ(stored[1].OAuth.TokenUrl, "https://other.example.com/token");
    EXPECT_EQ(stored[1].RefreshToken, "");
    EXPECT_FALSE(stored[1].TokenLost);
}

}  // namespace
