#include "http/NetComponent.h"

#include "runtime/ScopeGuard.h"

namespace net {

void TNetComponent::BeginWork(TWorkMode mode, int64_t max) {
    if (FWorkTarget) {
        FWorkTarget->BeginWork(mode, max);
        return;
    }
    TWorkInfo& w = Record(mode);
    if (++w.Level == 1) {
        w.Max = max;
        w.Count = 0;
        // A handler that fails leaves no bracket open: its caller closes
        // only the brackets it opened.
        rtl::TScopeFail unopened([&w] { --w.Level; });
        NotifyWorkBegin(mode, max);
    }
}

void TNetComponent::DoWork(TWorkMode mode, int64_t count) {
    if (FWorkTarget) {
        FWorkTarget->DoWork(mode, count);
        return;
    }
    TWorkInfo& w = Record(mode);
    if (w.Level > 0) {
        w.Count += count;
        NotifyWork(mode, w.Count);
    }
}

void TNetComponent::EndWork(TWorkMode mode) {
    if (FWorkTarget) {
        FWorkTarget->EndWork(mode);
        return;
    }
    TWorkInfo& w = Record(mode);
    if (w.Level == 0) return;
    // The level comes down before the handler runs: a handler that fails
    // leaves the bracket closed, so the next transfer begins as its own.
    if (--w.Level == 0) NotifyWorkEnd(mode);
}

void TNetComponent::NotifyWorkBegin(TWorkMode mode, int64_t max) {
    if (OnWorkBegin) OnWorkBegin(this, mode, max);
}

void TNetComponent::NotifyWork(TWorkMode mode, int64_t count) {
    if (OnWork) OnWork(this, mode, count);
}

void TNetComponent::NotifyWorkEnd(TWorkMode mode) {
    if (OnWorkEnd) OnWorkEnd(this, mode);
}

void TNetComponent::DoStatus(TNetStatus status, const std::string& text) {
    if (OnStatus) OnStatus(this, status, text);
}

} // namespace net
