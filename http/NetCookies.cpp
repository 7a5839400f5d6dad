#include "http/NetCookies.h"

#include <algorithm>
#include <optional>

#include "platform/Unicode.h"
#include "runtime/Format.h"

namespace net {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHttpProtocol(const std::string& protocol) {
    return platform::SameTextAscii(protocol, "http") || platform::SameTextAscii(protocol, "https");
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::SameTextAscii(text.substr(0, prefix.size()), prefix);
}

bool EndsWithText(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           platform::SameTextAscii(text.substr(text.size() - suffix.size()), suffix);
}

// A quoted value loses its opening quote and ends before the next one.
std::string Unquote(std::string value) {
    if (value.empty() || value[0] != '"') return value;
    size_t close = value.find('"', 1);
    return value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

// The delimiters of RFC 6265 section 5.1.1: tab, space and the printable symbols
// except ":" (which belongs to the time).
bool IsDateDelimiter(unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
           (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

// Reads minDigits to maxDigits digits at pos; the character after them, if
// any, must not be a digit. Advances pos.
bool ReadDigits(std::string_view token, size_t& pos, size_t minDigits, size_t maxDigits,
                int& value) {
    size_t start = pos;
    value = 0;
    while (pos < token.size() && IsDigit(token[pos]) && pos - start < maxDigits) {
        value = value * 10 + (token[pos] - '0');
        ++pos;
    }
    if (pos - start < minDigits) return false;
    return pos == token.size() || !IsDigit(token[pos]);
}

bool MatchTime(std::string_view token, int& hour, int& minute, int& second) {
    size_t pos = 0;
    if (!ReadDigits(token, pos, 1, 2, hour) || pos >= token.size() || token[pos++] != ':')
        return false;
    if (!ReadDigits(token, pos, 1, 2, minute) || pos >= token.size() || token[pos++] != ':')
        return false;
    return ReadDigits(token, pos, 1, 2, second);
}

bool MatchMonth(std::string_view token, int& month) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3) return false;
    for (int i = 0; i < 12; ++i)
        if (platform::SameTextAscii(token.substr(0, 3), kMonths[i])) {
            month = i + 1;
            return true;
        }
    return false;
}

bool IsIPv4Literal(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host)
        if (!IsDigit(c) && c != '.') return false;
    return true;
}

// An integer attribute value: an optional "-" and digits only. Values beyond
// the 64-bit range saturate, so a huge Max-Age still means "far away".
bool TryReadSeconds(std::string_view text, int64_t& seconds) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty()) return false;
    int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        if (value > (INT64_MAX - 9) / 10)
            value = INT64_MAX;
        else
            value = value * 10 + (c - '0');
    }
    seconds = negative ? -value : value;
    return true;
}

// A lifetime in seconds as an expiry: none or a negative one expires the
// cookie at once (RFC 6265 section 5.2.2); the far future is the latest.
rtl::TDateTime ExpiryAfter(int64_t seconds) {
    if (seconds <= 0) return CookieEarliest();
    rtl::TDateTime farFuture = CookieFarFuture();
    rtl::TDateTime now = rtl::Now();
    double days = static_cast<double>(seconds) / rtl::kSecondsPerDay;
    return days >= farFuture - now ? farFuture : now + days;
}

} // namespace

rtl::TDateTime CookieFarFuture() {
    return rtl::EncodeDate(9999, 12, 31) + rtl::EncodeTime(23, 59, 59, 999);
}

rtl::TDateTime CookieEarliest() {
    return rtl::EncodeDate(1, 1, 1);
}

bool TryParseCookieDate(std::string_view text, rtl::TDateTime& utc) {
    bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsDateDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        size_t start = pos;
        while (pos < text.size() && !IsDateDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        std::string_view token = text.substr(start, pos - start);
        if (token.empty()) continue;
        size_t p = 0;
        if (!foundTime && MatchTime(token, hour, minute, second)) {
            foundTime = true;
        } else if (!foundDay && (p = 0, ReadDigits(token, p, 1, 2, day))) {
            foundDay = true;
        } else if (!foundMonth && MatchMonth(token, month)) {
            foundMonth = true;
        } else if (!foundYear && (p = 0, ReadDigits(token, p, 2, 4, year))) {
            foundYear = true;
        }
    }
    if (!foundTime || !foundDay || !foundMonth || !foundYear) return false;
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year >= 0 && year <= 69)
        year += 2000;
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return false;
    rtl::TDateTime date, time;
    if (!rtl::TryEncodeDate(year, month, day, date)) return false; // such as 31 April
    if (!rtl::TryEncodeTime(hour, minute, second, 0, time)) return false;
    utc = date + time;
    return true;
}

