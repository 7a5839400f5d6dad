#include "setup/DigestStream.h"

#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/ResStrings.h"

namespace setup {

// Hashes what the writer hands it on a thread of its own. The bytes are
// copied into one of a few slots and the writer goes on at once; it waits only
// while every slot is still to be hashed, so memory stays bounded whatever the
// line's speed. Reset and Final first wait until everything handed over is
// hashed; the hash object is then used by the calling thread alone.
class TDigestStream::THasher {
  public:
    THasher() : FThread([this] { Run(); }) {}
    ~THasher() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        FThread.join();
    }
    THasher(const THasher&) = delete;
    THasher& operator=(const THasher&) = delete;

    void Feed(const void* data, size_t size) {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [&] { return FQueued < kSlots; });
        auto* bytes = static_cast<const uint8_t*>(data);
        FSlots[(FNext + FQueued) % kSlots].assign(bytes, bytes + size);
        ++FQueued;
        FChanged.notify_all();
    }
    void Reset() {
        WaitUntilHashed();
        FHash.Reset();
    }
    bool Final(platform::Sha256Digest& digest) {
        WaitUntilHashed();
        return FHash.Final(digest);
    }

  private:
    static constexpr size_t kSlots = 4;

    void WaitUntilHashed() {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [&] { return FQueued == 0; });
    }
    void Run() {
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FChanged.wait(lock, [&] { return FQueued > 0 || FStop; });
            if (FQueued == 0) return;
            // The slot stays counted until it is hashed, so the writer does
            // not fill it meanwhile.
            const std::vector<uint8_t>& slot = FSlots[FNext];
            lock.unlock();
            FHash.Update(slot.data(), slot.size());
            lock.lock();
            FNext = (FNext + 1) % kSlots;
            --FQueued;
            FChanged.notify_all();
        }
    }

    std::mutex FMutex;
    std::condition_variable FChanged;
    std::array<std::vector<uint8_t>, kSlots> FSlots;
    size_t FNext = 0;   // the oldest slot still to be hashed
    size_t FQueued = 0; // slots filled and not yet hashed
    bool FStop = false;
    platform::Sha256 FHash;
    std::thread FThread; // last: it starts once everything above exists
};

TDigestStream::TDigestStream(rtl::TStream& target, int64_t limit, std::string fullMessage)
    : FTarget(target), FLimit(limit), FFullMessage(std::move(fullMessage)),
      FHasher(std::make_unique<THasher>()) {
    Restart();
}

TDigestStream::~TDigestStream() = default;

size_t TDigestStream::Read(void*, size_t) {
    return 0;
}

size_t TDigestStream::Write(const void* buffer, size_t count) {
    if (count > static_cast<uint64_t>(FLimit - FWritten)) throw EDigestStreamFull(FFullMessage);
    FTarget.WriteBuffer(buffer, count);
    FHasher->Feed(buffer, count);
    FWritten += static_cast<int64_t>(count);
    return count;
}

int64_t TDigestStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    const int64_t position = origin == rtl::TSeekOrigin::soBeginning ? offset : FWritten + offset;
    if (position == 0) {
        if (FWritten != 0) Restart();
    } else if (position != FWritten) {
        throw rtl::EWriteError(rtl::LoadResString(&rtl::SWriteError));
    }
    return FWritten;
}

void TDigestStream::SetSize(int64_t newSize) {
    if (newSize == 0) {
        if (FWritten != 0) Restart();
    } else if (newSize < FWritten) {
        throw rtl::EWriteError(rtl::LoadResString(&rtl::SWriteError));
    }
}

void TDigestStream::Restart() {
    FTarget.SetSize(0);
    FTarget.SetPosition(0);
    FHasher->Reset();
    FWritten = 0;
}

bool TDigestStream::Finish(platform::Sha256Digest& digest) {
    return FHasher->Final(digest);
}

} // namespace setup
