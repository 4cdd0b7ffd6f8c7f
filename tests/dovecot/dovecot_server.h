// The test run's own Dovecot POP3 and IMAP server, reached from a Windows test
// program under Wine: its users and mailboxes, stopping and starting it, and
// its log.
#pragma once

#include <initializer_list>
#include <string>

class DovecotServer {
public:
    // The instance on `address` (POP3 with STLS on 110, POP3S on 995, IMAP
    // with STARTTLS on 143, IMAPS on 993) whose configuration, state, log
    // and mailboxes live in `folder` (a Linux path).
    DovecotServer(std::string address, std::string folder);

    // The test run's shared instance, started before the first Dovecot test
    // and stopped after the last.
    static DovecotServer Shared();
    // An instance of a test of its own (another loopback address), for tests
    // that stop the server.
    static DovecotServer Spare();

    // Each returns whether the dovecot script succeeded; its output goes to
    // the test's output when it did not.
    bool Start() const;
    // Starts it refusing logins in plain text from any other address (IMAP
    // announces LOGINDISABLED), as a server that wants TLS does. The shared
    // instance cannot: Dovecot counts a client on its own address as secure,
    // and the tests reach 127.0.0.1 from 127.0.0.1.
    bool StartWithTlsLoginsOnly() const;
    // Starts it greeting with about 5000 characters.
    bool StartWithLongGreeting() const;
    // Starts it taking OAuth 2.0 tokens only (XOAUTH2 and OAUTHBEARER), of
    // any user, as the authorization server's introspection endpoint at that
    // HTTPS address judges them. A mailbox is made by its first delivery or
    // login; AddUser is for the other modes.
    bool StartWithOAuth(const std::string& introspectionUrl) const;
    bool Stop() const;
    bool AddUser(const std::string& name, const std::string& password) const;
    bool Deliver(const std::string& name, int count) const;
    // Marks every message of the mailbox \Seen, through Dovecot itself.
    bool MarkSeen(const std::string& name) const;
    bool Empty(const std::string& name) const;

    const std::string& address() const { return address_; }

    // Dovecot's log as far as it is written.
    std::string Log() const;
    // How often the log says that `user` logged in, and that a login as
    // `user` failed.
    int Logins(const std::string& user) const;
    int FailedLogins(const std::string& user) const;
    // The same, of those made inside TLS (POP3S and IMAPS, or after STLS or
    // STARTTLS).
    int TlsLogins(const std::string& user) const;
    int TlsFailedLogins(const std::string& user) const;

    // The log's lines that hold every one of the parts.
    int LinesWith(std::initializer_list<std::string> parts) const;

    // What Dovecot writes into the line of a login, or of a failed one, made
    // inside TLS (beside "rip=", "lip=" and "session=").
    static constexpr char kTlsMark[] = ", TLS,";

private:
    bool Run(const std::string& arguments) const;

    std::string address_;
    std::string folder_;
};
