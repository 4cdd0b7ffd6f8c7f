// The IMAP check against a server that may say anything, in any pieces, in
// each security mode and with any password: the result is one of the three
// states with its own constant text, everything sent ends in CR LF, no
// LOGIN leaves before TLS is up in a secure mode nor after a
// LOGINDISABLED on a plain connection, a verdict comes only after STATUS,
// and every socket is closed exactly once.
//
// Input: a flags byte (bits 0 and 1 the security mode, 2 the TLS start
// fails), the password up to a NUL, then the server's side (after the
// handshake: the decrypted stream) as ReadServerSide reads it.
#include "fuzz_check.h"
#include "imap_probe.h"
#include "pop3_probe.h"
#include "support/scripted_peer.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kTexts[] = {
    kDisconnectImmediateText,      kRejectedConnectText,     kDisconnectAfterPassText, kRejectedLoginText,
    kRejectedStatusText,           kNoStartTlsText,          kNoSecureConnectionText,  kCertificateUntrustedText,
    kSecureConnectionRequiredText, kUnsupportedSecurityText, kReplyTooLongText,        kMailboxInUseText,
    kTemporarilyUnavailableText,
};

// One of the constant texts, or the server's own words in one of the host's
// slots.
bool KnownFailure(const char* text, const HostEntry& host)
{
    for (const char* known : kTexts) {
        if (known == text)
            return true;
    }
    for (size_t i = 0; i < host.OwnTexts.Used; ++i) {
        if (text == host.OwnTexts.Slots[i])
            return std::strlen(text) > 0 && std::strlen(text) <= kServerTextKept;
    }
    return false;
}

} // namespace

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
    HostEntry host;
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

    ScriptedPeer peer(script);
    ProbeSettings settings;
    settings.Sockets = &ScriptedPeer::Sockets();
    const int32_t state = GuessState(host, settings);

    const char* text = host.StatusText.load();
    FUZZ_CHECK(state == NewMail ? text == kNewMailText
                                : (state == NoMail ? text == kNoNewMailText : KnownFailure(text, host)));
    FUZZ_CHECK((host.Ending == CheckEnding::ComeBackLater) ==
               (text == kMailboxInUseText || text == kTemporarilyUnavailableText));
    FUZZ_CHECK(peer.misuse().empty());
    FUZZ_CHECK(peer.closed() == peer.opened());

    const std::vector<std::string>& sends = peer.sends();
    bool loginSeen = false;
    bool statusSeen = false;
    for (size_t i = 0; i < sends.size(); ++i) {
        const std::string& sent = sends[i];
        FUZZ_CHECK(sent.size() >= 2 && sent.compare(sent.size() - 2, 2, "\r\n") == 0);
        const bool login = sent.starts_with("q") && sent.find(" LOGIN ") != std::string::npos;
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
