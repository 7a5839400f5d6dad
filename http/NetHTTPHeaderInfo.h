#pragma once
// The header sets of an HTTP exchange: the fields shared by request and
// response, the request's and the response's own, and the proxy settings.
#include <cstdint>
#include <string>
#include <vector>

#include "http/NetHeaderList.h"
#include "http/NetURI.h"
#include "runtime/DateTime.h"

namespace rtl {
class TStream;
}

namespace net {

class TNetCustomHTTP;

enum TNetHTTPProtocolVersion { pv1_0, pv1_1 };
enum TNetHTTPConnectionType { ctNormal, ctSSL, ctProxy, ctSSLProxy };

inline constexpr const char* DefaultAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
inline constexpr const char* DefaultUserAgent = "Mozilla/3.0 (compatible; Net Library)";

// HTTP dates (RFC 7231 section 7.1.1.1): the IMF-fixdate form on output; on
// input also the RFC 850 and asctime forms. Values are local date-times.
std::string DateTimeToHttpStr(rtl::TDateTime local);
// Parses an HTTP date given in GMT into local time; false when it is none.
bool TryHttpStrToDateTime(const std::string& text, rtl::TDateTime& local);

class TNetEntityHeaderInfo {
  public:
    TNetEntityHeaderInfo() = default;
    virtual ~TNetEntityHeaderInfo() = default;

    std::string CacheControl;
    std::string CharSet;
    std::string Connection;
    std::string ContentDisposition;
    std::string ContentEncoding;
    std::string ContentLanguage;
    int64_t ContentLength = -1;
    int64_t ContentRangeStart = -1;
    int64_t ContentRangeEnd = -1;
    int64_t ContentRangeInstanceLength = -1;
    std::string ContentRangeUnits;
    std::string ContentType;
    std::string ContentVersion;
    rtl::TDateTime Date = 0;
    rtl::TDateTime Expires = 0;
    rtl::TDateTime LastModified = 0;
    std::string ETag;
    std::string Pragma;
    std::string TransferEncoding;
    TNetHeaderList RawHeaders;
    TNetHeaderList CustomHeaders;

    bool HasContentLength() const { return ContentLength >= 0; }
    // Whether Transfer-Encoding names chunked: the chunks then delimit the
    // body, whatever Content-Length says (RFC 9112 section 6.3).
    bool Chunked() const;
    virtual void Clear();
    // Fills the fields from RawHeaders.
    virtual void ProcessHeaders();
    // Writes the fields into RawHeaders (entity part).
    virtual void SetHeaders();
};

// Header values found in the META http-equiv tags of an HTML body.
class TNetMetaHTTPEquiv : public TNetEntityHeaderInfo {
  public:
    // Adds "name: content" to RawHeaders for each tag and parses the fields.
    void ProcessMetaHTTPEquiv(const std::string& html);
};

class TNetRequestHeaderInfo : public TNetEntityHeaderInfo {
  public:
    TNetRequestHeaderInfo() { Clear(); }

    std::string Accept;
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string From;
    std::string Referer;
    std::string UserAgent;
    std::string Username;
    std::string Password;
    std::string Host;
    std::string ProxyConnection;
    std::string Ranges; // byte ranges, such as "0-99" or "500-"; units "bytes"
    bool BasicAuthentication = false;
    std::string MethodOverride;

    void Clear() override;
    void SetHeaders() override;
};

class TNetHTTPRequest : public TNetRequestHeaderInfo {
  public:
    std::string URL;
    std::string Method;
    rtl::TStream* Source = nullptr;
    TNetHTTPConnectionType UseProxy = ctNormal;
    TNetIPVersion IPVersion = Id_IPv4;
    std::string Destination;
};

class TNetResponseHeaderInfo : public TNetEntityHeaderInfo {
  public:
    std::string Location;
    std::string Server;
    std::string ProxyConnection;
    std::vector<std::string> WWWAuthenticate;
    std::vector<std::string> ProxyAuthenticate;
    std::string AcceptPatch;
    std::string AcceptRanges;

    void Clear() override;
    void ProcessHeaders() override;
};

class TNetHTTPResponse : public TNetResponseHeaderInfo {
  public:
    explicit TNetHTTPResponse(TNetCustomHTTP& owner) : FHTTP(owner) {}

    const std::string& ResponseText() const { return FResponseText; }
    // Stores the status line and reads the version from it; the code is
    // parsed again on its next read.
    void SetResponseText(const std::string& text);
    // The status code of the line, or -1 when it holds none.
    int ResponseCode();
    TNetHTTPProtocolVersion ResponseVersion() const { return FResponseVersion; }
    // Whether the connection may carry the next request (evaluated now).
    bool KeepAlive();

    rtl::TStream* ContentStream = nullptr;
    TNetMetaHTTPEquiv MetaHTTPEquiv;

    // Clears the header fields, the raw lines and the META set; the status
    // line stays.
    void Clear() override;
    // The body was left unread on purpose; the connection cannot be reused.
    bool BodyLeftUnread = false;

  private:
    TNetCustomHTTP& FHTTP;
    std::string FResponseText;
    int FResponseCode = -1;
    TNetHTTPProtocolVersion FResponseVersion = pv1_1;
};

class TNetProxyConnectionInfo {
  public:
    std::string ProxyServer;
    int ProxyPort = 0;
    std::string ProxyUsername;
    std::string ProxyPassword;
    bool BasicAuthentication = false;

    void Clear();
    // Adds "Proxy-Authorization" when basic authentication is asked for.
    void SetHeaders(TNetHeaderList& headers) const;
};

// "Basic " + base64 of "user:password" (RFC 7617).
std::string BasicAuthorization(const std::string& username, const std::string& password);

} // namespace net
