// The rules by which the host editor turns what the user typed into a host
// record. Portable: no Windows headers, so they are tested natively.
#pragma once

#include "host_records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The entries of the editor's drop-down lists, in stored-value order: an
// entry's index is the NewMailAction, SecurityMode or MailProtocol it shows.
inline constexpr const char* ActionNames[4] = {"Nothing", "Pop-up message box", "Launch mail reader",
                                               "Show a notification"};
inline constexpr const char* SecurityNames[3] = {"None", "STARTTLS", "SSL/TLS"};
inline constexpr const char* ProtocolNames[2] = {"POP3", "IMAP"};

// The most that a text field keeps, counted in the bytes that the registry
// stores (the ANSI code page's, where a character may take two), so that
// both programs read back every text that the dialog stores as it was.
inline constexpr size_t kLongestFieldText = 98;

// The length of the longest start of `text` that fits kLongestFieldText
// bytes without splitting a character of a double-byte code page;
// isLeadByte tells the first byte of a two-byte character.
size_t FittingLength(std::string_view text, bool (*isLeadByte)(char));

// A delay whose milliseconds still fit a signed 32-bit number.
inline constexpr int32_t kLongestDelay = 2147483;

inline constexpr int32_t kNewHostDelay = 30;
inline constexpr const char* kNewHostName = "New host";

// The record that Add creates.
HostConfig NewHost();

// A seconds text as the editor takes it: leading white space, one optional
// sign, then the digits up to the first other character. Only 1 to
// kLongestDelay is a usable delay; anything else (no digits, zero, negative,
// too large) gives nothing.
std::optional<int32_t> ParseSeconds(std::string_view text);

// Each Store* puts one editor value into a record field and reports whether
// the field's value changed.
bool StoreText(std::string& field, std::string_view text);
bool StoreSeconds(int32_t& delay, std::string_view text);

// position: the selected entry of the action list, or -1 when none is
// selected, which keeps whatever number the record holds.
bool StoreAction(int32_t& action, int position);

// The entry of the action list that shows an action, or -1 for a number
// that is no NewMailAction (the list then shows no entry).
int ActionPosition(int32_t action);

// The security list works as the action list: its entry index is the stored
// SecurityMode, and a stored number it cannot show stays until the user
// picks an entry.
bool StoreSecurity(int32_t& security, int position);
int SecurityPosition(int32_t security);

// The protocol list likewise, with the stored MailProtocol.
bool StoreProtocol(int32_t& protocol, int position);
int ProtocolPosition(int32_t protocol);

// The port field holds at most "65535".
inline constexpr int kLongestPortText = 5;

// The port field's text for a stored port: empty for 0 (the mode's default),
// else the number, even one out of range.
std::string PortText(int32_t port);

// A typed port: empty is 0 (the mode's default), digits from 1 to 65535 are
// that port; anything else is no port.
std::optional<int32_t> ParsePort(std::string_view text);

// Puts a typed port into the record and reports whether it changed; nothing
// when the text is no port, and then the record keeps its port. The text
// shown for the stored port is always taken, so a stored port out of range
// stays until the user changes it.
std::optional<bool> StorePort(int32_t& port, std::string_view text);

// The hint beside the port field, for the selected entries of the security
// and protocol lists: the port that an empty field stands for; empty when
// either list has no entry selected, since there is then no default.
std::string PortHint(int securityPosition, int protocolPosition);

// The sign-in list. Both OAuth entries store OAuthSignIn; which one shows
// follows from the host's provider.
inline constexpr const char* SignInNames[3] = {"Password", "Microsoft account", "Other OAuth 2.0 provider"};
enum SignInEntry : int {
    PasswordEntry = 0,
    MicrosoftEntry = 1,
    OtherProviderEntry = 2,
};

inline constexpr const char* kNotSignedInText = "Not signed in yet.";
inline constexpr const char* kSignInLostText = "The stored sign-in cannot be read on this computer; sign in again.";
inline constexpr const char* kSignInNeedsUserText = "Enter the username of the mailbox before you sign in.";
inline constexpr const char* kSignInNeedsSecurityText =
    "Signing in with OAuth 2.0 needs \"SSL/TLS\" or \"STARTTLS\": Quillo never sends a token without encryption.";
inline constexpr const char* kAddressRefusedText = "An address must start with https://.";
inline constexpr const char* kClientIdMissingText = "Enter the client ID.";

// What the editor holds of a host's sign-in between two commits: the values
// that the sign-in list, the provider dialog and a sign-in change.
struct SignInValues {
    int32_t Auth = PasswordSignIn;
    OAuthProvider OAuth{};
    std::string RefreshToken{};
    bool TokenLost = false;
    bool TokenChanged = false;
};

SignInValues SignInOf(const HostConfig& host);

// Puts the values into the record and reports whether the host signs in
// otherwise now: a token dropped and dropped again is no change.
bool StoreSignIn(HostConfig& host, const SignInValues& values);

// The entry that shows the values: a provider with the Microsoft preset's
// addresses is the Microsoft account, whatever its client ID; -1 for a
// stored method that the list cannot show.
int SignInPosition(const SignInValues& values);

// A picked entry. Another entry than the one shown starts afresh: the
// preset's provider or none, and no token, since a token is only good for
// the provider and client that it was handed out for.
void ChooseSignIn(SignInValues& values, int position);

// A provider from the provider dialog; the token goes when the token
// endpoint or the client ID changes. True when anything changed.
bool ChangeProvider(SignInValues& values, const OAuthProvider& provider);

// A token from a sign-in in the dialog, which Save writes.
void AcceptToken(SignInValues& values, std::string token);

// The line under the sign-in list: who is signed in, for the host's user
// name, or why nobody is; empty for a host that signs in otherwise.
std::string SignInStatus(const SignInValues& values, std::string_view user);

// The provider dialog's fields, in its order.
enum ProviderField : int {
    AuthorizeField = 0,
    TokenField = 1,
    ClientIdField = 2,
    ScopeField = 3,
    DeviceField = 4,
};

struct ProviderFault {
    ProviderField Field;
    const char* Text;
};

// Why a provider cannot sign in, or nothing when it can: its addresses must
// be https (the device address may be empty) and it needs a client ID.
std::optional<ProviderFault> CheckProvider(const OAuthProvider& provider);
