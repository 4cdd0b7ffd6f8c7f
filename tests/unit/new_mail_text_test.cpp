// What the user reads when mail arrives.
#include "new_mail_text.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(NewMailText, TheQuestionOnlyWhenAReaderCanBeStarted)
{
    EXPECT_EQ(NewMailText("pop.example.net", true), "You have new mail waiting on pop.example.net!  Read it now?");
    EXPECT_EQ(NewMailText("pop.example.net", false), "You have new mail waiting on pop.example.net!");
}

TEST(NewMailText, AnyHostNameIsShownWhole)
{
    const std::string longest(98, 'h');
    EXPECT_EQ(NewMailText(longest, true), "You have new mail waiting on " + longest + "!  Read it now?");
    EXPECT_EQ(NewMailText("100%s%n", false), "You have new mail waiting on 100%s%n!");
}

TEST(NewMailText, TheNotificationTellsTheCountWhereTheCheckKnowsOne)
{
    EXPECT_EQ(NotificationText("ada@mail.example.org", 3), "3 new messages for ada@mail.example.org");
    EXPECT_EQ(NotificationText("ada@mail.example.org", 1), "1 new message for ada@mail.example.org");
    for (int32_t unknown : {0, -1})
        EXPECT_EQ(NotificationText("ada@mail.example.org", unknown), "New mail for ada@mail.example.org");
}
