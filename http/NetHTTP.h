#pragma once
// The HTTP/1.1 client: one GET run per call, directly or through a proxy,
// with keep-alive, cookies and typed errors for failed statuses.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "http/NetCookies.h"
#include "http/NetHTTPHeaderInfo.h"
#include "http/NetTCPClient.h"
#include "http/NetURI.h"

namespace rtl {
class TStream;
}

namespace net {

enum TNetHTTPOption {
    hoInProcessAuth,
    hoKeepOrigProtocol,
    hoForceEncodeParams,
    hoNonSSLProxyUseConnectVerb,
    hoNoParseMetaHTTPEquiv,
    hoWaitForUnexpectedData,
    hoTreat302Like303,
    hoNoProtocolErrorException,
    hoNoReadMultipartMIME,
    hoNoParseXmlCharset,
    hoWantProtocolErrorContent,
    hoNoReadChunked,
};

// A set of TNetHTTPOption values.
class TNetHTTPOptions {
  public:
    TNetHTTPOptions() = default;
    TNetHTTPOptions(std::initializer_list<TNetHTTPOption> options) {
        for (TNetHTTPOption o : options)
            Include(o);
    }
    bool Contains(TNetHTTPOption o) const { return (FBits >> o) & 1u; }
    void Include(TNetHTTPOption o) { FBits |= 1u << o; }
    void Exclude(TNetHTTPOption o) { FBits &= ~(1u << o); }
    bool operator==(const TNetHTTPOptions&) const = default;
    // The options of either set.
    TNetHTTPOptions operator|(TNetHTTPOptions other) const {
        other.FBits |= FBits;
        return other;
    }

  private:
    unsigned FBits = 0;
};

enum TNetHTTPWhatsNext { wnGoToURL, wnJustExit, wnDontKnow, wnReadAndGo, wnAuthRequest };

// Bytes of a failed response's body that its error keeps as ErrorMessage:
// plenty for an error page's text. The rest is still read, and dropped, so
// the connection can be kept as after any response while memory stays flat
// whatever size the server sends.
inline constexpr size_t NetErrorBodyKept = 64 * 1024;

class TNetCustomHTTP;
class TNetIOHandlerTLS;

// Called once a response head was read, before its body; VContinue = false
// leaves the body unread and the connection is closed.
using TNetHeadersAvailableEvent =
    std::function<void(TNetCustomHTTP* Sender, TNetHeaderList& AHeaders, bool& VContinue)>;

// What a layer above the client (a resuming download, a release check) adds
// to one request, in place of changing the client's settings and events and
// putting them back: the client stays as its owner set it, so nothing can be
// left behind when the request fails. A layer that is itself given hooks
// passes on what its own caller should see.
struct TNetRequestHooks {
    // Runs after the client's OnHeadersAvailable, when that let the response
    // go on.
    TNetHeadersAvailableEvent OnHeadersAvailable;
    // Each one that is set receives the request's work events in place of the
    // client's handler of that event.
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;
    // Header fields sent in place of the request's fields of the same name
    // (Range, If-Range, User-Agent), or added; a User-Agent here also goes
    // with the CONNECT of a tunnel.
    TNetHeaderList Headers;
    // Options in force for the request besides the client's HTTPOptions.
    TNetHTTPOptions Options;
};

// One request and one response paired with the client; the client keeps one
// for all its runs.
class TNetHTTPProtocol {
  public:
    explicit TNetHTTPProtocol(TNetCustomHTTP& http);

    TNetHTTPRequest Request;
    TNetHTTPResponse Response;

    void BuildAndSendRequest(TNetURI* AURI);
    void RetrieveHeaders(int AMaxHeaderCount);
    TNetHTTPWhatsNext ProcessResponse(const std::vector<int>& AIgnoreReplies);

  private:
    // Reads a failed response's body aside and raises
    // ENetHTTPProtocolException (unless the options or the tolerated codes
    // say otherwise).
    void RaiseProtocolError(const std::vector<int>& AIgnoreReplies);
    void DiscardBody();
    void ReadBodyAside(rtl::TStream* target);
    // Headers rejected through OnHeadersAvailable.
    bool HeadersAvailable();

    TNetCustomHTTP& FHTTP;
};

class TNetCustomHTTP : public TNetTCPClientCustom {
  public:
    TNetCustomHTTP();
    ~TNetCustomHTTP() override;

