// The whole monitor at work under Wine: quillo.exe checks scripted POP3
// servers on 127.0.0.N:110, tells of new mail with its boxes or by starting
// a stand-in mail reader, and takes up a save of the setup program, all
// driven and watched from outside as the user and the setup program would.
#include "win/config_registry.h"

#include "pop3_script_server.h"
#include "program_driver.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr UINT kNewConfigMessage = WM_USER + 15;  // what the setup program posts after a save
constexpr int32_t kNothing = 0;
constexpr int32_t kPopUpMessageBox = 1;
constexpr int32_t kLaunchMailReader = 2;
constexpr int32_t kOnceAnHour = 3600;  // checked once after a load, then not again while a test runs

const std::string kMailInBox = "+OK 2 4711\r\n";
const std::string kEmptyBox = "+OK 0 0\r\n";

// Runs in the folder beside its setup stand-in, which is not the folder of
// the reader stand-in, so a reader that starts in its own folder shows that
// it was given one.
class Monitor : public ProgramProcess {
public:
    Monitor() : ProgramProcess(SystemBin() + "quillo.exe", "", SystemBin()) {}
    static std::string SystemBin() { return TestProgramFolder() + "..\\system-bin\\"; }
};

// The folder of the reader stand-in, without its trailing backslash.
std::string ReaderFolder()
{
    std::string folder = TestProgramFolder();
    folder.pop_back();
    return folder;
}

std::string ReaderCommand(const std::string& arguments)
{
    return ReaderFolder() + "\\reader.exe " + arguments;
}

// The same line as the reader receives it: its program in quotation marks.
std::string ReaderReceives(const std::string& arguments)
{
    return '"' + ReaderFolder() + "\\reader.exe\" " + arguments;
}

HostConfig Host(const char* address, int32_t action, const std::string& reader, int32_t delay)
{
    return HostConfig{address, "anna", "Geheim42", reader, "", action, delay};
}

// A server for each of `count` checks that finds the mailbox as given.
std::unique_ptr<Pop3ScriptServer> Serve(const char* address, const std::vector<std::string>& statReplies)
{
    std::vector<Script> scripts;
    for (const std::string& reply : statReplies)
        scripts.push_back(ScriptedPop3Session(reply));
    auto server = std::make_unique<Pop3ScriptServer>(std::move(scripts), address, 110);
    EXPECT_TRUE(server->listening()) << address;
    return server;
}

std::vector<std::string> Repeated(const std::string& reply, size_t count)
{
    return std::vector<std::string>(count, reply);
}

