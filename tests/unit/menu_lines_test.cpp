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
    host.Name = "mail.example.com";
    host.StatusText = "Server rejected PASS info - wrong password?";
    const auto line = [&host] {
        char text[kMenuLineSize];
        FormatHostMenuLine(text, host);
        return std::string(text);
    };
    host.ElapsedMs = 0;
    EXPECT_EQ(line(), "mail.example.com: Server rejected PASS info - wrong password?");

    host.NextTryMs = 480000;
    host.ElapsedMs = 1;
    EXPECT_EQ(line(), "mail.example.com: Server rejected PASS info - wrong password? (next try in 8 minutes)");
    host.ElapsedMs = 420000;
    EXPECT_EQ(line(), "mail.example.com: Server rejected PASS info - wrong password? (next try in 1 minute)");
    host.ElapsedMs = 480500;  // the check is running
    EXPECT_EQ(line(), "mail.example.com: Server rejected PASS info - wrong password? (next try in 1 minute)");

    host.Name = std::string(98, 'h');
    host.ElapsedMs = 0;
    const std::string whole = ": Server rejected PASS info - wrong password? (next try in 8 minutes)";
    EXPECT_EQ(line(), std::string(99 - whole.size() - 3, 'h') + "..." + whole);
}

} // namespace