bool CookieDomainMatch(std::string_view host, std::string_view domain) {
    if (host.empty() || domain.empty()) return false;
    if (platform::SameTextAscii(host, domain)) return true;
    if (host.size() <= domain.size() || !EndsWithText(host, domain)) return false;
    if (host[host.size() - domain.size() - 1] != '.') return false;
    // Only host names match by suffix, never address literals.
    return host[0] != '.' && !IsIPv4Literal(host) && host.find(':') == std::string_view::npos;
}

bool CookiePathMatch(std::string_view requestPath, std::string_view cookiePath) {
    if (platform::SameTextAscii(requestPath, cookiePath)) return true;
    if (!StartsWithText(requestPath, cookiePath)) return false;
    return (!cookiePath.empty() && cookiePath.back() == '/') ||
           requestPath[cookiePath.size()] == '/';
}

std::string CookieDefaultPath(const TNetURI& uri) {
    const std::string& path = uri.Path;
    if (path.empty() || path[0] != '/') return "/";
    size_t last = path.rfind('/');
    return last == 0 ? "/" : path.substr(0, last);
}

TNetCookie::TNetCookie() : FExpires(CookieFarFuture()) {}

// One Set-Cookie value, read as RFC 6265 section 5.2 parses it:
//
//   set-cookie-string = name-value-pair *( ";" cookie-av )
//   name-value-pair   = name "=" value    ; up to the first ";"
//   cookie-av         = attribute-name [ "=" attribute-value ]
//
// Without "=" in the pair, or with an empty name, the cookie is ignored.
// Each name and value is trimmed of white space, and attribute names match
// without regard to case; unknown attributes are skipped, and of repeated
// ones the last counts. Expires takes a cookie date (section 5.1.1),
// Max-Age a number of seconds (an optional "-" and digits; zero or fewer
// expire the cookie at once) and wins over Expires; a Domain loses a leading
// "." and is kept in lower case, an empty one is ignored; a Path that does
// not begin with "/" is the URI's default path; Secure and HttpOnly take no
// value. Where servers in the field write more than the grammar allows,
// this client reads them as meant: a value or attribute value in double
// quotes loses the quotes (section 4.1.1 allows them around a cookie-value),
// an Expires given as a number of seconds counts as that lifetime, a
// Domain's ":port" is dropped, and a Max-Age past the 64-bit range means the
// far future.
bool TNetCookie::ParseServerCookie(const std::string& cookieText, const TNetURI& uri) {
    std::string_view text = cookieText;
    size_t semicolon = text.find(';');
    std::string_view nameValue = text.substr(0, semicolon);
    size_t equals = nameValue.find('=');
    if (equals == std::string_view::npos) return false;
    std::string name = rtl::Trim(nameValue.substr(0, equals));
    if (name.empty()) return false;
    std::string value = Unquote(rtl::Trim(nameValue.substr(equals + 1)));

    std::optional<rtl::TDateTime> expires, maxAge;
    std::optional<std::string> domain, path;
    bool secure = false, httpOnly = false;
    while (semicolon != std::string_view::npos) {
        size_t start = semicolon + 1;
        semicolon = text.find(';', start);
        std::string_view attribute =
            text.substr(start, semicolon == std::string_view::npos ? std::string_view::npos
                                                                   : semicolon - start);
        size_t eq = attribute.find('=');
        std::string attrName = rtl::Trim(attribute.substr(0, eq));
        std::string attrValue = eq == std::string_view::npos
                                    ? std::string()
                                    : Unquote(rtl::Trim(attribute.substr(eq + 1)));
        int64_t seconds;
        if (platform::SameTextAscii(attrName, "Expires")) {
            rtl::TDateTime utc;
            if (TryReadSeconds(attrValue, seconds))
                expires = ExpiryAfter(seconds);
            else if (TryParseCookieDate(attrValue, utc))
                expires = std::min(rtl::UniversalToLocal(utc), CookieFarFuture());
        } else if (platform::SameTextAscii(attrName, "Max-Age")) {
            if (TryReadSeconds(attrValue, seconds)) maxAge = ExpiryAfter(seconds);
        } else if (platform::SameTextAscii(attrName, "Domain")) {
            std::string d = attrValue;
            if (!d.empty() && d[0] == '.') d.erase(0, 1);
            size_t colon = d.find(':');
            if (colon != std::string::npos) d.erase(colon);
            // "Domain=" or "Domain=." names no domain: the cookie stays host-only.
            if (!d.empty()) domain = platform::AsciiLowerCase(d);
        } else if (platform::SameTextAscii(attrName, "Path")) {
            path = attrValue.empty() || attrValue[0] != '/' ? CookieDefaultPath(uri) : attrValue;
        } else if (platform::SameTextAscii(attrName, "Secure")) {
            secure = true;
        } else if (platform::SameTextAscii(attrName, "HttpOnly")) {
            httpOnly = true;
        }
    }

    // A cookie needs a host to belong to.
    if (uri.Host.empty()) return false;

    FName = name;
    FValue = value;
    FCreatedAt = rtl::Now();
    SetLastAccessed(FCreatedAt);
    if (maxAge || expires) {
        FPersistent = true;
        FExpires = maxAge ? *maxAge : *expires;
    } else {
        FPersistent = false;
        FExpires = CookieFarFuture();
    }
    if (!domain) {
        FHostOnly = true;
        FDomain = uri.Host;
    } else {
        if (!CookieDomainMatch(uri.Host, *domain)) return false;
        FHostOnly = false;
        FDomain = *domain;
    }
    FPath = path ? *path : CookieDefaultPath(uri);
    FSecure = secure;
    FHttpOnly = httpOnly;
    if (FHttpOnly && !IsHttpProtocol(uri.Protocol)) return false;
    return true;
}

