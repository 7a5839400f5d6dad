// trust_root: makes a certificate a trusted root of the Windows installation
// it runs in, by adding it to the local machine's root store, as a
// company's administrator does for a certification authority of its own.
// The HTTPS tests and the demo trust their certification authority in their
// Wine prefix this way, and never by turning checks off.
//
//   trust_root CERT
//
// CERT is DER or PEM. Adding a root that is there already changes nothing.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> ReadDer(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (CryptStringToBinaryA(bytes.c_str(), static_cast<DWORD>(bytes.size()),
                             CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        std::vector<BYTE> der(size);
        if (CryptStringToBinaryA(bytes.c_str(), static_cast<DWORD>(bytes.size()),
                                 CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
            return der;
    }
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_root CERT\n");
        return 2;
    }
    std::vector<BYTE> der = ReadDer(argv[1]);
    PCCERT_CONTEXT cert =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (!cert) {
        std::fprintf(stderr, "trust_root: %s holds no certificate\n", argv[1]);
        return 1;
    }
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        std::fprintf(stderr, "trust_root: the root store cannot be opened (%lu)\n", GetLastError());
        return 1;
    }
    bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                  static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_USE_EXISTING, nullptr);
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    CertFreeCertificateContext(cert);
    if (!added) {
        std::fprintf(stderr, "trust_root: the certificate was not added (%lu)\n", error);
        return 1;
    }
    return 0;
}
