#include "platform/Crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <limits>
#include <vector>

#include "platform/win32/SystemLibrary.h"

namespace platform {

using win32::BindExports;
using win32::LoadSystemLibrary;

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// CNG is loaded when first needed and every entry point bound by name, so
// the program gains no import that loads a DLL before it starts. The two
// algorithm providers stay open for the life of the process.
struct CngApi {
    WIN32_EXPORT(BCryptOpenAlgorithmProvider);
    WIN32_EXPORT(BCryptCreateHash);
    WIN32_EXPORT(BCryptHashData);
    WIN32_EXPORT(BCryptFinishHash);
    WIN32_EXPORT(BCryptDestroyHash);
    WIN32_EXPORT(BCryptImportKeyPair);
    WIN32_EXPORT(BCryptVerifySignature);
    WIN32_EXPORT(BCryptDestroyKey);
    BCRYPT_ALG_HANDLE Sha256 = nullptr;
    BCRYPT_ALG_HANDLE EcdsaP256 = nullptr;
    bool Ready = false;

    void Bind() {
        Ready =
            BindExports(LoadSystemLibrary(L"bcrypt.dll"), BCryptOpenAlgorithmProvider,
                        BCryptCreateHash, BCryptHashData, BCryptFinishHash, BCryptDestroyHash,
                        BCryptImportKeyPair, BCryptVerifySignature, BCryptDestroyKey) &&
            Succeeded(BCryptOpenAlgorithmProvider(&Sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
            Succeeded(
                BCryptOpenAlgorithmProvider(&EcdsaP256, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
    }
};

const CngApi& Api() {
    return win32::BoundOnce<CngApi>();
}

} // namespace

// The hash object lives inside CNG (no object buffer is passed, which CNG
// allows since Windows 7); a failed step leaves the state failed until Reset.
struct Sha256::State {
    BCRYPT_HASH_HANDLE Hash = nullptr;
    bool Failed = false;

    void Open() {
        const CngApi& api = Api();
        Failed = !api.Ready ||
                 !Succeeded(api.BCryptCreateHash(api.Sha256, &Hash, nullptr, 0, nullptr, 0, 0));
        if (Failed) Hash = nullptr;
    }
    void Close() {
        if (Hash) Api().BCryptDestroyHash(Hash);
        Hash = nullptr;
    }
};

Sha256::Sha256() : FState(std::make_unique<State>()) {
    FState->Open();
}

Sha256::~Sha256() {
    FState->Close();
}

void Sha256::Update(const void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(const_cast<void*>(data));
    while (size > 0 && !FState->Failed) {
        // BCryptHashData takes a 32-bit count.
        const ULONG part = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
        FState->Failed = !Succeeded(Api().BCryptHashData(FState->Hash, p, part, 0));
        p += part, size -= part;
    }
}

bool Sha256::Final(Sha256Digest& digest) {
    bool ok = !FState->Failed &&
              Succeeded(Api().BCryptFinishHash(FState->Hash, digest.data(), digest.size(), 0));
    Reset();
    return ok;
}

void Sha256::Reset() {
    FState->Close();
    FState->Open();
}

bool Sha256::Failed() const {
    return FState->Failed;
}

SignatureCheck VerifyP256Sha256(std::span<const uint8_t> publicKey,
                                std::span<const uint8_t> message,
                                std::span<const uint8_t> signature) {
    constexpr size_t coordinate = (kP256PublicKeySize - 1) / 2;
    if (publicKey.size() != kP256PublicKeySize || publicKey[0] != 0x04)
        return SignatureCheck::BadKey;
    const CngApi& api = Api();
    if (!api.Ready) return SignatureCheck::Unavailable;
    if (signature.size() != kP256SignatureSize) return SignatureCheck::Invalid;

    // The key blob: its header, then X and Y as they stand in the point.
    std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 2 * coordinate);
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(coordinate)};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publicKey.data() + 1, 2 * coordinate);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!Succeeded(api.BCryptImportKeyPair(api.EcdsaP256, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                           blob.data(), static_cast<ULONG>(blob.size()), 0)))
        return SignatureCheck::BadKey;

    Sha256Digest digest;
    SignatureCheck result = SignatureCheck::Unavailable;
    if (Sha256Of(message, digest)) {
        std::array<uint8_t, kP256SignatureSize> rs;
        std::memcpy(rs.data(), signature.data(), rs.size());
        NTSTATUS status = api.BCryptVerifySignature(key, nullptr, digest.data(), digest.size(),
                                                    rs.data(), static_cast<ULONG>(rs.size()), 0);
        result = Succeeded(status) ? SignatureCheck::Valid : SignatureCheck::Invalid;
    }
    api.BCryptDestroyKey(key);
    return result;
}

} // namespace platform