bool TNetCookie::IsAllowed(const TNetURI& uri, bool secureOnly) const {
    if (IsExpired()) return false;
    bool hostMatches = FHostOnly ? platform::SameTextAscii(uri.Host, FDomain)
                                 : CookieDomainMatch(uri.Host, FDomain);
    if (!hostMatches) return false;
    // The whole request path counts, so a cookie whose Path names a document
    // goes with requests for that document.
    std::string requestPath = uri.Path + uri.Document;
    if (requestPath.empty() || requestPath[0] != '/') requestPath = "/" + requestPath;
    if (!CookiePathMatch(requestPath, FPath)) return false;
    if (FSecure && !secureOnly) return false;
    if (FHttpOnly && !IsHttpProtocol(uri.Protocol)) return false;
    return true;
}

bool TNetCookie::IsExpired() const {
    return FExpires < rtl::Now();
}

int64_t TNetCookie::MaxAge() const {
    if (!FPersistent || FExpires >= CookieFarFuture()) return -1;
    double seconds = (FExpires - rtl::Now()) * rtl::kSecondsPerDay;
    return seconds <= 0 ? 0 : static_cast<int64_t>(seconds);
}

std::string TNetCookie::ClientCookie() const {
    return FName + "=" + FValue;
}

TNetCookie* TNetCookies::Add() {
    auto cookie = std::make_unique<TNetCookie>();
    TNetCookie* result = cookie.get();
    std::lock_guard<std::mutex> lock(FItemsLock);
    FItems.push_back(std::move(cookie));
    return result;
}

void TNetCookies::FreeCookie(TNetCookie* cookie) {
    std::lock_guard<std::mutex> lock(FItemsLock);
    auto it =
        std::find_if(FItems.begin(), FItems.end(),
                     [cookie](const std::unique_ptr<TNetCookie>& p) { return p.get() == cookie; });
    if (it != FItems.end()) FItems.erase(it);
}

void TNetCookies::Remove(TNetCookie* cookie) {
    FreeCookie(cookie);
}

