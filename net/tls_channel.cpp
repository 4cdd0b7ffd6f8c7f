// TLS with the system's own stack, SChannel through SSPI: the handshake, the
// program's own check of the server certificate, and records both ways.
// Every byte goes through ReceiveBefore and SendBytes, so each wait keeps the
// check's bound and wakes on its stop word.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "tls_session.h"

#include "win_handles.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// In this order: each needs the ones before it.
// clang-format off
#include <wincrypt.h>
#include <subauth.h>
#include <security.h>
#include <schannel.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

template <auto Release>
class UniqueSecHandle {
public:
    UniqueSecHandle() = default;
    UniqueSecHandle(const UniqueSecHandle&) = delete;
    UniqueSecHandle& operator=(const UniqueSecHandle&) = delete;
    ~UniqueSecHandle()
    {
        if (held_)
            Release(&handle_);
    }

    SecHandle* get() { return held_ ? &handle_ : nullptr; }
    explicit operator bool() const { return held_; }
    // For the call that makes the handle; hold() once it has.
    SecHandle* receive() { return &handle_; }
    void hold() { held_ = true; }

private:
    SecHandle handle_{};
    bool held_ = false;
};

using UniqueCredentials = UniqueSecHandle<&FreeCredentialsHandle>;
using UniqueContext = UniqueSecHandle<&DeleteSecurityContext>;
using UniqueCertificate = UniqueHandle<PCCERT_CONTEXT, &CertFreeCertificateContext>;
using UniqueChain = UniqueHandle<PCCERT_CHAIN_CONTEXT, &CertFreeCertificateChain>;
using UniqueAddressList = UniqueHandle<addrinfo*, &freeaddrinfo>;

// An output token that SSPI allocated (ISC_REQ_ALLOCATE_MEMORY).
struct OutputToken {
    OutputToken() = default;
    OutputToken(const OutputToken&) = delete;
    OutputToken& operator=(const OutputToken&) = delete;
    ~OutputToken()
    {
        if (buffer.pvBuffer != nullptr)
            FreeContextBuffer(buffer.pvBuffer);
    }

    SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc description{SECBUFFER_VERSION, 1, &buffer};
};

// The program checks the certificate itself: with automatic validation Wine
// checks nothing at all.
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kOldProtocols = SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1;
// More than a record and a long certificate chain; a peer that sends more
// without completing a record is not speaking TLS.
constexpr size_t kMostPending = 128 * 1024;
constexpr size_t kReceiveChunk = 16 * 1024;
constexpr size_t kRecordHeader = 5;
// The most a record may carry on the wire (2^14 bytes of plain text and 2048
// of expansion): a header that claims more is no TLS peer's, and waiting for
// its bytes would only wait for the bound.
constexpr size_t kLongestRecord = 16384 + 2048;
constexpr unsigned char kAlertRecord = 21;

}  // namespace

struct TlsSession {
    UniqueCredentials credentials;
    UniqueContext context;
    std::string target;  // empty: no target name (an address literal)
    SecPkgContext_StreamSizes sizes{};
    std::vector<char> encrypted;  // received, not yet decrypted; always starts at a record
    std::vector<char> plain;      // decrypted, not yet handed out from plainTaken on
    size_t plainTaken = 0;
};

