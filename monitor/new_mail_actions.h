// What the monitor does when a host turns to new mail, and starting a host's
// mail reader. Main thread only.
#pragma once

#include <cstdint>
#include <string>

// The host's sound, then its action: a box, its reader, or a notification
// from the tray icon, whose choosing the tray window answers (BalloonHost).
void NotifyNewMail(int32_t hostIndex);
void StartMailReader(int32_t hostIndex);

// Starts the program that the reader's command line names, with the rest of
// the line as its arguments, in the program's folder; an empty command line
// starts nothing. A failed start is shown in a box.
void StartReaderCommand(const std::string& commandLine);
