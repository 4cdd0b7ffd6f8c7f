// The host list in Wine's real registry, as both programs read and write it.
#include "config_registry.h"
#include "config_store.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "password_scrambling.h"
#include "probe.h"
#include "scheduler_rules.h"
#include "password_protecting.h"
#include "password_protection.h"
#include "setup_config.h"
#include "setup_platform_recorder.h"
#include "support/scripted_peer.h"
#include "token_store.h"
#include "win_handles.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace {

class ConfigStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteConfigKey();
        FreeHostTable();
    }
    void TearDown() override { DeleteConfigKey(); }

    // What both programs do with the current registry: the setup program's
    // exit status (or nothing) and the monitor's.
    std::optional<UINT> SetupExit()
    {
        return ExitCodeOf([this] { LoadConfig(model); });
    }
    std::optional<UINT> MonitorExit()
    {
        return ExitCodeOf([] { LoadHostTable(); });
    }

    // The setup program's host list and flags, loaded and saved in turn as
    // within one run of the program.
    SetupModel model;
    SetupPlatformRecorder platform;
};

bool SameHost(const HostConfig& a, const HostConfig& b)
{
    return a.Name == b.Name && a.UserID == b.UserID && a.Password == b.Password && a.MailReader == b.MailReader &&
           a.MailWave == b.MailWave && a.Action == b.Action && a.Delay == b.Delay && a.Security == b.Security &&
           a.Port == b.Port && a.Protocol == b.Protocol && a.Auth == b.Auth && a.OAuth == b.OAuth &&
           a.RefreshToken == b.RefreshToken;
}

// What the monitor's checks send as PASS for each host of its table, against
// a server that accepts everything; nothing where no PASS left. Each check
// leaves its status text in the host's entry, as the check thread's do.
std::vector<std::optional<std::string>> PasswordsTheMonitorSends()
{
    CheckHooks hooks;
    hooks.GuessState = [](const HostEntry& host, const ProgressReport& progress) {
        ProbeSettings settings;
        settings.Progress = progress;
        settings.Sockets = &ScriptedPeer::Sockets();
        return GuessState(host, settings);
    };
    hooks.Post = [](unsigned, int32_t) { return true; };
    std::vector<std::optional<std::string>> sent;
    for (int32_t i = 0; i < gHostTable.Count.load(); ++i) {
        PeerScript server;
        server.pieces = {"+OK ready\r\n", "-ERR\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n"};
        ScriptedPeer peer(server);
        CheckHost(gHostTable[i], hooks);
        std::optional<std::string> password;
        for (const std::string& line : peer.sends()) {
            if (line.rfind("PASS ", 0) == 0)
                password = line.substr(5, line.size() - 7);
        }
        sent.push_back(password);
    }
    return sent;
}

using Sent = std::vector<std::optional<std::string>>;

const std::string kCutOffer =
    "The stored value Host0Name is too long (more than 98 bytes). Cut it to 98 bytes and go on? "
    "No ends the setup program.";

TEST_F(ConfigStore, SaveWritesEveryHostThenTheCountWithTheSpecifiedNamesAndTypes)
{
    model.HostList = {SampleHost(0), SampleHost(1), SampleHost(2)};
    model.HostList[1].Password = "";
    model.HostList[1].Security = SslTls;
    model.HostList[2].Security = StartTls;
    model.HostList[2].Port = 1110;
    model.HostList[2].Protocol = Imap;
    // Hand-written values out of range are written back as they were.
    model.HostList[0].Security = 7;
    model.HostList[0].Port = -1;
    model.HostList[0].Protocol = 5;
    model.ConfigDirty = 1;
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_EQ(model.ConfigDirty, 0);

    // Security mode, port and protocol, as the registry stores them.
    const std::vector<std::string> modes[] = {{"7", "4294967295", "5"}, {"2", "0", "0"}, {"1", "1110", "1"}};
    const char* texts[] = {"Name", "UserID", "MailReader", "MailWave"};
    std::vector<std::string> expectedOrder;
    for (int index = 0; index < 3; ++index) {
        const HostConfig& host = model.HostList[index];
        const std::string prefix = "Host" + std::to_string(index);
        // The password first: see the failed-save test below.
        expectedOrder.push_back(prefix + "PasswordProtected");
        expectedOrder.push_back(prefix + "Password");
        expectedOrder.push_back(prefix + "Name");
        expectedOrder.push_back(prefix + "UserID");
        expectedOrder.push_back(prefix + "Security");
        expectedOrder.push_back(prefix + "Port");
        expectedOrder.push_back(prefix + "Protocol");
        expectedOrder.push_back(prefix + "Auth");
        expectedOrder.push_back(prefix + "MailReader");
        expectedOrder.push_back(prefix + "MailWave");
        expectedOrder.push_back(prefix + "Action");
        expectedOrder.push_back(prefix + "Delay");

        const std::string stored[] = {host.Name, host.UserID, host.MailReader, host.MailWave};
        for (int f = 0; f < 4; ++f) {
            const std::optional<RawValue> value = ReadRawValue(prefix + texts[f]);
            ASSERT_TRUE(value) << prefix + texts[f];
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << prefix + texts[f];
            EXPECT_EQ(value->data, stored[f] + '\0') << prefix + texts[f];
        }
        // Older versions find an empty password and fail to log in.
        const std::optional<RawValue> old = ReadRawValue(prefix + "Password");
        ASSERT_TRUE(old);
        EXPECT_EQ(old->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(old->data, std::string(1, '\0'));

        // Opened with the binding built here by hand, as any version must build it.
        const std::optional<RawValue> sealed = ReadRawValue(prefix + "PasswordProtected");
        ASSERT_TRUE(sealed);
        EXPECT_EQ(sealed->type, static_cast<DWORD>(REG_BINARY));
        std::string binding = std::string("Quillo password 2\0", 18) + host.Name + '\0' + host.UserID + '\0';
        for (const std::string& mode : modes[index])
            binding += mode + '\0';
        std::string blob = sealed->data;
        DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
        DATA_BLOB entropy{static_cast<DWORD>(binding.size()), reinterpret_cast<BYTE*>(binding.data())};
        DATA_BLOB out{};
        ASSERT_TRUE(CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
        const UniqueLocalMemory opened(static_cast<HLOCAL>(out.pbData));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.pbData), out.cbData), host.Password);
        if (!host.Password.empty()) {
            EXPECT_EQ(blob.find(host.Password), std::string::npos) << "the clear text never reaches the registry";
        }

        const std::pair<const char*, const int32_t*> numbers[] = {{"Action", &host.Action},     {"Delay", &host.Delay},
                                                                  {"Security", &host.Security}, {"Port", &host.Port},
                                                                  {"Protocol", &host.Protocol}, {"Auth", &host.Auth}};
        for (const auto& [field, number] : numbers) {
            const std::optional<RawValue> value = ReadRawValue(prefix + field);
            ASSERT_TRUE(value) << prefix + field;
            EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD)) << prefix + field;
            EXPECT_EQ(value->data, std::string(reinterpret_cast<const char*>(number), 4)) << prefix + field;
        }
    }
    expectedOrder.push_back("HostCount");
    EXPECT_EQ(platform.registryWrites, expectedOrder);

    const std::optional<RawValue> count = ReadRawValue("HostCount");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count->data, std::string("\x03\0\0\0", 4));
    EXPECT_EQ(ValueNames().size(), 37u);
}