namespace {

bool SendAll(SocketHandle socket, const char* bytes, size_t count)
{
    while (count > 0) {
        const int sent = SendBytes(socket, bytes, count);
        if (sent <= 0)
            return false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

// Whether the bytes can be the start of a TLS record: a known content type,
// major version 3 and a length that TLS allows. A POP3 server's "+OK" or
// "-ERR" cannot, and waiting for the rest of that "record" would only wait
// for the bound.
bool CanStartRecord(const std::vector<char>& bytes)
{
    if (bytes.empty())
        return true;
    const auto type = static_cast<unsigned char>(bytes[0]);
    if (type < 20 || type > 24 || (bytes.size() >= 2 && bytes[1] != 3))
        return false;
    if (bytes.size() < kRecordHeader)
        return true;
    const size_t length =
        static_cast<size_t>(static_cast<unsigned char>(bytes[3])) << 8 | static_cast<unsigned char>(bytes[4]);
    return length <= kLongestRecord;
}

// One more receive onto the end of `bytes`: as ReceiveBefore.
int ReceiveMore(std::vector<char>& bytes, SocketHandle socket, Deadline deadline, const std::atomic<bool>* stop)
{
    if (bytes.size() >= kMostPending)
        return -1;
    const size_t had = bytes.size();
    bytes.resize(had + kReceiveChunk);
    const int received = ReceiveBefore(socket, bytes.data() + had, kReceiveChunk, deadline, stop);
    bytes.resize(had + static_cast<size_t>(std::max(received, 0)));
    return received;
}

// Drops what a call consumed: all of `bytes` except the unused end that an
// SECBUFFER_EXTRA buffer counts.
void KeepExtra(std::vector<char>& bytes, const SecBuffer* buffers, size_t count)
{
    size_t extra = 0;
    for (size_t i = 0; i < count; ++i)
        if (buffers[i].BufferType == SECBUFFER_EXTRA)
            extra = std::min<size_t>(buffers[i].cbBuffer, bytes.size());
    bytes.erase(bytes.begin(), bytes.end() - static_cast<ptrdiff_t>(extra));
}

bool Acquire(void* authData, UniqueCredentials& credentials)
{
    char package[] = UNISP_NAME_A;
    TimeStamp expiry;
    if (AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, authData, nullptr, nullptr,
                                  credentials.receive(), &expiry) != SEC_E_OK)
        return false;
    credentials.hold();
    return true;
}

// The system's default protocol versions in either structure: Windows
// before 10 (1809) knows only SCHANNEL_CRED, which newer versions keep from
// TLS 1.3.
bool AcquireCredentials(UniqueCredentials& credentials)
{
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = kCredentialFlags;
    if (Acquire(&current, credentials))
        return true;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = kCredentialFlags;
    return Acquire(&older, credentials);
}

// One call of InitializeSecurityContext on what has been received (nothing
// on the first), with its token sent, even beside SEC_E_OK, and the bytes it
// did not take kept. The buffers are made anew for every call: Wine rewrites
// their types on SEC_E_INCOMPLETE_MESSAGE.
SECURITY_STATUS HandshakeStep(TlsSession& session, SocketHandle socket)
{
    const bool first = !session.context;
    SecBuffer input[2] = {
        {static_cast<ULONG>(session.encrypted.size()), SECBUFFER_TOKEN, session.encrypted.data()},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
    OutputToken output;
    ULONG attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        session.credentials.get(), session.context.get(), session.target.empty() ? nullptr : session.target.data(),
        kContextRequest, 0, 0, first ? nullptr : &inputDescription, 0, first ? session.context.receive() : nullptr,
        &output.description, &attributes, nullptr);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK))
        session.context.hold();
    // Both want the same input again: with more bytes, or without a client
    // certificate.
    if (status == SEC_E_INCOMPLETE_MESSAGE || status == SEC_I_INCOMPLETE_CREDENTIALS)
        return status;
    if (output.buffer.cbBuffer > 0 &&
        !SendAll(socket, static_cast<const char*>(output.buffer.pvBuffer), output.buffer.cbBuffer))
        return SEC_E_INTERNAL_ERROR;
    if (!first)
        KeepExtra(session.encrypted, input, 2);
    return status;
}

// The handshake from wherever the context stands until SEC_E_OK. What the
// server sent beyond its last handshake message (on port 995 the greeting
// may come with its Finished) stays in session.encrypted.
bool Handshake(TlsSession& session, SocketHandle socket, Deadline deadline, const std::atomic<bool>* stop)
{
    SECURITY_STATUS status = HandshakeStep(session, socket);
    for (;;) {
        if (status == SEC_E_OK)
            return true;
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE &&
            status != SEC_I_INCOMPLETE_CREDENTIALS)
            return false;
        if ((stop != nullptr && stop->load()) || std::chrono::steady_clock::now() >= deadline)
            return false;
        if (status == SEC_E_INCOMPLETE_MESSAGE || (status == SEC_I_CONTINUE_NEEDED && session.encrypted.empty())) {
            if (ReceiveMore(session.encrypted, socket, deadline, stop) <= 0 || !CanStartRecord(session.encrypted))
                return false;
        }
        status = HandshakeStep(session, socket);
    }
}

bool NegotiatedTls12OrLater(TlsSession& session)
{
    SecPkgContext_ConnectionInfo connection{};
    return QueryContextAttributesA(session.context.get(), SECPKG_ATTR_CONNECTION_INFO, &connection) == SEC_E_OK &&
           connection.dwProtocol != 0 && (connection.dwProtocol & kOldProtocols) == 0;
}

