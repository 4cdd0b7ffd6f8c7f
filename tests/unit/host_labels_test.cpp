// The names by which hosts are shown, alone on their server or sharing it.
#include "host_labels.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

HostConfig Host(const char* name, const char* user)
{
    HostConfig host;
    host.Name = name;
    host.UserID = user;
    return host;
}

TEST(HostLabel, HostsThatShareAServerNameAreNamedUserAtServerTheOthersByTheServer)
{
    struct Case {
        std::vector<HostConfig> hosts;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {{Host("pop.example.org", "ada"), Host("imap.example.org", "ada")}, {"pop.example.org", "imap.example.org"}},
        {{Host("127.0.0.71", "ada"), Host("127.0.0.71", "bob"), Host("127.0.0.72", "cy"), Host("127.0.0.71", "dee")},
         {"ada@127.0.0.71", "bob@127.0.0.71", "127.0.0.72", "dee@127.0.0.71"}},
        // Each keeps the name as typed; only A to Z fold.
        {{Host("Mail.Example.ORG", "ada"), Host("mail.example.org", "bob")},
         {"ada@Mail.Example.ORG", "bob@mail.example.org"}},
        {{Host("b\xC3\x9Cro.example", "ada"), Host("b\xC3\xBCro.example", "bob")},
         {"b\xC3\x9Cro.example", "b\xC3\xBCro.example"}},
        {{Host("mail.example.org", ""), Host("mail.example.org", "bob")}, {"mail.example.org", "bob@mail.example.org"}},
        {{Host("mail.example.org", "ada")}, {"mail.example.org"}},
    };
    for (const Case& test : cases) {
        for (size_t i = 0; i < test.hosts.size(); ++i)
            EXPECT_EQ(HostLabel(test.hosts, i), test.labels[i]) << test.hosts[i].Name << ' ' << test.hosts[i].UserID;
    }
}

}  // namespace
