#pragma once
// A multi-reader/single-writer lock. On Windows it is the system's slim
// reader/writer lock; the C++ library's shared mutex of the MinGW thread layer
// was seen to let a reader through beside a writer. Usable with
// std::unique_lock and std::shared_lock.
#include <memory>

namespace platform {

class TRWLock {
public:
    TRWLock();
    ~TRWLock();
    TRWLock(const TRWLock&) = delete;
    TRWLock& operator=(const TRWLock&) = delete;

    void lock();
    void unlock();
    void lock_shared();
    void unlock_shared();

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

} // namespace platform
