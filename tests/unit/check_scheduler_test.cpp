// The check thread's rules against a fake clock and probe: which host is
// checked at which tick, what is posted, and the reload handshake. Nothing
// here really sleeps.
#include "scheduler_rules.h"

#include "monitor_messages.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct HostSpec {
    std::string name;
    int32_t delay;
};

void FillTable(HostTable& table, const std::vector<HostSpec>& hosts)
{
    std::vector<HostConfig> configs(hosts.size());
    for (size_t i = 0; i < hosts.size(); ++i) {
        configs[i].Name = hosts[i].name;
        configs[i].Delay = hosts[i].delay;
    }
    FillHostTable(table, std::move(configs));
}

struct Posted {
    unsigned message;
    int32_t index;
    bool operator==(const Posted&) const = default;
};

struct Check {
    int tick;
    std::string name;
    int32_t stateBefore;
    const char* statusBefore;
};

// The clock, the probe and the window of one check thread, all simulated,
// and the words that the main thread shares with it.
class FakeSystem {
public:
    ReloadSignals reload;
    std::atomic<bool> stop{false};
    uint32_t now = 0;
    uint32_t sleepLength = 1000;  // what one sleep really lasts
    uint32_t checkLength = 0;     // what one check really lasts
    int tick = 0;                 // sleeps so far
    std::vector<Check> checks;
    std::vector<Posted> posts;
    // Verdicts per host name, used up one per check; NoMail when none is left.
    std::map<std::string, std::vector<MailState>> verdicts;
    // How the probe ends each check, used up likewise; Done when none is left.
    std::map<std::string, std::vector<CheckEnding>> endings;
    // May report progress and change the result of the check.
    std::function<void(const HostEntry&, const ProgressReport&, ProbeResult&)> duringCheck;
    std::function<void()> onWait;
    // A message for which this answers true is not posted (a full queue).
    std::function<bool(unsigned message)> postFails;

    CheckHooks Hooks()
    {
        return CheckHooks{
            [this] { return now; },
            [this](uint32_t milliseconds) {
                EXPECT_EQ(milliseconds, 1000u);
                now += sleepLength;
                ++tick;
            },
            [this](const HostEntry& host, const ProgressReport& progress) {
                checks.push_back({tick, host.Name, host.State.load(), host.StatusText.load()});
                now += checkLength;
                ProbeResult result;
                result.State = NoMail;
                if (std::vector<CheckEnding>& ending = endings[host.Name]; !ending.empty()) {
                    result.Ending = ending.front();
                    ending.erase(ending.begin());
                }
                if (std::vector<MailState>& queue = verdicts[host.Name]; !queue.empty()) {
                    result.State = queue.front();
                    queue.erase(queue.begin());
                }
                if (duringCheck)
                    duringCheck(host, progress, result);
                return result;
            },
            [this](unsigned message, int32_t index) {
                if (postFails && postFails(message))
                    return false;
                posts.push_back({message, index});
                return true;
            },
            [this] {
                ASSERT_TRUE(onWait) << "waited for a reload that nobody asked for";
                onWait();
            },
        };
    }

    void RunTicks(HostTable& table, int count)
    {
        const CheckHooks hooks = Hooks();
        for (int i = 0; i < count; ++i)
            RunCheckTick(table, reload, stop, hooks);
    }

    std::vector<int> TicksOf(const std::string& name) const
    {
        std::vector<int> ticks;
        for (const Check& check : checks)
            if (check.name == name)
                ticks.push_back(check.tick);
        return ticks;
    }
};

std::vector<int> EveryNthTick(int first, int step, int last)
{
    std::vector<int> ticks;
    for (int t = first; t <= last; t += step)
        ticks.push_back(t);
    return ticks;
}

class CheckSchedulerTest : public testing::Test {
protected:
    HostTable table;
    FakeSystem system;
};

