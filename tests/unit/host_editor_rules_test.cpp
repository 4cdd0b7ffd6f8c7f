// How typed editor values become host record values.
#include "host_editor_rules.h"

#include "provider_presets.h"

#include <gtest/gtest.h>

#include <string>

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
    for (const char* text : {"0", "-5", "-0", "apples", "", " ", "+", "+-5", "- 5", " + 45", "2147484", "2147483647",
                             "2147483648", "4294967326", "99999999999999999999999"})
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

TEST(TextField, KeepsNinetyEightBytesAndNeverHalfACharacter)
{
    const auto doubleByte = [](char c) { return static_cast<unsigned char>(c) >= 0x81; };
    EXPECT_EQ(FittingLength(std::string(150, 'a'), doubleByte), 98u);
    EXPECT_EQ(FittingLength(std::string(97, 'a') + "\x93\xfa", doubleByte), 97u);
    EXPECT_EQ(FittingLength(std::string(97, 'a') + '\x93', doubleByte), 98u);  // a lead byte with nothing after it
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
    EXPECT_EQ(ActionPosition(4), -1);
    EXPECT_EQ(ActionPosition(2), 2);
    EXPECT_EQ(ActionPosition(3), 3);
    EXPECT_STREQ(ActionNames[ShowNotification], "Show a notification");
}

TEST(SecurityChoice, EntriesAreTheStoredModesAndAnyOtherNumberStaysUntilPicked)
{
    for (int32_t mode : {NoSecurity, StartTls, SslTls})
        EXPECT_EQ(SecurityPosition(mode), mode);
    int32_t odd = 3;
    EXPECT_EQ(SecurityPosition(odd), -1);
    EXPECT_EQ(SecurityPosition(-1), -1);
    EXPECT_FALSE(StoreSecurity(odd, -1));
    EXPECT_EQ(odd, 3);
    EXPECT_TRUE(StoreSecurity(odd, 1));
    EXPECT_EQ(odd, StartTls);
    EXPECT_FALSE(StoreSecurity(odd, 1));
}

TEST(ProtocolChoice, EntriesAreTheStoredProtocolsAndAnyOtherNumberStaysUntilPicked)
{
    for (int32_t protocol : {Pop3, Imap})
        EXPECT_EQ(ProtocolPosition(protocol), protocol);
    int32_t odd = 2;
    EXPECT_EQ(ProtocolPosition(odd), -1);
    EXPECT_EQ(ProtocolPosition(-1), -1);
    EXPECT_FALSE(StoreProtocol(odd, -1));
    EXPECT_EQ(odd, 2);
    EXPECT_TRUE(StoreProtocol(odd, 1));
    EXPECT_EQ(odd, Imap);
    EXPECT_FALSE(StoreProtocol(odd, 1));
}

TEST(PortText, EmptyIsTheDefaultAndOnlyOneTo65535IsAPort)
{
    EXPECT_EQ(ParsePort(""), 0);
    EXPECT_EQ(ParsePort("1"), 1);
    EXPECT_EQ(ParsePort("995"), 995);
    EXPECT_EQ(ParsePort("0995"), 995);
    EXPECT_EQ(ParsePort("65535"), 65535);
    for (const char* text : {"0", "00000", "65536", "99999", "4294967296", "99999999999999999999999", " 995", "995 ",
                             "+995", "-1", "99a", "a"})
        EXPECT_EQ(ParsePort(text), std::nullopt) << '"' << text << '"';

    EXPECT_EQ(PortText(0), "");
    EXPECT_EQ(PortText(995), "995");
    EXPECT_EQ(PortText(70000), "70000");
    EXPECT_EQ(PortText(-1), "-1");
}

TEST(PortText, ARefusedTextKeepsThePortAndAStoredPortOutOfRangeStaysUntilChanged)
{
    int32_t port = 0;
    EXPECT_EQ(StorePort(port, ""), false);
    EXPECT_EQ(StorePort(port, "1110"), true);
    EXPECT_EQ(port, 1110);
    EXPECT_EQ(StorePort(port, "65536"), std::nullopt);
    EXPECT_EQ(StorePort(port, "0"), std::nullopt);
    EXPECT_EQ(port, 1110);
    EXPECT_EQ(StorePort(port, "01110"), false);
    EXPECT_EQ(StorePort(port, ""), true);
    EXPECT_EQ(port, 0);

    int32_t odd = 70000;
    EXPECT_EQ(StorePort(odd, "70000"), false);
    EXPECT_EQ(odd, 70000);
    EXPECT_EQ(StorePort(odd, "70001"), std::nullopt);
    EXPECT_EQ(StorePort(odd, "7000"), true);
    EXPECT_EQ(odd, 7000);
}

TEST(PortHint, NamesTheDefaultPortOfTheSelectedModeAndProtocol)
{
    EXPECT_EQ(PortHint(NoSecurity, Pop3), "(default 110)");
    EXPECT_EQ(PortHint(StartTls, Pop3), "(default 110)");
    EXPECT_EQ(PortHint(SslTls, Pop3), "(default 995)");
    EXPECT_EQ(PortHint(NoSecurity, Imap), "(default 143)");
    EXPECT_EQ(PortHint(StartTls, Imap), "(default 143)");
    EXPECT_EQ(PortHint(SslTls, Imap), "(default 993)");
    EXPECT_EQ(PortHint(-1, Pop3), "");
    EXPECT_EQ(PortHint(SslTls, -1), "");
}

