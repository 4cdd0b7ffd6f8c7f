// What the monitor does when a host turns to new mail, and starting a host's
// mail reader. Main thread only.
#pragma once

#include <cstdint>
#include <string>

void NotifyNewMail(int32_t hostIndex);
void StartMailReader(int32_t hostIndex);

// Starts a reader from its whole command line, in the folder cut from it;
// an empty command line starts nothing. A failed start is shown in a box.
void StartReaderCommand(const std::string& commandLine);