TEST_F(ConfigStore, BothProgramsLoadWhatWasSavedWithClearPasswords)
{
    model.HostList = {SampleHost(0), SampleHost(1), SampleHost(2)};
    model.HostList[2].Password = "";
    model.HostList[1].Security = SslTls;
    model.HostList[1].Port = 1995;
    model.HostList[1].Protocol = Imap;
    model.HostList[2].Security = StartTls;
    const std::vector<HostConfig> saved = model.HostList;
    ASSERT_TRUE(SaveConfig(model));

    model.HostList.clear();
    EXPECT_EQ(SetupExit(), std::nullopt);
    ASSERT_EQ(model.HostCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(SameHost(model.HostList[i], saved[i])) << "host " << i;
    EXPECT_EQ(model.NoSavedConfig, 0);

    EXPECT_EQ(MonitorExit(), std::nullopt);
    ASSERT_EQ(gHostTable.Count.load(), 3);
    for (int i = 0; i < 3; ++i) {
        HostEntry& entry = gHostTable[i];
        EXPECT_TRUE(SameHost(entry, saved[i])) << "host " << i;
        EXPECT_EQ(entry.State.load(), Unknown);
        // The very constant, never a copy: the other thread may read it at any time.
        EXPECT_EQ(entry.StatusText.load(), kNotTriedYetText);
        EXPECT_STREQ(entry.StatusText.load(), "Haven't tried to contact server yet.");
        EXPECT_EQ(entry.ElapsedMs.load(), 536870912);
        EXPECT_EQ(entry.Index, i);
    }
    FreeHostTable();
    EXPECT_EQ(gHostTable.Count.load(), 0);
    EXPECT_EQ(gHostTable.Entries, nullptr);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ConfigStore, ShrinkingTheListDeletesEveryValueOfTheDroppedHosts)
{
    model.HostList = {SampleHost(0), SampleHost(1), SampleHost(2)};
    ASSERT_TRUE(SaveConfig(model));
    // Left beyond any count by older versions, by hand or by later versions.
    WriteTextValue("Host12Password", ScramblePassword("Secret12").value());
    WriteDwordValue("host2Security", 2);
    WriteTextValue("Unrelated", "kept");
    model.HostList.erase(model.HostList.begin() + 1, model.HostList.end());
    ASSERT_TRUE(SaveConfig(model));

    std::vector<std::string> names = ValueNames();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {"HostCount", "Unrelated"};
    for (const char* field : {"Name", "UserID", "Password", "PasswordProtected", "Security", "Port", "Protocol", "Auth",
                              "MailReader", "MailWave", "Action", "Delay"})
        expected.push_back(std::string("Host0") + field);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.HostCount(), 1);
    EXPECT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(gHostTable.Count.load(), 1);

    // Refused at the count, nothing is deleted: the old count still finds
    // every value it points at.
    model.HostList = {SampleHost(0), SampleHost(1)};
    ASSERT_TRUE(SaveConfig(model));
    model.HostList.pop_back();
    platform.registryDeletes.clear();
    platform.failRegistryWriteOf = "HostCount";
    EXPECT_FALSE(SaveConfig(model));
    platform.failRegistryWriteOf.clear();
    EXPECT_EQ(platform.registryDeletes, std::vector<std::string>{});
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.HostCount(), 2);
    model.HostList.pop_back();

    // A value that cannot be deleted fails the save, which can be tried again.
    model.ConfigDirty = 1;
    platform.boxes.clear();
    platform.failRegistryDeleteOf = "Host1Name";
    EXPECT_FALSE(SaveConfig(model));
    EXPECT_EQ(model.ConfigDirty, 1);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Unable to save the configuration!"});
    platform.failRegistryDeleteOf.clear();
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_FALSE(ReadRawValue("Host1Name"));
}

