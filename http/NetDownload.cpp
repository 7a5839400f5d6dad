#include "http/NetDownload.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "http/NetExceptions.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"

namespace net {

using platform::SameTextAscii;

namespace {

const rtl::RuntimeTextEntry kDownloadTexts[] = {
#define RUNTIME_TEXT RUNTIME_TEXT_ENTRY
#include "http/NetDownloadTexts.def"
#undef RUNTIME_TEXT
};

constexpr int kFirstPauseMs = 1000;
constexpr int kLongestPauseDoublings = 4; // 16 s

// The message of a failure an attempt ended with.
std::string MessageOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const rtl::Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    }
}

// A server or gateway that is busy for now (RFC 9110 sections 15.6.3-15.6.5).
bool IsBusyStatus(int code) {
    return code == 502 || code == 503 || code == 504;
}

// Accept-Ranges that does not list "bytes" says byte ranges are not served
// (RFC 9110 section 14.3); without the field nothing is said against them.
bool ByteRangesAllowed(const std::string& acceptRanges) {
    if (rtl::Trim(acceptRanges).empty()) return true;
    size_t from = 0;
    for (;;) {
        const size_t comma = acceptRanges.find(',', from);
        if (SameTextAscii(rtl::Trim(acceptRanges.substr(from, comma - from)), "bytes")) return true;
        if (comma == std::string::npos) return false;
        from = comma + 1;
    }
}

// The validator an If-Range may carry (RFC 9110 section 13.1.5): a strong
// entity tag; without any entity tag, a Last-Modified date that is strong
// because the reply's Date is at least a second later (section 8.8.2.2).
// Empty when there is none: a weak tag or date could let two versions of a
// file be spliced together.
std::string StrongValidator(TNetHTTPResponse& response, bool& isETag) {
    const std::string etag = rtl::Trim(response.ETag);
    isETag = !etag.empty();
    if (isETag) return etag.rfind("W/", 0) == 0 ? std::string() : etag;
    const std::string modified = response.RawHeaders.Values("Last-Modified");
    rtl::TDateTime modifiedAt = 0, date = 0;
    if (!TryHttpStrToDateTime(modified, modifiedAt) ||
        !TryHttpStrToDateTime(response.RawHeaders.Values("Date"), date))
        return {};
    constexpr rtl::TDateTime oneSecond = 1.0 / 86400;
    return date - modifiedAt >= oneSecond * 0.999 ? modified : std::string();
}

} // namespace

const rtl::TRuntimeTextTable NetDownloadTexts{kDownloadTexts};

int RetryPauseMs(int streak) {
    return kFirstPauseMs << std::clamp(streak, 0, kLongestPauseDoublings);
}

int64_t AnnouncedBodyLength(TNetHTTPResponse& response, const TNetHTTPRequest& request) {
    const int code = response.ResponseCode();
    if (SameTextAscii(request.Method, "HEAD") || SameTextAscii(request.MethodOverride, "HEAD") ||
        code / 100 == 1 || code == 204 || code == 304)
        return 0;
    return response.Chunked() ? -1 : response.ContentLength;
}

TNetDownload::TNetDownload(TNetCustomHTTP& http, TNetRetryPolicy policy)
    : FHTTP(http), FPolicy(std::move(policy)) {}

