#pragma once
// A download that survives a broken connection. It runs the client's GET
// and, when the connection fails during the body, asks again: for the rest
// only (Range with If-Range, RFC 9110 sections 14.2 and 13.1.5) when the
// first reply named a strong validator and did not refuse byte ranges, for
// the whole body otherwise. Bytes are appended only from a 206 that
// continues exactly where the target ends, for the same validator and the
// same total length; any 200 starts the target over, so the result is never
// a splice of two versions of a file. Attempts go on while they get further
// into the body than any attempt before. It changes nothing of the client:
// what it adds to each request goes with that request's hooks.
#include <cstdint>
#include <functional>
#include <string>

#include "http/NetHTTP.h"
#include "runtime/RuntimeTextTable.h"

namespace rtl {
class TStream;
}

namespace net {

#define RUNTIME_TEXT RUNTIME_TEXT_DECLARE
#include "http/NetDownloadTexts.def"
#undef RUNTIME_TEXT
extern const rtl::TRuntimeTextTable NetDownloadTexts;

// What the download does next after an attempt that did not complete the
// body, told before the pause: for a status line ("reconnecting, attempt 2")
// and for a log.
struct TNetRetryNotice {
    int Attempt = 0;       // the attempt that comes next: 2 for the first retry
    int PauseMs = 0;       // the pause before it
    bool Resume = false;   // it asks for the rest of the body, not all of it
    int64_t Received = 0;  // body bytes in the target now
    int64_t Expected = -1; // the length the body was announced with, -1 unknown
    std::string Reason;    // why the last attempt ended, as its error says
};

// When a download gives up.
struct TNetRetryPolicy {
    // Attempts in a row that end no further into the body than an earlier
    // attempt reached; with this many the download gives up. 0 never asks
    // again: the first failure ends the download, as a plain Get does.
    int MaxRetries = 0;
    // Waits the given milliseconds before the next attempt; empty sleeps.
    std::function<void(int milliseconds)> Pause;
    // Told before each pause; empty: nobody is told.
    std::function<void(const TNetRetryNotice&)> OnRetry;
};

// The pause before the next attempt after `streak` attempts in a row
// without progress: 1 s, doubled for each of them, at most 16 s.
int RetryPauseMs(int streak);

// The body length a response announces: 0 for a response that cannot have
// a body (HEAD, 1xx, 204, 304; RFC 9110 sections 6.4.1 and 15.3.5) whatever
// its Content-Length says, the Content-Length otherwise unless the body is
// chunked, and -1 when the length is unknown.
int64_t AnnouncedBodyLength(TNetHTTPResponse& response, const TNetHTTPRequest& request);

struct TNetDownloadResult {
    // The status of the response whose body the target holds; for a body
    // completed by ranges, that of the reply that began it (200).
    int ResponseCode = -1;
    std::string ResponseText;
    int64_t Received = 0;  // body bytes in the target
    int64_t Expected = -1; // the length the body was announced with, -1 unknown
    int Attempts = 0;
    bool Complete() const { return Expected < 0 || Received >= Expected; }
};

class TNetDownload {
  public:
    explicit TNetDownload(TNetCustomHTTP& http, TNetRetryPolicy policy = {});

    // Puts the target back to where the download began, before a body that
    // replaces what it holds is written (a wrapper that hashes what it is
    // given restarts its hash here). Empty: the target is cut back to its
    // position at the start of Get.
    std::function<void()> OnStartOver;

    // GET of url into target at its position. Returns once the body is
    // complete, or when the policy gives up on a body that ended early
    // (Complete() is false then); the caller decides what that means.
    // Raises what the last attempt raised: at once for an error status
    // (except 502, 503 and 504 on a retry, which count as attempts without
    // progress), a file that cannot be written and any failure before the
    // first body began; for a broken connection once the policy gives up.
    // An answer that cannot continue the body (a 206 for other bytes, of
    // another file or total length, a 416) starts the body over once; the
    // second raises, RSDownloadOtherRange or the 416. The work events go to
    // the caller as one transfer: a resume continues the count where it was,
    // only a start-over begins it again.
    //
    // The caller's hooks go with every attempt: its OnHeadersAvailable runs
    // after the client's and before the download looks at the response; its
    // work hooks, where set, receive the events in place of the client's
    // handlers; its header fields and options are sent each time (a resume's
    // Range and If-Range in place of any of the same name).
    TNetDownloadResult Get(const std::string& url, rtl::TStream& target,
                           const TNetRequestHooks& hooks = {});

  private:
    enum class TAnswer { None, Body, Resume, Refused };

    // The hooks of this download's requests, around the caller's.
    TNetRequestHooks Hooks(rtl::TStream& target);
    void Attempt(const std::string& url, rtl::TStream& target, TNetRequestHooks& hooks);
    void HeadersAvailable(TNetHeaderList& headers, bool& goOn);
    void AcceptBody(rtl::TStream& target);
    bool ContinuesBody();
    void StartOver(rtl::TStream& target);
    // Whether a failed attempt may be followed by another (streak updated),
    // after the notice and the pause; false when the download gives up.
    bool NextAttempt(int64_t reached, const std::string& reason);

    // The work events the caller sees: its hooks', else the client's handlers.
    void CallerWorkBegin(TNetComponent* sender, TWorkMode mode, int64_t max);
    void CallerWork(TNetComponent* sender, TWorkMode mode, int64_t count);
    void CallerWorkEnd(TNetComponent* sender, TWorkMode mode);
    // Ends the caller's transfer, when one is open.
    void CloseBar();

    TNetCustomHTTP& FHTTP;
    TNetRetryPolicy FPolicy;
    const TNetRequestHooks* FCaller = nullptr; // during Get

    // The download.
    int64_t FStart = 0;         // the target's position when Get began
    int64_t FWritten = 0;       // body bytes in the target
    int64_t FFurthest = 0;      // the most any attempt had written
    int FStreak = 0;            // attempts in a row without progress
    int FRefusals = 0;          // answers that could not continue the body
    bool FBegun = false;        // a body has been accepted
    TNetDownloadResult FResult; // code, text and length of that body
    std::string FValidator;     // to resume with; empty: no resuming
    bool FValidatorIsETag = false;

    // The current attempt.
    int64_t FFrom = -1; // the byte asked for with Range, -1 the whole body
    TAnswer FAnswer = TAnswer::None;
    std::string FRefusal; // why its answer could not continue the body

    // The work events the caller sees.
    bool FBarOpen = false;
    int64_t FBarOffset = 0;
};

} // namespace net
