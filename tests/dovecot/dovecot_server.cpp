#include "dovecot_server.h"

#include "linux_command.h"

#include <algorithm>
#include <sstream>

namespace {

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

}  // namespace

DovecotServer::DovecotServer(std::string address, std::string folder)
    : address_(std::move(address)), folder_(std::move(folder))
{
}

DovecotServer DovecotServer::Shared()
{
    return DovecotServer("127.0.0.1", QUILLO_DOVECOT_DIR);
}

DovecotServer DovecotServer::Spare()
{
    return DovecotServer(QUILLO_DOVECOT_SPARE_ADDRESS, QUILLO_DOVECOT_SPARE_DIR);
}

bool DovecotServer::Run(const std::string& arguments) const
{
    const size_t space = arguments.find(' ');
    std::string commandLine = address_ + " " + arguments.substr(0, space) + " \"" + folder_ + "\"";
    if (space != std::string::npos)
        commandLine += arguments.substr(space);
    std::string output;
    return RunLinuxScript(QUILLO_DOVECOT_SCRIPT, commandLine, output);
}

bool DovecotServer::Start() const
{
    // The certificates of the whole test run, whose CA the prefix trusts.
    return Run(std::string("start ") + QUILLO_TLS_CERTS);
}

bool DovecotServer::StartWithTlsLoginsOnly() const
{
    return Run(std::string("start ") + QUILLO_TLS_CERTS + " tls-logins-only");
}

bool DovecotServer::StartWithLongGreeting() const
{
    return Run(std::string("start ") + QUILLO_TLS_CERTS + " long-greeting");
}

bool DovecotServer::StartWithOAuth(const std::string& introspectionUrl) const
{
    // The authorization server's certificate comes from the test CA too.
    return Run(std::string("start ") + QUILLO_TLS_CERTS + " oauth " + introspectionUrl + " " + QUILLO_TLS_CERTS +
               "/ca.crt");
}

bool DovecotServer::Stop() const
{
    return Run("stop");
}

bool DovecotServer::AddUser(const std::string& name, const std::string& password) const
{
    return Run("user " + name + " " + password);
}

bool DovecotServer::Deliver(const std::string& name, int count) const
{
    return Run("deliver " + name + " " + std::to_string(count));
}

bool DovecotServer::MarkSeen(const std::string& name) const
{
    return Run("seen " + name);
}

bool DovecotServer::Empty(const std::string& name) const
{
    return Run("empty " + name);
}

std::string DovecotServer::Log() const
{
    return ReadWhole(WindowsPath(folder_ + "/dovecot.log"));
}

int DovecotServer::Logins(const std::string& user) const
{
    return Occurrences(Log(), "Login: user=<" + user + ">");
}

int DovecotServer::FailedLogins(const std::string& user) const
{
    return LinesWith({"auth failed", "user=<" + user + ">"});
}

int DovecotServer::TlsLogins(const std::string& user) const
{
    return LinesWith({"Login: user=<" + user + ">", kTlsMark});
}

int DovecotServer::TlsFailedLogins(const std::string& user) const
{
    return LinesWith({"auth failed", "user=<" + user + ">", kTlsMark});
}

int DovecotServer::LinesWith(std::initializer_list<std::string> parts) const
{
    std::istringstream lines(Log());
    int count = 0;
    std::string line;
    while (std::getline(lines, line))
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& part) { return line.find(part) != std::string::npos; }))
            ++count;
    return count;
}