bool TNetCookies::AddCookie(TNetCookie* cookie, const TNetURI& uri, bool replaceOld) {
    std::unique_lock<platform::TRWLock> lock(FRWLock);
    if (replaceOld) {
        for (auto it = FCookieList.begin(); it != FCookieList.end(); ++it) {
            TNetCookie* old = *it;
            if (!platform::SameTextAscii(old->Name(), cookie->Name()) ||
                !platform::SameTextAscii(old->Domain(), cookie->Domain()) ||
                !platform::SameTextAscii(old->Path(), cookie->Path()))
                continue;
            if (old == cookie) { // stored again: it only moves to the end
                FCookieList.erase(it);
                break;
            }
            if (old->HttpOnly() && !IsHttpProtocol(uri.Protocol)) return false;
            cookie->SetCreatedAt(old->CreatedAt());
            FCookieList.erase(it);
            FreeCookie(old);
            break;
        }
    }
    if (cookie->IsExpired()) return false;
    FCookieList.push_back(cookie);
    return true;
}

void TNetCookies::RemoveExpired() {
    std::unique_lock<platform::TRWLock> lock(FRWLock);
    for (size_t i = FCookieList.size(); i-- > 0;) {
        TNetCookie* cookie = FCookieList[i];
        if (!cookie->IsExpired()) continue;
        FCookieList.erase(FCookieList.begin() + static_cast<std::ptrdiff_t>(i));
        FreeCookie(cookie);
    }
}

void TNetCookies::Clear() {
    std::unique_lock<platform::TRWLock> lock(FRWLock);
    FCookieList.clear();
    std::lock_guard<std::mutex> items(FItemsLock);
    FItems.clear();
}

size_t TNetCookies::Count() const {
    std::shared_lock<platform::TRWLock> lock(FRWLock);
    return FCookieList.size();
}

TNetCookieList& TNetCookies::LockCookieList(TNetCookieAccess access) {
    if (access == caRead)
        FRWLock.lock_shared();
    else
        FRWLock.lock();
    return FCookieList;
}

void TNetCookies::UnlockCookieList(TNetCookieAccess access) {
    if (access == caRead)
        FRWLock.unlock_shared();
    else
        FRWLock.unlock();
}

TNetCookieManager::TNetCookieManager(TNotifyEvent onCreate) : OnCreate(std::move(onCreate)) {
    if (OnCreate) OnCreate(this);
}

TNetCookieManager::~TNetCookieManager() {
    if (OnDestroy) OnDestroy(this);
}

void TNetCookieManager::AddServerCookie(const std::string& cookie, const TNetURI& uri) {
    TNetCookie* item = FCookieCollection.Add();
    bool accept = item->ParseServerCookie(cookie, uri);
    // A Secure cookie is taken from a secure (https, so TLS) response only,
    // lest a plain response put in place one that later goes over TLS
    // (RFC 6265bis section 5.7).
    if (accept && item->Secure() && !platform::SameTextAscii(uri.Protocol, "https")) accept = false;
    if (accept && OnNewCookie) OnNewCookie(this, item, accept);
    if (accept) accept = FCookieCollection.AddCookie(item, uri, true);
    if (!accept) FCookieCollection.Remove(item);
}

void TNetCookieManager::AddServerCookies(const std::vector<std::string>& cookies,
                                         const TNetURI& uri) {
    for (const std::string& cookie : cookies)
        AddServerCookie(cookie, uri);
}

void TNetCookieManager::GenerateClientCookies(const TNetURI& uri, bool secureOnly,
                                              TNetHeaderList& headers) {
    FCookieCollection.RemoveExpired();
    std::string header;
    {
        TNetCookieListLock lock(FCookieCollection, caRead);
        std::vector<TNetCookie*> picked;
        for (TNetCookie* cookie : lock.List())
            if (cookie->IsAllowed(uri, secureOnly)) picked.push_back(cookie);
        if (picked.empty()) return;
        std::stable_sort(picked.begin(), picked.end(),
                         [](const TNetCookie* a, const TNetCookie* b) {
                             size_t lengthA = platform::Utf8Length(a->Path()),
                                    lengthB = platform::Utf8Length(b->Path());
                             if (lengthA != lengthB) return lengthA > lengthB;
                             return a->CreatedAt() < b->CreatedAt();
                         });
        rtl::TDateTime now = rtl::Now();
        for (TNetCookie* cookie : picked) {
            cookie->SetLastAccessed(now);
            if (!header.empty()) header += "; ";
            header += cookie->ClientCookie();
        }
    }
    headers.AddValue("Cookie", header);
}

} // namespace net
