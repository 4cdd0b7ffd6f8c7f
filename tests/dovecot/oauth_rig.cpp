#include "oauth_rig.h"

#include "linux_command.h"
#include "win_handles.h"

#include <fstream>
#include <sstream>

namespace {

constexpr char kBrowserKey[] = "Software\\Wine\\WineBrowser";

// The value of `name` in a hook's "name=value" lines, if there.
std::optional<std::string> Member(const std::string& reply, const std::string& name)
{
    std::istringstream lines(reply);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(name + "=", 0) == 0)
            return line.substr(name.size() + 1);
    return std::nullopt;
}

int Number(const std::string& reply, const std::string& name)
{
    return std::stoi(Member(reply, name).value_or("-1"));
}

}  // namespace

OAuthRig::OAuthRig(std::string address, std::string state, DovecotServer dovecot)
    : address_(std::move(address)), state_(std::move(state)), dovecot_(std::move(dovecot))
{
}

OAuthRig OAuthRig::Shared()
{
    return OAuthRig(QUILLO_OAUTH_ADDRESS, QUILLO_OAUTH_STATE,
                    DovecotServer(QUILLO_OAUTH_DOVECOT_ADDRESS, QUILLO_OAUTH_DOVECOT_DIR));
}

HostConfig OAuthRig::Mailbox(const std::string& user, int32_t protocol) const
{
    HostConfig host;
    host.Name = dovecot_.address();
    host.UserID = user;
    host.Security = SslTls;
    host.Protocol = protocol;
    host.Auth = OAuthSignIn;
    host.OAuth = Provider();
    return host;
}

OAuthProvider OAuthRig::Provider() const
{
    // By address: Wine resolves no name of the test certificates, and the
    // server's certificate names the address as a DNS name too.
    const std::string base = "https://" + address_;
    return OAuthProvider{
        .AuthorizeUrl = base + "/authorize",
        .TokenUrl = base + "/token",
        .ClientId = "quillo-test-client",
        .Scope =
            "https://outlook.office.com/IMAP.AccessAsUser.All https://outlook.office.com/POP.AccessAsUser.All "
            "offline_access",
        .DeviceUrl = base + "/devicecode",
    };
}

bool OAuthRig::Script(const std::string& arguments, std::string& output) const
{
    return RunLinuxScript(QUILLO_OAUTH_SCRIPT, arguments, output);
}

bool OAuthRig::StartAuthorizationServer() const
{
    std::string output;
    return Script("start \"" + state_ + "\" \"" + QUILLO_TLS_CERTS + "\" " + address_ + " 443", output);
}

bool OAuthRig::StopAuthorizationServer() const
{
    std::string output;
    return Script("stop \"" + state_ + "\"", output);
}

bool OAuthRig::StartDovecot() const
{
    return dovecot_.StartWithOAuth("https://" + address_ + "/introspect");
}

std::optional<std::string> OAuthRig::Hook(const std::string& arguments) const
{
    std::string output;
    if (!Script("hook \"" + state_ + "\" " + arguments, output))
        return std::nullopt;
    return output;
}

std::optional<TokenPair> OAuthRig::IssueTokens(const std::string& user, const std::string& scope) const
{
    // Arguments split at spaces: the scope's go as '+', as in a form.
    std::string arguments = "issue user=" + user;
    if (!scope.empty()) {
        std::string joined = scope;
        for (char& c : joined)
            if (c == ' ')
                c = '+';
        arguments += " scope=" + joined;
    }
    const std::optional<std::string> reply = Hook(arguments);
    if (!reply || !Member(*reply, "access_token"))
        return std::nullopt;
    return TokenPair{*Member(*reply, "access_token"), Member(*reply, "refresh_token").value_or("")};
}

bool OAuthRig::ExpireAccessTokens(const std::string& accessToken) const
{
    return Hook(accessToken.empty() ? "expire" : "expire token=" + accessToken).has_value();
}

bool OAuthRig::RevokeRefreshTokensOf(const std::string& user) const
{
    return Hook("revoke user=" + user).has_value();
}

bool OAuthRig::RevokeRefreshToken(const std::string& refreshToken) const
{
    return Hook("revoke token=" + refreshToken).has_value();
}

bool OAuthRig::FailTokenRequests(int count) const
{
    return Hook("fail mode=500 count=" + std::to_string(count)).has_value();
}

bool OAuthRig::HangTokenRequests(int count) const
{
    return Hook("fail mode=hang count=" + std::to_string(count)).has_value();
}

bool OAuthRig::Configure(const std::string& setting, int seconds) const
{
    return Hook("config " + setting + "=" + std::to_string(seconds)).has_value();
}

std::optional<RigCounters> OAuthRig::Counters() const
{
    const std::optional<std::string> reply = Hook("counters");
    if (!reply)
        return std::nullopt;
    return RigCounters{Number(*reply, "refresh_grants"), Number(*reply, "code_grants"), Number(*reply, "device_polls"),
                       Member(*reply, "last_refresh_token").value_or("")};
}

bool OAuthRig::SetBrowserMode(const std::string& mode) const
{
    std::ofstream file(WindowsPath(state_ + "/browser/mode"), std::ios::binary | std::ios::trunc);
    file << mode << "\n";
    return static_cast<bool>(file.flush());
}

bool OAuthRig::InstallBrowser() const
{
    // winebrowser runs the entry as a Unix command line, the address appended.
    const std::string command = std::string("/usr/bin/python3 ") + QUILLO_STANDIN_BROWSER + " " + state_ + "/browser";
    UniqueRegKey key;
    return RegCreateKeyExA(HKEY_CURRENT_USER, kBrowserKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.receive(),
                           nullptr) == ERROR_SUCCESS &&
           RegSetValueExA(key.get(), "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}

bool OAuthRig::UninstallBrowser() const
{
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kBrowserKey, 0, KEY_SET_VALUE, key.receive()) != ERROR_SUCCESS)
        return true;
    const LONG result = RegDeleteValueA(key.get(), "Browsers");
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::string OAuthRig::BrowserLog() const
{
    return ReadWhole(WindowsPath(state_ + "/browser/browser.log"));
}

std::string OAuthRig::ServerLog() const
{
    return ReadWhole(WindowsPath(state_ + "/server.log"));
}