TEST_F(CheckSchedulerTest, FirstTickChecksEveryHostWithinTheInitialElapsedTimeInIndexOrder)
{
    // 536870 s is the largest delay whose milliseconds do not exceed 536870912.
    FillTable(table, {{"a", 60}, {"b", 10}, {"far", 536880}, {"c", 0}, {"d", 536870}, {"e", -3}});
    system.RunTicks(table, 1);
    std::vector<std::string> order;
    for (const Check& check : system.checks)
        order.push_back(check.name);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    for (const Check& check : system.checks) {
        EXPECT_EQ(check.tick, 1);
        EXPECT_EQ(check.stateBefore, Unknown);
        EXPECT_STREQ(check.statusBefore, kNotTriedYetText);
    }
}

TEST_F(CheckSchedulerTest, DelaysOfTenAndSixtySecondsAreCheckedAtTheirCadence)
{
    FillTable(table, {{"ten", 10}, {"sixty", 60}});
    system.RunTicks(table, 130);
    EXPECT_EQ(system.TicksOf("ten"), EveryNthTick(1, 10, 130));
    EXPECT_EQ(system.TicksOf("sixty"), EveryNthTick(1, 60, 130));
}

TEST_F(CheckSchedulerTest, OnlyTheSleepIsCountedNeverTheChecksAndTheTickCounterMayWrap)
{
    FillTable(table, {{"ten", 10}, {"sixty", 60}});
    system.now = 0xFFFFF000u;   // wraps within the first ticks
    system.checkLength = 7000;  // far longer than the sleeps
    system.RunTicks(table, 130);
    EXPECT_EQ(system.TicksOf("ten"), EveryNthTick(1, 10, 130));
    EXPECT_EQ(system.TicksOf("sixty"), EveryNthTick(1, 60, 130));
}

TEST_F(CheckSchedulerTest, ALongerSleepCountsAsWhatItReallyLasted)
{
    FillTable(table, {{"ten", 10}});
    system.sleepLength = 1500;  // 10 s are reached after 7 such sleeps
    system.RunTicks(table, 30);
    EXPECT_EQ(system.TicksOf("ten"), EveryNthTick(1, 7, 30));
}

TEST_F(CheckSchedulerTest, ZeroAndNegativeDelaysAreCheckedAtEveryTick)
{
    FillTable(table, {{"zero", 0}, {"negative", -1}, {"lowest", INT32_MIN}});
    system.RunTicks(table, 5);
    const std::vector<int> everyTick{1, 2, 3, 4, 5};
    EXPECT_EQ(system.TicksOf("zero"), everyTick);
    EXPECT_EQ(system.TicksOf("negative"), everyTick);
    EXPECT_EQ(system.TicksOf("lowest"), everyTick);
}

TEST_F(CheckSchedulerTest, ADelayBeyondTheInitialElapsedTimeIsFirstCheckedWhenItIsReached)
{
    // 536880000 ms - 536870912 ms = 9088 ms: reached after the 10th sleep.
    FillTable(table, {{"far", 536880}});
    system.RunTicks(table, 25);
    EXPECT_EQ(system.TicksOf("far").front(), 10);
}

TEST_F(CheckSchedulerTest, TheLargestDelayIsComputedWithoutOverflow)
{
    // With 4e9 ms per tick: 536870912 + 537 * 4e9 is the first elapsed time
    // that reaches 2147483647000 ms; after a check, 537 more ticks again.
    FillTable(table, {{"largest", INT32_MAX}, {"every", 0}});
    system.sleepLength = 4000000000u;
    system.RunTicks(table, 1100);
    EXPECT_EQ(system.TicksOf("largest"), (std::vector<int>{537, 1074}));
    EXPECT_EQ(system.TicksOf("every").size(), 1100u);
}

