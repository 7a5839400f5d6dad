#pragma once
// Hashing and signature checks, done by the system's own cryptography: the
// Windows CNG provider (bcrypt.dll, loaded at run time) on Windows, OpenSSL's
// libcrypto elsewhere. Nothing here implements an algorithm itself, and
// nothing raises: a failure of the provider is reported, and every check
// fails closed (a provider that cannot answer never gives "valid").
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {

using Sha256Digest = std::array<uint8_t, 32>;

// An incremental SHA-256. A provider failure (the system library missing, an
// out-of-memory) makes Failed() true from then on; Final then gives false.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, size_t size);
    // The digest of everything given since the start or the last Reset; the
    // hash starts over afterwards. False when the provider failed.
    [[nodiscard]] bool Final(Sha256Digest& digest);
    // Forgets everything given so far.
    void Reset();
    bool Failed() const;

    struct State;

  private:
    std::unique_ptr<State> FState;
};

// The digest of one buffer; false when the provider failed.
[[nodiscard]] bool Sha256Of(std::span<const uint8_t> data, Sha256Digest& digest);

// A P-256 public key as its uncompressed point: 0x04, then X and Y, 32 bytes
// each, big-endian.
inline constexpr size_t kP256PublicKeySize = 65;
// A signature as r || s, 32 bytes each, big-endian (IEEE P1363).
inline constexpr size_t kP256SignatureSize = 64;

enum class SignatureCheck {
    Valid,
    Invalid,     // the signature does not match the message and key, or is malformed
    BadKey,      // the key is not a point of the curve in the form above
    Unavailable, // the system's provider could not be used
};

// Checks an ECDSA signature over SHA-256(message) with a P-256 key. A
// signature of another length, with r or s out of range, or a key of another
// form never gives Valid.
[[nodiscard]] SignatureCheck VerifyP256Sha256(std::span<const uint8_t> publicKey,
                                              std::span<const uint8_t> message,
                                              std::span<const uint8_t> signature);

} // namespace platform
