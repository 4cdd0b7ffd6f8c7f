// The new-mail actions as the user meets them: the sound, the box with its
// text and buttons, and the reader started with its command line and folder.
// Platform calls are recorded; two tests start the real stand-in reader.
#include "new_mail_actions.h"

#include "monitor_config.h"
#include "monitor_platform_recorder.h"
#include "monitor_state.h"
#include "standin_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

HostConfig Host(const std::string& name, const std::string& reader, const std::string& wave, int32_t action)
{
    return HostConfig{name, "user", "secret", reader, wave, action, 60};
}

std::string TestFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

std::string CurrentFolder()
{
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

class NewMailActions : public testing::Test {
protected:
    void TearDown() override { FreeHostTable(); }

    // Exactly one recorded start, with everything but the program, command
    // line and folder fixed. A program named with its folder is given as the
    // application too; a bare name is left to the system's search.
    void ExpectOneStart(const std::string& program, const std::string& commandLine,
                        const std::optional<std::string>& folder)
    {
        ASSERT_EQ(platform.processes.size(), 1u);
        const RecordedProcess& start = platform.processes[0];
        EXPECT_EQ(start.commandLine, commandLine);
        EXPECT_EQ(start.currentDirectory, folder);
        EXPECT_EQ(start.hadApplicationName, folder.has_value());
        EXPECT_EQ(start.applicationName, folder ? program : "");
        EXPECT_EQ(start.inheritHandles, FALSE);
        EXPECT_EQ(start.creationFlags, static_cast<DWORD>(DETACHED_PROCESS));
        EXPECT_EQ(start.startupSize, kStartupRecordSize);
    }

    MonitorPlatformRecorder platform;
};

TEST_F(NewMailActions, NothingMakesOnlyTheSoundOrTheStandardBeep)
{
    FillHostTable(gHostTable, {Host("pop.a", "C:\\Mail\\reader.exe", "C:\\Sounds\\ding.wav", Nothing),
                               Host("pop.b", "C:\\Mail\\reader.exe", "", Nothing),
                               Host("pop.c", "C:\\Mail\\reader.exe", "C:\\Sounds\\odd.wav", 7)});
    NotifyNewMail(0);
    EXPECT_EQ(platform.sounds, (std::vector<std::pair<std::string, UINT>>{{"C:\\Sounds\\ding.wav", 1}}));
    EXPECT_TRUE(platform.beeps.empty());
    NotifyNewMail(1);
    EXPECT_EQ(platform.beeps, std::vector<UINT>{0xFFFFFFFF});
    // An action outside the known ones acts like Nothing.
    NotifyNewMail(2);
    EXPECT_EQ(platform.sounds.size(), 2u);
    EXPECT_EQ(platform.sounds[1].first, "C:\\Sounds\\odd.wav");
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.processes.empty());
}

TEST_F(NewMailActions, ThePopUpAsksWithAReaderAndYesStartsIt)
{
    FillHostTable(gHostTable,
                  {Host("pop.example.net", "C:\\Mail\\reader.exe /inbox", "C:\\Sounds\\ding.wav", PopUpMessageBox)});
    platform.boxAnswer = IDYES;
    NotifyNewMail(0);
    ASSERT_EQ(platform.sounds.size(), 1u);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].owner, nullptr);
    EXPECT_EQ(platform.boxes[0].text, "You have new mail waiting on pop.example.net!  Read it now?");
    EXPECT_EQ(platform.boxes[0].caption, "Quillo");
    EXPECT_EQ(platform.boxes[0].flags, 0x24u);
    ExpectOneStart("C:\\Mail\\reader.exe", "\"C:\\Mail\\reader.exe\" /inbox", "C:\\Mail");
}

TEST_F(NewMailActions, NoToThePopUpStartsNothing)
{
    FillHostTable(gHostTable, {Host("pop.example.net", "C:\\Mail\\reader.exe", "", PopUpMessageBox)});
    platform.boxAnswer = IDNO;
    NotifyNewMail(0);
    EXPECT_EQ(platform.beeps.size(), 1u);
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_TRUE(platform.processes.empty());
}

TEST_F(NewMailActions, WithoutAReaderThePopUpOnlyInforms)
{
    FillHostTable(gHostTable, {Host("pop.example.net", "", "C:\\Sounds\\ding.wav", PopUpMessageBox)});
    platform.boxAnswer = IDOK;
    NotifyNewMail(0);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text, "You have new mail waiting on pop.example.net!");
    EXPECT_EQ(platform.boxes[0].caption, "Quillo");
    EXPECT_EQ(platform.boxes[0].flags, 0x40u);
    EXPECT_TRUE(platform.processes.empty());

    // Beside another mailbox on the same server, the text says whose it is.
    FillHostTable(gHostTable,
                  {Host("pop.example.net", "", "", PopUpMessageBox), Host("POP.example.net", "", "", PopUpMessageBox)});
    NotifyNewMail(0);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].text, "You have new mail waiting on user@pop.example.net!");
}

