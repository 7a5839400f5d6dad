// TLS client sessions through SChannel (SSPI), with the server's certificate
// checked by the system's chain engine. secur32.dll and crypt32.dll are
// loaded on the first secure connection and bound by name, so a program that
// never makes one has no import of them and does not load them.
//
// The certificate checks are ours, after the handshake and before any data:
// SChannel is told to leave them to us (manual validation). The chain's own
// trust status is read as well as the SSL policy's verdict, since a policy
// check alone passes chains that the engine could not complete under some
// implementations of it.
#include "platform/Tls.h"

#define SECURITY_WIN32
// The newer credentials structure (SCH_CREDENTIALS) is declared with this.
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

#include "platform/common/TlsAdapter.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

namespace platform {

using win32::BindExports;
using win32::LoadSystemLibrary;

namespace {

// secur32 gives the SSPI function table; crypt32 the chain engine and the
// certificate decoding.
struct SecurityApi {
    WIN32_EXPORT(InitSecurityInterfaceW);
    WIN32_EXPORT(CertGetCertificateChain);
    WIN32_EXPORT(CertVerifyCertificateChainPolicy);
    WIN32_EXPORT(CertFreeCertificateChain);
    WIN32_EXPORT(CertFreeCertificateContext);
    WIN32_EXPORT(CertFindExtension);
    WIN32_EXPORT(CryptDecodeObjectEx);
    WIN32_EXPORT(CertOpenStore);
    WIN32_EXPORT(CertCloseStore);
    WIN32_EXPORT(CertAddEncodedCertificateToStore);
    WIN32_EXPORT(CertCreateCertificateChainEngine);
    WIN32_EXPORT(CertFreeCertificateChainEngine);
    WIN32_EXPORT(CryptStringToBinaryA);
    PSecurityFunctionTableW Sspi = nullptr;
    bool Loaded = false;

    void Bind() {
        Loaded = BindExports(LoadSystemLibrary(L"secur32.dll"), InitSecurityInterfaceW) &&
                 BindExports(LoadSystemLibrary(L"crypt32.dll"), CertGetCertificateChain,
                             CertVerifyCertificateChainPolicy, CertFreeCertificateChain,
                             CertFreeCertificateContext, CertFindExtension, CryptDecodeObjectEx,
                             CertOpenStore, CertCloseStore, CertAddEncodedCertificateToStore,
                             CertCreateCertificateChainEngine, CertFreeCertificateChainEngine,
                             CryptStringToBinaryA) &&
                 (Sspi = InitSecurityInterfaceW()) != nullptr;
    }
};

const SecurityApi& Api() {
    return win32::BoundOnce<SecurityApi>();
}

// The system's words for a status, with its number.
// The system's words for a status in a language (0: the user's); empty when
// it has none there.
std::string StatusWords(SECURITY_STATUS status, DWORD language) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(status), language,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = n > 0 ? win32::Narrow(std::wstring_view(text, n)) : std::string();
    if (text) LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
        words.pop_back();
    return words;
}

// The words with the status's number, or the number alone.
std::string WithNumber(const std::string& words, SECURITY_STATUS status) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(status));
    return words.empty() ? std::string(number) : words + " (" + number + ")";
}

// Owns one object that crypt32 or SSPI handed out (a store, a chain engine,
// a certificate, a chain, a token) and gives it back with Free when the owner
// goes out of scope, on every path.
template <typename Handle, void (*Free)(Handle)> struct GiveBack {
    using pointer = Handle;
    void operator()(Handle handle) const { Free(handle); }
};
template <typename Handle, void (*Free)(Handle)>
using Owner = std::unique_ptr<std::remove_pointer_t<Handle>, GiveBack<Handle, Free>>;

void CloseStore(HCERTSTORE store) {
    Api().CertCloseStore(store, 0);
}
void FreeEngine(HCERTCHAINENGINE engine) {
    Api().CertFreeCertificateChainEngine(engine);
}
void FreeCertificate(PCCERT_CONTEXT cert) {
    Api().CertFreeCertificateContext(cert);
}
void FreeChain(PCCERT_CHAIN_CONTEXT chain) {
    Api().CertFreeCertificateChain(chain);
}
void FreeToken(void* token) {
    Api().Sspi->FreeContextBuffer(token);
}