TEST_F(ConfigStore, HostValuesOfTheTwelfthHostCarryItsIndex)
{
    std::vector<HostConfig> hosts;
    for (int i = 0; i < 12; ++i)
        hosts.push_back(SampleHost(i));
    model.HostList = hosts;
    ASSERT_TRUE(SaveConfig(model));
    for (const char* name : {"Host3Name", "Host3Delay", "Host11Name", "Host11UserID", "Host11Delay"})
        EXPECT_TRUE(ReadRawValue(name)) << name;
    EXPECT_FALSE(ReadRawValue("Host12Name"));
    EXPECT_FALSE(ReadRawValue("Host011Name"));
}

TEST_F(ConfigStore, TheMonitorUsesALongTextWholeAndTheSetupProgramOffersToRepairWhatItCannotTake)
{
    StoreHosts({SampleHost(0)});
    WriteTextValue("Host0Name", std::string(150, 'n'));  // by hand
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(gHostTable[0].Name, std::string(150, 'n'));
    EXPECT_TRUE(platform.boxes.empty());

    WriteRawValue("Host0Delay", REG_SZ, std::string("995\0", 4));
    platform.boxAnswer = IDYES;
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(platform.BoxTexts(), (std::vector<std::string>{"The stored value Host0Delay is no number. Reset it to 30 "
                                                             "seconds and go on? No ends the setup program.",
                                                             kCutOffer}));
    EXPECT_EQ(platform.boxes[0].caption, "config_store_test");
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    ASSERT_EQ(model.HostCount(), 1);
    EXPECT_EQ(model.ConfigDirty, 1);
    // The password still opens when the next save binds it to the cut name.
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(gHostTable[0].Name, std::string(98, 'n'));
    EXPECT_EQ(gHostTable[0].Delay, 30);
    EXPECT_EQ(gHostTable[0].Password, "Secret0");
}

TEST_F(ConfigStore, AMissingHostValueStopsBothProgramsNamingIt)
{
    StoreHosts({SampleHost(0), SampleHost(1)});
    DeleteValue("Host1Delay");
    EXPECT_EQ(SetupExit(), 1u);
    EXPECT_EQ(MonitorExit(), 1u);
    EXPECT_EQ(platform.BoxTexts(),
              (std::vector<std::string>{"Missing registry key: Host1Delay", "Missing registry key: Host1Delay"}));
}

TEST_F(ConfigStore, NoKeyOrNoCountIsAFirstRunForSetupAndStartsSetupFromTheMonitor)
{
    struct Case {
        const char* what;
        std::optional<int32_t> count;  // nothing: no key at all
        bool storeCount;
        int32_t expectNoSavedConfig;
    };
    const Case cases[] = {
        {"no key", std::nullopt, false, 1},  {"key without HostCount", 0, false, 1},
        {"HostCount -1", -1, true, 1},       {"HostCount 0", 0, true, 0},
        {"HostCount below -1", -7, true, 1}, {"HostCount at the smallest number", INT32_MIN, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteConfigKey();
        if (c.count) {
            WriteTextValue("Unrelated", "x");
            if (c.storeCount)
                WriteDwordValue("HostCount", *c.count);
        }
        model.NoSavedConfig = 0;
        model.HostList = {SampleHost(5)};
        EXPECT_EQ(SetupExit(), std::nullopt);
        EXPECT_EQ(model.HostCount(), 0);
        EXPECT_EQ(model.NoSavedConfig, c.expectNoSavedConfig);

        platform.processes.clear();
        EXPECT_EQ(MonitorExit(), 1u);
        ASSERT_EQ(platform.processes.size(), 1u);
        EXPECT_EQ(platform.processes[0].commandLine, "Kelvo");
        EXPECT_TRUE(platform.boxes.empty());
    }
}

TEST_F(ConfigStore, AHugeCountStopsAtTheFirstMissingHost)
{
    StoreHosts({SampleHost(0)});
    WriteDwordValue("HostCount", INT32_MAX);
    EXPECT_EQ(SetupExit(), 1u);
    EXPECT_EQ(MonitorExit(), 1u);
    EXPECT_EQ(platform.BoxTexts(),
              (std::vector<std::string>{"Missing registry key: Host1Name", "Missing registry key: Host1Name"}));
}

TEST_F(ConfigStore, HandWrittenValuesOfOtherTypesAndSizesNeverReadPastTheirBuffers)
{
    enum Outcome { Loads, CutOffered, NoNumber };
    struct Case {
        const char* what;
        const char* name;
        DWORD type;
        std::string data;
        Outcome outcome;
    };
    // Only a REG_DWORD of 4 bytes is a number; a text is read whole, up to
    // its first NUL.
    const Case cases[] = {
        {"number as 4 binary bytes", "Host0Delay", REG_BINARY, std::string("\x2d\0\0\0", 4), NoNumber},
        {"number as text of 4 bytes", "Host0Delay", REG_SZ, std::string("995\0", 4), NoNumber},
        {"number of 2 bytes", "Host0Delay", REG_DWORD, std::string("\x2d\0", 2), NoNumber},
        {"number of 8 bytes", "Host0Action", REG_QWORD, std::string(8, '\1'), NoNumber},
        {"number as text", "Host0Action", REG_SZ, std::string("1\0", 2), NoNumber},
        {"text as a number with a NUL inside", "Host0Name", REG_DWORD, std::string("xy\0\0", 4), Loads},
        {"text without any NUL", "Host0Name", REG_BINARY, std::string("abc"), Loads},
        {"text of 99 bytes without NUL", "Host0Name", REG_BINARY, std::string(99, 'n'), CutOffered},
        {"text of 98 bytes and NUL", "Host0Name", REG_BINARY, std::string(98, 'n') + '\0', Loads},
        {"empty data", "Host0UserID", REG_SZ, std::string(), Loads},
        {"text far too long", "Host0Name", REG_SZ, std::string(5000, 'n') + '\0', CutOffered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteConfigKey();
        StoreHosts({SampleHost(0)});
        WriteRawValue(c.name, c.type, c.data);
        platform.boxes.clear();
        platform.boxAnswer = IDNO;
        const std::optional<UINT> setupExit = SetupExit();
        const std::optional<UINT> monitorExit = MonitorExit();
        const std::string text = c.data.substr(0, c.data.find('\0'));
        if (c.outcome == Loads) {
            EXPECT_EQ(setupExit, std::nullopt);
            ASSERT_EQ(model.HostCount(), 1);
            if (std::string(c.name) == "Host0Name") {
                EXPECT_EQ(model.HostList[0].Name, text);
            }
        } else {
            EXPECT_EQ(setupExit, 1u);
        }
        if (c.outcome == NoNumber) {
            EXPECT_EQ(monitorExit, 1u);
            ASSERT_EQ(platform.boxes.size(), 2u);
            EXPECT_EQ(platform.boxes[0].text.rfind(std::string("The stored value ") + c.name + " is no number.", 0),
                      0u);
            EXPECT_EQ(platform.boxes[1].text, std::string("Missing registry key: ") + c.name);
        } else {
            EXPECT_EQ(monitorExit, std::nullopt);
            ASSERT_EQ(gHostTable.Count.load(), 1);
            EXPECT_EQ(gHostTable[0].Name, std::string(c.name) == "Host0Name" ? text : SampleHost(0).Name);
            EXPECT_EQ(platform.boxes.size(), c.outcome == CutOffered ? 1u : 0u);
        }
    }
}

TEST_F(ConfigStore, TheCountIsANumberOnlyAsAFourByteDword)
{
    StoreHosts({SampleHost(0)});
    WriteRawValue("HostCount", REG_BINARY, std::string("\x01\0", 2));
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.NoSavedConfig, 1);  // a count that is no number reads as absent
    WriteRawValue("HostCount", REG_BINARY, std::string("\x01\0\0\0", 4));
    model.NoSavedConfig = 0;
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.NoSavedConfig, 1);
    WriteRawValue("HostCount", REG_DWORD, std::string("\x01\0\0\0", 4));
    model.NoSavedConfig = 0;
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.HostCount(), 1);
    EXPECT_EQ(model.NoSavedConfig, 0);
}

