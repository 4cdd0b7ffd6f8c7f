// How typed editor values become host record values.
#include "host_editor_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(SecondsText, APositiveNumberIsTakenUpToTheFirstOtherCharacter)
{
    EXPECT_EQ(ParseSeconds("45"), 45);
    EXPECT_EQ(ParseSeconds(" 45"), 45);
    EXPECT_EQ(ParseSeconds("\t\n 45"), 45);
    EXPECT_EQ(ParseSeconds("+45"), 45);
    EXPECT_EQ(ParseSeconds("45 apples"), 45);
    EXPECT_EQ(ParseSeconds("0045"), 45);
    EXPECT_EQ(ParseSeconds("1"), 1);
    EXPECT_EQ(ParseSeconds("2147483"), 2147483);
}

TEST(SecondsText, NothingUsableGivesNoDelay)
{
    for (const char* text : {"0", "-5", "-0", "apples", "", " ", "+", "+-5", "- 5", " + 45", "2147484",
                             "2147483647", "2147483648", "4294967326", "99999999999999999999999"})
        EXPECT_EQ(ParseSeconds(text), std::nullopt) << '"' << text << '"';
}

TEST(SecondsText, AnUnusableTextLeavesTheDelayAndReportsNoChange)
{
    int32_t delay = 30;
    EXPECT_FALSE(StoreSeconds(delay, "-5"));
    EXPECT_FALSE(StoreSeconds(delay, "4294967326"));  // would wrap round to 30 in 32 bits
    EXPECT_EQ(delay, 30);
    EXPECT_FALSE(StoreSeconds(delay, "30"));
    EXPECT_EQ(delay, 30);
    EXPECT_TRUE(StoreSeconds(delay, "45 apples"));
    EXPECT_EQ(delay, 45);
}

TEST(TextField, AnyDifferenceIsAChangeAndTheTextIsAlwaysTaken)
{
    std::string field = "pop.example.org";
    EXPECT_FALSE(StoreText(field, "pop.example.org"));
    EXPECT_TRUE(StoreText(field, "POP.example.org"));
    EXPECT_EQ(field, "POP.example.org");
    EXPECT_TRUE(StoreText(field, " POP.example.org"));  // no trimming
    EXPECT_EQ(field, " POP.example.org");
    EXPECT_TRUE(StoreText(field, ""));
    EXPECT_EQ(field, "");
}

TEST(ActionChoice, OnlyAPickedOtherEntryChangesTheAction)
{
    int32_t action = PopUpMessageBox;
    EXPECT_FALSE(StoreAction(action, 1));
    EXPECT_TRUE(StoreAction(action, 2));
    EXPECT_EQ(action, LaunchMailReader);

    // A stored number the list cannot show stays unless the user picks.
    int32_t odd = 7;
    EXPECT_EQ(ActionPosition(odd), -1);
    EXPECT_FALSE(StoreAction(odd, -1));
    EXPECT_EQ(odd, 7);
    EXPECT_TRUE(StoreAction(odd, 0));
    EXPECT_EQ(odd, Nothing);
    EXPECT_EQ(ActionPosition(-1), -1);
    EXPECT_EQ(ActionPosition(3), -1);
    EXPECT_EQ(ActionPosition(2), 2);
}

TEST(NewHostRecord, IsNamedNewHostWithEmptyTextsThirtySecondsAndNoAction)
{
    const HostConfig host = NewHost();
    EXPECT_EQ(host.Name, "New host");
    EXPECT_EQ(host.UserID + host.Password + host.MailReader + host.MailWave, "");
    EXPECT_EQ(host.Delay, 30);
    EXPECT_EQ(host.Action, Nothing);
}

} // namespace
