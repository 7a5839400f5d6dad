#pragma once
// The destination of a download that must match a release: every byte is
// hashed as it is written through to the target stream, so no second pass
// over the file is needed, and the stream refuses to grow past a cap, so a
// body longer than promised is cut off at the first byte too many instead of
// filling the disk. Writes are sequential; the only way back is a restart
// (position or size 0), which empties the target and the hash, for a
// transfer that must begin again. The hash is computed on a thread of its
// own while the transfer goes on, so that a fast line waits for it less.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Crypto.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace setup {

// Raised by a write past the cap, with the message the stream was given.
class EDigestStreamFull : public rtl::EWriteError {
  public:
    using rtl::EWriteError::EWriteError;
};

class TDigestStream : public rtl::TStream {
  public:
    // target is written from its current contents' start: it is emptied
    // first. limit is the most bytes taken; fullMessage the text of the
    // error a write beyond it raises. The hashing thread takes the bytes in
    // pieces of slotSize (four of them are held at most).
    static constexpr size_t kDefaultSlotSize = 1024 * 1024;
    TDigestStream(rtl::TStream& target, int64_t limit, rtl::TText fullMessage,
                  size_t slotSize = kDefaultSlotSize);
    ~TDigestStream() override;

    size_t Read(void* buffer, size_t count) override; // write-only: always 0
    size_t Write(const void* buffer, size_t count) override;
    // Reports the position; moving to 0 restarts, to the current end does
    // nothing, anywhere else raises EWriteError.
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    // 0 restarts; a size at or past the end (a caller reserving room for an
    // announced length) is ignored; cutting written bytes raises EWriteError.
    void SetSize(int64_t newSize) override;
    int64_t Size() override { return FWritten; }

    // Empties the target and forgets the hash.
    void Restart();
    int64_t Written() const { return FWritten; }
    int64_t Limit() const { return FLimit; }
    // The digest of everything written since the start or the last restart;
    // false when the platform's hash failed.
    [[nodiscard]] bool Finish(platform::Sha256Digest& digest);

    class THasher;

  private:
    rtl::TStream& FTarget;
    int64_t FLimit;
    rtl::TText FFullMessage;
    int64_t FWritten = 0;
    std::unique_ptr<THasher> FHasher;
};

} // namespace setup