// Written by older versions, by hand or by kelvo: the monitor gets each host's
// security, port and protocol as they are stored, and judges them itself.
TEST_F(ConfigStore, SecurityPortAndProtocolAreOptionalAndLoadAsStoredEvenOutOfRange)
{
    using Mode = std::tuple<int32_t, int32_t, int32_t>;  // security, port, protocol
    using Modes = std::vector<Mode>;
    const auto loaded = [](const std::vector<HostConfig>& hosts) {
        Modes modes;
        for (const HostConfig& host : hosts)
            modes.emplace_back(host.Security, host.Port, host.Protocol);
        return modes;
    };
    const auto tableModes = [] {
        Modes modes;
        for (int32_t i = 0; i < gHostTable.Count.load(); ++i)
            modes.emplace_back(gHostTable[i].Security, gHostTable[i].Port, gHostTable[i].Protocol);
        return modes;
    };

    // A list of an older version: POP3 without security on port 0, and
    // nothing is missing.
    StoreHosts({SampleHost(0), SampleHost(1), SampleHost(2)});
    ASSERT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(loaded(model.HostList), (Modes{{0, 0, Pop3}, {0, 0, Pop3}, {0, 0, Pop3}}));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(tableModes(), (Modes{{0, 0, Pop3}, {0, 0, Pop3}, {0, 0, Pop3}}));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.processes.empty());

    // A port without a mode is plain text on that port; numbers out of range,
    // and data that is no number, load for the check to refuse.
    WriteDwordValue("Host0Port", 2110);
    WriteDwordValue("Host0Protocol", Imap);
    WriteDwordValue("Host1Security", 3);
    WriteDwordValue("Host1Port", 65536);
    WriteDwordValue("Host1Protocol", 2);
    WriteRawValue("Host2Security", REG_SZ, std::string("2\0", 2));
    WriteRawValue("Host2Port", REG_QWORD, std::string("\xe3\x03\0\0\0\0\0\0", 8));
    WriteRawValue("Host2Protocol", REG_BINARY, std::string("\x01", 1));
    const Modes stored{{0, 2110, Imap}, {3, 65536, 2}, {kUnreadableDword, kUnreadableDword, kUnreadableDword}};
    ASSERT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(loaded(model.HostList), stored);
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(tableModes(), stored);
    EXPECT_TRUE(platform.boxes.empty());

    // Saved again, they stay as they were, and the passwords still open.
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(tableModes(), stored);
    EXPECT_EQ(gHostTable[2].Password, "Secret2");
    EXPECT_FALSE(gHostTable[2].PasswordLost);
}

// Four bytes of another type would read as a usable mode, port or protocol;
// as kUnreadableDword each check refuses its host at once with its own text.
TEST_F(ConfigStore, AnOptionalNumberOfAnotherTypeIsNoNumber)
{
    StoreHosts({SampleHost(0)});
    WriteRawValue("Host0Security", REG_BINARY, std::string("\x02\0\0\0", 4));
    WriteRawValue("Host0Port", REG_SZ, std::string("995\0", 4));
    WriteRawValue("Host0Protocol", REG_BINARY, std::string("\x01\0\0\0", 4));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(gHostTable[0].Security, kUnreadableDword);
    EXPECT_EQ(gHostTable[0].Port, kUnreadableDword);
    EXPECT_EQ(gHostTable[0].Protocol, kUnreadableDword);
}

