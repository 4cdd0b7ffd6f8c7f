// The IMAP check against a server that may say anything, in any pieces, in
// each security mode and with any password: the result is one of the three
// states with its own constant text, everything sent ends in CR LF, no
// LOGIN leaves before TLS is up in a secure mode nor after a
// LOGINDISABLED on a plain connection, a verdict comes only after STATUS,
// and every socket is closed exactly once. A host that signs in with OAuth
// sends nothing but CAPABILITY and STARTTLS before TLS is up, never LOGIN,
// and asks for a renewed token at most once.
//
// Input: a flags byte (bits 0 and 1 the security mode, 2 the TLS start
// fails, 3 the host signs in with OAuth), the password up to a NUL, then
// the server's side (after the handshake: the decrypted stream) as
// ReadServerSide reads it.
#include "fuzz_check.h"
#include "probe.h"
#include "support/scripted_peer.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTexts[] = {
    kDisconnectImmediateText,      kRejectedConnectText,     kDisconnectAfterPassText, kRejectedLoginText,
    kRejectedStatusText,           kNoStartTlsText,          kNoSecureConnectionText,  kCertificateUntrustedText,
    kSecureConnectionRequiredText, kUnsupportedSecurityText, kReplyTooLongText,        kMailboxInUseText,
    kTemporarilyUnavailableText,   kSignInExpiredText,       kRejectedSignInText,
};

// One of the constant texts, with the server's own words, if any, standing
// in for the login's.
bool KnownFailure(const ProbeResult& result)
{
    if (!result.ServerText.empty())
        return result.StatusText == kRejectedLoginText && result.ServerText.size() <= kServerTextKept;
    for (const char* known : kTexts) {
        if (known == result.StatusText)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t flags = data[0];
    ++data;
    --size;
    PeerScript script;
    if ((flags & 4) != 0)
        script.tlsOutcome = TlsOutcome::NotTrusted;
    HostConfig host;
    host.Name = "imap.example";
    host.UserID = "anna";
    host.Protocol = Imap;
    host.Security = flags & 3;
    const void* nul = std::memchr(data, '\0', size);
    const size_t length = nul == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
    host.Password.assign(reinterpret_cast<const char*>(data), length);
    data += nul == nullptr ? size : length + 1;
    size -= nul == nullptr ? size : length + 1;
    ReadServerSide(data, size, script);

    const bool oauth = (flags & 8) != 0;
    host.Auth = oauth ? OAuthSignIn : PasswordSignIn;

    ScriptedPeer peer(script);
    ProbeSettings settings;
    settings.Sockets = &ScriptedPeer::Sockets();
    ScriptedTokens tokens;
    settings.AccessToken = tokens.Source();
    const ProbeResult result = GuessState(host, settings);
    const int32_t state = result.State;

    const char* text = result.StatusText;
    FUZZ_CHECK(state == NewMail ? text == kNewMailText
                                : (state == NoMail ? text == kNoNewMailText : KnownFailure(result)));
    FUZZ_CHECK(state == Unknown || result.ServerText.empty());
    FUZZ_CHECK((result.Ending == CheckEnding::ComeBackLater) ==
               (text == kMailboxInUseText || text == kTemporarilyUnavailableText));
    FUZZ_CHECK((result.Ending == CheckEnding::SignInExpired) == (text == kSignInExpiredText));
    FUZZ_CHECK(peer.misuse().empty());
    FUZZ_CHECK(peer.closed() == peer.opened());
    const std::vector<bool>& requests = tokens.Requests;
    FUZZ_CHECK(requests.size() <= (oauth ? 2u : 0u));
    FUZZ_CHECK(requests.empty() || !requests.front());
    if (oauth && host.Security == NoSecurity)
        FUZZ_CHECK(text == kSecureConnectionRequiredText && peer.opened() == 0 && requests.empty());

    const std::vector<std::string>& sends = peer.sends();
    bool loginSeen = false;
    bool statusSeen = false;
    for (size_t i = 0; i < sends.size(); ++i) {
        const std::string& sent = sends[i];
        FUZZ_CHECK(sent.size() >= 2 && sent.compare(sent.size() - 2, 2, "\r\n") == 0);
        const bool login = sent.starts_with("q") && sent.find(" LOGIN ") != std::string::npos;
        if (oauth) {
            FUZZ_CHECK(!login);
            if (i < peer.sendsBeforeTls())
                FUZZ_CHECK(sent.ends_with(" CAPABILITY\r\n") || sent.ends_with(" STARTTLS\r\n"));
        }
        if (login && host.Security != NoSecurity)
            FUZZ_CHECK(peer.tlsStarted() && i >= peer.sendsBeforeTls());
        loginSeen = loginSeen || login;
        statusSeen = statusSeen || sent.find(" STATUS INBOX (MESSAGES UNSEEN)\r\n") != std::string::npos;
    }
    if (text == kSecureConnectionRequiredText)
        FUZZ_CHECK(!loginSeen);
    if (state != Unknown) {
        FUZZ_CHECK(statusSeen);
        FUZZ_CHECK(sends.back().find(" LOGOUT\r\n") != std::string::npos);
    }
    return 0;
}
