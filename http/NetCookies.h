#pragma once
// The cookie store: cookies that responses set (RFC 6265 storage model) and the
// "Cookie" header for later requests. Date-times are local time, like the
// runtime's Now().
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "platform/RWLock.h"
#include <string>
#include <string_view>
#include <vector>

#include "http/NetHeaderList.h"
#include "http/NetURI.h"
#include "runtime/DateTime.h"

namespace net {

// The expiry of a cookie that states none: 9999-12-31 23:59:59.999.
rtl::TDateTime CookieFarFuture();
// The expiry that makes a cookie expired at once: 0001-01-01.
rtl::TDateTime CookieEarliest();

// Reads a cookie date (RFC 6265 section 5.1.1) as a GMT date-time; false when
// the time, day of month, month or year is missing or out of range.
bool TryParseCookieDate(std::string_view text, rtl::TDateTime& utc);

// RFC 6265 section 5.1.3, ignoring case: equal, or the host ends with "." +
// domain and is a host name (not an IPv4 or IPv6 address literal).
bool CookieDomainMatch(std::string_view host, std::string_view domain);
// RFC 6265 section 5.1.4, ignoring case.
bool CookiePathMatch(std::string_view requestPath, std::string_view cookiePath);
// The default path of a URI: its directory without the final "/", or "/".
std::string CookieDefaultPath(const TNetURI& uri);

class TNetCookie {
  public:
    TNetCookie();
    TNetCookie(const TNetCookie&) = delete;
    TNetCookie& operator=(const TNetCookie&) = delete;

    // Fills the cookie from one "Set-Cookie" value received for uri; false
    // when the value is to be ignored (no name, a Domain the host does not
    // match, HttpOnly over a protocol other than http or https, no host).
    bool ParseServerCookie(const std::string& cookieText, const TNetURI& uri);
    // Whether the cookie goes with a request to uri; secureOnly is true when
    // the request goes over a secure protocol.
    bool IsAllowed(const TNetURI& uri, bool secureOnly) const;

    bool IsExpired() const;
    // Seconds until expiry (0 once expired), -1 for a cookie without expiry.
    int64_t MaxAge() const;
    // name "=" value
    std::string ClientCookie() const;

    const std::string& Name() const { return FName; }
    void SetName(const std::string& v) { FName = v; }
    const std::string& Value() const { return FValue; }
    void SetValue(const std::string& v) { FValue = v; }
    const std::string& Domain() const { return FDomain; }
    void SetDomain(const std::string& v) { FDomain = v; }
    const std::string& Path() const { return FPath; }
    void SetPath(const std::string& v) { FPath = v; }
    rtl::TDateTime Expires() const { return FExpires; }
    void SetExpires(rtl::TDateTime v) { FExpires = v; }
    rtl::TDateTime CreatedAt() const { return FCreatedAt; }
    void SetCreatedAt(rtl::TDateTime v) { FCreatedAt = v; }
    // Updated by readers of the store under its shared lock, hence atomic.
    rtl::TDateTime LastAccessed() const { return FLastAccessed.load(std::memory_order_relaxed); }
    void SetLastAccessed(rtl::TDateTime v) { FLastAccessed.store(v, std::memory_order_relaxed); }
    bool HostOnly() const { return FHostOnly; }
    void SetHostOnly(bool v) { FHostOnly = v; }
    bool HttpOnly() const { return FHttpOnly; }
    void SetHttpOnly(bool v) { FHttpOnly = v; }
    bool Persistent() const { return FPersistent; }
    void SetPersistent(bool v) { FPersistent = v; }
    bool Secure() const { return FSecure; }
    void SetSecure(bool v) { FSecure = v; }

