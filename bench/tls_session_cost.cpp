// The client's side of starting TLS under Wine, for scripts/bench: the
// monitor's own StartTlsSession (handshake and certificate check, as every
// SSL/TLS check does it) on fresh connections to a POP3S server, and the
// certificate check's system calls (chain and SSL policy) alone on the
// server's certificate. Beside them, the wait for the same server's plain
// greeting on a fresh connection: the server's own start of a session (a
// login process), which the handshake's first wait holds too. Prints "key
// value" lines.
//   tls_session_cost ADDRESS TLS_PORT PLAIN_PORT CERTIFICATE.crt SESSIONS
#include "probe_socket.h"
#include "tls_session.h"

#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kBoundMs = 10000;

double WallUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// This thread's user and system time. Wine takes it from Linux's tick
// accounting (10 ms steps), so only a sum over many sessions means anything.
double ThreadCpuUs()
{
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    const auto micro = [](const FILETIME& time) {
        return ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10.0;
    };
    return micro(kernel) + micro(user);
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One connection and StartTlsSession on it: its wall time in µs, or a
// negative value when the connection or TLS failed.
double TimedSessionStart(const ServerAddress& address, const char* hostName)
{
    UniqueSocket socket(OpenStreamSocket(address.Family));
    if (!socket || ConnectWithin(socket.get(), address, kBoundMs) != 0)
        return -1;
    TlsSession* session = nullptr;
    const double start = WallUs();
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
    const TlsOutcome outcome = StartTlsSession(socket.get(), hostName, deadline, nullptr, &session);
    const double took = WallUs() - start;
    if (outcome != TlsOutcome::Established)
        return -1;
    EndTlsSession(session, socket.get());
    return took;
}

// One connection and the wait for the first bytes of the greeting: its wall
// time in µs, or a negative value when it failed.
double TimedGreeting(const ServerAddress& address)
{
    UniqueSocket socket(OpenStreamSocket(address.Family));
    if (!socket || ConnectWithin(socket.get(), address, kBoundMs) != 0)
        return -1;
    char greeting[512];
    const double start = WallUs();
    const int received = ReceiveBefore(socket.get(), greeting, sizeof greeting,
                                       std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs));
    const double took = WallUs() - start;
    return received > 0 ? took : -1;
}

struct CertificateDeleter {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using UniqueCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;

UniqueCertificate ReadCertificate(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream pem;
    pem << file.rdbuf();
    const std::string text = pem.str();
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return nullptr;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(text.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return nullptr;
    return UniqueCertificate(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
}

// The chain for server authentication and the SSL policy with the
// certificate's DNS name, as the check of a named host makes them: whether
// both passed.
bool CheckCertificate(PCCERT_CONTEXT certificate)
{
    char serverAuthentication[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuthentication};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters, 0, nullptr,
                                 &chain))
        return false;
    wchar_t name[] = L"mail.test";
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    const bool passed = chain->TrustStatus.dwErrorStatus == 0 &&
                        CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
                        status.dwError == 0;
    CertFreeCertificateChain(chain);
    return passed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: tls_session_cost ADDRESS TLS_PORT PLAIN_PORT CERTIFICATE.crt SESSIONS\n");
        return 2;
    }
    const char* host = argv[1];
    const char* certificatePath = argv[4];
    const int sessions = std::atoi(argv[5]);
    WSADATA winsock;
    if (WSAStartup(0x0202, &winsock) != 0)
        return 1;
    const std::vector<ServerAddress> addresses = ResolveHost(host, static_cast<uint16_t>(std::atoi(argv[2])));
    const std::vector<ServerAddress> plainAddresses = ResolveHost(host, static_cast<uint16_t>(std::atoi(argv[3])));
    if (addresses.empty() || plainAddresses.empty())
        return 1;

    // The first start in a process also loads the system's stores.
    const double first = TimedSessionStart(addresses.front(), host);
    int failures = first < 0 ? 1 : 0;
    std::vector<double> walls;
    const double cpuBefore = ThreadCpuUs();
    for (int i = 0; i < sessions; ++i) {
        const double took = TimedSessionStart(addresses.front(), host);
        if (took < 0)
            ++failures;
        else
            walls.push_back(took);
    }
    const double sessionCpu = (ThreadCpuUs() - cpuBefore) / std::max(sessions, 1);

    std::vector<double> greetings;
    for (int i = 0; i < sessions; ++i) {
        const double took = TimedGreeting(plainAddresses.front());
        if (took < 0)
            ++failures;
        else
            greetings.push_back(took);
    }

    const UniqueCertificate certificate = ReadCertificate(certificatePath);
    std::vector<double> checks;
    int checkFailures = certificate ? 0 : 1;
    const double checkCpuBefore = ThreadCpuUs();
    for (int i = 0; certificate && i < sessions; ++i) {
        const double start = WallUs();
        if (CheckCertificate(certificate.get()))
            checks.push_back(WallUs() - start);
        else
            ++checkFailures;
    }
    const double checkCpu = (ThreadCpuUs() - checkCpuBefore) / std::max(sessions, 1);

    std::printf("sessions %d\n", sessions);
    std::printf("first_start_us %.1f\n", first);
    std::printf("start_wall_us %.1f\n", Median(walls));
    std::printf("start_cpu_us %.1f\n", sessionCpu);
    std::printf("greeting_wall_us %.1f\n", Median(greetings));
    std::printf("check_wall_us %.1f\n", Median(checks));
    std::printf("check_cpu_us %.1f\n", checkCpu);
    std::printf("failures %d\n", failures);
    std::printf("check_failures %d\n", checkFailures);
    WSACleanup();
    return 0;
}
