#include "http/NetHTTP.h"

#include <algorithm>

#include "http/NetExceptions.h"
#include "http/NetIOHandlerTLS.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"

namespace net {

using platform::SameTextAscii;

namespace {

bool IsHead(const TNetHTTPRequest& r) {
    return SameTextAscii(r.Method, "HEAD") || SameTextAscii(r.MethodOverride, "HEAD");
}

// Error bodies as text: UTF-8 and the Latin-1 family by name; bytes that are
// not valid in the named set are taken as Latin-1.
bool IsValidUtf8(const std::vector<uint8_t>& b) {
    size_t i = 0;
    const size_t n = b.size();
    while (i < n) {
        uint8_t c = b[i];
        size_t extra;
        if (c < 0x80)
            extra = 0;
        else if ((c & 0xE0) == 0xC0)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if ((c & 0xF8) == 0xF0)
            extra = 3;
        else
            return false;
        if (extra > n - i - 1) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((b[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

std::string DecodeBody(const std::vector<uint8_t>& bytes, const std::string& charSet) {
    std::string cs = platform::AsciiLowerCase(rtl::Trim(charSet));
    bool asciiOnly = std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) { return c < 0x80; });
    if (asciiOnly || ((cs.empty() || cs == "utf-8" || cs == "utf8") && IsValidUtf8(bytes)))
        return std::string(bytes.begin(), bytes.end());
    if (cs == "us-ascii" || cs == "ascii") {
        std::string text;
        for (uint8_t c : bytes)
            text += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("\xEF\xBF\xBD");
        return text;
    }
    std::string text;
    for (uint8_t c : bytes) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// A memory stream that keeps the first bytes written to it, up to a limit,
// and drops the rest while reporting every byte as written. Being a memory
// stream, a body read into it is not copied into another one first.
class TCappedMemoryStream : public rtl::TMemoryStream {
  public:
    explicit TCappedMemoryStream(size_t limit) : FLimit(static_cast<int64_t>(limit)) {}
    size_t Write(const void* buffer, size_t count) override {
        int64_t room = std::max<int64_t>(0, FLimit - Position());
        size_t kept = static_cast<size_t>(std::min<int64_t>(room, static_cast<int64_t>(count)));
        if (kept > 0) rtl::TMemoryStream::Write(buffer, kept);
        return count;
    }

  private:
    int64_t FLimit;
};

std::string HostText(const TNetURI& uri) {
    return uri.IPVersion == Id_IPv6 ? "[" + uri.Host + "]" : uri.Host;
}

bool IsSecure(TNetHTTPConnectionType kind) {
    return kind == ctSSL || kind == ctSSLProxy;
}

} // namespace

// ---- TNetHTTPProtocol ------------------------------------------------------

TNetHTTPProtocol::TNetHTTPProtocol(TNetCustomHTTP& http) : Response(http), FHTTP(http) {}

void TNetHTTPProtocol::BuildAndSendRequest(TNetURI* AURI) {
    Request.SetHeaders();
    if (const TNetRequestHooks* hooks = FHTTP.FHooks)
        for (size_t i = 0; i < hooks->Headers.Count(); ++i)
            Request.RawHeaders.SetValues(hooks->Headers.Names(i), hooks->Headers.ValueFromIndex(i));
    // The proxy's credentials are for the proxy: inside a TLS connection
    // the server would read them (a tunnel's CONNECT carries them instead).
    if (!IsSecure(Request.UseProxy)) FHTTP.ProxyParams.SetHeaders(Request.RawHeaders);
    if (AURI) FHTTP.AttachRequestCookies(*AURI);

    TNetIOHandler& io = *FHTTP.IOHandler();
    bool started = !io.WriteBufferingActive();
    if (started) io.WriteBufferOpen(-1);
    // A head that fails halfway is never sent in part.
    rtl::TScopeFail cancel([&] {
        if (started) io.WriteBufferCancel();
    });
    io.WriteLn(Request.Method + " " + Request.URL + " HTTP/" +
               (FHTTP.ProtocolVersion == pv1_0 ? "1.0" : "1.1"));
    for (size_t i = 0; i < Request.RawHeaders.Count(); ++i) {
        const std::string& line = Request.RawHeaders.Strings(i);
        if (!line.empty()) io.WriteLn(line);
    }
    io.WriteLn();
    if (started) io.WriteBufferClose();
}

// The head after the status line (RFC 9112 sections 2.1 and 5):
//
//   *( field-line CRLF ) CRLF
//   field-line = field-name ":" OWS field-value OWS
//   obs-fold   = OWS CRLF RWS          ; continues the field line before it
//
// Each line is one protocol line (LF ends it, a CR before it is dropped, a
// line past the I/O handler's MaxLineLength fails), up to the first empty
// line. AMaxHeaderCount lines are kept and later ones read and dropped, so
// the body still starts in the right place. In the kept lines a line that
// begins with SP or HTAB continues the field before it (section 5.2: joined
// with one space when read); a line without ":", with white space before
// its ":", or that continues nothing names no field that is ever looked up.
// Names match without regard to case and values are read trimmed. A close
// before the empty line ends the head where it came (the connection is then
// closed), instead of failing a response whose status line arrived.
void TNetHTTPProtocol::RetrieveHeaders(int AMaxHeaderCount) {
    Response.Clear();
    try {
        int count = 0;
        for (;;) {
            std::string line = FHTTP.ReadProtocolLine();
            if (line.empty()) break;
            if (AMaxHeaderCount <= 0 || count < AMaxHeaderCount) {
                Response.RawHeaders.Add(line);
                ++count;
            }
            // Lines beyond the cap are read and dropped up to the end of the
            // head, so that none of them is taken for the start of the body.
        }
    } catch (const ENetConnClosedGracefully&) {
        FHTTP.Disconnect();
    }
    Response.ProcessHeaders();
}

bool TNetHTTPProtocol::HeadersAvailable() {
    bool goOn = true;
    if (FHTTP.OnHeadersAvailable) FHTTP.OnHeadersAvailable(&FHTTP, Response.RawHeaders, goOn);
    const TNetRequestHooks* hooks = FHTTP.FHooks;
    if (goOn && hooks && hooks->OnHeadersAvailable)
        hooks->OnHeadersAvailable(&FHTTP, Response.RawHeaders, goOn);
    return goOn;
}

TNetHTTPWhatsNext TNetHTTPProtocol::ProcessResponse(const std::vector<int>& AIgnoreReplies) {
    if (!HeadersAvailable()) {
        Response.BodyLeftUnread = true;
        return wnJustExit;
    }
    const int code = Response.ResponseCode();
    const int responseClass = code / 100;

    if (responseClass == 3 && code != 304) {
        if (Response.Location.empty()) {
            RaiseProtocolError(AIgnoreReplies);
            return wnJustExit;
        }
        ++FHTTP.RedirectCount;
        std::string location = Response.Location;
        std::string method = Request.Method;
        bool handled = FHTTP.HandleRedirects;
        if (FHTTP.OnRedirect)
            FHTTP.OnRedirect(&FHTTP, location, FHTTP.RedirectCount, handled, method);
        // Following stops at RedirectMaximum redirects; one more is an error,
        // not an empty success.
        if (!handled || (FHTTP.HandleRedirects && FHTTP.RedirectCount > FHTTP.RedirectMaximum)) {
            RaiseProtocolError(AIgnoreReplies);
            return wnJustExit;
        }
        TNetHTTPWhatsNext result;
        if (FHTTP.HandleRedirects) {
            Request.URL = location;
            if (code == 303 ||
                (code == 302 && FHTTP.RequestOptions().Contains(hoTreat302Like303))) {
                Request.Source = nullptr;
                Request.Method = "GET";
            } else {
                Request.Method = method;
            }
            Request.MethodOverride.clear();
            result = wnGoToURL;
        } else {
            Response.Location = location;
            result = wnJustExit;
        }
        if (FHTTP.Connected()) DiscardBody();
        return result;
    }

    if (responseClass != 2) {
        if (code == 401 || code == 407) {
            int& retries = code == 401 ? FHTTP.AuthRetries : FHTTP.AuthProxyRetries;
            if (retries >= FHTTP.MaxAuthRetries || !FHTTP.DoOnAuthorization(code)) {
                RaiseProtocolError(AIgnoreReplies);
                return wnJustExit;
            }
            if (FHTTP.RequestOptions().Contains(hoInProcessAuth)) {
                DiscardBody();
                return wnAuthRequest;
            }
        } else {
            RaiseProtocolError(AIgnoreReplies);
            return wnJustExit;
        }
    }

    if (IsHead(Request) || code == 204)
        DiscardBody();
    else
        FHTTP.ReadBody();
    return wnJustExit;
}

void TNetHTTPProtocol::RaiseProtocolError(const std::vector<int>& AIgnoreReplies) {
    const int code = Response.ResponseCode();
    bool raise = true;
    bool discard = true;
    if (FHTTP.RequestOptions().Contains(hoNoProtocolErrorException) ||
        std::find(AIgnoreReplies.begin(), AIgnoreReplies.end(), code) != AIgnoreReplies.end()) {
        raise = false;
        discard = !FHTTP.RequestOptions().Contains(hoWantProtocolErrorContent);
    }
    TCappedMemoryStream aside(NetErrorBodyKept);
    ReadBodyAside(raise ? &aside : discard ? nullptr : Response.ContentStream);
    if (raise)
        // The status line stays as the server sent it; a catalog may only
        // put words of its language around it.
        throw ENetHTTPProtocolException(
            NetTexts.Compose(RSHTTPErrorStatusRes, {Response.ResponseText()}), code,
            DecodeBody(aside.Bytes(), Response.CharSet));
}

void TNetHTTPProtocol::DiscardBody() {
    ReadBodyAside(nullptr);
}

void TNetHTTPProtocol::ReadBodyAside(rtl::TStream* target) {
    // The body goes to target (none: dropped); the caller's stream is put
    // back afterwards, and a server that closes meanwhile only ends the body.
    rtl::TStream* callerStream = Response.ContentStream;
    Response.ContentStream = target;
    rtl::TScopeExit restore([&] { Response.ContentStream = callerStream; });
    try {
        FHTTP.ReadBody();
    } catch (const ENetConnClosedGracefully&) {
        FHTTP.Disconnect();
    }
}

// ---- TNetCustomHTTP ----------------------------------------------------------

TNetCustomHTTP::TNetCustomHTTP() : FHTTPProto(*this) {}

TNetCustomHTTP::~TNetCustomHTTP() = default;

void TNetCustomHTTP::SetCookieManager(TNetCookieManager* manager) {
    if (manager == FCookieManager) return;
    FOwnedCookieManager.reset();
    FImplicitCookieManager = false;
    FCookieManager = manager;
}

void TNetCustomHTTP::DoOnDisconnected() {
    FSecureDestination.clear();
    TNetTCPClientCustom::DoOnDisconnected();
}

std::unique_ptr<TNetIOHandler> TNetCustomHTTP::MakeIOHandler() {
    return std::make_unique<TNetIOHandlerTLS>();
}

void TNetCustomHTTP::Get(const std::string& AURL, rtl::TStream* AResponseContent) {
    RunRequest("GET", AURL, nullptr, AResponseContent, {});
}

void TNetCustomHTTP::Get(const std::string& AURL, rtl::TStream* AResponseContent,
                         const TNetRequestHooks& AHooks) {
    RunRequest("GET", AURL, nullptr, AResponseContent, {}, &AHooks);
}

void TNetCustomHTTP::NotifyWorkBegin(TWorkMode mode, int64_t max) {
    if (FHooks && FHooks->OnWorkBegin)
        FHooks->OnWorkBegin(this, mode, max);
    else
        TNetTCPClientCustom::NotifyWorkBegin(mode, max);
}

void TNetCustomHTTP::NotifyWork(TWorkMode mode, int64_t count) {
    if (FHooks && FHooks->OnWork)
        FHooks->OnWork(this, mode, count);
    else
        TNetTCPClientCustom::NotifyWork(mode, count);
}

void TNetCustomHTTP::NotifyWorkEnd(TWorkMode mode) {
    if (FHooks && FHooks->OnWorkEnd)
        FHooks->OnWorkEnd(this, mode);
    else
        TNetTCPClientCustom::NotifyWorkEnd(mode);
}

TNetHTTPOptions TNetCustomHTTP::RequestOptions() const {
    return FHooks ? HTTPOptions | FHooks->Options : HTTPOptions;
}

std::string TNetCustomHTTP::RequestUserAgent() {
    const std::string hooked = FHooks ? FHooks->Headers.Values("User-Agent") : std::string();
    return hooked.empty() ? Request().UserAgent : hooked;
}

void TNetCustomHTTP::RunRequest(const std::string& AMethod, const std::string& AURL,
                                rtl::TStream* ASource, rtl::TStream* AResponseContent,
                                const std::vector<int>& AIgnoreReplies,
                                const TNetRequestHooks* AHooks) {
    // The hooks hold for this request only, also when it fails.
    rtl::TScopeExit unhook([this, outer = FHooks] { FHooks = outer; });
    FHooks = AHooks;
    RedirectCount = 0;
    AuthRetries = 0;
    AuthProxyRetries = 0;
    const int64_t startPosition = AResponseContent ? AResponseContent->Position() : 0;
    Request().URL = AURL;
    Request().Method = AMethod;
    Request().Source = ASource;
    Response().ContentStream = AResponseContent;
    // A failure may have left part of a response unread on the connection,
    // which would be taken for the next response: the connection is closed,
    // unless the response was read completely, as after a success or a
    // protocol error, and is to be kept alive.
    bool readCompletely = false;
    rtl::TScopeExit close([&] {
        if (!readCompletely || !Response().KeepAlive()) Disconnect();
    });
    try {
        for (;;) {
            PrepareTarget();
            OpenAndSend();
            do {
                Response().SetResponseText(ReadProtocolLine());
                FHTTPProto.RetrieveHeaders(MaxHeaderLines);
                StoreResponseCookies();
            } while (Response().ResponseCode() == 100);

            TNetHTTPWhatsNext next = FHTTPProto.ProcessResponse(AIgnoreReplies);
            if (next == wnGoToURL) {
                if (AResponseContent) {
                    AResponseContent->SetPosition(startPosition);
                    AResponseContent->SetSize(startPosition);
                }
                AuthRetries = 0;
                AuthProxyRetries = 0;
            } else if (next == wnAuthRequest) {
                Request().URL = AURL;
            } else {
                break;
            }
        }
    } catch (const ENetHTTPProtocolException&) {
        readCompletely = true;
        throw;
    }
    readCompletely = true;
}

void TNetCustomHTTP::PrepareTarget() {
    TNetHTTPRequest& request = Request();
    TNetURI uri(request.URL);
    if (!uri.Username.empty()) {
        request.Username = uri.Username;
        request.Password = uri.Password;
    }
    FURI.Username = request.Username;
    FURI.Password = request.Password;
    FURI.Path = MergeURIPath(FURI.Path, uri.Path);
    FURI.Document = uri.Document;
    FURI.Params = uri.Params;
    if (!uri.Host.empty()) FURI.Host = uri.Host;
    if (!uri.Protocol.empty())
        FURI.Protocol = uri.Protocol;
    else
        FURI.Protocol = SameTextAscii(FURI.Protocol, "https") ? "https" : "http";
    if (!uri.Port.empty())
        FURI.Port = uri.Port;
    else if (SameTextAscii(uri.Protocol, "http"))
        FURI.Port = "80";
    else if (SameTextAscii(uri.Protocol, "https"))
        FURI.Port = "443";
    else if (FURI.Port.empty())
        throw ENetUnknownProtocol(NetTexts.Compose(RSUnknownProtocolRes));

    request.URL = FURI.Path + FURI.Document;
    if (!FURI.Params.empty()) request.URL += "?" + FURI.Params;
    request.IPVersion = uri.IPVersion;
    FURI.IPVersion = uri.IPVersion;
    request.ContentLength = request.Source ? request.Source->Size() : -1;

    request.Host = HostText(FURI);
    bool defaultPort = (SameTextAscii(FURI.Protocol, "http") && FURI.Port == "80") ||
                       (SameTextAscii(FURI.Protocol, "https") && FURI.Port == "443");
    if (!defaultPort) request.Host += ":" + FURI.Port;
}

TNetHTTPConnectionType TNetCustomHTTP::ChooseEndpoint(const TNetURI& AURI) {
    const bool secure = SameTextAscii(AURI.Protocol, "HTTPS");
    std::string host;
    int port;
    TNetHTTPConnectionType kind;
    if (ProxyParams.ProxyServer.empty()) {
        if (IOHandler() && IOHandler()->IPVersion != AURI.IPVersion && Connected()) Disconnect();
        host = AURI.Host;
        int64_t value;
        port = rtl::TryStrToInt64(AURI.Port, value) && value >= 0 && value <= 0xFFFF
                   ? static_cast<int>(value)
                   : 80;
        kind = secure ? ctSSL : ctNormal;
    } else {
        host = ProxyParams.ProxyServer;
        port = ProxyParams.ProxyPort;
        kind = secure ? ctSSLProxy : ctProxy;
    }
    if ((!SameTextAscii(Host, host) || Port != port) && Connected()) Disconnect();
    Host = host;
    Port = port;
    return kind;
}

void TNetCustomHTTP::OpenAndSend() {
    TNetHTTPRequest& request = Request();
    const std::string destination = FURI.Host + ":" + FURI.Port;
    TNetHTTPConnectionType previous = request.UseProxy;
    request.UseProxy = ChooseEndpoint(FURI);
    if (request.UseProxy != previous && Connected()) Disconnect();
    // A secure connection belongs to the server it was checked for; through
    // a proxy the endpoint stays the same for every server.
    if (IsSecure(request.UseProxy) && destination != FSecureDestination && Connected())
        Disconnect();
    request.Destination = destination;

    switch (request.UseProxy) {
    case ctNormal:
        if (ProtocolVersion == pv1_0 && request.Connection.empty())
            request.Connection = "keep-alive";
        break;
    case ctProxy:
        request.URL = FURI.GetFullURI(0);
        if (ProtocolVersion == pv1_0 && request.Connection.empty())
            request.ProxyConnection = "keep-alive";
        break;
    case ctSSL:
    case ctSSLProxy:
        // Inside TLS the request goes to the server itself, also through a
        // proxy's tunnel: the request line carries the path as for ctNormal.
        if (ProtocolVersion == pv1_0 && request.Connection.empty())
            request.Connection = "keep-alive";
        break;
    }

    if (!request.AcceptEncoding.empty() &&
        platform::AsciiLowerCase(request.AcceptEncoding).find("identity") == std::string::npos)
        request.AcceptEncoding += ", identity";

    EnsureConnected();
    FHTTPProto.BuildAndSendRequest(&FURI);
}

void TNetCustomHTTP::EnsureConnected() {
    if (!Response().KeepAlive()) Disconnect();
    if (TNetIOHandler* io = IOHandler()) {
        // A kept connection follows a time-out changed since it was opened.
        io->ReadTimeout = ReadTimeout;
        // Whatever an earlier response left behind belongs to no one.
        io->InputBuffer().Clear();
        io->CheckForDisconnect(false);
    }
    if (!Connected()) {
        IPVersion = FURI.IPVersion;
        Connect();
        if (IsSecure(Request().UseProxy)) SecureConnection(Request().UseProxy == ctSSLProxy);
    }
}

void TNetCustomHTTP::SecureConnection(bool throughProxy) {
    auto* tls = dynamic_cast<TNetIOHandlerTLS*>(IOHandler());
    // A connection that fails on its way to TLS is closed: nothing it
    // carried is used.
    rtl::TScopeFail close([&] { Disconnect(); });
    if (!tls) throw ENetSecureNotSupported(NetTexts.Compose(RSSecureNotSupportedRes));
    if (throughProxy) OpenTunnel(*tls);
    tls->StartTLS(FURI.Host);
    FSecureDestination = FURI.Host + ":" + FURI.Port;
}

// CONNECT in authority form (RFC 9110 section 9.3.6). The reply head is
// read a byte at a time: the server's first TLS bytes may follow it at once,
// and none of them may end up in the input buffer.
void TNetCustomHTTP::OpenTunnel(TNetIOHandlerTLS& io) {
    const std::string authority = HostText(FURI) + ":" + FURI.Port;
    TNetHeaderList headers;
    headers.SetValues("Host", authority);
    const std::string agent = RequestUserAgent();
    if (!agent.empty()) headers.SetValues("User-Agent", agent);
    ProxyParams.SetHeaders(headers);
    io.WriteBufferOpen(-1);
    rtl::TScopeFail cancel([&] { io.WriteBufferCancel(); });
    io.WriteLn("CONNECT " + authority + " HTTP/1.1");
    for (size_t i = 0; i < headers.Count(); ++i)
        io.WriteLn(headers.Strings(i));
    io.WriteLn();
    io.WriteBufferClose();
    Response().SetResponseText(io.ReadLnUnbuffered());
    // The proxy's own header lines are read and dropped up to the empty line.
    while (!io.ReadLnUnbuffered().empty()) {
    }
    const int code = Response().ResponseCode();
    if (code / 100 != 2)
        throw ENetTunnelRefused(
            NetTexts.Compose(RSTunnelRefusedRes, {authority, Response().ResponseText()}), code);
}

std::string TNetCustomHTTP::ReadProtocolLine() {
    std::string line = IOHandler() ? IOHandler()->ReadLn() : std::string();
    if (!IOHandler()) throw ENetNotConnected(NetTexts.Compose(RSNotConnectedRes));
    if (IOHandler()->ReadLnTimedOut()) throw ENetReadTimeout(NetTexts.Compose(RSReadTimeoutRes));
    return line;
}

void TNetCustomHTTP::StoreResponseCookies() {
    if (!FCookieManager && AllowCookies) {
        FOwnedCookieManager = std::make_unique<TNetCookieManager>();
        FCookieManager = FOwnedCookieManager.get();
        FImplicitCookieManager = true;
    }
    if (!FCookieManager || !AllowCookies) return;
    std::vector<std::string> cookies = Response().RawHeaders.GetValues("Set-Cookie");
    std::vector<std::string> meta = Response().MetaHTTPEquiv.RawHeaders.GetValues("Set-Cookie");
    cookies.insert(cookies.end(), meta.begin(), meta.end());
    if (!cookies.empty()) FCookieManager->AddServerCookies(cookies, FURI);
}

void TNetCustomHTTP::AttachRequestCookies(TNetURI& AURI) {
    // Secure cookies go over TLS only, whatever the URL says.
    auto* tls = dynamic_cast<TNetIOHandlerTLS*>(IOHandler());
    if (FCookieManager && AllowCookies)
        FCookieManager->GenerateClientCookies(AURI, tls && tls->Secured(), Request().RawHeaders);
}

bool TNetCustomHTTP::DoOnAuthorization(int code) {
    // No authentication scheme is built in: without a handler that supplies
    // credentials the request is declined.
    if (code == 401) {
        ++AuthRetries;
        return OnAuthorization && OnAuthorization(this);
    }
    ++AuthProxyRetries;
    return OnProxyAuthorization && OnProxyAuthorization(this);
}

} // namespace net
