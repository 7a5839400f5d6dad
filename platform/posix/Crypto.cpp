#include "platform/Crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

namespace platform {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using PKeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using EcdsaSig = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

// The key from its uncompressed point; libcrypto checks that the point lies
// on the curve while it decodes it.
PKey ImportP256Point(std::span<const uint8_t> point) {
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY,
                                                             const_cast<uint8_t*>(point.data()),
                                                             point.size()),
                           OSSL_PARAM_construct_end()};
    PKeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params) <= 0)
        return nullptr;
    return PKey(key);
}

// libcrypto takes ECDSA signatures DER-encoded; r and s are re-encoded from
// their fixed-width form, so only the one encoding is ever accepted.
bool ToDer(std::span<const uint8_t> rs, std::unique_ptr<uint8_t, void (*)(void*)>& der,
           int& length) {
    const size_t half = rs.size() / 2;
    EcdsaSig sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(rs.data(), static_cast<int>(half), nullptr);
    BIGNUM* s = BN_bin2bn(rs.data() + half, static_cast<int>(half), nullptr);
    if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
        BN_free(r), BN_free(s);
        return false;
    }
    uint8_t* out = nullptr;
    length = i2d_ECDSA_SIG(sig.get(), &out);
    if (length <= 0) return false;
    der.reset(out);
    return true;
}

void FreeDer(void* p) {
    OPENSSL_free(p);
}

} // namespace

struct Sha256::State {
    MdCtx Ctx{EVP_MD_CTX_new()};
    bool Failed = false;

    void Start() { Failed = !Ctx || EVP_DigestInit_ex(Ctx.get(), EVP_sha256(), nullptr) != 1; }
};

Sha256::Sha256() : FState(std::make_unique<State>()) {
    FState->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
    if (FState->Failed || size == 0) return;
    FState->Failed = EVP_DigestUpdate(FState->Ctx.get(), data, size) != 1;
}

bool Sha256::Final(Sha256Digest& digest) {
    unsigned length = 0;
    bool ok = !FState->Failed &&
              EVP_DigestFinal_ex(FState->Ctx.get(), digest.data(), &length) == 1 &&
              length == digest.size();
    Reset();
    return ok;
}

void Sha256::Reset() {
    FState->Start();
}

bool Sha256::Failed() const {
    return FState->Failed;
}

SignatureCheck VerifyP256Sha256(std::span<const uint8_t> publicKey,
                                std::span<const uint8_t> message,
                                std::span<const uint8_t> signature) {
    if (publicKey.size() != kP256PublicKeySize || publicKey[0] != 0x04)
        return SignatureCheck::BadKey;
    PKey key = ImportP256Point(publicKey);
    if (!key) return SignatureCheck::BadKey;
    if (signature.size() != kP256SignatureSize) return SignatureCheck::Invalid;

    std::unique_ptr<uint8_t, void (*)(void*)> der(nullptr, FreeDer);
    int derLength = 0;
    if (!ToDer(signature, der, derLength)) return SignatureCheck::Unavailable;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return SignatureCheck::Unavailable;
    // 1 is a match; 0 a mismatch, a negative value a malformed signature
    // (r or s zero or beyond the group order among them).
    int rc = EVP_DigestVerify(ctx.get(), der.get(), static_cast<size_t>(derLength), message.data(),
                              message.size());
    return rc == 1 ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

} // namespace platform