bool HasButton(HWND box, int id)
{
    const HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

class MonitorJourney : public ::testing::Test {
protected:
    void SetUp() override { DeleteConfigKey(); }
    void TearDown() override { DeleteConfigKey(); }

    // The program's message boxes once `count` of them show their texts,
    // with those texts.
    static std::vector<std::pair<HWND, std::string>> WaitForBoxes(const Monitor& monitor, size_t count,
                                                                  DWORD timeoutMs = 10000)
    {
        std::vector<std::pair<HWND, std::string>> boxes;
        WaitUntil(
            [&] {
                boxes.clear();
                for (HWND box : monitor.WindowsOf("#32770")) {
                    const std::string text = BoxText(box);
                    if (!text.empty())
                        boxes.emplace_back(box, text);
                }
                return boxes.size() >= count;
            },
            timeoutMs);
        return boxes;
    }

    StandinLog standins;
};

TEST_F(MonitorJourney, LaunchMailReaderStartsTheConfiguredCommandLineInTheReadersFolder)
{
    const std::string reader = ReaderCommand("-inbox anna");
    StoreHosts({Host("127.0.0.40", kLaunchMailReader, reader, kOnceAnHour)});
    auto server = Serve("127.0.0.40", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    const std::vector<StandinStart> starts = standins.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(lstrcmpiA(starts[0].program.c_str(), "reader.exe"), 0) << starts[0].program;
    EXPECT_EQ(starts[0].commandLine, ReaderReceives("-inbox anna"));
    EXPECT_EQ(lstrcmpiA(starts[0].currentDirectory.c_str(), ReaderFolder().c_str()), 0) << starts[0].currentDirectory;
    // The check that found the mail was a whole dialogue, ended by the client.
    const ConnectionRecord check = server->WaitForEnd(0);
    EXPECT_EQ(check.received, "CAPA\r\nUSER anna\r\nPASS Geheim42\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(check.clientClosed);
    // Started without a question.
    EXPECT_TRUE(monitor.WindowsOf("#32770").empty());
    EXPECT_TRUE(monitor.Running());
}

TEST_F(MonitorJourney, TwoHostsTurningToNewMailInOnePassAskAtOnceAndOnlyYesStartsTheReader)
{
    const std::string firstReader = ReaderCommand("first");
    const std::string secondReader = ReaderCommand("second");
    StoreHosts({Host("127.0.0.41", kPopUpMessageBox, firstReader, kOnceAnHour),
                Host("127.0.0.42", kPopUpMessageBox, secondReader, kOnceAnHour)});
    auto first = Serve("127.0.0.41", {kMailInBox});
    auto second = Serve("127.0.0.42", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    const std::vector<std::pair<HWND, std::string>> boxes = WaitForBoxes(monitor, 2);
    ASSERT_EQ(boxes.size(), 2u);
    HWND firstBox = nullptr;
    HWND secondBox = nullptr;
    for (const auto& [box, text] : boxes) {
        EXPECT_EQ(TextOf(box), "Quillo");
        EXPECT_TRUE(HasButton(box, IDYES));
        EXPECT_TRUE(HasButton(box, IDNO));
        EXPECT_FALSE(HasButton(box, IDOK));
        if (text == "You have new mail waiting on 127.0.0.41!  Read it now?")
            firstBox = box;
        else if (text == "You have new mail waiting on 127.0.0.42!  Read it now?")
            secondBox = box;
        else
            ADD_FAILURE() << "unexpected box text: " << text;
    }
    ASSERT_NE(firstBox, nullptr);
    ASSERT_NE(secondBox, nullptr);
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());

    ClickButton(secondBox, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(secondBox); }, 5000));
    EXPECT_TRUE(standins.WaitForStarts(1, 1500).empty());
    EXPECT_TRUE(IsWindow(firstBox));

    ClickButton(firstBox, IDYES);
    std::vector<StandinStart> starts = standins.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].commandLine, ReaderReceives("first"));
    starts = standins.WaitForStarts(2, 1500);
    EXPECT_EQ(starts.size(), 1u);
    EXPECT_TRUE(monitor.WindowsOf("#32770").empty());
}

TEST_F(MonitorJourney, WithoutAReaderTheBoxOnlyTellsAndStartsNothing)
{
    StoreHosts({Host("127.0.0.43", kPopUpMessageBox, "", kOnceAnHour)});
    auto server = Serve("127.0.0.43", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    const HWND box = monitor.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), "Quillo");
    EXPECT_EQ(BoxText(box), "You have new mail waiting on 127.0.0.43!");
    EXPECT_TRUE(HasButton(box, IDOK));
    EXPECT_FALSE(HasButton(box, IDYES));
    EXPECT_FALSE(HasButton(box, IDNO));
    ClickButton(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(standins.WaitForStarts(1, 1000).empty());
    EXPECT_TRUE(monitor.Running());
}

TEST_F(MonitorJourney, AReaderThatDoesNotExistIsReportedAndTheMonitorCarriesOn)
{
    StoreHosts({Host("127.0.0.44", kLaunchMailReader, "Z:\\no\\such\\folder\\reader.exe -x", kOnceAnHour)});
    auto server = Serve("127.0.0.44", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    const HWND box = monitor.WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), "Quillo");
    EXPECT_EQ(BoxText(box), "Unable to start mailreader.");
    EXPECT_TRUE(HasButton(box, IDOK));
    ClickButton(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5000));
    EXPECT_TRUE(monitor.Running());
    EXPECT_NE(monitor.FindWindowOf("ZT-Quillo", "ZT-Quillo"), nullptr);
    EXPECT_TRUE(standins.WaitForStarts(0, 0).empty());
}

