#include "setup/release/DigestStream.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/ResStrings.h"

namespace setup {

// Hashes what the writer hands it on a thread of its own. The bytes are
// gathered into slots of slotSize bytes and a full slot is handed over at
// once; the writer waits only while every slot is still to be hashed, so
// memory stays bounded whatever the line's speed. Slots are large because
// each hand-over wakes the other thread, which costs a round trip to the Wine
// server under Wine: a download's own 128 KiB pieces would make it wake a
// thousand times per 128 MB. The slot being filled belongs to the writer
// alone (the hashing thread takes only counted ones), so it is filled
// without the lock. Reset and Final first wait until everything handed over
// is hashed; the hash object is then used by the calling thread alone.
class TDigestStream::THasher {
  public:
    explicit THasher(size_t slotSize)
        : FSlotSize(std::max<size_t>(slotSize, 1)), FThread([this] { Run(); }) {}
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
        auto* bytes = static_cast<const uint8_t*>(data);
        while (size > 0) {
            if (!FFilling) TakeEmptySlot();
            const size_t part = std::min(size, FSlotSize - FFilling->size());
            FFilling->insert(FFilling->end(), bytes, bytes + part);
            bytes += part;
            size -= part;
            if (FFilling->size() == FSlotSize) HandOver();
        }
    }
    void Reset() {
        FFilling = nullptr; // not counted: simply forgotten
        WaitUntilHashed();
        FHash.Reset();
    }
    bool Final(platform::Sha256Digest& digest) {
        if (FFilling) HandOver(); // a slot is taken only to put bytes in it
        WaitUntilHashed();
        return FHash.Final(digest);
    }

  private:
    static constexpr size_t kSlots = 4;

    void TakeEmptySlot() {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [&] { return FQueued < kSlots; });
        FFilling = &FSlots[(FNext + FQueued) % kSlots];
        FFilling->clear();
        FFilling->reserve(FSlotSize);
    }
    void HandOver() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            ++FQueued;
        }
        FChanged.notify_all();
        FFilling = nullptr;
    }
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
            lock.unlock();
            FChanged.notify_all();
            lock.lock();
        }
    }

    const size_t FSlotSize;
    std::vector<uint8_t>* FFilling = nullptr; // the writer's slot, not yet counted
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::array<std::vector<uint8_t>, kSlots> FSlots;
    size_t FNext = 0;   // the oldest slot still to be hashed
    size_t FQueued = 0; // slots filled and not yet hashed
    bool FStop = false;
    platform::Sha256 FHash;
    std::thread FThread; // last: it starts once everything above exists
};

TDigestStream::TDigestStream(rtl::TStream& target, int64_t limit, rtl::TText fullMessage,
                             size_t slotSize)
    : FTarget(target), FLimit(limit), FFullMessage(std::move(fullMessage)),
      FHasher(std::make_unique<THasher>(slotSize)) {
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
        throw rtl::EWriteError(rtl::Compose([] { return rtl::LoadResString(&rtl::SWriteError); }));
    }
    return FWritten;
}

void TDigestStream::SetSize(int64_t newSize) {
    if (newSize == 0) {
        if (FWritten != 0) Restart();
    } else if (newSize < FWritten) {
        throw rtl::EWriteError(rtl::Compose([] { return rtl::LoadResString(&rtl::SWriteError); }));
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