using StoreOwner = Owner<HCERTSTORE, CloseStore>;
using EngineOwner = Owner<HCERTCHAINENGINE, FreeEngine>;
using CertificateOwner = Owner<PCCERT_CONTEXT, FreeCertificate>;
using ChainOwner = Owner<PCCERT_CHAIN_CONTEXT, FreeChain>;
// A token that InitializeSecurityContext allocated (ISC_REQ_ALLOCATE_MEMORY).
using TokenOwner = Owner<void*, FreeToken>;

// The certificates of a PEM file in a memory store; null when the file
// cannot be read or holds none.
StoreOwner LoadRoots(const std::string& file) {
    HANDLE h = CreateFileW(win32::Wide(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(h);
    StoreOwner store(Api().CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!store) return nullptr;
    static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
    static const std::string kEnd = "-----END CERTIFICATE-----";
    int added = 0;
    for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
        size_t end = text.find(kEnd, at);
        if (end == std::string::npos) break;
        end += kEnd.size();
        const std::string block = text.substr(at, end - at);
        DWORD size = 0;
        if (Api().CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                       CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                                       nullptr)) {
            std::vector<BYTE> der(size);
            if (Api().CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                           CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                           nullptr) &&
                Api().CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(),
                                                       size, CERT_STORE_ADD_ALWAYS, nullptr))
                ++added;
        }
        at = end;
    }
    if (added == 0) return nullptr;
    return store;
}

// The DNS names and IP addresses of the certificate's subject alternative
// names.
TlsCertificateNames NamesOf(PCCERT_CONTEXT cert) {
    TlsCertificateNames names;
    PCERT_EXTENSION ext = Api().CertFindExtension(
        szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
    if (!ext) return names;
    CERT_ALT_NAME_INFO* info = nullptr;
    DWORD size = 0;
    if (!Api().CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData,
                                   ext->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                                   &size))
        return names;
    for (DWORD i = 0; i < info->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = info->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME && entry.pwszDNSName)
            names.DnsNames.push_back(win32::Narrow(entry.pwszDNSName));
        else if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS)
            names.IpAddresses.emplace_back(entry.IPAddress.pbData,
                                           entry.IPAddress.pbData + entry.IPAddress.cbData);
    }
    LocalFree(info);
    return names;
}

constexpr DWORD kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kAcceptedVersions = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;

// What a server's chain amounts to, from its own trust status and the SSL
// policy for serverName (null: no name is compared): None when it holds.
TlsFailure ChainVerdict(PCCERT_CHAIN_CONTEXT chain, wchar_t* serverName) {
    // Every problem but time is a trust problem. Revocation is not asked
    // for, so its "unknown" bits carry no news.
    const DWORD timeBits = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID;
    const DWORD notAsked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    const DWORD status = chain->TrustStatus.dwErrorStatus & ~notAsked;
    if (status & ~timeBits) return TlsFailure::UntrustedChain;
    if (status & timeBits) return TlsFailure::Expired;

    SSL_EXTRA_CERT_CHAIN_POLICY_PARA extra{};
    extra.cbSize = sizeof extra;
    extra.dwAuthType = AUTHTYPE_SERVER;
    extra.pwszServerName = serverName;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &extra;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    if (!Api().CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict))
        return TlsFailure::UntrustedChain;
    switch (static_cast<HRESULT>(verdict.dwError)) {
    case S_OK:
        return TlsFailure::None;
    case CERT_E_EXPIRED:
        return TlsFailure::Expired;
    case CERT_E_CN_NO_MATCH:
        return TlsFailure::WrongHost;
    default:
        return TlsFailure::UntrustedChain;
    }
}

// A TLS record begins with its content type, change_cipher_spec (20) to
// application_data (23), then the major version 3 (RFC 8446 section 5.1).
constexpr uint8_t kFirstRecordType = 20, kLastRecordType = 23, kRecordMajorVersion = 3;

