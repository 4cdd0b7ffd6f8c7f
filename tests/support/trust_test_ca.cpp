// Trusts the tests' own CA for the current user of the Wine prefix it runs
// in, or with --remove no longer does, so that no certificate made for the
// tests is trusted outside the test run's own prefix.
//   trust_test_ca [--remove] CERTIFICATE     (PEM or DER)
// The Root store is opened through its registry provider: under Wine a
// deletion through the combined Root view looks done but never reaches the
// registry.
#include "win_handles.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

void CloseStore(HCERTSTORE store)
{
    CertCloseStore(store, 0);
}

using UniqueStore = UniqueHandle<HCERTSTORE, &CloseStore>;
using UniqueCertificate = UniqueHandle<PCCERT_CONTEXT, &CertFreeCertificateContext>;

std::vector<BYTE> ReadWhole(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The DER bytes of a PEM or DER file; empty when it is neither.
std::vector<BYTE> DerOf(const std::vector<BYTE>& file)
{
    static const char kPem[] = "-----BEGIN";
    if (file.size() < sizeof kPem || std::memcmp(file.data(), kPem, sizeof kPem - 1) != 0)
        return file;
    const auto* text = reinterpret_cast<const char*>(file.data());
    const auto length = static_cast<DWORD>(file.size());
    DWORD size = 0;
    if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return {};
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return {};
    der.resize(size);
    return der;
}

bool Remove(HCERTSTORE store, PCCERT_CONTEXT certificate)
{
    PCCERT_CONTEXT found =
        CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr);
    // Not there is as good as removed; the deletion frees what it deletes.
    return found == nullptr || CertDeleteCertificateFromStore(found);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool remove = argc == 3 && std::strcmp(argv[1], "--remove") == 0;
    if (argc != 2 && !remove) {
        std::fprintf(stderr, "usage: trust_test_ca [--remove] CERTIFICATE\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    const std::vector<BYTE> der = DerOf(ReadWhole(path));
    UniqueCertificate certificate(
        der.empty() ? nullptr
                    : CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
    if (!certificate) {
        std::fprintf(stderr, "trust_test_ca: no certificate in %s\n", path);
        return 1;
    }
    UniqueStore root(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!root) {
        std::fprintf(stderr, "trust_test_ca: cannot open the user's Root store (%lu)\n", GetLastError());
        return 1;
    }
    const bool done = remove ? Remove(root.get(), certificate.get())
                             : CertAddCertificateContextToStore(root.get(), certificate.get(),
                                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!done) {
        std::fprintf(stderr, "trust_test_ca: %s failed (%lu)\n", remove ? "removing" : "adding", GetLastError());
        return 1;
    }
    std::printf("%s %s\n", remove ? "no longer trusted:" : "trusted:", path);
    return 0;
}
