// What the monitor does when a host turns to new mail, and starting a host's
// mail reader. Main thread only.
#pragma once

#include <cstdint>

void NotifyNewMail(int32_t hostIndex);
void StartMailReader(int32_t hostIndex);
