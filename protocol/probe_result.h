// What a check finds and what it is run with: the mail state, the status
// texts, the settings and the result that the probe (probe.h) and each
// protocol's dialogue share.
#pragma once

#include "host_records.h"
#include "socket_table.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The numeric order matters: the monitor's overall state is the maximum.
enum MailState : int32_t {
    Unknown = -1,
    NoMail = 0,
    NewMail = 1,
};

// How a check ended beyond the state it found: what decides when the next
// one comes, and whether its result counts at all.
enum class CheckEnding : int32_t {
    Done,           // every ending not below
    LoginRefused,   // the server refused the login: the next try waits longer
    ComeBackLater,  // the server asked to be asked later: the state stands
    SignInExpired,  // the OAuth sign-in no longer works: no next try until the user signs in again
};

// Status texts. Arrays, so that each text has one address in the whole
// program: the main thread may read the host's text while the check thread
// replaces it, and only ever sees one of these objects.
inline constexpr char kPasswordLostText[] = "Password must be entered again!";
inline constexpr char kNoSocketText[] = "Unable to create socket!";
inline constexpr char kGettingAddressText[] = "Getting network address...";
inline constexpr char kNoSuchHostText[] = "No such host.";
inline constexpr char kConnectingText[] = "Connecting to server...";
inline constexpr char kConnectFailedText[] = "Unable to connect to server!";
inline constexpr char kQueryingText[] = "Querying for mail...";
inline constexpr char kDisconnectImmediateText[] = "Server disconnect: immediate!";
inline constexpr char kRejectedConnectText[] = "Server rejected connect!";
inline constexpr char kDisconnectAfterUserText[] = "Server disconnect: after USER command!";
inline constexpr char kRejectedUserText[] = "Server rejected USER info - invalid USER name?";
inline constexpr char kDisconnectAfterPassText[] = "Server disconnect: after PASS command!";
inline constexpr char kRejectedPassText[] = "Server rejected PASS info - wrong password?";
inline constexpr char kRejectedStatText[] = "Server rejected STAT cmd - non-POP3 server?";
inline constexpr char kUnsupportedSecurityText[] = "Unsupported security setting!";
inline constexpr char kUnsupportedProtocolText[] = "Unsupported protocol setting!";
inline constexpr char kInvalidPortText[] = "Invalid server port!";
inline constexpr char kSecureConnectionRequiredText[] = "Server requires a secure connection!";
inline constexpr char kNoStartTlsText[] = "Server does not support STARTTLS!";
inline constexpr char kNoSecureConnectionText[] = "Unable to establish a secure connection!";
inline constexpr char kCertificateUntrustedText[] = "Server certificate is not trusted!";
inline constexpr char kCertificateExpiredText[] = "Server certificate has expired!";
inline constexpr char kCertificateNotYetValidText[] = "Server certificate is not yet valid!";
inline constexpr char kCertificateNameText[] = "Server certificate does not match the host name!";
inline constexpr char kNoNewMailText[] = "No new mail.";
inline constexpr char kNewMailText[] = "New mail waiting!";
inline constexpr char kNoAnswerInTimeText[] = "Server did not answer in time!";
inline constexpr char kReplyTooLongText[] = "Server reply is too long!";
inline constexpr char kWaitBeforeNextCheckText[] = "Server asks to wait before the next check.";
inline constexpr char kMailboxInUseText[] = "Mailbox is in use by another program.";
inline constexpr char kTemporarilyUnavailableText[] = "Server is temporarily unavailable.";
inline constexpr char kRejectedLoginText[] = "Server rejected the login - wrong user name or password?";
inline constexpr char kRejectedStatusText[] = "Server rejected the STATUS command!";
inline constexpr char kUnsupportedSignInText[] = "Unsupported sign-in setting!";
inline constexpr char kSignInExpiredText[] = "Sign-in has expired - sign in again in Quillo Setup.";
inline constexpr char kSignInServerUnreachableText[] = "Unable to reach the sign-in server!";
inline constexpr char kRejectedSignInText[] = "Server rejected the sign-in!";

// A server's own words shown as a status text ([EXPIRED], [CONTACTADMIN])
// are cut to this many characters.
inline constexpr size_t kServerTextKept = 64;

// Told each progress text (kGettingAddressText, kConnectingText,
// kQueryingText: the constant itself) as the check reaches its step.
using ProgressReport = std::function<void(const char* text)>;

// What the provider of an OAuth host's access tokens answered.
enum class AccessTokenOutcome {
    Token,        // a token, in AccessTokenReply::Token
    Expired,      // the sign-in is no longer valid (invalid_grant): the user must sign in again
    Unreachable,  // no answer, or none that could be read: ask again at the next check
    Refused,      // refused for another reason (invalid_client, say)
};

struct AccessTokenReply {
    AccessTokenOutcome Outcome = AccessTokenOutcome::Unreachable;
    std::string Token;  // only with AccessTokenOutcome::Token; never traced or shown
};

// Asked for an OAuth host's access token before its check connects, and
// once more with `renew` when the server refused the token it gave: a
// source that keeps tokens must then not hand out the same one again.
using AccessTokenSource = std::function<AccessTokenReply(bool renew)>;

struct ProbeSettings {
    // Bound on the connect (all of the host's addresses together), on the
    // TLS handshake, and on each reply line as a whole.
    int BoundMs = 30000;
    // The monitor shows the text as the host's status and tells its main
    // thread (UM_NEWSTATUS); none is told when empty.
    ProgressReport Progress;
    // Where the dialogue's bytes go and come from.
    const ProbeSockets* Sockets = &SystemSockets();
    // Once set, a connect or reply still awaited fails at once: the monitor
    // is ending and waits for this check.
    const std::atomic<bool>* Stop = nullptr;
    // The access tokens of a host that signs in with OAuth 2.0; without one,
    // such a host is never connected to.
    AccessTokenSource AccessToken = nullptr;
};

// What one check found.
struct ProbeResult {
    MailState State = Unknown;
    // One of the status texts above, the constant itself.
    const char* StatusText = nullptr;
    // The server's own words when the status is theirs, control bytes as
    // spaces, trimmed and cut to kServerTextKept characters; StatusText is
    // then what stands in their place where they cannot be kept. Empty
    // otherwise.
    std::string ServerText;
    CheckEnding Ending = CheckEnding::Done;
    // The server's LOGIN-DELAY in seconds (0 when it announces none), once
    // the check has learnt its capabilities; nothing when it did not get
    // that far, or the protocol has no such capability.
    std::optional<int32_t> ServerMinimumDelay;
    // How many messages the new mail is, as far as the server said: POP3's
    // STAT count (every message held), IMAP's UNSEEN. Nothing when the check
    // did not learn it.
    std::optional<int32_t> NewMessages;
};
