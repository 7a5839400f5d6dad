#include "platform/RWLock.h"

#include <shared_mutex>

namespace platform {

struct TRWLock::Impl {
    std::shared_mutex Lock;
};

TRWLock::TRWLock() : FImpl(std::make_unique<Impl>()) {}
TRWLock::~TRWLock() = default;
void TRWLock::lock() { FImpl->Lock.lock(); }
void TRWLock::unlock() { FImpl->Lock.unlock(); }
void TRWLock::lock_shared() { FImpl->Lock.lock_shared(); }
void TRWLock::unlock_shared() { FImpl->Lock.unlock_shared(); }

} // namespace platform