TEST_F(NewMailActions, LaunchStartsTheReaderWithoutAskingAndWithoutAReaderOnlySounds)
{
    FillHostTable(gHostTable, {Host("pop.a", "C:\\Mail\\reader.exe", "", LaunchMailReader),
                               Host("pop.b", "", "C:\\Sounds\\ding.wav", LaunchMailReader)});
    NotifyNewMail(0);
    EXPECT_TRUE(platform.boxes.empty());
    ExpectOneStart("C:\\Mail\\reader.exe", "\"C:\\Mail\\reader.exe\"", "C:\\Mail");
    NotifyNewMail(1);
    EXPECT_EQ(platform.sounds.size(), 1u);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(platform.processes.size(), 1u);
}

TEST_F(NewMailActions, TheReaderStartsInItsProgramsFolderWithItsProgramQuoted)
{
    struct Case {
        std::string configured;
        std::string program;
        std::string started;
        std::optional<std::string> folder;
    };
    const std::vector<Case> cases{
        {"C:\\Mail\\reader.exe", "C:\\Mail\\reader.exe", "\"C:\\Mail\\reader.exe\"", "C:\\Mail"},
        {"reader.exe", "reader.exe", "\"reader.exe\"", std::nullopt},
        {"\\reader.exe", "\\reader.exe", "\"\\reader.exe\"", std::nullopt},
        {"reader.exe C:\\Boxes\\in.mbx", "reader.exe", "\"reader.exe\" C:\\Boxes\\in.mbx", std::nullopt},
        {"\"C:\\Mail Reader\\reader.exe\" -n", "C:\\Mail Reader\\reader.exe", "\"C:\\Mail Reader\\reader.exe\" -n",
         "C:\\Mail Reader"},
    };
    for (const Case& start : cases) {
        SCOPED_TRACE(start.configured);
        platform.processes.clear();
        FillHostTable(gHostTable, {Host("pop.a", start.configured, "", Nothing)});
        StartMailReader(0);
        ExpectOneStart(start.program, start.started, start.folder);
    }
}

TEST_F(NewMailActions, AFailedStartIsShownAndBothHandlesOfAStartAreClosed)
{
    FillHostTable(gHostTable, {Host("pop.a", "C:\\Mail\\reader.exe", "", LaunchMailReader)});
    platform.processStartSucceeds = false;
    NotifyNewMail(0);
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].owner, nullptr);
    EXPECT_EQ(platform.boxes[0].text, "Unable to start mailreader.");
    EXPECT_EQ(platform.boxes[0].caption, "Quillo");
    EXPECT_EQ(platform.boxes[0].flags, 0x30u);

    // A line that names no program is not handed to the system at all.
    FillHostTable(gHostTable, {Host("pop.a", "\"\" -n", "", LaunchMailReader)});
    StartMailReader(0);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>(2, "Unable to start mailreader."));
    EXPECT_EQ(platform.processes.size(), 1u);

    platform.processStartSucceeds = true;
    FillHostTable(gHostTable, {Host("pop.a", "C:\\Mail\\reader.exe", "", LaunchMailReader)});
    StartMailReader(0);
    ASSERT_EQ(platform.startedHandles.size(), 2u);
    DWORD info = 0;
    for (HANDLE handle : platform.startedHandles)
        EXPECT_FALSE(GetHandleInformation(handle, &info)) << "handle left open";
    EXPECT_EQ(platform.boxes.size(), 2u);
}