// Whether received bytes can begin a TLS record. SChannel itself would wait
// for the length that a plain-text answer seems to announce (a server on the
// port that speaks HTTP): that answer is refused at once instead.
bool StartsLikeARecord(const uint8_t* bytes, size_t size) {
    if (size >= 1 && (bytes[0] < kFirstRecordType || bytes[0] > kLastRecordType)) return false;
    return size < 2 || bytes[1] == kRecordMajorVersion;
}

// The handshake's two kinds of failure underneath the certificate checks:
// error filled in, false returned.
bool HandshakeFailed(TlsHandshakeError& error, std::string detail) {
    error = {TlsFailure::Handshake, 0, detail, detail};
    return false;
}
// A status the system words: in the user's language, and in English where
// the system has English words for it (the number alone reads the same in
// both).
bool HandshakeFailed(TlsHandshakeError& error, SECURITY_STATUS status) {
    const std::string words = StatusWords(status, 0);
    const std::string english = StatusWords(status, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    error = {TlsFailure::Handshake, 0, WithNumber(words, status),
             english.empty() && !words.empty() ? std::string() : WithNumber(english, status)};
    return false;
}
bool SocketFailed(TlsHandshakeError& error, int socketError) {
    error = {TlsFailure::Socket, socketError, {}, {}};
    return false;
}

class SchannelSession final : public tls::AdapterSession {
  public:
    explicit SchannelSession(SocketHandle s) : FSocket(s) {
        SecInvalidateHandle(&FCredentials);
        SecInvalidateHandle(&FContext);
    }
    ~SchannelSession() override {
        if (SecIsValidHandle(&FContext)) Api().Sspi->DeleteSecurityContext(&FContext);
        if (SecIsValidHandle(&FCredentials)) Api().Sspi->FreeCredentialsHandle(&FCredentials);
    }
    int64_t Receive(void* buffer, size_t count, int timeoutMs, int& error) override;
    int64_t Send(const void* buffer, size_t count, int& error) override;
    void CloseNotify() override;

  private:
    bool Handshake(const std::string& host, const TlsOptions& options,
                   TlsHandshakeError& error) override;
    bool AcquireCredentials(TlsHandshakeError& error);
    // Sends the handshake's first token, the client's hello.
    bool SendHello(TlsHandshakeError& error);
    // Runs InitializeSecurityContext on what the server sends, beginning with
    // what FIncoming holds, until the handshake (or a renegotiation) is
    // complete.
    bool Negotiate(TlsHandshakeError& error);
    bool Verify(const std::string& host, const TlsOptions& options, TlsHandshakeError& error);
    bool SendAll(const void* data, size_t size, int& error);
    bool SendToken(const SecBuffer& token, int& error);
    // Receives more ciphertext within the call's time: the count, 0 when the
    // connection closed, -1 with the error.
    int64_t ReadMore(int& error);
    // Keeps what SChannel left unread at the end of FIncoming (extra: its
    // SECBUFFER_EXTRA buffer, or null for nothing) at the front.
    void KeepUnread(const SecBuffer* extra);
    // Decrypts one record of FIncoming into FPlain: 1 done, 0 more bytes
    // needed, -1 failed.
    int DecryptRecord(int& error);

    // The name the server is asked for (SNI) and checked against; none for
    // an address literal.
    wchar_t* Target() { return FTarget.empty() ? nullptr : FTarget.data(); }
    void StartCall(int timeoutMs) {
        FNoWait = timeoutMs == 0;
        FDeadline.Start(timeoutMs);
    }

    SocketHandle FSocket;
    CredHandle FCredentials;
    CtxtHandle FContext;
    std::wstring FTarget;
    SecPkgContext_StreamSizes FSizes{};
    std::vector<uint8_t> FIncoming; // received, not yet decrypted
    size_t FIncomingSize = 0;
    std::vector<uint8_t> FPlain; // decrypted, not yet handed out
    size_t FPlainAt = 0;
    std::vector<uint8_t> FRecord; // one record being encrypted
    bool FClosed = false;
    bool FNoWait = false;
    tls::CallDeadline FDeadline;
};

bool SchannelSession::AcquireCredentials(TlsHandshakeError& error) {
    // TLS 1.3 is offered through the newer credentials structure where the
    // system knows it; elsewhere the older one with TLS 1.2 alone.
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~static_cast<DWORD>(kAcceptedVersions);
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = kCredentialFlags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    wchar_t package[] = UNISP_NAME_W;
    SECURITY_STATUS status =
        Api().Sspi->AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                              &current, nullptr, nullptr, &FCredentials, nullptr);
    if (status == SEC_E_OK) return true;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = kCredentialFlags;
    status =
        Api().Sspi->AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                              &older, nullptr, nullptr, &FCredentials, nullptr);
    if (status == SEC_E_OK) return true;
    SecInvalidateHandle(&FCredentials);
    return HandshakeFailed(error, status);
}