// The address bytes of an IPv4 or IPv6 literal (4 or 16), as a certificate's
// IP address entries hold them.
std::optional<std::vector<BYTE>> AddressLiteral(const char* hostName)
{
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    UniqueAddressList list;
    if (getaddrinfo(hostName, nullptr, &hints, list.receive()) != 0 || !list)
        return std::nullopt;
    const sockaddr* address = list.get()->ai_addr;
    if (address->sa_family == AF_INET) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
        return std::vector<BYTE>(bytes, bytes + 4);
    }
    if (address->sa_family == AF_INET6) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
        return std::vector<BYTE>(bytes, bytes + 16);
    }
    return std::nullopt;
}

// Whether an entry of the certificate's subjectAltName is one that `matches`.
template <typename Matches>
bool HasAltNameEntry(PCCERT_CONTEXT certificate, Matches matches)
{
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (extension == nullptr)
        return false;
    UniqueLocalMemory decoded;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.receive(), &size))
        return false;
    const auto* names = static_cast<const CERT_ALT_NAME_INFO*>(decoded.get());
    return std::any_of(names->rgAltEntry, names->rgAltEntry + names->cAltEntry, matches);
}

// Wine's SSL policy matches DNS names only, so an address is looked for in
// the subjectAltName's IP address entries here.
bool HasAddressEntry(PCCERT_CONTEXT certificate, const std::vector<BYTE>& address)
{
    return HasAltNameEntry(certificate, [&address](const CERT_ALT_NAME_ENTRY& entry) {
        return entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
               std::equal(address.begin(), address.end(), entry.IPAddress.pbData);
    });
}

bool SameNameIgnoringCase(std::wstring_view name, std::string_view other)
{
    const auto lower = [](unsigned ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    return name.size() == other.size() &&
           std::equal(name.begin(), name.end(), other.begin(), [&lower](wchar_t a, char b) {
               return lower(static_cast<unsigned>(a)) == lower(static_cast<unsigned char>(b));
           });
}

// Whether a subjectAltName DNS entry covers the host name: the name itself,
// or a wildcard for its first label over a suffix of two labels or more. The
// common name does not count (RFC 6125 section 6.4.4, and what browsers do).
// Wine's policy reads the common name of a certificate without that entry,
// and takes `*.test` for `mail.test`, which would let one certificate speak
// for every name under a top-level domain.
bool HasNameEntry(PCCERT_CONTEXT certificate, std::string_view hostName)
{
    return HasAltNameEntry(certificate, [hostName](const CERT_ALT_NAME_ENTRY& entry) {
        if (entry.dwAltNameChoice != CERT_ALT_NAME_DNS_NAME || entry.pwszDNSName == nullptr)
            return false;
        const std::wstring_view name = entry.pwszDNSName;
        if (name.substr(0, 2) != L"*.")
            return SameNameIgnoringCase(name, hostName);
        const std::wstring_view suffix = name.substr(2);
        const size_t firstDot = hostName.find('.');
        return suffix.find(L'.') != std::wstring_view::npos && firstDot != 0 && firstDot != std::string_view::npos &&
               SameNameIgnoringCase(suffix, hostName.substr(firstDot + 1));
    });
}

// The chain to the system's stores, for server authentication, from what is
// at hand only: a missing issuer fetched from the URL its certificate names
// would let anyone in the middle choose where the monitor sends a request,
// and under Wine that fetch ignores its timeout and can hold every check.
UniqueChain BuildChain(PCCERT_CONTEXT certificate)
{
    char serverAuthentication[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuthentication};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    constexpr DWORD kNoRetrieval =
        CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AIA | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;
    UniqueChain chain;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters, kNoRetrieval,
                                 nullptr, chain.receive()))
        chain.reset();
    return chain;
}

// Whether the first certificate of the chain, from the server's up, that is
// out of its validity period has yet to enter it. The chain's status has one
// bit for both.
bool BeforeValidity(PCCERT_CHAIN_CONTEXT chain)
{
    if (chain->cChain == 0)
        return false;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
        const LONG validity = CertVerifyTimeValidity(nullptr, simple->rgpElement[i]->pCertContext->pCertInfo);
        if (validity != 0)
            return validity < 0;
    }
    return false;
}