    // Settings.
    bool AllowCookies = true;
    bool HandleRedirects = false;
    // Redirects followed in one request; one more raises
    // ENetHTTPProtocolException with that redirect's status line.
    int RedirectMaximum = 15;
    // Credentials asked again after a 401 (or 407) per request; the next one
    // raises ENetHTTPProtocolException with its status line.
    int MaxAuthRetries = 3;
    // Header lines kept per response head; more are read and dropped
    // (RetrieveHeaders), so the body still starts in the right place. Zero
    // or less keeps them all. Each line is also held to the I/O handler's
    // MaxLineLength.
    int MaxHeaderLines = 255;
    TNetHTTPProtocolVersion ProtocolVersion = pv1_1;
    TNetHTTPOptions HTTPOptions{hoForceEncodeParams};
    TNetProxyConnectionInfo ProxyParams;

    // Counters of the current run.
    int RedirectCount = 0;
    int AuthRetries = 0;
    int AuthProxyRetries = 0;

    TNetHTTPRequest& Request() { return FHTTPProto.Request; }
    TNetHTTPResponse& Response() { return FHTTPProto.Response; }
    int ResponseCode() { return FHTTPProto.Response.ResponseCode(); }
    const std::string& ResponseText() { return FHTTPProto.Response.ResponseText(); }
    const TNetURI& URL() const { return FURI; }

    // The cookie store; a client without one creates its own at the first
    // response. An assigned store is not owned.
    TNetCookieManager* CookieManager() const { return FCookieManager; }
    void SetCookieManager(TNetCookieManager* manager);

    // Events.
    std::function<void(TNetCustomHTTP* Sender, std::string& dest, int NumRedirect, bool& Handled,
                       std::string& VMethod)>
        OnRedirect;
    TNetHeadersAvailableEvent OnHeadersAvailable;
    std::function<void(TNetCustomHTTP* Sender, std::vector<uint8_t>& Chunk)> OnChunkReceived;
    // Asked for credentials after a 401 (or, for the proxy, a 407); true to
    // retry with Request.Username/Password (or ProxyParams) set.
    std::function<bool(TNetCustomHTTP* Sender)> OnAuthorization;
    std::function<bool(TNetCustomHTTP* Sender)> OnProxyAuthorization;

    // GET of AURL; the body goes to AResponseContent at its position (none:
    // the body is dropped).
    void Get(const std::string& AURL, rtl::TStream* AResponseContent);
    void Get(const std::string& AURL, rtl::TStream& AResponseContent) {
        Get(AURL, &AResponseContent);
    }
    // The same with a layer's hooks for this request.
    void Get(const std::string& AURL, rtl::TStream* AResponseContent,
             const TNetRequestHooks& AHooks);

    // Sets Host and Port for the URI: the server itself or the proxy.
    TNetHTTPConnectionType ChooseEndpoint(const TNetURI& AURI);

    // Reads the current response's body into Response().ContentStream.
    void ReadBody();

  protected:
    void DoOnDisconnected() override;
    // A handler that can put TLS over its connection.
    std::unique_ptr<TNetIOHandler> MakeIOHandler() override;
    // The work events of a request go to its hooks where they are set.
    void NotifyWorkBegin(TWorkMode mode, int64_t max) override;
    void NotifyWork(TWorkMode mode, int64_t count) override;
    void NotifyWorkEnd(TWorkMode mode) override;

  private:
    friend class TNetHTTPProtocol;

    void RunRequest(const std::string& AMethod, const std::string& AURL, rtl::TStream* ASource,
                    rtl::TStream* AResponseContent, const std::vector<int>& AIgnoreReplies,
                    const TNetRequestHooks* AHooks = nullptr);
    // HTTPOptions with those of the current request's hooks.
    TNetHTTPOptions RequestOptions() const;
    // The User-Agent the current request goes with.
    std::string RequestUserAgent();
    void PrepareTarget();
    void OpenAndSend();
    void EnsureConnected();
    // TLS over the new connection, through a proxy's tunnel when asked.
    void SecureConnection(bool throughProxy);
    void OpenTunnel(TNetIOHandlerTLS& io);
    std::string ReadProtocolLine();
    void StoreResponseCookies();
    void AttachRequestCookies(TNetURI& AURI);
    bool DoOnAuthorization(int code);

    bool BodyExpected();
    bool WaitForPendingData(int timeoutMs);
    // The body by its framing: chunked, Content-Length, multipart, or up to
    // the close.
    void ReadFramedBody();
    void ReadChunkedBody();
    int64_t ReadChunkSizeLine();
    void ReadMultipartBody();

    TNetURI FURI;
    TNetHTTPProtocol FHTTPProto;
    TNetCookieManager* FCookieManager = nullptr;
    std::unique_ptr<TNetCookieManager> FOwnedCookieManager;
    bool FImplicitCookieManager = false;
    // "host:port" of the server the current TLS connection was checked for.
    std::string FSecureDestination;
    // The hooks of the request being run; none between requests.
    const TNetRequestHooks* FHooks = nullptr;
};

class TNetHTTP : public TNetCustomHTTP {
  public:
    using TNetCustomHTTP::TNetCustomHTTP;
};

} // namespace net
