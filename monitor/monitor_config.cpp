// Loading the monitor's host table from the registry, and starting the
// setup program.
#include "monitor_config.h"

#include "config_store.h"
#include "control_messages.h"
#include "debug_trace.h"
#include "monitor_state.h"
#include "platform.h"

void LoadHostTable()
{
    UniqueRegKey key = OpenConfigKey();
    if (!key) {
        LaunchSetup();
        ExitProgram(1);
    }
    const int32_t count = ReadRegDword(key.get(), kHostCountValue);
    DebugTrace("nHosts: %d", count);
    if (count <= 0) {
        key.reset();
        LaunchSetup();
        ExitProgram(1);
    }
    std::vector<HostConfig> hosts = ReadHosts(key.get(), count);
    key.reset();
    FillHostTable(gHostTable, std::move(hosts));
}

void FreeHostTable()
{
    FillHostTable(gHostTable, {});
}

void LaunchSetup()
{
    if (!StartDetached(kSetupCommandLine))
        gPlatform.MessageBoxA(nullptr, "Unable to launch Kelvo setup program!", kBoxCaption, MB_ICONERROR);
}