// Any error in the chain's own status, revocation aside (it is not asked
// for): under Wine the SSL policy passes a chain that ends at an unknown CA.
TlsOutcome OutcomeOfChainStatus(PCCERT_CHAIN_CONTEXT chain)
{
    const DWORD errors = chain->TrustStatus.dwErrorStatus &
                         ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (errors == 0)
        return TlsOutcome::Established;
    const DWORD timeErrors = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED;
    if ((errors & CERT_TRUST_IS_NOT_TIME_VALID) == 0 || (errors & ~timeErrors) != 0)
        return TlsOutcome::NotTrusted;
    return BeforeValidity(chain) ? TlsOutcome::NotYetValid : TlsOutcome::Expired;
}

// The SSL policy, with the host name when it is one (null for an address).
TlsOutcome OutcomeOfSslPolicy(PCCERT_CHAIN_CONTEXT chain, const char* hostName)
{
    std::wstring name;
    if (hostName != nullptr) {
        const int length = MultiByteToWideChar(CP_ACP, 0, hostName, -1, nullptr, 0);
        name.resize(static_cast<size_t>(std::max(length, 1)));
        MultiByteToWideChar(CP_ACP, 0, hostName, -1, name.data(), length);
    }
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = hostName != nullptr ? name.data() : nullptr;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
        return TlsOutcome::Failed;
    switch (static_cast<HRESULT>(status.dwError)) {
    case S_OK:
        return TlsOutcome::Established;
    case CERT_E_CN_NO_MATCH:
        return TlsOutcome::NameMismatch;
    case CERT_E_EXPIRED:
        return TlsOutcome::Expired;
    default:
        return TlsOutcome::NotTrusted;
    }
}

TlsOutcome CheckServerCertificate(TlsSession& session, const char* hostName)
{
    UniqueCertificate certificate;
    if (QueryContextAttributesA(session.context.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, certificate.receive()) !=
            SEC_E_OK ||
        !certificate)
        return TlsOutcome::Failed;
    const UniqueChain chain = BuildChain(certificate.get());
    if (!chain)
        return TlsOutcome::NotTrusted;
    const std::optional<std::vector<BYTE>> address = AddressLiteral(hostName);
    TlsOutcome outcome = OutcomeOfChainStatus(chain.get());
    if (outcome == TlsOutcome::Established)
        outcome = OutcomeOfSslPolicy(chain.get(), address ? nullptr : hostName);
    if (outcome == TlsOutcome::Established &&
        !(address ? HasAddressEntry(certificate.get(), *address) : HasNameEntry(certificate.get(), hostName)))
        outcome = TlsOutcome::NameMismatch;
    return outcome;
}

enum class Decrypted { Data, NeedMore, Closed, Failed };

