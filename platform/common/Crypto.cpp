// What the hash does the same on every platform, over its provider's steps.
#include "platform/Crypto.h"

namespace platform {

bool Sha256Of(std::span<const uint8_t> data, Sha256Digest& digest) {
    Sha256 hash;
    hash.Update(data.data(), data.size());
    return hash.Final(digest);
}

} // namespace platform
