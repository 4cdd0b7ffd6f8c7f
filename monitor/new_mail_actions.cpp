// Telling the user of new mail and starting the mail reader. Both run on the
// main thread; a message box here keeps dispatching the monitor's messages,
// so a reload may replace the host table before the box returns.
#include "new_mail_actions.h"

#include "monitor_platform.h"
#include "monitor_state.h"
#include "new_mail_text.h"
#include "platform.h"
#include "reader_command.h"
#include "tray_balloon.h"
#include "win_handles.h"

#include <windows.h>

#include <vector>

namespace {

static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "on x86 the reader gets a start-up record of 68 bytes");

// A UM_NEWMAIL or menu command for an index outside the table (a stray
// message from another program) is ignored rather than followed.
HostEntry* HostAt(int32_t hostIndex)
{
    if (hostIndex < 0 || hostIndex >= gHostTable.Count.load())
        return nullptr;
    return &gHostTable[hostIndex];
}

void PlayNewMailSound(const HostEntry& host)
{
    // Without SND_NODEFAULT a file that cannot be played gives the default
    // sound, so a bad file still makes itself heard.
    if (!host.MailWave.empty())
        gMonitorPlatform.sndPlaySoundA(host.MailWave.c_str(), SND_ASYNC);
    else
        gMonitorPlatform.MessageBeep(0xFFFFFFFF);
}

}  // namespace

void StartReaderCommand(const std::string& commandLine)
{
    if (commandLine.empty())
        return;
    const ReaderCommand reader = ReadReaderCommand(commandLine, &NamesExistingFile);
    // CreateProcessA may write into its command line.
    std::vector<char> line(reader.CommandLine.begin(), reader.CommandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // A program named with its folder starts exactly as named: no search and
    // no ".exe" added, which could find another file. A bare name is searched
    // for, beside the monitor first; quoted, it too cannot grow into a
    // longer name.
    const char* application = reader.Folder ? reader.Program.c_str() : nullptr;
    if (reader.Program.empty() ||
        !gPlatform.CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                                  reader.Folder ? reader.Folder->c_str() : nullptr, &startup, &started)) {
        gPlatform.MessageBoxA(nullptr, "Unable to start mailreader.", kBoxCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // The monitor never follows its reader.
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
}

void StartMailReader(int32_t hostIndex)
{
    const HostEntry* host = HostAt(hostIndex);
    if (host == nullptr)
        return;
    StartReaderCommand(host->MailReader);
}

void NotifyNewMail(int32_t hostIndex)
{
    const HostEntry* host = HostAt(hostIndex);
    if (host == nullptr)
        return;
    PlayNewMailSound(*host);
    const bool withReader = !host->MailReader.empty();
    switch (host->Action) {
    case PopUpMessageBox: {
        // Copied before the box: a reload while it is open frees the entry,
        // and the answer must act on the host that the question named.
        const std::string reader = host->MailReader;
        const std::string text = NewMailText(host->Label, withReader);
        host = nullptr;
        const UINT flags = withReader ? (MB_YESNO | MB_ICONQUESTION) : (MB_OK | MB_ICONINFORMATION);
        if (gPlatform.MessageBoxA(nullptr, text.c_str(), kBoxCaption, flags) == IDYES)
            StartReaderCommand(reader);
        break;
    }
    case LaunchMailReader:
        StartReaderCommand(host->MailReader);
        break;
    case ShowNotification:
        ShowNewMailBalloon(hostIndex, NotificationText(host->Label, host->NewMessages.load()));
        break;
    default:
        break;
    }
}
