#include "platform/RWLock.h"

#include <windows.h>

namespace platform {

struct TRWLock::Impl {
    SRWLOCK Lock = SRWLOCK_INIT;
};

TRWLock::TRWLock() : FImpl(std::make_unique<Impl>()) {}
TRWLock::~TRWLock() = default;
void TRWLock::lock() { AcquireSRWLockExclusive(&FImpl->Lock); }
void TRWLock::unlock() { ReleaseSRWLockExclusive(&FImpl->Lock); }
void TRWLock::lock_shared() { AcquireSRWLockShared(&FImpl->Lock); }
void TRWLock::unlock_shared() { ReleaseSRWLockShared(&FImpl->Lock); }

} // namespace platform