TEST(NewHostRecord, IsNamedNewHostWithEmptyTextsThirtySecondsNoActionAndSslTlsOnItsDefaultPort)
{
    const HostConfig host = NewHost();
    EXPECT_EQ(host.Name, "New host");
    EXPECT_EQ(host.UserID + host.Password + host.MailReader + host.MailWave, "");
    EXPECT_EQ(host.Delay, 30);
    EXPECT_EQ(host.Action, Nothing);
    EXPECT_EQ(host.Security, SslTls);
    EXPECT_EQ(host.Port, 0);
    EXPECT_EQ(host.Protocol, Pop3);
}

const OAuthProvider kOther{"https://login.example.com/authorize", "https://login.example.com/token", "client-1", "mail",
                           ""};

TEST(SignInChoice, AnotherEntryStartsAfreshWithThePresetOrNoProviderAndNoToken)
{
    OAuthProvider ownClient = MicrosoftAccountProvider();
    ownClient.ClientId = "own-client";
    struct Case {
        int32_t auth;
        OAuthProvider provider;
        int shown;
        int picked;
        int32_t authAfter;
        OAuthProvider providerAfter;
        bool tokenKept;
    };
    const Case cases[] = {
        {PasswordSignIn, {}, PasswordEntry, MicrosoftEntry, OAuthSignIn, MicrosoftAccountProvider(), false},
        {OAuthSignIn, ownClient, MicrosoftEntry, MicrosoftEntry, OAuthSignIn, ownClient, true},
        {OAuthSignIn, ownClient, MicrosoftEntry, OtherProviderEntry, OAuthSignIn, {}, false},
        {OAuthSignIn, kOther, OtherProviderEntry, PasswordEntry, PasswordSignIn, {}, false},
        // A method the list cannot show stays until the user picks one.
        {7, kOther, -1, -1, 7, kOther, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picked);
        SignInValues values{c.auth, c.provider, "token", false, false};
        EXPECT_EQ(SignInPosition(values), c.shown);
        ChooseSignIn(values, c.picked);
        EXPECT_EQ(values.Auth, c.authAfter);
        EXPECT_EQ(values.OAuth, c.providerAfter);
        EXPECT_EQ(values.RefreshToken, c.tokenKept ? "token" : "");
        EXPECT_EQ(values.TokenChanged, !c.tokenKept);
    }
}

TEST(SignInChoice, OnlyANewTokenEndpointOrClientDropsTheTokenAndTheLineSaysWhoIsSignedIn)
{
    struct Case {
        OAuthProvider provider;
        const char* status;
    };
    OAuthProvider scope = kOther, token = kOther, client = kOther;
    scope.Scope = "mail offline_access";
    token.TokenUrl = "https://other.example.com/token";
    client.ClientId = "client-2";
    for (const Case& c :
         {Case{scope, "Signed in as user1."}, Case{token, "Not signed in yet."}, Case{client, "Not signed in yet."}}) {
        SignInValues values{OAuthSignIn, kOther, "token", false, false};
        EXPECT_TRUE(ChangeProvider(values, c.provider));
        EXPECT_EQ(SignInStatus(values, "user1"), c.status);
    }
    SignInValues lost{OAuthSignIn, kOther, "", true, false};
    EXPECT_EQ(SignInStatus(lost, "user1"), "The stored sign-in cannot be read on this computer; sign in again.");
    AcceptToken(lost, "new");
    EXPECT_EQ(SignInStatus(lost, "user1"), "Signed in as user1.");
    EXPECT_TRUE(lost.TokenChanged);
    EXPECT_EQ(SignInStatus(SignInValues{}, "user1"), "");
}

TEST(ProviderFields, AddressesAreHttpsTheDeviceAddressMayStayEmptyAndAClientIdIsNeeded)
{
    struct Case {
        const char* authorize;
        const char* token;
        const char* client;
        const char* device;
        int field;  // -1: taken
    };
    const Case cases[] = {
        {"https://a.example/auth", "https://a.example/token", "c", "", -1},
        {"HTTPS://a.example/auth", "https://a.example/token", "c", "https://a.example/device", -1},
        {"http://a.example/auth", "https://a.example/token", "c", "", AuthorizeField},
        {"https://a.example/auth", "", "c", "", TokenField},
        {"https://a.example/auth", "https://", "c", "", TokenField},
        {"https://a.example/auth", "https://a.example/token", "", "", ClientIdField},
        {"https://a.example/auth", "https://a.example/token", "c", "a.example/device", DeviceField},
    };
    for (const Case& c : cases) {
        const std::optional<ProviderFault> fault = CheckProvider({c.authorize, c.token, c.client, "", c.device});
        EXPECT_EQ(fault ? fault->Field : -1, c.field) << c.authorize << ' ' << c.token << ' ' << c.device;
    }
}

}  // namespace
