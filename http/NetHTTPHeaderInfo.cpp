#include "http/NetHTTPHeaderInfo.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "http/NetHTTP.h"
#include "platform/Unicode.h"
#include "runtime/Format.h"

namespace net {

namespace {

using platform::AsciiLowerCase;
using platform::SameTextAscii;
using rtl::Trim;

constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads "hh:mm:ss" from a token.
bool ParseTime(const std::string& token, int& h, int& m, int& s) {
    int parts[3] = {0, 0, 0};
    int index = 0;
    size_t digits = 0;
    for (char c : token) {
        if (IsDigit(c)) {
            if (++digits > 2) return false;
            parts[index] = parts[index] * 10 + (c - '0');
        } else if (c == ':' && digits > 0 && index < 2) {
            ++index;
            digits = 0;
        } else {
            return false;
        }
    }
    if (index != 2 || digits == 0) return false;
    h = parts[0];
    m = parts[1];
    s = parts[2];
    return true;
}

bool AllDigits(const std::string& t) {
    if (t.empty()) return false;
    for (char c : t)
        if (!IsDigit(c)) return false;
    return true;
}

// The parameters of a header value such as Content-Type: the trimmed pieces
// after its first ";", one per ";".
std::vector<std::string> ParameterParts(const std::string& value) {
    std::vector<std::string> parts;
    size_t start = value.find(';');
    while (start != std::string::npos) {
        size_t end = value.find(';', start + 1);
        parts.push_back(Trim(value.substr(start + 1, end == std::string::npos ? std::string::npos
                                                                             : end - start - 1)));
        start = end;
    }
    return parts;
}

// The value of a "name=value" parameter of a header value, unquoted; empty
// when absent.
std::string ParameterOf(const std::string& value, const std::string& name) {
    for (const std::string& part : ParameterParts(value)) {
        size_t eq = part.find('=');
        if (eq == std::string::npos || !SameTextAscii(Trim(part.substr(0, eq)), name)) continue;
        std::string v = Trim(part.substr(eq + 1));
        if (v.size() >= 2 && v.front() == '"') {
            size_t close = v.find('"', 1);
            v = v.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        }
        return v;
    }
    return {};
}

// The header value without the parameter of that name.
std::string RemoveParameter(const std::string& value, const std::string& name) {
    std::string result = Trim(value.substr(0, value.find(';')));
    for (const std::string& part : ParameterParts(value))
        if (!part.empty() && !SameTextAscii(Trim(part.substr(0, part.find('='))), name)) result += "; " + part;
    return result;
}

int64_t ToInt64Or(const std::string& text, int64_t fallback) {
    int64_t value;
    return rtl::TryStrToInt64(Trim(text), value) ? value : fallback;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

// ---- Dates -----------------------------------------------------------------

std::string DateTimeToHttpStr(rtl::TDateTime local) {
    rtl::TDateTime utc = rtl::LocalToUniversal(local);
    int y, mo, d, h, mi, s, ms;
    rtl::DecodeDate(utc, y, mo, d);
    rtl::DecodeTime(utc, h, mi, s, ms);
    // 1899-12-30 (day 0) was a Saturday.
    int64_t days = static_cast<int64_t>(std::floor(utc));
    int weekday = static_cast<int>(((days + 6) % 7 + 7) % 7);
    return rtl::Format("%s, %02d %s %04d %02d:%02d:%02d GMT",
                       {kDayNames[weekday], d, kMonthNames[mo - 1], y, h, mi, s});
}

bool TryHttpStrToDateTime(const std::string& text, rtl::TDateTime& local) {
    // Tokens between blanks, commas and dashes; the time, the day of month,
    // the month name and the year may come in any of the three forms' orders.
    std::vector<std::string> tokens;
    std::string token;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',' || c == '-') {
            if (!token.empty()) tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    if (!token.empty()) tokens.push_back(token);
    int h = -1, mi = 0, s = 0, day = -1, month = -1, year = -1;
    for (const std::string& t : tokens) {
        int th, tm, ts;
        if (h < 0 && ParseTime(t, th, tm, ts)) {
            h = th;
            mi = tm;
            s = ts;
        } else if (month < 0 && t.size() >= 3 && !IsDigit(t[0])) {
            std::string lower = AsciiLowerCase(t.substr(0, 3));
            for (int i = 0; i < 12; ++i)
                if (lower == kMonths[i]) month = i + 1;
        } else if (AllDigits(t) && t.size() <= 2 && day < 0) {
            day = std::stoi(t);
        } else if (AllDigits(t) && t.size() <= 4 && year < 0) {
            year = std::stoi(t);
            if (t.size() == 2) year += year < 70 ? 2000 : 1900;
        }
    }
    if (h < 0 || day < 0 || month < 0 || year < 0) return false;
    rtl::TDateTime date, time;
    if (!rtl::TryEncodeDate(year, month, day, date) || !rtl::TryEncodeTime(h, mi, s, 0, time))
        return false;
    local = rtl::UniversalToLocal(date + time);
    return true;
}

// ---- Entity ----------------------------------------------------------------

void TNetEntityHeaderInfo::Clear() {
    CacheControl.clear();
    CharSet.clear();
    Connection.clear();
    ContentDisposition.clear();
    ContentEncoding.clear();
    ContentLanguage.clear();
    ContentLength = -1;
    ContentRangeStart = -1;
    ContentRangeEnd = -1;
    ContentRangeInstanceLength = -1;
    ContentRangeUnits.clear();
    ContentType.clear();
    ContentVersion.clear();
    Date = 0;
    Expires = 0;
    LastModified = 0;
    ETag.clear();
    Pragma.clear();
    TransferEncoding.clear();
    RawHeaders.Clear();
    CustomHeaders.Clear();
}

void TNetEntityHeaderInfo::ProcessHeaders() {
    const TNetHeaderList& h = RawHeaders;
    CacheControl = h.Values("Cache-control");
    Connection = h.Values("Connection");
    ContentVersion = h.Values("Content-Version");
    ContentDisposition = h.Values("Content-Disposition");
    ContentEncoding = h.Values("Content-Encoding");
    ContentLanguage = h.Values("Content-Language");

    std::string type = h.Values("Content-Type");
    CharSet = ParameterOf(type, "charset");
    ContentType = type.empty() ? type : RemoveParameter(type, "charset");
    if (CharSet.empty() && !ContentType.empty()) {
        std::string media = AsciiLowerCase(ContentType.substr(0, ContentType.find(';')));
        size_t slash = media.find('/');
        if (slash != std::string::npos && media.substr(0, slash) == "text") {
            std::string subtype = media.substr(slash + 1);
            bool xml = subtype == "xml" || subtype == "xml-external-parsed-entity" ||
                       (subtype.size() >= 4 && subtype.compare(subtype.size() - 4, 4, "+xml") == 0);
            CharSet = xml ? "us-ascii" : "ISO-8859-1";
        }
    }

    ContentLength = ToInt64Or(h.Values("Content-Length"), -1);
    if (ContentLength < -1) ContentLength = -1;

    // "units start-end/instance-length" (RFC 7233 section 4.2).
    std::string range = h.Values("Content-Range");
    ContentRangeUnits.clear();
    ContentRangeStart = ContentRangeEnd = ContentRangeInstanceLength = -1;
    if (!range.empty()) {
        size_t space = range.find(' ');
        ContentRangeUnits = Trim(range.substr(0, space));
        std::string rest =
            space == std::string::npos ? std::string() : Trim(range.substr(space + 1));
        size_t slash = rest.find('/');
        std::string span = rest.substr(0, slash);
        if (slash != std::string::npos)
            ContentRangeInstanceLength = ToInt64Or(rest.substr(slash + 1), -1);
        size_t dash = span.find('-');
        if (dash != std::string::npos) {
            ContentRangeStart = ToInt64Or(span.substr(0, dash), -1);
            ContentRangeEnd = ToInt64Or(span.substr(dash + 1), -1);
        }
    }

    rtl::TDateTime value;
    std::string date = h.Values("Date");
    Date = !date.empty() && TryHttpStrToDateTime(date, value) ? value : rtl::Now();
    std::string modified = h.Values("Last-Modified");
    LastModified = !modified.empty() && TryHttpStrToDateTime(modified, value) ? value : 0;

    std::string expires = h.Values("Expires");
    Expires = 0;
    if (!expires.empty()) {
        int64_t seconds;
        if (rtl::TryStrToInt64(Trim(expires), seconds))
            Expires =
                seconds < 0 ? 0 : rtl::Now() + static_cast<double>(seconds) / rtl::kSecondsPerDay;
        else if (TryHttpStrToDateTime(expires, value))
            Expires = value;
        else
            Expires = rtl::Now() - 1.0 / rtl::kSecondsPerDay;
    }

    ETag = h.Values("ETag");
    Pragma = h.Values("Pragma");
    TransferEncoding = h.Values("Transfer-Encoding");
}

bool TNetEntityHeaderInfo::Chunked() const {
    return AsciiLowerCase(TransferEncoding).find("chunked") != std::string::npos;
}

void TNetEntityHeaderInfo::SetHeaders() {
    TNetHeaderList& h = RawHeaders;
    h.Clear();
    h.SetValues("Connection", Connection);
    h.SetValues("Content-Version", ContentVersion);
    h.SetValues("Content-Disposition", ContentDisposition);
    h.SetValues("Content-Encoding", ContentEncoding);
    h.SetValues("Content-Language", ContentLanguage);
    if (!ContentType.empty())
        h.SetValues("Content-Type",
                    CharSet.empty() ? ContentType : ContentType + "; charset=" + CharSet);
    if (ContentLength >= 0) h.SetValues("Content-Length", rtl::IntToStr(ContentLength));
    h.SetValues("Cache-control", CacheControl);
    if (Date > 0) h.SetValues("Date", DateTimeToHttpStr(Date));
    h.SetValues("ETag", ETag);
    if (Expires > 0) h.SetValues("Expires", DateTimeToHttpStr(Expires));
    h.SetValues("Pragma", Pragma);
    h.SetValues("Transfer-Encoding", TransferEncoding);
}

// ---- META http-equiv ---------------------------------------------------------

namespace {

// The value of an attribute inside one tag's text, unquoted; empty when absent.
std::string AttributeOf(const std::string& tag, const std::string& lowerTag,
                        const std::string& name) {
    size_t at = 0;
    while ((at = lowerTag.find(name, at)) != std::string::npos) {
        bool boundary = at > 0 && (lowerTag[at - 1] == ' ' || lowerTag[at - 1] == '\t' ||
                                   lowerTag[at - 1] == '\n' || lowerTag[at - 1] == '\r' ||
                                   lowerTag[at - 1] == '"' || lowerTag[at - 1] == '\'');
        size_t p = at + name.size();
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t'))
            ++p;
        if (!boundary || p >= tag.size() || tag[p] != '=') {
            at += name.size();
            continue;
        }
        ++p;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t'))
            ++p;
        if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
            size_t close = tag.find(tag[p], p + 1);
            return tag.substr(p + 1,
                              close == std::string::npos ? std::string::npos : close - p - 1);
        }
        size_t end = p;
        while (end < tag.size() && tag[end] != ' ' && tag[end] != '>' && tag[end] != '/')
            ++end;
        return tag.substr(p, end - p);
    }
    return {};
}

} // namespace

void TNetMetaHTTPEquiv::ProcessMetaHTTPEquiv(const std::string& html) {
    std::string lower = AsciiLowerCase(html);
    size_t at = 0;
    bool any = false;
    // Only the document head carries META tags.
    size_t stop = lower.find("</head");
    if (stop == std::string::npos) stop = lower.find("<body");
    if (stop == std::string::npos) stop = lower.size();
    while ((at = lower.find("<meta", at)) != std::string::npos && at < stop) {
        size_t end = lower.find('>', at);
        if (end == std::string::npos) break;
        std::string tag = html.substr(at, end - at);
        std::string lowerTag = lower.substr(at, end - at);
        std::string name = AttributeOf(tag, lowerTag, "http-equiv");
        if (!name.empty()) {
            RawHeaders.AddValue(Trim(name), Trim(AttributeOf(tag, lowerTag, "content")));
            any = true;
        }
        at = end;
    }
    if (any) ProcessHeaders();
}

// ---- Request -----------------------------------------------------------------

void TNetRequestHeaderInfo::Clear() {
    TNetEntityHeaderInfo::Clear();
    Accept = DefaultAccept;
    AcceptCharSet.clear();
    AcceptEncoding.clear();
    AcceptLanguage.clear();
    From.clear();
    Referer.clear();
    UserAgent = DefaultUserAgent;
    Username.clear();
    Password.clear();
    Host.clear();
    ProxyConnection.clear();
    Ranges.clear();
    BasicAuthentication = false;
    MethodOverride.clear();
}

void TNetRequestHeaderInfo::SetHeaders() {
    TNetEntityHeaderInfo::SetHeaders();
    TNetHeaderList& h = RawHeaders;
    for (size_t i = 0; i < CustomHeaders.Count(); ++i)
        h.Add(CustomHeaders.Strings(i));
    h.SetValues("Proxy-Connection", ProxyConnection);
    h.SetValues("Host", Host);
    h.SetValues("Accept", Accept);
    h.SetValues("Accept-Charset", AcceptCharSet);
    h.SetValues("Accept-Encoding", AcceptEncoding);
    h.SetValues("Accept-Language", AcceptLanguage);
    h.SetValues("From", From);
    h.SetValues("Referer", Referer);
    h.SetValues("User-Agent", UserAgent);
    if (!Ranges.empty()) h.SetValues("Range", "bytes=" + Ranges);
    if (LastModified > 0) h.SetValues("If-Modified-Since", DateTimeToHttpStr(LastModified));
    if (BasicAuthentication) h.SetValues("Authorization", BasicAuthorization(Username, Password));
    h.SetValues("X-HTTP-Method-Override", MethodOverride);
}

// ---- Response ----------------------------------------------------------------

void TNetResponseHeaderInfo::Clear() {
    TNetEntityHeaderInfo::Clear();
    Location.clear();
    Server.clear();
    ProxyConnection.clear();
    WWWAuthenticate.clear();
    ProxyAuthenticate.clear();
    AcceptPatch.clear();
    AcceptRanges.clear();
}

void TNetResponseHeaderInfo::ProcessHeaders() {
    TNetEntityHeaderInfo::ProcessHeaders();
    Location = RawHeaders.Values("Location");
    Server = RawHeaders.Values("Server");
    ProxyConnection = RawHeaders.Values("Proxy-Connection");
    WWWAuthenticate = RawHeaders.GetValues("WWW-Authenticate");
    ProxyAuthenticate = RawHeaders.GetValues("Proxy-Authenticate");
    AcceptPatch = RawHeaders.Values("Accept-Patch");
    AcceptRanges = RawHeaders.Values("Accept-Ranges");
}

void TNetHTTPResponse::Clear() {
    TNetResponseHeaderInfo::Clear();
    MetaHTTPEquiv.Clear();
    BodyLeftUnread = false;
}

// The status line (RFC 9112 section 4):
//
//   status-line   = HTTP-version SP status-code SP [ reason-phrase ]
//   HTTP-version  = HTTP-name "/" DIGIT "." DIGIT
//   HTTP-name     = %s"HTTP"
//   status-code   = 3DIGIT
//   reason-phrase = 1*( HTAB / SP / VCHAR / obs-text )
//
// This client reads it more leniently, as servers in the field write it:
// - The version is the three characters after the first five; "1.0" and
//   "1.1" are those versions, and anything else (a later version, a short or
//   misspelt one) is taken for HTTP/1.0, whose connection stays open only
//   when the server says so. The name before them is not checked.
// - The code is the word after the first SP: more white space before it is
//   skipped, and it ends at the next SP or with the line, so the reason
//   phrase may be missing with its SP. It is read as a decimal number with
//   an optional sign and leading zeros, and a fraction after "." is dropped:
//   "200.5", "+200" and "0200" are read as 200. Any other number from 0 to
//   2^31 - 1 stands as it is; anything else is no code (-1), which no class
//   of statuses takes for a success.
// - The reason phrase stays with the line as the server sent it, for the
//   messages that quote the line; it decides nothing (section 4).
void TNetHTTPResponse::SetResponseText(const std::string& text) {
    FResponseText = text;
    FResponseCode = -1;
    FResponseVersion = pv1_0;
    if (text.size() >= 8) {
        std::string version = text.substr(5, 3);
        if (SameTextAscii(version, "1.0"))
            FResponseVersion = pv1_0;
        else if (SameTextAscii(version, "1.1"))
            FResponseVersion = pv1_1;
    }
}

int TNetHTTPResponse::ResponseCode() {
    if (FResponseCode == -1) {
        size_t space = FResponseText.find(' ');
        if (space == std::string::npos) return -1;
        std::string code = Trim(FResponseText.substr(space + 1));
        code = code.substr(0, code.find(' '));
        code = code.substr(0, code.find('.'));
        int64_t value;
        if (rtl::TryStrToInt64(code, value) && value >= -1 && value <= 0x7fffffff)
            FResponseCode = static_cast<int>(value);
    }
    return FResponseCode;
}

bool TNetHTTPResponse::KeepAlive() {
    if (!FHTTP.Connected()) return false;
    if (BodyLeftUnread) return false;
    std::string connection = Trim(Connection);
    std::string proxyConnection = Trim(ProxyConnection);
    bool keepAliveAsked =
        SameTextAscii(connection, "KEEP-ALIVE") || SameTextAscii(proxyConnection, "KEEP-ALIVE");
    bool closeAsked = SameTextAscii(connection, "CLOSE") || SameTextAscii(proxyConnection, "CLOSE");
    // An HTTP/1.0 peer keeps the connection only when it says so (RFC 7230
    // section 6.3), whatever version the request was sent with.
    if (FHTTP.ProtocolVersion == pv1_0 || FResponseVersion == pv1_0) return keepAliveAsked;
    return !closeAsked;
}

// ---- Proxy -------------------------------------------------------------------

void TNetProxyConnectionInfo::Clear() {
    ProxyServer.clear();
    ProxyPort = 0;
    ProxyUsername.clear();
    ProxyPassword.clear();
    BasicAuthentication = false;
}

void TNetProxyConnectionInfo::SetHeaders(TNetHeaderList& headers) const {
    if (BasicAuthentication)
        headers.SetValues("Proxy-Authorization", BasicAuthorization(ProxyUsername, ProxyPassword));
}

std::string BasicAuthorization(const std::string& username, const std::string& password) {
    std::string in = username + ":" + password;
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i + 1 == in.size()) {
        uint32_t v = uint8_t(in[i]) << 16;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += '=';
    }
    return "Basic " + out;
}

} // namespace net