TNetDownloadResult TNetDownload::Get(const std::string& url, rtl::TStream& target,
                                     const TNetRequestHooks& hooks) {
    FCaller = &hooks;
    FStart = target.Position();
    FWritten = FFurthest = 0;
    FStreak = FRefusals = 0;
    FBegun = false;
    FResult = {};
    FValidator.clear();
    FBarOpen = false;
    TNetRequestHooks ours = Hooks(target);
    // The caller's transfer ends with the download, however it ends.
    rtl::TScopeExit closeBar([this] { CloseBar(); });
    for (;;) {
        ++FResult.Attempts;
        std::exception_ptr failure;
        try {
            Attempt(url, target, ours);
        } catch (const ENetHTTPProtocolException& e) {
            // A range the server cannot serve ends the resuming, not the
            // download; a busy server on a retry is a retry without progress.
            if (FFrom >= 0 && e.ErrorCode == 416)
                FAnswer = TAnswer::Refused;
            else if (!FBegun || !IsBusyStatus(e.ErrorCode))
                throw;
            failure = std::current_exception();
        } catch (const ENetException& e) {
            if (!FBegun || !e.BrokenConnection()) throw;
            failure = std::current_exception();
        }
        FWritten = target.Position() - FStart;
        FResult.Received = FWritten;
        if (!failure && FAnswer == TAnswer::None) {
            // Not a body of this download (the caller's OnHeadersAvailable
            // declined it, or error statuses raise nothing): the caller's.
            FResult.ResponseCode = FHTTP.ResponseCode();
            FResult.ResponseText = FHTTP.ResponseText();
            FResult.Expected = -1;
            return FResult;
        }
        if (!failure && FAnswer != TAnswer::Refused && FResult.Complete()) return FResult;

        const bool refused = FAnswer == TAnswer::Refused;
        const rtl::TText otherRange =
            refused ? NetDownloadTexts.Compose(RSDownloadOtherRangeRes,
                                               {url, rtl::IntToStr(FFrom), FRefusal})
                    : rtl::TText();
        auto raiseLast = [&] {
            if (failure) std::rethrow_exception(failure);
            throw ENetException(otherRange);
        };
        if (refused && ++FRefusals > 1) raiseLast();
        // The next attempt asks for the whole body again.
        if (refused) FValidator.clear();
        const std::string reason = failure ? MessageOf(failure)
                                   : refused
                                       ? otherRange.Text
                                       : NetDownloadTexts.Format(RSDownloadEndedEarlyRes,
                                                                 {rtl::IntToStr(FWritten),
                                                                  rtl::IntToStr(FResult.Expected)});
        if (NextAttempt(FWritten, reason)) continue;
        if (failure || refused) raiseLast();
        return FResult; // a body that ended early, as far as it came
    }
}

void TNetDownload::Attempt(const std::string& url, rtl::TStream& target, TNetRequestHooks& hooks) {
    FAnswer = TAnswer::None;
    FRefusal.clear();
    FFrom = !FValidator.empty() && FWritten > 0 ? FWritten : -1;
    hooks.Headers = FCaller->Headers;
    if (FFrom >= 0) {
        hooks.Headers.SetValues("Range", "bytes=" + rtl::IntToStr(FFrom) + "-");
        hooks.Headers.SetValues("If-Range", FValidator);
    }
    FHTTP.Get(url, &target, hooks);
}

bool TNetDownload::NextAttempt(int64_t reached, const std::string& reason) {
    const bool progress = reached > FFurthest;
    FFurthest = std::max(FFurthest, reached);
    FStreak = progress ? 0 : FStreak + 1;
    if (FStreak >= FPolicy.MaxRetries) return false;
    const int pause = RetryPauseMs(FStreak);
    if (FPolicy.OnRetry)
        FPolicy.OnRetry({FResult.Attempts + 1, pause, !FValidator.empty() && reached > 0, reached,
                         FResult.Expected, reason});
    if (FPolicy.Pause)
        FPolicy.Pause(pause);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    return true;
}

void TNetDownload::HeadersAvailable(TNetHeaderList& headers, bool& goOn) {
    if (FCaller->OnHeadersAvailable) {
        FCaller->OnHeadersAvailable(&FHTTP, headers, goOn);
        if (!goOn) return;
    }
    // Error statuses and redirects are the client's to handle.
    const int code = FHTTP.ResponseCode();
    if (code / 100 != 2) return;
    if (code == 206 && FFrom >= 0) {
        FAnswer = ContinuesBody() ? TAnswer::Resume : TAnswer::Refused;
    } else if (FBegun && code != 200) {
        FAnswer = TAnswer::Refused;
        FRefusal = FHTTP.Response().RawHeaders.Values("Content-Range");
    } else {
        FAnswer = TAnswer::Body;
    }
    // A refused answer's body is left unread: the client then closes the
    // connection instead of writing a byte of it.
    goOn = FAnswer != TAnswer::Refused;
    if (FAnswer == TAnswer::Resume) FBarOffset = FWritten;
}

void TNetDownload::AcceptBody(rtl::TStream& target) {
    TNetHTTPResponse& response = FHTTP.Response();
    if (FWritten > 0) StartOver(target);
    FBegun = true;
    FBarOffset = 0;
    FResult.ResponseCode = response.ResponseCode();
    FResult.ResponseText = response.ResponseText();
    FResult.Expected = AnnouncedBodyLength(response, FHTTP.Request());
    // Only a whole body of known length can be continued and checked.
    FValidator.clear();
    if (FResult.ResponseCode == 200 && FResult.Expected > 0 &&
        ByteRangesAllowed(response.AcceptRanges))
        FValidator = StrongValidator(response, FValidatorIsETag);
}