TEST_F(MonitorJourney, AFullMailboxIsAnnouncedOnceAndAgainOnlyAfterItWasEmpty)
{
    // Checked at every tick; each announcement starts the reader once.
    StoreHosts({Host("127.0.0.45", kLaunchMailReader, ReaderCommand("-announced"), 1)});
    auto server = Serve("127.0.0.45", {kMailInBox, kMailInBox, kMailInBox, kEmptyBox, kMailInBox, kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    // Three checks that find the same full mailbox.
    ASSERT_TRUE(server->WaitForEnd(2, 15000).ended);
    EXPECT_EQ(server->WaitForEnd(2).received, "CAPA\r\nUSER anna\r\nPASS Geheim42\r\nSTAT\r\nQUIT\r\n");
    EXPECT_EQ(standins.WaitForStarts(2, 1000).size(), 1u);

    // Emptied, then full again for two checks.
    ASSERT_TRUE(server->WaitForEnd(5, 15000).ended);
    const std::vector<StandinStart> starts = standins.WaitForStarts(3, 1500);
    EXPECT_EQ(starts.size(), 2u);
    for (const StandinStart& start : starts)
        EXPECT_EQ(start.commandLine, ReaderReceives("-announced"));
}

TEST_F(MonitorJourney, AServerThatNeverAnswersHoldsTheOtherHostsOnlyUpToTheBound)
{
    StoreHosts({Host("127.0.0.46", kNothing, "", kOnceAnHour),
                Host("127.0.0.47", kLaunchMailReader, ReaderCommand("-late"), kOnceAnHour)});
    // Accepts and then says nothing at all.
    Pop3ScriptServer silent({Script{}}, "127.0.0.46", 110);
    ASSERT_TRUE(silent.listening());
    auto answering = Serve("127.0.0.47", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    ASSERT_TRUE(WaitUntil([&] { return silent.connections() == 1; }, 10000));
    const DWORD held = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return answering->connections() == 1; }, 40000));
    const DWORD waited = GetTickCount() - held;
    EXPECT_GE(waited, 28000u);
    EXPECT_LE(waited, 34000u);
    // The monitor gave up on the silent server itself.
    const ConnectionRecord silentCheck = silent.WaitForEnd(0, 1000);
    EXPECT_TRUE(silentCheck.clientClosed);
    EXPECT_EQ(silentCheck.received, "");

    const std::vector<StandinStart> starts = standins.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].commandLine, ReaderReceives("-late"));
}

TEST_F(MonitorJourney, ASaveIsTakenUpAtTheNextTickWithNewHostsCheckedAndRemovedOnesForgotten)
{
    // Both checked at every tick until the save.
    StoreHosts({Host("127.0.0.48", kNothing, "", 1), Host("127.0.0.49", kNothing, "", 1)});
    auto kept = Serve("127.0.0.48", Repeated(kEmptyBox, 60));
    auto removed = Serve("127.0.0.49", Repeated(kEmptyBox, 60));
    auto added = Serve("127.0.0.50", {kMailInBox});
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return removed->connections() >= 2; }, 10000));

    // The setup program's save: the registry first, then the message.
    StoreHosts({Host("127.0.0.48", kNothing, "", 1),
                Host("127.0.0.50", kLaunchMailReader, ReaderCommand("-added"), kOnceAnHour)});
    const DWORD posted = GetTickCount();
    ASSERT_TRUE(PostMessageA(window, kNewConfigMessage, 0, 0));

    ASSERT_TRUE(WaitUntil([&] { return added->connections() == 1; }, 10000));
    // The next tick: at most the pass that was running (two checks), one
    // sleep and the check of the kept host before it.
    EXPECT_LE(GetTickCount() - posted, 8000u);
    const std::vector<StandinStart> starts = standins.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].commandLine, ReaderReceives("-added"));

    // The kept host goes on being checked at every tick, the removed one never again.
    const size_t removedChecks = removed->connections();
    const size_t keptChecks = kept->connections();
    EXPECT_TRUE(WaitUntil([&] { return kept->connections() >= keptChecks + 3; }, 15000));
    EXPECT_EQ(removed->connections(), removedChecks);
    EXPECT_EQ(added->connections(), 1u);
    EXPECT_TRUE(monitor.Running());
}