bool SchannelSession::SendAll(const void* data, size_t size, int& error) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        int64_t n = SocketSend(FSocket, p, size, error);
        if (n <= 0) {
            if (n == 0) error = wsa::ConnAborted;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SchannelSession::SendToken(const SecBuffer& token, int& error) {
    return !token.pvBuffer || token.cbBuffer == 0 || SendAll(token.pvBuffer, token.cbBuffer, error);
}

int64_t SchannelSession::ReadMore(int& error) {
    constexpr size_t kPortion = 32768;
    if (FIncoming.size() < FIncomingSize + kPortion) FIncoming.resize(FIncomingSize + kPortion);
    uint8_t* tail = FIncoming.data() + FIncomingSize;
    int64_t n = SocketRecvNoWait(FSocket, tail, kPortion, error);
    if (n < 0 && error == wsa::WouldBlock) {
        int wait = FDeadline.RemainingMs();
        int ready = wait == 0 ? 0 : SocketWaitReadable(FSocket, wait, error);
        if (ready == 0) {
            error = FNoWait ? wsa::WouldBlock : wsa::TimedOut;
            return -1;
        }
        if (ready < 0) return -1;
        n = SocketRecv(FSocket, tail, kPortion, error);
    }
    if (n > 0) FIncomingSize += static_cast<size_t>(n);
    return n;
}

void SchannelSession::KeepUnread(const SecBuffer* extra) {
    if (!extra || extra->BufferType != SECBUFFER_EXTRA || extra->cbBuffer == 0) {
        FIncomingSize = 0;
        return;
    }
    std::memmove(FIncoming.data(), FIncoming.data() + FIncomingSize - extra->cbBuffer,
                 extra->cbBuffer);
    FIncomingSize = extra->cbBuffer;
}

bool SchannelSession::SendHello(TlsHandshakeError& error) {
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    SECURITY_STATUS status = Api().Sspi->InitializeSecurityContextW(
        &FCredentials, nullptr, Target(), kRequestFlags, 0, 0, nullptr, 0, &FContext, &outDesc,
        &attributes, nullptr);
    const TokenOwner token(out.pvBuffer);
    if (status != SEC_I_CONTINUE_NEEDED) return HandshakeFailed(error, status);
    int socketError = 0;
    return SendToken(out, socketError) || SocketFailed(error, socketError);
}

bool SchannelSession::Negotiate(TlsHandshakeError& error) {
    int socketError = 0;
    bool needMore = FIncomingSize == 0;
    for (;;) {
        if (needMore) {
            int64_t n = ReadMore(socketError);
            if (n < 0) return SocketFailed(error, socketError);
            if (n == 0) return HandshakeFailed(error, "the server closed the connection");
        }
        if (!StartsLikeARecord(FIncoming.data(), FIncomingSize))
            return HandshakeFailed(error, "the server does not answer in TLS");
        SecBuffer in[2] = {
            {static_cast<unsigned long>(FIncomingSize), SECBUFFER_TOKEN, FIncoming.data()},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        ULONG attributes = 0;
        SECURITY_STATUS status = Api().Sspi->InitializeSecurityContextW(
            &FCredentials, &FContext, Target(), kRequestFlags, 0, 0, &inDesc, 0, nullptr, &outDesc,
            &attributes, nullptr);
        const TokenOwner token(out.pvBuffer);
        needMore = status == SEC_E_INCOMPLETE_MESSAGE;
        if (needMore) continue;
        // A token goes out also with a failure: it is the alert that tells
        // the server why.
        const bool sent = SendToken(out, socketError);
        if (FAILED(status)) return HandshakeFailed(error, status);
        if (!sent) return SocketFailed(error, socketError);
        KeepUnread(&in[1]);
        if (status == SEC_E_OK) return true;
        // SEC_I_CONTINUE_NEEDED, or SEC_I_INCOMPLETE_CREDENTIALS when the
        // server asks for a client certificate, of which there is none.
        needMore = FIncomingSize == 0;
    }
}

bool SchannelSession::Handshake(const std::string& host, const TlsOptions& options,
                                TlsHandshakeError& error) {
    if (!Api().Loaded) return HandshakeFailed(error, static_cast<SECURITY_STATUS>(GetLastError()));
    if (!AcquireCredentials(error)) return false;
    // The target name is the one sent as SNI; an address literal has none.
    std::vector<uint8_t> address;
    if (!AddressLiteralBytes(host, address)) FTarget = win32::Wide(HostToAscii(host));
    StartCall(options.TimeoutMs);
    if (!SendHello(error) || !Negotiate(error)) return false;

    SecPkgContext_ConnectionInfo info{};
    SECURITY_STATUS status =
        Api().Sspi->QueryContextAttributesW(&FContext, SECPKG_ATTR_CONNECTION_INFO, &info);
    if (status != SEC_E_OK) return HandshakeFailed(error, status);
    if ((info.dwProtocol & kAcceptedVersions) == 0)
        return HandshakeFailed(error, "a TLS version below 1.2");
    status = Api().Sspi->QueryContextAttributesW(&FContext, SECPKG_ATTR_STREAM_SIZES, &FSizes);
    if (status != SEC_E_OK) return HandshakeFailed(error, status);
    return Verify(host, options, error);
}

bool SchannelSession::Verify(const std::string& host, const TlsOptions& options,
                             TlsHandshakeError& error) {
    auto fail = [&](TlsFailure failure) {
        error = {failure, 0, {}, {}};
        return false;
    };
    PCCERT_CONTEXT received = nullptr;
    if (Api().Sspi->QueryContextAttributesW(&FContext, SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                            &received) != SEC_E_OK ||
        !received)
        return fail(TlsFailure::UntrustedChain);
    const CertificateOwner cert(received);

    // Roots of a file in place of the system's: a chain engine of its own
    // that trusts those alone.
    StoreOwner roots;
    EngineOwner engine;
    if (!options.CaFile.empty()) {
        roots = LoadRoots(options.CaFile);
        if (!roots) return fail(TlsFailure::UntrustedChain);
        CERT_CHAIN_ENGINE_CONFIG config{};
        config.cbSize = sizeof config;
        config.hExclusiveRoot = roots.get();
        HCERTCHAINENGINE made = nullptr;
        if (!Api().CertCreateCertificateChainEngine(&config, &made))
            return fail(TlsFailure::UntrustedChain);
        engine.reset(made);
    }

    LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!Api().CertGetCertificateChain(engine.get(), cert.get(), nullptr, cert->hCertStore, &para,
                                       0, nullptr, &built) ||
        !built)
        return fail(TlsFailure::UntrustedChain);
    const ChainOwner chain(built);

    // The policy compares names only; an address literal is compared below.
    const TlsFailure verdict = ChainVerdict(chain.get(), Target());
    if (verdict != TlsFailure::None) return fail(verdict);

    std::vector<uint8_t> address;
    AddressLiteralBytes(host, address);
    if (!TlsNamesCoverHost(NamesOf(cert.get()), HostToAscii(host), address))
        return fail(TlsFailure::WrongHost);
    return true;
}

int SchannelSession::DecryptRecord(int& error) {
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(FIncomingSize), SECBUFFER_DATA, FIncoming.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = Api().Sspi->DecryptMessage(&FContext, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return 0;
    if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
        error = wsa::ConnAborted;
        return -1;
    }
    // The plain text lies inside FIncoming: it is taken out before the
    // bytes of the next record move to the front.
    FPlain.erase(FPlain.begin(), FPlain.begin() + static_cast<ptrdiff_t>(FPlainAt));
    FPlainAt = 0;
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& b : buffers) {
        if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
            const auto* p = static_cast<const uint8_t*>(b.pvBuffer);
            FPlain.insert(FPlain.end(), p, p + b.cbBuffer);
        } else if (b.BufferType == SECBUFFER_EXTRA) {
            extra = &b;
        }
    }
    KeepUnread(extra);
    if (status == SEC_I_CONTEXT_EXPIRED) FClosed = true;
    if (status == SEC_I_RENEGOTIATE) {
        // A handshake message after the handshake (a TLS 1.3 session ticket
        // or key update, a renegotiation request): the context takes it.
        TlsHandshakeError failure;
        if (!Negotiate(failure)) {
            error = failure.Failure == TlsFailure::Socket ? failure.Error : wsa::ConnAborted;
            return -1;
        }
    }
    return 1;
}