TEST_F(ConfigStore, APasswordIsBoundToItsSecurityPortAndProtocolAndASaveProtectsItForNewOnes)
{
    HostConfig host = SampleHost(1);
    host.Security = SslTls;
    model.HostList = {host};
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_EQ(OpenedPassword(0), "Secret1");

    // Another mode, port or protocol beside the blob, whether by hand or by a
    // save that stopped halfway: the password is not sent at all, least of
    // all in plain text.
    const std::pair<const char*, int32_t> others[] = {
        {"Host0Port", 995}, {"Host0Security", NoSecurity}, {"Host0Protocol", Imap}};
    for (const auto& [name, number] : others) {
        SCOPED_TRACE(name);
        const std::optional<RawValue> kept = ReadRawValue(name);
        WriteDwordValue(name, number);
        ASSERT_EQ(MonitorExit(), std::nullopt);
        EXPECT_EQ(gHostTable[0].Password, "");
        EXPECT_TRUE(gHostTable[0].PasswordLost);
        ASSERT_EQ(SetupExit(), std::nullopt);
        EXPECT_EQ(model.HostList[0].Password, "");
        EXPECT_TRUE(model.HostList[0].PasswordLost);
        WriteRawValue(name, kept->type, kept->data);
    }

    // Changed in the setup program, the password is protected anew.
    ASSERT_EQ(SetupExit(), std::nullopt);
    ASSERT_EQ(model.HostList[0].Password, "Secret1");
    model.HostList[0].Security = StartTls;
    model.HostList[0].Port = 1110;
    model.HostList[0].Protocol = Imap;
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(gHostTable[0].Security, StartTls);
    EXPECT_EQ(gHostTable[0].Port, 1110);
    EXPECT_EQ(gHostTable[0].Protocol, Imap);
    EXPECT_EQ(gHostTable[0].Password, "Secret1");
    EXPECT_FALSE(gHostTable[0].PasswordLost);
}

TEST_F(ConfigStore, ARefusedValueStopsTheSaveBeforeTheCountAndKeepsTheChanges)
{
    StoreHosts({SampleHost(0)});
    model.HostList = {SampleHost(0), SampleHost(1), SampleHost(2)};
    model.ConfigDirty = 1;
    platform.failRegistryWriteOf = "Host1Password";
    EXPECT_FALSE(SaveConfig(model));

    EXPECT_EQ(model.ConfigDirty, 1);
    EXPECT_EQ(platform.registryWrites.back(), "Host1Password");
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
    EXPECT_FALSE(ReadRawValue("Host2Name"));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Unable to save the configuration!");
    EXPECT_EQ(platform.boxes[0].caption, "Quillo");
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_TRUE(platform.processes.empty()) << "no monitor is started after a failed save";

    // The registry still holds a list both programs can read.
    EXPECT_EQ(SetupExit(), std::nullopt);
    EXPECT_EQ(model.HostCount(), 1);

    // The count itself refused: the old count stays.
    model.HostList = {SampleHost(3), SampleHost(4)};
    platform.failRegistryWriteOf = "HostCount";
    EXPECT_FALSE(SaveConfig(model));
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
}

struct Account {
    const char* server;
    const char* user;
    const char* password;
};

constexpr Account kAccounts[] = {
    {"pop.alpha.example", "alice", "alice's secret"},
    {"pop.beta.example", "bob", "bob's secret"},
    {"pop.gamma.example", "carol", "carol's secret"},
};

HostConfig AccountHost(const Account& account)
{
    return HostConfig{account.server, account.user, account.password, "", "", Nothing, 60};
}

// The account that a server and user name belong to; null for a record
// that pairs one account's server with another's user.
const Account* OwnerOf(const HostConfig& host)
{
    for (const Account& account : kAccounts) {
        if (host.Name == account.server && host.UserID == account.user)
            return &account;
    }
    return nullptr;
}

TEST_F(ConfigStore, WhereverASaveStopsNoHostIsCheckedWithAnotherHostsPassword)
{
    const std::vector<HostConfig> before = {AccountHost(kAccounts[0]), AccountHost(kAccounts[1]),
                                            AccountHost(kAccounts[2])};
    // Alice's mailbox deleted: every later host moves down one index.
    const std::vector<HostConfig> after = {before[1], before[2]};
    model.HostList = after;
    ASSERT_TRUE(SaveConfig(model));
    const std::vector<std::string> writes = platform.registryWrites;
    ASSERT_EQ(writes.size(), 25u);

    int mixed = 0;
    for (const bool olderVersion : {false, true}) {
        for (size_t position = 0; position < writes.size(); ++position) {
            const std::string& refused = writes[position];
            SCOPED_TRACE((olderVersion ? "scrambled passwords, save refused at " : "save refused at ") + refused);
            DeleteConfigKey();
            platform.failRegistryWriteOf.clear();
            if (olderVersion) {
                StoreHosts(before);
            } else {
                model.HostList = before;
                ASSERT_TRUE(SaveConfig(model));
            }
            model.HostList = after;
            platform.failRegistryWriteOf = refused;
            ASSERT_FALSE(SaveConfig(model));

            // A host is checked with its own password, or, when the save
            // stopped between its new password and its new user id, not at
            // all (the order of the writes is the first test's).
            ASSERT_EQ(MonitorExit(), std::nullopt);
            const Sent sent = PasswordsTheMonitorSends();
            for (int32_t i = 0; i < gHostTable.Count.load(); ++i) {
                const Account* owner = OwnerOf(gHostTable[i]);
                SCOPED_TRACE(gHostTable[i].Name + " " + gHostTable[i].UserID);
                mixed += owner == nullptr;
                const size_t first = 12 * static_cast<size_t>(i);
                if (position > first && position <= first + 3) {
                    EXPECT_EQ(sent[i], std::nullopt);
                    EXPECT_EQ(gHostTable[i].StatusText.load(), kPasswordLostText);
                } else {
                    ASSERT_NE(owner, nullptr);
                    EXPECT_EQ(sent[i], owner->password);
                }
            }
            // The setup program shows such a host without a password.
            ASSERT_EQ(SetupExit(), std::nullopt);
            for (const HostConfig& host : model.HostList) {
                if (OwnerOf(host) == nullptr) {
                    EXPECT_TRUE(host.PasswordLost);
                    EXPECT_EQ(host.Password, "");
                }
            }
            // The case as it was found: gamma's server beside bob's user name.
            if (refused == "Host1UserID") {
                ASSERT_GE(gHostTable.Count.load(), 2);
                EXPECT_EQ(gHostTable[1].Name, "pop.gamma.example");
                EXPECT_EQ(gHostTable[1].UserID, "bob");
            }
        }
    }
    EXPECT_GT(mixed, 0) << "no save stopped between a host's name and user id";
}