TEST_F(MonitorJourney, AReloadThatFindsNoHostsStartsTheSetupProgramAndEndsWithStatus1)
{
    // Never checked: nobody serves it, and its first check is weeks away.
    StoreHosts({Host("127.0.0.51", kNothing, "", 2147483)});
    const int iconsBefore = TrayIcons();
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForTrayIcons(iconsBefore + 1)) << kNoTrayWindow;

    WriteDwordValue("HostCount", 0);
    ASSERT_TRUE(PostMessageA(window, kNewConfigMessage, 0, 0));
    EXPECT_EQ(monitor.ExitStatus(10000), std::optional<DWORD>(1));
    // Gone from the notification area before the process ended.
    EXPECT_EQ(TrayIcons(), iconsBefore);
    const std::vector<StandinStart> starts = standins.WaitForStarts(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(lstrcmpiA(starts[0].program.c_str(), "kelvo.exe"), 0) << starts[0].program;
    EXPECT_EQ(starts[0].commandLine, "Kelvo");
}

// The moments at which the server's connections arrived, as far as
// `count`, polled every 20 ms; fewer when they did not come within timeoutMs.
std::vector<DWORD> ConnectionTimes(Pop3ScriptServer& server, size_t count, DWORD timeoutMs)
{
    std::vector<DWORD> times;
    const DWORD start = GetTickCount();
    while (times.size() < count && GetTickCount() - start < timeoutMs) {
        while (times.size() < std::min(count, server.connections()))
            times.push_back(GetTickCount());
        Sleep(20);
    }
    return times;
}

TEST_F(MonitorJourney, ARefusedLoginIsTriedAgainAfterTwiceTheWaitEachTimeAndASaveEndsTheWaiting)
{
    // Checked at every tick while logins succeed.
    StoreHosts({Host("127.0.0.52", kNothing, "", 1)});
    const Script refused{Say("+OK ready\r\n"),
                         Await(),
                         Say("-ERR\r\n"),
                         Await(),
                         Say("+OK\r\n"),
                         Await(),
                         Say("-ERR [AUTH] Authentication failed.\r\n")};
    Pop3ScriptServer server({refused, refused, refused, refused}, "127.0.0.52", 110);
    ASSERT_TRUE(server.listening());
    Monitor monitor;
    ASSERT_TRUE(monitor.started());
    const HWND window = monitor.WaitForWindow("ZT-Quillo", "ZT-Quillo");
    ASSERT_NE(window, nullptr);

    // The delay (1 s), then twice it, then four times it.
    const std::vector<DWORD> times = ConnectionTimes(server, 3, 20000);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], 1800u);
    EXPECT_LE(times[1] - times[0], 3500u);
    EXPECT_GE(times[2] - times[1], 3700u);
    EXPECT_EQ(server.WaitForEnd(2).received, "CAPA\r\nUSER anna\r\nPASS Geheim42\r\n");

    // A save: the next check comes at the next tick, not eight seconds on.
    const DWORD posted = GetTickCount();
    ASSERT_TRUE(PostMessageA(window, kNewConfigMessage, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return server.connections() == 4; }, 6000));
    EXPECT_LE(GetTickCount() - posted, 3000u);
    EXPECT_TRUE(monitor.Running());
}

TEST_F(MonitorJourney, AServerThatAsksForALoginDelayIsCheckedNoSoonerAndAnUnchangedMailboxIsAnnouncedOnce)
{
    StoreHosts({Host("127.0.0.53", kLaunchMailReader, ReaderCommand("-delayed"), 1)});
    const std::string capabilities = "+OK\r\nUSER\r\nLOGIN-DELAY 3\r\n.\r\n";
    const Script full{Say("+OK ready\r\n"), Await(), Say(capabilities), Await(), Say("+OK\r\n"), Await(),
                      Say("+OK\r\n"),       Await(), Say(kMailInBox)};
    const Script tooSoon{Say("+OK ready\r\n"),
                         Await(),
                         Say(capabilities),
                         Await(),
                         Say("+OK\r\n"),
                         Await(),
                         Say("-ERR [LOGIN-DELAY] Logins must be at least 3 seconds apart\r\n")};
    Pop3ScriptServer server({full, tooSoon, full}, "127.0.0.53", 110);
    ASSERT_TRUE(server.listening());
    Monitor monitor;
    ASSERT_TRUE(monitor.started());

    const std::vector<DWORD> times = ConnectionTimes(server, 3, 20000);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], 2900u);
    EXPECT_GE(times[2] - times[1], 2900u);
    ASSERT_TRUE(server.WaitForEnd(2).ended);
    // The refusal in between kept the host's new mail: one announcement.
    const std::vector<StandinStart> starts = standins.WaitForStarts(2, 1500);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].commandLine, ReaderReceives("-delayed"));
}

}  // namespace