  private:
    std::string FName;
    std::string FValue;
    std::string FDomain;
    std::string FPath;
    rtl::TDateTime FExpires;
    rtl::TDateTime FCreatedAt = 0;
    std::atomic<rtl::TDateTime> FLastAccessed{0};
    bool FHostOnly = false;
    bool FHttpOnly = false;
    bool FPersistent = false;
    bool FSecure = false;
};

enum TNetCookieAccess { caRead, caReadWrite };
using TNetCookieList = std::vector<TNetCookie*>;

// Owns every cookie it creates; the stored ones are also in the cookie list,
// in the order they were stored, guarded by a multi-reader/single-writer lock.
class TNetCookies {
  public:
    TNetCookies() = default;
    TNetCookies(const TNetCookies&) = delete;
    TNetCookies& operator=(const TNetCookies&) = delete;

    // A new, empty cookie owned by the collection and not yet stored.
    TNetCookie* Add();
    // Frees a cookie of the collection. A stored cookie must first be taken
    // out of the list under the caReadWrite lock.
    void Remove(TNetCookie* cookie);

    // Stores a cookie made by Add() (takes the write lock itself). With
    // replaceOld the stored cookie of the same name, domain and path (ignoring
    // case) is freed and the new one keeps its creation time; an HttpOnly one
    // is kept, and the new one refused, when uri's protocol is not http or
    // https. An expired cookie is refused. The caller frees a refused cookie.
    bool AddCookie(TNetCookie* cookie, const TNetURI& uri, bool replaceOld = true);
    // Frees every expired stored cookie.
    void RemoveExpired();
    // Frees every cookie.
    void Clear();
    // Number of stored cookies.
    size_t Count() const;

    // Takes the lock (shared for caRead) and hands out the list. Do not call
    // the other members while holding it, except Remove.
    TNetCookieList& LockCookieList(TNetCookieAccess access);
    void UnlockCookieList(TNetCookieAccess access);

  private:
    void FreeCookie(TNetCookie* cookie);

    std::vector<std::unique_ptr<TNetCookie>> FItems;
    std::mutex FItemsLock; // guards FItems only; taken after FRWLock, never before
    TNetCookieList FCookieList;
    mutable platform::TRWLock FRWLock;
};

// Holds the cookie list for a scope.
class TNetCookieListLock {
  public:
    TNetCookieListLock(TNetCookies& cookies, TNetCookieAccess access)
        : FCookies(cookies), FAccess(access), FList(cookies.LockCookieList(access)) {}
    ~TNetCookieListLock() { FCookies.UnlockCookieList(FAccess); }
    TNetCookieListLock(const TNetCookieListLock&) = delete;
    TNetCookieListLock& operator=(const TNetCookieListLock&) = delete;
    TNetCookieList& List() { return FList; }

  private:
    TNetCookies& FCookies;
    TNetCookieAccess FAccess;
    TNetCookieList& FList;
};

class TNetCookieManager {
  public:
    using TNotifyEvent = std::function<void(TNetCookieManager* sender)>;
    using TNewCookieEvent =
        std::function<void(TNetCookieManager* sender, TNetCookie* cookie, bool& accept)>;

    // onCreate, when given, becomes OnCreate and is called once the manager
    // is complete.
    explicit TNetCookieManager(TNotifyEvent onCreate = {});
    ~TNetCookieManager();
    TNetCookieManager(const TNetCookieManager&) = delete;
    TNetCookieManager& operator=(const TNetCookieManager&) = delete;

    // Called for each cookie parsed from a response before it is stored;
    // clearing accept drops it.
    TNewCookieEvent OnNewCookie;
    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;

    TNetCookies& CookieCollection() { return FCookieCollection; }

    // Stores each "Set-Cookie" value received for uri, in order.
    void AddServerCookies(const std::vector<std::string>& cookies, const TNetURI& uri);
    void AddServerCookie(const std::string& cookie, const TNetURI& uri);
    // Appends one "Cookie" header for uri to headers when any stored cookie
    // applies: longer paths first, then earlier creation first.
    void GenerateClientCookies(const TNetURI& uri, bool secureOnly, TNetHeaderList& headers);

  private:
    TNetCookies FCookieCollection;
};

} // namespace net