bool TNetDownload::ContinuesBody() {
    TNetHTTPResponse& r = FHTTP.Response();
    // The same representation: a 206 for another one would have come as a
    // 200, but a cache or a careless server may still send one.
    const std::string sent =
        FValidatorIsETag ? rtl::Trim(r.ETag) : r.RawHeaders.Values("Last-Modified");
    const bool continues =
        SameTextAscii(r.ContentRangeUnits, "bytes") && r.ContentRangeStart == FFrom &&
        r.ContentRangeInstanceLength == FResult.Expected && r.ContentRangeEnd >= FFrom &&
        r.ContentRangeEnd < FResult.Expected &&
        AnnouncedBodyLength(r, FHTTP.Request()) == r.ContentRangeEnd - FFrom + 1 &&
        (sent.empty() || sent == FValidator);
    if (!continues) FRefusal = r.RawHeaders.Values("Content-Range");
    return continues;
}

void TNetDownload::StartOver(rtl::TStream& target) {
    if (OnStartOver) {
        OnStartOver();
    } else {
        target.SetPosition(FStart);
        target.SetSize(FStart);
    }
    FWritten = 0;
    // The bar goes back to the beginning with the body.
    CloseBar();
}

TNetRequestHooks TNetDownload::Hooks(rtl::TStream& target) {
    TNetRequestHooks hooks;
    hooks.Options = FCaller->Options;
    hooks.OnHeadersAvailable = [this, &target](TNetCustomHTTP*, TNetHeaderList& h, bool& goOn) {
        HeadersAvailable(h, goOn);
        if (FAnswer == TAnswer::Body) AcceptBody(target);
    };
    // The body of this download is one transfer for the caller; the bodies
    // of error replies read aside show only while no such transfer is open.
    auto ours = [this](TWorkMode mode) {
        return mode == TWorkMode::wmRead &&
               (FAnswer == TAnswer::Body || FAnswer == TAnswer::Resume);
    };
    auto passed = [this](TWorkMode mode) { return mode != TWorkMode::wmRead || !FBarOpen; };
    hooks.OnWorkBegin = [=, this](TNetComponent* sender, TWorkMode mode, int64_t max) {
        if (!ours(mode)) {
            if (passed(mode)) CallerWorkBegin(sender, mode, max);
        } else if (!FBarOpen) {
            FBarOpen = true;
            CallerWorkBegin(sender, mode, FAnswer == TAnswer::Resume ? FResult.Expected : max);
        }
    };
    hooks.OnWork = [=, this](TNetComponent* sender, TWorkMode mode, int64_t count) {
        if (ours(mode))
            CallerWork(sender, mode, FBarOffset + count);
        else if (passed(mode))
            CallerWork(sender, mode, count);
    };
    hooks.OnWorkEnd = [=, this](TNetComponent* sender, TWorkMode mode) {
        if (!ours(mode) && passed(mode)) CallerWorkEnd(sender, mode);
    };
    return hooks;
}

void TNetDownload::CallerWorkBegin(TNetComponent* sender, TWorkMode mode, int64_t max) {
    if (FCaller->OnWorkBegin)
        FCaller->OnWorkBegin(sender, mode, max);
    else if (FHTTP.OnWorkBegin)
        FHTTP.OnWorkBegin(sender, mode, max);
}

void TNetDownload::CallerWork(TNetComponent* sender, TWorkMode mode, int64_t count) {
    if (FCaller->OnWork)
        FCaller->OnWork(sender, mode, count);
    else if (FHTTP.OnWork)
        FHTTP.OnWork(sender, mode, count);
}

void TNetDownload::CallerWorkEnd(TNetComponent* sender, TWorkMode mode) {
    if (FCaller->OnWorkEnd)
        FCaller->OnWorkEnd(sender, mode);
    else if (FHTTP.OnWorkEnd)
        FHTTP.OnWorkEnd(sender, mode);
}

void TNetDownload::CloseBar() {
    if (!FBarOpen) return;
    FBarOpen = false;
    CallerWorkEnd(&FHTTP, TWorkMode::wmRead);
}

} // namespace net
