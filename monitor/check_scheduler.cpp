// Placeholder until the scheduler lands: the reload handshake only.
#include "check_scheduler.h"

#include "config_store.h"

std::atomic<bool> ReloadRequested{false};
std::atomic<bool> ReloadDone{false};
HANDLE ReloadEvent = nullptr;

void __cdecl CheckThread(void*) {}

void RequestReload()
{
    ReloadRequested = true;
}

void ReloadHostTable()
{
    FreeHostTable();
    LoadHostTable();
    ReloadDone = true;
    SetEvent(ReloadEvent);
}
