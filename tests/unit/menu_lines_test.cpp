// The host lines of the tray menu.
#include "menu_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Line(const std::string& name, const char* status)
{
    char line[kMenuLineSize];
    FormatMenuLine(line, name.c_str(), status);
    return line;
}

TEST(MenuLine, ShowsNameAndStatusOrSaysTheStateIsUnknown)
{
    EXPECT_EQ(Line("pop.example.org", "No new mail."), "pop.example.org: No new mail.");
    EXPECT_EQ(Line("pop.example.org", nullptr), "pop.example.org: (state unknown!)");
    EXPECT_EQ(Line("", "No new mail."), ": No new mail.");
}

TEST(MenuLine, ALongHostNameIsCutSoThatTheWholeStatusFitsIn99Characters)
{
    const char* status = "Server rejected USER info - invalid USER name?";  // the longest status, 46
    const std::string fits(99 - 2 - 46, 'n');
    EXPECT_EQ(Line(fits, status), fits + ": " + status);

    const std::string longest(98, 'h');
    const std::string line = Line(longest, status);
    EXPECT_EQ(line.size(), 99u);
    EXPECT_EQ(line, std::string(99 - 46 - 2 - 3, 'h') + "...: " + status);

    const std::string oneTooMany(fits.size() + 1, 'n');
    EXPECT_EQ(Line(oneTooMany, status), std::string(fits.size() - 3, 'n') + "...: " + status);

    const std::string unknown = Line(longest, nullptr);
    EXPECT_EQ(unknown.size(), 99u);
    EXPECT_EQ(unknown.substr(unknown.size() - 21), "...: (state unknown!)");
}

TEST(MenuLine, WhileRefusedLoginsHoldOffTheChecksTheLineSaysWhenTheNextTryComes)
{
    HostEntry host;
    host.Label = "mail.example.com";
    host.StatusText = "Server rejected PASS info - wrong password?";
    host.NextTryMs = 480000;
    char line[kMenuLineSize];
    // Rounded up, and at least a minute while the check itself runs.
    for (auto [elapsed, suffix] : {std::pair{1, "8 minutes)"}, {420000, "1 minute)"}, {480500, "1 minute)"}}) {
        host.ElapsedMs = elapsed;
        FormatHostMenuLine(line, host);
        EXPECT_EQ(line,
                  "mail.example.com: Server rejected PASS info - wrong password? (next try in " + std::string(suffix));
    }
    host.Label = std::string(98, 'h');
    FormatHostMenuLine(line, host);
    EXPECT_EQ(line, std::string(28, 'h') + "...: Server rejected PASS info - wrong password? (next try in 1 minute)");
}

}  // namespace
