// Passwords of any bytes come back exactly from the registry in both
// programs, whatever the ANSI code page: ctest runs this program once per
// code page, set through the locale of the Wine run and named in
// QUILLO_CODE_PAGE.
#include "config_registry.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "setup_config.h"
#include "setup_platform_recorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(PasswordsOnThisCodePage, AnyBytesSaveAndLoadBackExactlyInBothPrograms)
{
    const char* named = std::getenv("QUILLO_CODE_PAGE");
    ASSERT_NE(named, nullptr) << "ctest names the code page of each run";
    ASSERT_EQ(GetACP(), std::strtoul(named, nullptr, 10)) << "the locale did not give the code page";

    SetupPlatformRecorder platform;
    std::mt19937 random(GetACP());
    std::uniform_int_distribution<int> length(1, 98);
    std::uniform_int_distribution<int> byte(1, 255);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        DeleteConfigKey();
        HostList.clear();
        for (int i = 0; i < 100; ++i) {
            HostConfig host = SampleHost(i);
            host.Password.resize(static_cast<size_t>(length(random)));
            for (char& c : host.Password)
                c = static_cast<char>(byte(random));
            HostList.push_back(host);
        }
        // A lead byte of a double-byte code page with nothing after it, and
        // the longest password.
        HostList[0].Password = "Tr0ub4dor&3\x81";
        HostList[1].Password = std::string(98, '\xfe');
        const std::vector<HostConfig> saved = HostList;
        ASSERT_TRUE(SaveConfig());

        HostList.clear();
        ASSERT_EQ(ExitCodeOf([] { LoadConfig(); }), std::nullopt);
        ASSERT_EQ(HostList.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(HostList[i].Password, saved[i].Password) << "setup program, host " << i;

        ASSERT_EQ(ExitCodeOf([] { LoadHostTable(); }), std::nullopt);
        ASSERT_EQ(gHostTable.Count.load(), static_cast<int32_t>(saved.size()));
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(gHostTable[static_cast<int32_t>(i)].Password, saved[i].Password) << "monitor, host " << i;
        FreeHostTable();
    }
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{});
    DeleteConfigKey();
}

} // namespace