int64_t SchannelSession::Receive(void* buffer, size_t count, int timeoutMs, int& error) {
    StartCall(timeoutMs);
    for (;;) {
        if (FPlainAt < FPlain.size()) {
            size_t n = std::min(count, FPlain.size() - FPlainAt);
            std::memcpy(buffer, FPlain.data() + FPlainAt, n);
            FPlainAt += n;
            return static_cast<int64_t>(n);
        }
        if (FClosed) return 0;
        int decrypted = FIncomingSize > 0 ? DecryptRecord(error) : 0;
        if (decrypted < 0) return -1;
        if (decrypted > 0) continue;
        int64_t n = ReadMore(error);
        if (n < 0) return -1;
        // A connection closed without a close notify ends the data as a
        // close does; the HTTP layer's own lengths tell a cut body.
        if (n == 0) FClosed = true;
    }
}

int64_t SchannelSession::Send(const void* buffer, size_t count, int& error) {
    const size_t most = FSizes.cbMaximumMessage;
    FRecord.resize(FSizes.cbHeader + most + FSizes.cbTrailer);
    size_t sent = 0;
    while (sent < count) {
        const size_t n = std::min(count - sent, most);
        std::memcpy(FRecord.data() + FSizes.cbHeader, static_cast<const uint8_t*>(buffer) + sent,
                    n);
        SecBuffer buffers[4] = {
            {FSizes.cbHeader, SECBUFFER_STREAM_HEADER, FRecord.data()},
            {static_cast<unsigned long>(n), SECBUFFER_DATA, FRecord.data() + FSizes.cbHeader},
            {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, FRecord.data() + FSizes.cbHeader + n},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (Api().Sspi->EncryptMessage(&FContext, 0, &desc, 0) != SEC_E_OK) {
            error = wsa::ConnAborted;
            return -1;
        }
        if (!SendAll(FRecord.data(),
                     buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer, error))
            return -1;
        sent += n;
    }
    return static_cast<int64_t>(count);
}

void SchannelSession::CloseNotify() {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    if (Api().Sspi->ApplyControlToken(&FContext, &controlDesc) != SEC_E_OK) return;
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG attributes = 0;
    SECURITY_STATUS status = Api().Sspi->InitializeSecurityContextW(
        &FCredentials, &FContext, Target(), kRequestFlags, 0, 0, nullptr, 0, nullptr, &outDesc,
        &attributes, nullptr);
    const TokenOwner token(out.pvBuffer);
    int error = 0;
    if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) SendToken(out, error);
}

} // namespace

std::unique_ptr<tls::AdapterSession> tls::NewAdapterSession(SocketHandle s) {
    return std::make_unique<SchannelSession>(s);
}

} // namespace platform