TEST_F(ConfigStore, ScrambledPasswordsOfOlderVersionsAreCheckedAndTheNextSaveProtectsThem)
{
    const std::vector<HostConfig> hosts = {SampleHost(0), SampleHost(1)};
    StoreHosts(hosts);
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(PasswordsTheMonitorSends(), (Sent{"Secret0", "Secret1"}));
    ASSERT_EQ(SetupExit(), std::nullopt);
    ASSERT_TRUE(SaveConfig(model));

    for (int index : {0, 1}) {
        const std::string prefix = "Host" + std::to_string(index);
        const std::optional<RawValue> old = ReadRawValue(prefix + "Password");
        const std::optional<RawValue> sealed = ReadRawValue(prefix + "PasswordProtected");
        ASSERT_TRUE(old && sealed);
        EXPECT_EQ(old->data, std::string(1, '\0'));
        EXPECT_EQ(sealed->type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(OpenedPassword(index), hosts[index].Password);
    }
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(PasswordsTheMonitorSends(), (Sent{"Secret0", "Secret1"}));
}

TEST_F(ConfigStore, APasswordThatCannotBeOpenedMustBeEnteredAgainAndNoOtherIsTried)
{
    model.HostList = {SampleHost(0), SampleHost(1)};
    ASSERT_TRUE(SaveConfig(model));
    // Host 1's password beside host 0's name, as pieced-together settings
    // would have it; data no Windows made; nothing at all. A scrambled
    // password of host 0 beside it is not taken instead.
    const std::optional<RawValue> other = ReadRawValue("Host1PasswordProtected");
    ASSERT_TRUE(other);
    const std::string foreign[] = {other->data, "not protected by anybody", ""};
    for (const std::string& blob : foreign) {
        SCOPED_TRACE(blob.size());
        WriteRawValue("Host0PasswordProtected", REG_BINARY, blob);
        WriteTextValue("Host0Password", ScramblePassword("Secret0").value());
        ASSERT_EQ(MonitorExit(), std::nullopt);
        EXPECT_EQ(PasswordsTheMonitorSends(), (Sent{std::nullopt, "Secret1"}));
        EXPECT_STREQ(gHostTable[0].StatusText.load(), "Password must be entered again!");
        ASSERT_EQ(SetupExit(), std::nullopt);
        EXPECT_EQ(model.HostList[0].Password, "");
        EXPECT_TRUE(model.HostList[0].PasswordLost);
    }

    // Saved again without a new password, it still must be entered again.
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(PasswordsTheMonitorSends(), (Sent{std::nullopt, "Secret1"}));
    ASSERT_EQ(SetupExit(), std::nullopt);
    model.HostList[0].Password = "Secret0 again";
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(MonitorExit(), std::nullopt);
    EXPECT_EQ(PasswordsTheMonitorSends(), (Sent{"Secret0 again", "Secret1"}));
}

TEST_F(ConfigStore, AKeyThatCannotBeCreatedEndsTheSetupProgram)
{
    model.HostList = {SampleHost(0)};
    platform.failKeyCreate = true;
    EXPECT_EQ(ExitCodeOf([this] { SaveConfig(model); }), 1u);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "Unable to access registry (?!) for config info!");
    EXPECT_EQ(platform.boxes[0].caption, "Quillo");
    EXPECT_EQ(platform.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_TRUE(platform.processes.empty());
}

TEST_F(ConfigStore, SaveStartsTheMonitorOnlyWhenNoneRunsAndHostsAreSaved)
{
    model.HostList = {SampleHost(0)};
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(platform.processes.size(), 1u);
    EXPECT_EQ(platform.processes[0].commandLine, "quillo");

    model.HostList.clear();
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_EQ(platform.processes.size(), 1u) << "an empty list starts nothing";
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string(4, '\0'));
    EXPECT_EQ(ValueNames(), std::vector<std::string>{"HostCount"});
}

TEST_F(ConfigStore, OnlyTheFirstMonitorStartedAfterTheFirstConfigurationAsksForTheNote)
{
    ASSERT_EQ(SetupExit(), std::nullopt);
    ASSERT_TRUE(SaveConfig(model));  // an empty list starts no monitor
    model.HostList = {SampleHost(0)};
    for (int save = 0; save < 2; ++save)  // no monitor runs here: each save starts one
        ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(platform.processes.size(), 2u);
    EXPECT_EQ(platform.processes[0].commandLine, "quillo /firststart");
    EXPECT_EQ(platform.processes[1].commandLine, "quillo");
}

// A host that signs in with OAuth, with URLs longer than any field of the
// dialog holds; signed in in the dialog when a token is given.
HostConfig OAuthHost(int number, const std::string& token)
{
    HostConfig host = SampleHost(number);
    const std::string n = std::to_string(number);
    host.Password.clear();
    host.Auth = OAuthSignIn;
    host.OAuth = {"https://login.example.com/" + std::string(100, 'a') + "/authorize" + n,
                  "https://login.example.com/" + std::string(100, 't') + "/token" + n, "client-" + n,
                  "https://mail.example.com/.default offline_access", ""};
    host.RefreshToken = token;
    host.TokenChanged = !token.empty();
    return host;
}