TEST_F(CheckSchedulerTest, AFullMailboxIsAnnouncedOnceAndThenOnlyRefreshed)
{
    FillTable(table, {{"full", 0}});
    system.verdicts["full"] = {NewMail, NewMail, NewMail};
    system.RunTicks(table, 3);
    const std::vector<Posted> expected{{UM_NEWSTATE, 0}, {UM_NEWMAIL, 0}, {UM_NEWSTATUS, 0}, {UM_NEWSTATUS, 0}};
    EXPECT_EQ(system.posts, expected);
    EXPECT_EQ(table[0].State.load(), NewMail);
    EXPECT_EQ(table[0].ElapsedMs.load(), 0);
}

TEST_F(CheckSchedulerTest, TheHostHoldsTheMessageCountOfItsLastCheckOnly)
{
    FillTable(table, {{"counted", 0}});
    system.verdicts["counted"] = {NewMail, NewMail};
    system.duringCheck = [&](const HostEntry&, const ProgressReport&, ProbeResult& result) {
        if (system.checks.size() == 1)
            result.NewMessages = 3;
    };
    system.RunTicks(table, 1);
    EXPECT_EQ(table[0].NewMessages.load(), 3);
    system.RunTicks(table, 1);
    EXPECT_EQ(table[0].NewMessages.load(), kUnknownMessageCount);
}

TEST_F(CheckSchedulerTest, MailAfterAFailedCheckIsAnnouncedAgain)
{
    FillTable(table, {{"flaky", 0}});
    system.verdicts["flaky"] = {NewMail, Unknown, Unknown, NewMail, NoMail, NewMail};
    system.RunTicks(table, 6);
    const std::vector<Posted> expected{
        {UM_NEWSTATE, 0},  {UM_NEWMAIL, 0},  // Unknown -> NewMail
        {UM_NEWSTATE, 0},                    // NewMail -> Unknown: the icon falls back
        {UM_NEWSTATUS, 0},                   // Unknown -> Unknown
        {UM_NEWSTATE, 0},  {UM_NEWMAIL, 0},  // Unknown -> NewMail
        {UM_NEWSTATE, 0},                    // NewMail -> NoMail
        {UM_NEWSTATE, 0},  {UM_NEWMAIL, 0},  // NoMail -> NewMail
    };
    EXPECT_EQ(system.posts, expected);
}

TEST_F(CheckSchedulerTest, AFailedFirstCheckOnlyRefreshesTheStatus)
{
    FillTable(table, {{"down", 0}, {"empty", 0}});
    system.verdicts["down"] = {Unknown};
    system.RunTicks(table, 1);
    const std::vector<Posted> expected{{UM_NEWSTATUS, 0}, {UM_NEWSTATE, 1}};
    EXPECT_EQ(system.posts, expected);
    EXPECT_EQ(table[0].State.load(), Unknown);
    EXPECT_EQ(table[1].State.load(), NoMail);
}

TEST_F(CheckSchedulerTest, EachRefusedLoginDoublesTheWaitUpToAnHourAndOnlyAGoodLoginEndsIt)
{
    using enum CheckEnding;
    FillTable(table, {{"locked", 30}});
    // Seven refusals; a lost connection and a "come back later" keep the
    // capped wait; one more refusal; then a good login (NoMail).
    system.endings["locked"] = std::vector<CheckEnding>(7, LoginRefused);
    system.endings["locked"].insert(system.endings["locked"].end(), {Done, ComeBackLater, LoginRefused});
    system.verdicts["locked"] = std::vector<MailState>(10, Unknown);
    system.RunTicks(table, 18270);
    const std::vector<int> expected{1, 61, 181, 421, 901, 1861, 3781, 7381, 10981, 14581, 18181, 18211, 18241};
    EXPECT_EQ(system.TicksOf("locked"), expected);
    EXPECT_EQ(RefusedLoginWaitMs(30, INT32_MAX), kLongestRefusedLoginWaitMs);
    EXPECT_EQ(RefusedLoginWaitMs(2147483, 3), 2147483000);
}