// Decrypts the record at the start of session.encrypted in place into
// session.plain (which may stay empty), keeping whatever follows it.
Decrypted DecryptRecord(TlsSession& session, SocketHandle socket, Deadline deadline, const std::atomic<bool>* stop)
{
    if (session.encrypted.empty())
        return Decrypted::NeedMore;
    // Under Wine a close_notify decrypts as SEC_E_OK without data, as an
    // empty record does; only the record's type, in the clear, tells them
    // apart. Read before the record is decrypted in place.
    const bool alert = static_cast<unsigned char>(session.encrypted[0]) == kAlertRecord;
    SecBuffer buffers[4] = {
        {static_cast<ULONG>(session.encrypted.size()), SECBUFFER_DATA, session.encrypted.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(session.context.get(), &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return Decrypted::NeedMore;
    if (status == SEC_I_CONTEXT_EXPIRED)
        return Decrypted::Closed;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
        return Decrypted::Failed;
    bool carriedData = false;
    for (const SecBuffer& buffer : buffers)
        if (buffer.BufferType == SECBUFFER_DATA) {
            const auto* data = static_cast<const char*>(buffer.pvBuffer);
            session.plain.assign(data, data + buffer.cbBuffer);
            session.plainTaken = 0;
            carriedData = carriedData || buffer.cbBuffer > 0;
        }
    KeepExtra(session.encrypted, buffers, 4);
    if (alert && status == SEC_E_OK && !carriedData)
        return Decrypted::Closed;
    // A server's handshake message after the handshake (TLS 1.3's session
    // tickets on Windows, a renegotiation) goes back to the context.
    if (status == SEC_I_RENEGOTIATE && !Handshake(session, socket, deadline, stop))
        return Decrypted::Failed;
    return Decrypted::Data;
}

size_t TakePlain(TlsSession& session, char* bytes, size_t room)
{
    const size_t count = std::min(room, session.plain.size() - session.plainTaken);
    std::memcpy(bytes, session.plain.data() + session.plainTaken, count);
    session.plainTaken += count;
    return count;
}

// Encrypts one record's worth and sends it with a single send: a record in
// pieces would meet Nagle's delay on a socket that writes twice and reads.
bool EncryptAndSend(TlsSession& session, SocketHandle socket, const char* bytes, size_t count)
{
    const SecPkgContext_StreamSizes& sizes = session.sizes;
    std::vector<char> message(sizes.cbHeader + count + sizes.cbTrailer);
    std::memcpy(message.data() + sizes.cbHeader, bytes, count);
    SecBuffer buffers[4] = {
        {sizes.cbHeader, SECBUFFER_STREAM_HEADER, message.data()},
        {static_cast<ULONG>(count), SECBUFFER_DATA, message.data() + sizes.cbHeader},
        {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, message.data() + sizes.cbHeader + count},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(session.context.get(), 0, &description, 0) != SEC_E_OK)
        return false;
    // The sizes written, not the ones announced: Wine's trailer is 24 bytes
    // of the 256 it asks room for.
    size_t length = 0;
    for (int i = 0; i < 3; ++i) {
        std::memmove(message.data() + length, buffers[i].pvBuffer, buffers[i].cbBuffer);
        length += buffers[i].cbBuffer;
    }
    return SendAll(socket, message.data(), length);
}

}  // namespace

TlsOutcome StartTlsSession(SocketHandle socket, const char* hostName, Deadline deadline, const std::atomic<bool>* stop,
                           TlsSession** session)
{
    *session = nullptr;
    auto started = std::make_unique<TlsSession>();
    // An address is no name to send (RFC 6066 allows DNS names only).
    if (!AddressLiteral(hostName))
        started->target = hostName;
    if (!AcquireCredentials(started->credentials) || !Handshake(*started, socket, deadline, stop) ||
        !NegotiatedTls12OrLater(*started))
        return TlsOutcome::Failed;
    const TlsOutcome outcome = CheckServerCertificate(*started, hostName);
    if (outcome != TlsOutcome::Established)
        return outcome;
    if (QueryContextAttributesA(started->context.get(), SECPKG_ATTR_STREAM_SIZES, &started->sizes) != SEC_E_OK)
        return TlsOutcome::Failed;
    *session = started.release();
    return TlsOutcome::Established;
}

int SendSecure(TlsSession* session, SocketHandle socket, const char* bytes, size_t count)
{
    for (size_t sent = 0; sent < count;) {
        const size_t part = std::min<size_t>(count - sent, session->sizes.cbMaximumMessage);
        if (!EncryptAndSend(*session, socket, bytes + sent, part))
            return -1;
        sent += part;
    }
    return static_cast<int>(count);
}

int ReceiveSecure(TlsSession* session, SocketHandle socket, char* bytes, size_t room, Deadline deadline,
                  const std::atomic<bool>* stop)
{
    for (;;) {
        // Before anything else: a stream of records, empty or not, must not
        // hold the check past its bound.
        if ((stop != nullptr && stop->load()) || std::chrono::steady_clock::now() >= deadline)
            return -1;
        if (session->plainTaken < session->plain.size())
            return static_cast<int>(TakePlain(*session, bytes, room));
        switch (DecryptRecord(*session, socket, deadline, stop)) {
        case Decrypted::Data:
            continue;
        case Decrypted::Closed:
            return 0;
        case Decrypted::Failed:
            return -1;
        case Decrypted::NeedMore:
            break;
        }
        if (!CanStartRecord(session->encrypted))
            return -1;
        const int received = ReceiveMore(session->encrypted, socket, deadline, stop);
        if (received <= 0)
            return received;
    }
}

void EndTlsSession(TlsSession* session, SocketHandle socket)
{
    const std::unique_ptr<TlsSession> ended(session);
    if (!ended)
        return;
    DWORD shutdown = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
    SecBufferDesc description{SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(ended->context.get(), &description) != SEC_E_OK)
        return;
    OutputToken closeNotify;
    ULONG attributes = 0;
    InitializeSecurityContextA(ended->credentials.get(), ended->context.get(),
                               ended->target.empty() ? nullptr : ended->target.data(), kContextRequest, 0, 0, nullptr,
                               0, nullptr, &closeNotify.description, &attributes, nullptr);
    // One send into an idle socket's buffer; nothing is waited for.
    if (closeNotify.buffer.cbBuffer > 0)
        SendBytes(socket, static_cast<const char*>(closeNotify.buffer.pvBuffer), closeNotify.buffer.cbBuffer);
}