// Older lists have no Host%dAuth: they sign in with a password as before.
TEST_F(ConfigStore, TheSignInMethodIsOptionalAndAnOAuthHostHasNoPassword)
{
    struct Case {
        const char* what;
        std::optional<RawValue> auth;
        int32_t expected;
    };
    const Case cases[] = {
        {"absent", std::nullopt, PasswordSignIn},
        {"OAuth", RawValue{REG_DWORD, std::string("\x01\0\0\0", 4)}, OAuthSignIn},
        {"text", RawValue{REG_SZ, std::string("1\0", 2)}, kUnreadableDword},
        {"out of range", RawValue{REG_DWORD, std::string("\x07\0\0\0", 4)}, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteConfigKey();
        StoreHosts({SampleHost(0)});
        if (c.auth)
            WriteRawValue("Host0Auth", c.auth->type, c.auth->data);
        const std::string password = c.expected == OAuthSignIn ? "" : "Secret0";
        ASSERT_EQ(SetupExit(), std::nullopt);
        ASSERT_EQ(MonitorExit(), std::nullopt);
        for (const HostConfig* host :
             {static_cast<const HostConfig*>(&model.HostList[0]), static_cast<const HostConfig*>(&gHostTable[0])}) {
            EXPECT_EQ(host->Auth, c.expected);
            EXPECT_EQ(host->OAuth, OAuthProvider{});
            EXPECT_EQ(host->RefreshToken, "");
            EXPECT_FALSE(host->TokenLost);
            EXPECT_EQ(host->Password, password);
            EXPECT_FALSE(host->PasswordLost);
        }
        EXPECT_TRUE(platform.boxes.empty());
    }
}

TEST_F(ConfigStore, AnOAuthHostRoundTripsWithItsProviderAndTokenAndABackToPasswordLeavesNoneOfThem)
{
    model.HostList = {SampleHost(0), OAuthHost(1, "refresh-1")};
    model.HostList[1].OAuth.DeviceUrl = "https://login.example.com/device";
    model.HostList[1].Security = SslTls;
    model.HostList[1].Port = 993;
    model.HostList[1].Protocol = Imap;
    const std::vector<HostConfig> saved = model.HostList;
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_FALSE(model.HostList[1].TokenChanged);
    EXPECT_FALSE(ReadRawValue("Host1PasswordProtected")) << "no password is kept";
    EXPECT_EQ(ReadRawValue("Host1Password")->data, std::string(1, '\0'));
    EXPECT_EQ(ReadRawValue("Host1OAuthTokenUrl")->data, saved[1].OAuth.TokenUrl + '\0');

    // Opened with the binding built here by hand, as any version must build it.
    const HostConfig& host = saved[1];
    std::string binding = std::string("Quillo token 1\0", 15);
    for (const std::string& field : {host.Name, host.UserID, std::string("2"), std::string("993"), std::string("1"),
                                     host.OAuth.TokenUrl, host.OAuth.ClientId})
        binding += field + '\0';
    const std::optional<RawValue> sealed = ReadRawValue("Host1OAuthTokenProtected");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(sealed->data.find("refresh-1"), std::string::npos);
    std::string blob = sealed->data;
    DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
    DATA_BLOB entropy{static_cast<DWORD>(binding.size()), reinterpret_cast<BYTE*>(binding.data())};
    DATA_BLOB out{};
    ASSERT_TRUE(CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
    const UniqueLocalMemory opened(static_cast<HLOCAL>(out.pbData));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.pbData), out.cbData), "refresh-1");

    // URLs longer than the dialog's fields are no damage to offer repair for.
    ASSERT_EQ(SetupExit(), std::nullopt);
    ASSERT_EQ(MonitorExit(), std::nullopt);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(SameHost(model.HostList[i], saved[i])) << "host " << i;
        EXPECT_TRUE(SameHost(gHostTable[i], saved[i])) << "host " << i;
    }
    EXPECT_TRUE(platform.boxes.empty());

    model.HostList[1].Auth = PasswordSignIn;
    model.HostList[1].Password = "Secret1";
    ASSERT_TRUE(SaveConfig(model));
    for (const char* name : {"Host1OAuthAuthorizeUrl", "Host1OAuthTokenUrl", "Host1OAuthClientId", "Host1OAuthScope",
                             "Host1OAuthDeviceUrl", "Host1OAuthTokenProtected"})
        EXPECT_FALSE(ReadRawValue(name)) << name;
    EXPECT_EQ(OpenedPassword(1), "Secret1");
}