TEST_F(CheckSchedulerTest, ALoginDelayStretchesTheIntervalAndComeBackLaterKeepsNewMailUnannounced)
{
    FillTable(table, {{"cyrus", 30}});
    system.verdicts["cyrus"] = {NewMail, Unknown, NewMail, NewMail, NewMail, NewMail};
    system.endings["cyrus"] = {CheckEnding::Done, CheckEnding::ComeBackLater, CheckEnding::Done};
    int checks = 0;
    // The refusal to come back later comes before the capabilities: the
    // delay learnt before stands.
    system.duringCheck = [&](const HostEntry&, const ProgressReport&, ProbeResult& result) {
        ++checks;
        if (checks != 2)
            result.ServerMinimumDelay = checks < 3 ? 300 : 0;
    };
    system.RunTicks(table, 700);
    EXPECT_EQ(system.TicksOf("cyrus"), (std::vector<int>{1, 301, 601, 631, 661, 691}));
    std::vector<Posted> expected(6, {UM_NEWSTATUS, 0});
    expected.front() = {UM_NEWMAIL, 0};
    expected.insert(expected.begin(), {UM_NEWSTATE, 0});
    EXPECT_EQ(system.posts, expected);
}

TEST_F(CheckSchedulerTest, AnExpiredSignInStopsTheChecksOfItsHostUntilTheTableIsLoadedAgain)
{
    using enum CheckEnding;
    FillTable(table, {{"oauth", 0}, {"other", 0}});
    // New mail, a refusal (the next try waits 2 s), the sign-in expired.
    system.verdicts["oauth"] = {NewMail, Unknown, Unknown};
    system.endings["oauth"] = {Done, LoginRefused, SignInExpired};
    system.RunTicks(table, 10);
    EXPECT_EQ(system.TicksOf("oauth"), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(system.TicksOf("other").size(), 10u);
    EXPECT_EQ(table[0].State.load(), Unknown);
    // The menu line tells of no next try.
    EXPECT_EQ(table[0].NextTryMs.load(), 0);

    FillTable(table, {{"oauth", 0}});
    system.RunTicks(table, 1);
    EXPECT_EQ(system.TicksOf("oauth"), (std::vector<int>{1, 2, 4, 11}));
}

TEST_F(CheckSchedulerTest, EachProgressTextIsTheHostsStatusAndIsPostedWithItsIndexUntilTheResultReplacesIt)
{
    FillTable(table, {{"a", 0}, {"b", 0}});
    std::vector<const char*> shown;
    system.duringCheck = [&](const HostEntry& host, const ProgressReport& progress, ProbeResult& result) {
        result.StatusText = kNoNewMailText;
        if (host.Name != "b")
            return;
        for (const char* text : {kGettingAddressText, kConnectingText, kQueryingText}) {
            progress(text);
            shown.push_back(host.StatusText.load());
        }
    };
    system.RunTicks(table, 1);
    EXPECT_EQ(shown, (std::vector<const char*>{kGettingAddressText, kConnectingText, kQueryingText}));
    const std::vector<Posted> expected{
        {UM_NEWSTATE, 0}, {UM_NEWSTATUS, 1}, {UM_NEWSTATUS, 1}, {UM_NEWSTATUS, 1}, {UM_NEWSTATE, 1}};
    EXPECT_EQ(system.posts, expected);
    EXPECT_EQ(table[1].StatusText.load(), kNoNewMailText);
}

TEST_F(CheckSchedulerTest, TheServersOwnWordsAreShownFromTheHostsSlotsUntilEverySlotHoldsOthers)
{
    FillTable(table, {{"own", 0}});
    HostEntry& host = table[0];
    const auto checkSaying = [&](const std::string& words) {
        system.duringCheck = [words](const HostEntry&, const ProgressReport&, ProbeResult& result) {
            result.State = Unknown;
            result.StatusText = kRejectedLoginText;
            result.ServerText = words;
        };
        system.RunTicks(table, 1);
        return host.StatusText.load();
    };
    EXPECT_STREQ(checkSaying("Password expired"), "Password expired");
    EXPECT_EQ(checkSaying(std::string(64, 'c')), std::string(64, 'c'));
    EXPECT_EQ(host.OwnTexts.Used, 2u);
    // The same words again take their own slot; new ones take the rest, and
    // then the usual text stands.
    EXPECT_EQ(checkSaying("Password expired"), host.OwnTexts.Slots[0]);
    for (const char* words : {"a", "b"})
        EXPECT_STREQ(checkSaying(words), words);
    EXPECT_EQ(checkSaying("c"), kRejectedLoginText);
    EXPECT_STREQ(host.OwnTexts.Slots[3], "b");
    EXPECT_STREQ(host.OwnTexts.Slots[0], "Password expired");
}

// The main thread of the monitor, simulated: it handles the posted messages
// in order and rebuilds the table on UM_PAUSED.
class ReloadTest : public CheckSchedulerTest {
protected:
    // The host name each message refers to when the window handles it.
    std::vector<std::pair<unsigned, std::string>> handled;
    size_t nextPost = 0;
    int reloads = 0;
    std::vector<HostSpec> newHosts;

    void HandlePosted()
    {
        for (; nextPost < system.posts.size(); ++nextPost) {
            const Posted& post = system.posts[nextPost];
            if (post.message == UM_PAUSED) {
                handled.emplace_back(post.message, "");
                FillTable(table, newHosts);
                ++reloads;
                system.reload.Done = true;
            } else {
                ASSERT_LT(post.index, table.Count.load());
                handled.emplace_back(post.message, table[post.index].Name);
            }
        }
    }

    void SetUp() override
    {
        CheckSchedulerTest::SetUp();
        system.onWait = [this] {
            // The pause is announced before the wait, or the main thread
            // would never rebuild the table.
            ASSERT_FALSE(system.posts.empty());
            EXPECT_EQ(system.posts.back(), (Posted{UM_PAUSED, 0}));
            EXPECT_FALSE(system.reload.Requested.load());
            EXPECT_TRUE(system.reload.Paused.exchange(false));
            HandlePosted();
        };
    }
};

TEST_F(ReloadTest, ARequestIsTakenAfterTheNextSleepAndTheNewTableIsCheckedAtOnce)
{
    FillTable(table, {{"old0", 0}, {"old1", 0}, {"old2", 0}});
    newHosts = {{"new0", 60}, {"new1", 536870}, {"new2", 536871}};
    system.verdicts["old0"] = {NewMail, NewMail};
    system.verdicts["new0"] = {NewMail};
    system.RunTicks(table, 1);
    // The request arrives during a check: the pass goes on over the old table.
    system.duringCheck = [this](const HostEntry& host, const ProgressReport&, ProbeResult&) {
        if (host.Name == "old1")
            system.reload.Requested = true;
    };
    system.RunTicks(table, 1);
    system.duringCheck = nullptr;
    EXPECT_EQ(reloads, 0);
    system.RunTicks(table, 1);
    EXPECT_EQ(reloads, 1);
    HandlePosted();

    std::vector<std::pair<int, std::string>> checks;
    for (const Check& check : system.checks)
        checks.emplace_back(check.tick, check.name);
    // new2 would be due after a counted 1000 ms tick; the reload tick counts 0.
    const std::vector<std::pair<int, std::string>> expectedChecks{{1, "old0"}, {1, "old1"}, {1, "old2"}, {2, "old0"},
                                                                  {2, "old1"}, {2, "old2"}, {3, "new0"}, {3, "new1"}};
    EXPECT_EQ(checks, expectedChecks);
    for (const Check& check : system.checks) {
        if (check.tick == 3) {
            EXPECT_EQ(check.stateBefore, Unknown);
            EXPECT_STREQ(check.statusBefore, kNotTriedYetText);
        }
    }

    const std::vector<std::pair<unsigned, std::string>> expectedHandled{
        {UM_NEWSTATE, "old0"},  {UM_NEWMAIL, "old0"},   {UM_NEWSTATE, "old1"},  {UM_NEWSTATE, "old2"},
        {UM_NEWSTATUS, "old0"}, {UM_NEWSTATUS, "old1"}, {UM_NEWSTATUS, "old2"}, {UM_PAUSED, ""},
        {UM_NEWSTATE, "new0"},  {UM_NEWMAIL, "new0"},   {UM_NEWSTATE, "new1"}};
    EXPECT_EQ(handled, expectedHandled);
    EXPECT_FALSE(system.reload.Done.load());
    EXPECT_EQ(table[2].ElapsedMs.load(), kInitialElapsedMs);

    system.RunTicks(table, 1);
    EXPECT_EQ(system.TicksOf("new2"), std::vector<int>{4});
}

TEST_F(ReloadTest, RequestsBeforeTheTickMergeAndOneDuringTheReloadComesNext)
{
    FillTable(table, {{"old", 0}});
    newHosts = {{"new", 0}};
    system.reload.Requested = true;
    system.reload.Requested = true;
    system.RunTicks(table, 1);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(system.TicksOf("old"), std::vector<int>{});
    EXPECT_EQ(system.TicksOf("new"), std::vector<int>{1});

    // A save while the table is being rebuilt: one more reload, a tick later.
    auto handle = system.onWait;
    bool saveDuringReload = true;
    system.onWait = [&] {
        handle();
        if (std::exchange(saveDuringReload, false))
            system.reload.Requested = true;
    };
    system.reload.Requested = true;
    system.RunTicks(table, 3);
    EXPECT_EQ(reloads, 3);
    std::vector<int> pauseTicks;
    int tickOfPost = 0;
    for (const Posted& post : system.posts) {
        if (post.message == UM_NEWSTATE || post.message == UM_NEWSTATUS)
            ++tickOfPost;  // one check per tick
        if (post.message == UM_PAUSED)
            pauseTicks.push_back(tickOfPost + 1);
    }
    EXPECT_EQ(pauseTicks, (std::vector<int>{1, 2, 3}));
}

TEST_F(ReloadTest, APauseThatCannotBePostedIsNotWaitedForButPostedAgainAtTheNextTick)
{
    FillTable(table, {{"old", 0}});
    newHosts = {{"new", 0}};
    system.reload.Requested = true;
    system.postFails = [](unsigned message) { return message == UM_PAUSED; };
    system.RunTicks(table, 1);
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(system.TicksOf("old"), std::vector<int>{1});
    EXPECT_TRUE(system.reload.Requested.load());
    EXPECT_FALSE(system.reload.Paused.load());

    system.postFails = nullptr;
    system.RunTicks(table, 1);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(system.TicksOf("new"), std::vector<int>{2});

    // The main thread took the pause (another program posted UM_PAUSED)
    // just before the post failed: it rebuilds the table and wakes the
    // check thread, which therefore waits after all.
    int waits = 0;
    system.onWait = [&] { ++waits; };
    system.postFails = [this](unsigned message) {
        return message == UM_PAUSED && system.reload.Paused.exchange(false);
    };
    system.reload.Requested = true;
    system.RunTicks(table, 1);
    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(system.reload.Requested.load());
}

TEST_F(ReloadTest, AWakeWithoutACompletedReloadCountsTheTick)
{
    // Only a completed reload starts the new table at exactly its initial
    // elapsed times; otherwise the sleep is counted as usual.
    FillTable(table, {{"edge", 536871}});
    system.onWait = [] {};
    system.reload.Requested = true;
    system.RunTicks(table, 1);
    EXPECT_EQ(system.TicksOf("edge"), std::vector<int>{1});
}

}  // namespace
