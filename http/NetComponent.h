#pragma once
// The base of the client's parts: work (progress) records and events, and
// status reports.
#include <cstdint>
#include <functional>
#include <string>

#include "http/NetTexts.h"

namespace net {

enum class TWorkMode { wmRead, wmWrite };

enum class TNetStatus {
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText,
};

class TNetComponent;

using TWorkBeginEvent =
    std::function<void(TNetComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
using TWorkEvent =
    std::function<void(TNetComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TNetComponent* ASender, TWorkMode AWorkMode)>;
using TStatusEvent =
    std::function<void(TNetComponent* ASender, TNetStatus AStatus, const std::string& AStatusText)>;

class TNetComponent {
  public:
    virtual ~TNetComponent() = default;

    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;
    TStatusEvent OnStatus;

    // Nested calls count levels; only the outermost bracket fires events.
    // With a work target every call is passed on to it instead.
    void BeginWork(TWorkMode mode, int64_t max = 0);
    void DoWork(TWorkMode mode, int64_t count);
    void EndWork(TWorkMode mode);

    TNetComponent* WorkTarget() const { return FWorkTarget; }
    void SetWorkTarget(TNetComponent* target) { FWorkTarget = target; }

    int64_t WorkCount(TWorkMode mode) const { return Record(mode).Count; }
    int64_t WorkCountMax(TWorkMode mode) const { return Record(mode).Max; }
    int WorkLevel(TWorkMode mode) const { return Record(mode).Level; }

    void DoStatus(TNetStatus status, const std::string& text);

  protected:
    // Where the outermost bracket's events go: to the handlers above.
    virtual void NotifyWorkBegin(TWorkMode mode, int64_t max);
    virtual void NotifyWork(TWorkMode mode, int64_t count);
    virtual void NotifyWorkEnd(TWorkMode mode);

  private:
    struct TWorkInfo {
        int64_t Count = 0;
        int64_t Max = 0;
        int Level = 0;
    };
    TWorkInfo& Record(TWorkMode mode) { return FWork[mode == TWorkMode::wmRead ? 0 : 1]; }
    const TWorkInfo& Record(TWorkMode mode) const {
        return FWork[mode == TWorkMode::wmRead ? 0 : 1];
    }

    TWorkInfo FWork[2];
    TNetComponent* FWorkTarget = nullptr;
};

} // namespace net