// A token is sent only to the provider and client, and for the mailbox, that
// it was stored for; a password and a token never open as each other.
TEST_F(ConfigStore, ATokenIsBoundToItsHostProviderAndClient)
{
    HostConfig oauth = OAuthHost(0, "refresh-0");
    HostConfig password = oauth;
    password.Auth = PasswordSignIn;
    password.Password = "refresh-0";
    const std::string passwordBlob = ProtectPassword(password).value();
    const std::string tokenBlob = ProtectToken(oauth).value();
    struct Case {
        const char* name;
        RawValue value;
        bool passwordHost;
    };
    const Case cases[] = {
        {"Host0OAuthTokenUrl", {REG_SZ, "https://other.example.com/token" + std::string(1, '\0')}, false},
        {"Host0OAuthClientId", {REG_SZ, std::string("client-9\0", 9)}, false},
        {"Host0UserID", {REG_SZ, std::string("user9\0", 6)}, false},
        {"Host0OAuthTokenProtected", {REG_BINARY, passwordBlob}, false},
        {"Host0PasswordProtected", {REG_BINARY, tokenBlob}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteConfigKey();
        model.HostList = {c.passwordHost ? password : oauth};
        ASSERT_TRUE(SaveConfig(model));
        WriteRawValue(c.name, c.value.type, c.value.data);
        ASSERT_EQ(SetupExit(), std::nullopt);
        ASSERT_EQ(MonitorExit(), std::nullopt);
        for (const HostConfig* host :
             {static_cast<const HostConfig*>(&model.HostList[0]), static_cast<const HostConfig*>(&gHostTable[0])}) {
            EXPECT_EQ(host->RefreshToken, "");
            EXPECT_EQ(host->Password, "");
            EXPECT_EQ(host->TokenLost, !c.passwordHost);
            EXPECT_EQ(host->PasswordLost, c.passwordHost);
        }
    }
}

// The monitor stores the tokens its provider rotates; the setup program
// never writes an older copy over them, whether a host stays or moves.
TEST_F(ConfigStore, ASaveWithoutASignInKeepsEveryStoredTokenAndTheMonitorsRotatedOnes)
{
    model.HostList = {OAuthHost(0, "a"), OAuthHost(1, "b"), OAuthHost(2, "c")};
    ASSERT_TRUE(SaveConfig(model));
    ASSERT_EQ(SetupExit(), std::nullopt);
    for (const auto& [index, token] : {std::pair{1, "b2"}, {2, "c2"}}) {
        HostConfig rotated = model.HostList[index];
        rotated.RefreshToken = token;
        ASSERT_TRUE(StoreRefreshToken(rotated, index));
    }
    const auto tokenBytes = [](int index) {
        return ReadRawValue("Host" + std::to_string(index) + "OAuthTokenProtected");
    };
    const std::optional<RawValue> before[] = {tokenBytes(0), tokenBytes(1), tokenBytes(2)};

    model.HostList[0].MailWave = "C:\\Sounds\\other.wav";
    platform.registryWrites.clear();
    ASSERT_TRUE(SaveConfig(model));
    for (const std::string& name : platform.registryWrites)
        EXPECT_EQ(name.find("OAuthTokenProtected"), std::string::npos) << name;
    for (int index = 0; index < 3; ++index)
        EXPECT_EQ(tokenBytes(index)->data, before[index]->data) << index;

    // The first host deleted and one added, not signed in yet: the others
    // move down with their tokens as stored, and the new one finds none.
    HostConfig stale = model.HostList[1];
    model.HostList.erase(model.HostList.begin());
    model.HostList.push_back(OAuthHost(3, ""));
    ASSERT_TRUE(SaveConfig(model));
    EXPECT_EQ(tokenBytes(0)->data, before[1]->data);
    EXPECT_EQ(tokenBytes(1)->data, before[2]->data);
    EXPECT_FALSE(tokenBytes(2));
    // The monitor's copy of the list is older now: it stores nothing for an
    // index that holds another host.
    stale.RefreshToken = "b3";
    EXPECT_FALSE(StoreRefreshToken(stale, 1));
    EXPECT_EQ(tokenBytes(1)->data, before[2]->data);

    ASSERT_EQ(MonitorExit(), std::nullopt);
    ASSERT_EQ(gHostTable.Count.load(), 3);
    EXPECT_EQ(gHostTable[0].RefreshToken, "b2");
    EXPECT_EQ(gHostTable[1].RefreshToken, "c2");
    EXPECT_EQ(gHostTable[2].RefreshToken, "");
    EXPECT_FALSE(gHostTable[2].TokenLost);
}

// The token stored now goes with the host's changed values, since it is
// still good for the mailbox; it is no good for another endpoint or client.
TEST_F(ConfigStore, ASaveBindsTheStoredTokenToChangedValuesAndDropsItForAnotherTokenEndpointOrClient)
{
    struct Case {
        const char* what;
        void (*change)(HostConfig&);
        const char* token;  // read back
    };
    const Case cases[] = {
        {"name", [](HostConfig& host) { host.Name = "other.example.org"; }, "a"},
        {"port", [](HostConfig& host) { host.Port = 1993; }, "a"},
        {"authorization address", [](HostConfig& host) { host.OAuth.AuthorizeUrl = "https://other.example.com/a"; },
         "a"},
        {"token endpoint", [](HostConfig& host) { host.OAuth.TokenUrl = "https://other.example.com/token"; }, ""},
        {"client", [](HostConfig& host) { host.OAuth.ClientId = "client-9"; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteConfigKey();
        model.HostList = {OAuthHost(0, "a")};
        ASSERT_TRUE(SaveConfig(model));
        c.change(model.HostList[0]);
        ASSERT_TRUE(SaveConfig(model));
        ASSERT_EQ(SetupExit(), std::nullopt);
        EXPECT_EQ(model.HostList[0].RefreshToken, c.token);
        EXPECT_FALSE(model.HostList[0].TokenLost);
    }
}

// The real exit, in a child process: what the user's system sees.
void ShowBoxOnStandardError(const char* text)
{
    std::fprintf(stderr, "box: %s\n", text);
}

int WINAPI BoxToStandardError(HWND, LPCSTR text, LPCSTR, UINT)
{
    ShowBoxOnStandardError(text);
    return IDOK;
}

TEST(ConfigStoreDeathTest, AMissingValueEndsTheRealProcessWithStatusOne)
{
    DeleteConfigKey();
    StoreHosts({SampleHost(0)});
    DeleteValue("Host0Delay");
    EXPECT_EXIT(
        {
            gPlatform.MessageBoxA = &BoxToStandardError;
            LoadHostTable();
        },
        ::testing::ExitedWithCode(1), "box: Missing registry key: Host0Delay");
    DeleteConfigKey();
}

}  // namespace