TEST_F(NewMailActions, TheMenuStartsAHostsReaderOnlyWhenItHasOne)
{
    FillHostTable(gHostTable, {Host("pop.a", "", "C:\\Sounds\\ding.wav", PopUpMessageBox),
                               Host("pop.b", "D:\\Readers\\b.exe", "", Nothing)});
    StartMailReader(0);
    EXPECT_TRUE(platform.processes.empty());
    StartMailReader(1);
    ExpectOneStart("D:\\Readers\\b.exe", "\"D:\\Readers\\b.exe\"", "D:\\Readers");
    // A reader start makes no sound and asks nothing.
    EXPECT_TRUE(platform.sounds.empty());
    EXPECT_TRUE(platform.beeps.empty());
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(NewMailActions, AnIndexOutsideTheTableIsIgnored)
{
    FillHostTable(gHostTable, {Host("pop.a", "C:\\Mail\\reader.exe", "", LaunchMailReader)});
    NotifyNewMail(1);
    NotifyNewMail(-1);
    StartMailReader(5);
    EXPECT_TRUE(platform.beeps.empty());
    EXPECT_TRUE(platform.processes.empty());
}

TEST_F(NewMailActions, YesAfterAReloadStartsTheReaderTheQuestionNamed)
{
    FillHostTable(gHostTable, {Host("pop.old", "C:\\Old\\reader.exe", "", PopUpMessageBox)});
    platform.boxAnswer = IDYES;
    platform.whileBoxOpen = [](const RecordedBox&) {
        // A save in the setup program is taken up while the box is open.
        FillHostTable(gHostTable, {Host("pop.new", "C:\\New\\other.exe", "", Nothing)});
    };
    NotifyNewMail(0);
    ExpectOneStart("C:\\Old\\reader.exe", "\"C:\\Old\\reader.exe\"", "C:\\Old");

    platform.processes.clear();
    FillHostTable(gHostTable, {Host("pop.old", "C:\\Old\\reader.exe", "", PopUpMessageBox)});
    platform.whileBoxOpen = [](const RecordedBox&) { FreeHostTable(); };
    NotifyNewMail(0);
    ExpectOneStart("C:\\Old\\reader.exe", "\"C:\\Old\\reader.exe\"", "C:\\Old");
}

// A folder whose name holds a blank, and beside it a Mail.exe and a Mail
// planted where the unquoted path "...\Mail Reader\reader.exe" could be read
// as naming "...\Mail". All are copies of the reader stand-in, which logs its
// own file name, so the log tells which of them ran.
struct PlantedFolders {
    PlantedFolders()
    {
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        root = temp + std::string("quillo-ev-") + std::to_string(GetCurrentProcessId());
        readerFolder = root + "\\Mail Reader";
        CreateDirectoryA(root.c_str(), nullptr);
        CreateDirectoryA(readerFolder.c_str(), nullptr);
        const std::string standin = TestFolder() + "\\reader.exe";
        placed = CopyFileA(standin.c_str(), (readerFolder + "\\reader.exe").c_str(), FALSE) &&
                 CopyFileA(standin.c_str(), (root + "\\Mail.exe").c_str(), FALSE) &&
                 CopyFileA(standin.c_str(), (root + "\\Mail").c_str(), FALSE);
    }
    ~PlantedFolders()
    {
        DeleteFileA((readerFolder + "\\reader.exe").c_str());
        DeleteFileA((root + "\\Mail.exe").c_str());
        DeleteFileA((root + "\\Mail").c_str());
        RemoveDirectoryA(readerFolder.c_str());
        RemoveDirectoryA(root.c_str());
    }

    std::string root;
    std::string readerFolder;
    bool placed = false;
};

TEST_F(NewMailActions, TheRealReaderIsTheProgramTheLineNamesInItsFolderAndNeverAPlantedOne)
{
    StandinLog log;
    const PlantedFolders planted;
    ASSERT_TRUE(planted.placed);
    platform.UseReal(&PlatformCalls::CreateProcessA);
    const std::string folder = TestFolder();
    const std::string reader = planted.readerFolder + "\\reader.exe";
    struct Case {
        std::string configured;
        std::string received;
        std::string folder;
    };
    const std::vector<Case> cases{
        {folder + "\\reader.exe /inbox", '"' + folder + "\\reader.exe\" /inbox", folder},
        // A bare name is found beside the monitor and inherits its folder.
        {"reader.exe -n", "\"reader.exe\" -n", CurrentFolder()},
        {'"' + reader + "\" /inbox C:\\box\\in.mbx", '"' + reader + "\" /inbox C:\\box\\in.mbx", planted.readerFolder},
        // Typed without quotation marks: the longest part that names a
        // program is the reader, never "...\Mail" or "...\Mail.exe".
        {reader, '"' + reader + '"', planted.readerFolder},
        {reader + " -n", '"' + reader + "\" -n", planted.readerFolder},
    };
    for (const Case& start : cases) {
        FillHostTable(gHostTable, {Host("pop.a", start.configured, "", Nothing)});
        StartMailReader(0);
    }
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{});

    const std::vector<StandinStart> starts = log.WaitForStarts(cases.size());
    ASSERT_EQ(starts.size(), cases.size());
    // They run at once; each is known by its command line.
    for (const Case& expected : cases) {
        SCOPED_TRACE(expected.configured);
        const auto started = std::find_if(starts.begin(), starts.end(), [&](const StandinStart& start) {
            return start.commandLine == expected.received;
        });
        ASSERT_NE(started, starts.end());
        EXPECT_EQ(lstrcmpiA(started->program.c_str(), "reader.exe"), 0) << started->program;
        EXPECT_EQ(lstrcmpiA(started->currentDirectory.c_str(), expected.folder.c_str()), 0)
            << started->currentDirectory;
    }
    EXPECT_NE(lstrcmpiA(folder.c_str(), CurrentFolder().c_str()), 0) << "the test cannot tell the folders apart";
}

TEST_F(NewMailActions, AReaderThatDoesNotExistGivesTheBox)
{
    platform.UseReal(&PlatformCalls::CreateProcessA);
    FillHostTable(gHostTable, {Host("pop.a", TestFolder() + "\\no-such-reader.exe", "", Nothing)});
    StartMailReader(0);
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{"Unable to start mailreader."});
}

}  // namespace
