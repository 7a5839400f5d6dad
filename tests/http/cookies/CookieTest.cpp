#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "http/NetCookies.h"

using namespace net;

namespace {

constexpr double kOneSecond = 1.0 / rtl::kSecondsPerDay;

// The "Cookie" header that a request to url would carry, empty without one.
std::string CookieFor(TNetCookieManager& manager, const std::string& url, bool secureOnly = false) {
    TNetHeaderList headers;
    headers.Add("Host: x");
    manager.GenerateClientCookies(TNetURI(url), secureOnly, headers);
    if (headers.Count() == 1) return std::string();
    EXPECT_EQ(headers.Count(), 2u);
    EXPECT_EQ(headers.Names(1), "Cookie"); // appended as the last line
    return headers.Values("Cookie");
}

// Parses one value into a cookie of its own; null when it is ignored.
struct Parsed {
    TNetCookies cookies;
    TNetCookie* cookie = nullptr;
    Parsed(const std::string& text, const std::string& url) {
        cookie = cookies.Add();
        if (!cookie->ParseServerCookie(text, TNetURI(url))) cookie = nullptr;
    }
};

} // namespace

TEST(Cookies, SessionCookieIsStoredHostOnlyAndSentBackForTheSameFolder) {
    TNetCookieManager manager;
    rtl::TDateTime before = rtl::Now();
    manager.AddServerCookies({"id=1"}, TNetURI("http://h/zividezeru/Files/main.zip"));
    ASSERT_EQ(manager.CookieCollection().Count(), 1u);
    {
        TNetCookieListLock lock(manager.CookieCollection(), caRead);
        const TNetCookie* c = lock.List()[0];
        EXPECT_EQ(c->ClientCookie(), "id=1");
        EXPECT_EQ(c->Path(), "/zividezeru/Files");
        EXPECT_EQ(c->Domain(), "h");
        EXPECT_TRUE(c->HostOnly());
        EXPECT_FALSE(c->Persistent());
        EXPECT_EQ(c->Expires(), CookieFarFuture());
        EXPECT_EQ(c->MaxAge(), -1);
        EXPECT_GE(c->CreatedAt(), before - kOneSecond);
    }
    EXPECT_EQ(CookieFor(manager, "http://h/zividezeru/Files/upgrade.zip"), "id=1");
    EXPECT_EQ(CookieFor(manager, "http://H/zividezeru/files/sub/x"), "id=1");
    EXPECT_EQ(CookieFor(manager, "http://h/zividezeru/"), "");
    EXPECT_EQ(CookieFor(manager, "http://h/zividezeru/FilesX/a"), "");
    EXPECT_EQ(CookieFor(manager, "http://sub.h/zividezeru/Files/a"), ""); // host-only
    EXPECT_EQ(CookieFor(manager, "http://other/zividezeru/Files/a"), "");
}

TEST(Cookies, NameValueAndAttributeParsing) {
    const char* url = "http://www.example.com/dir/page";
    EXPECT_EQ(Parsed("noequals", url).cookie, nullptr);
    EXPECT_EQ(Parsed("  =value", url).cookie, nullptr);
    EXPECT_EQ(Parsed("; a=b", url).cookie, nullptr);
    {
        Parsed p("  sid = \"quoted; not\" ; path=/x", url); // the ";" ends the name-value part
        ASSERT_NE(p.cookie, nullptr);
        EXPECT_EQ(p.cookie->Name(), "sid");
        EXPECT_EQ(p.cookie->Value(), "quoted");
    }
    {
        Parsed p("a=\"x y\"tail; PATH=\"/q\"; secure; HTTPONLY; Unknown=1; Path=/later", url);
        ASSERT_NE(p.cookie, nullptr);
        EXPECT_EQ(p.cookie->Value(), "x y");
        EXPECT_EQ(p.cookie->Path(), "/later"); // later attributes win
        EXPECT_TRUE(p.cookie->Secure());
        EXPECT_TRUE(p.cookie->HttpOnly());
    }
    {
        Parsed p("k=b=c=; Path=relative", url);
        ASSERT_NE(p.cookie, nullptr);
        EXPECT_EQ(p.cookie->Value(), "b=c=");
        EXPECT_EQ(p.cookie->Path(), "/dir"); // not beginning with "/": default path
        EXPECT_FALSE(p.cookie->Secure());
    }
    EXPECT_EQ(Parsed("k=; Path=", "http://h/").cookie->Path(), "/");
    EXPECT_EQ(Parsed("k=\"unterminated", url).cookie->Value(), "unterminated");
    // A cookie needs a host.
    EXPECT_EQ(Parsed("k=v", "/relative/path").cookie, nullptr);
}

TEST(Cookies, ExpiryFromMaxAgeBeforeExpires) {
    const char* url = "http://h/";
    rtl::TDateTime now = rtl::Now();
    rtl::TDateTime expires2100 =
        rtl::UniversalToLocal(rtl::EncodeDate(2100, 1, 2) + rtl::EncodeTime(3, 4, 5, 0));
    {
        Parsed p("a=1; Expires=Sat, 02 Jan 2100 03:04:05 GMT", url);
        ASSERT_NE(p.cookie, nullptr);
        EXPECT_TRUE(p.cookie->Persistent());
        EXPECT_NEAR(p.cookie->Expires(), expires2100, kOneSecond / 100); // GMT turned local
    }
    for (const char* text : {"a=1; Max-Age=3600; Expires=Sat, 02 Jan 2100 03:04:05 GMT",
                             "a=1; Expires=Sat, 02 Jan 2100 03:04:05 GMT; Max-Age=3600"}) {
        Parsed p(text, url);
        ASSERT_NE(p.cookie, nullptr) << text;
        EXPECT_NEAR(p.cookie->Expires(), now + 3600 * kOneSecond, 5 * kOneSecond) << text;
        EXPECT_NEAR(static_cast<double>(p.cookie->MaxAge()), 3600.0, 5.0) << text;
    }
    {
        // A Max-Age that is not an integer, and a broken date, are ignored.
        Parsed p("a=1; Max-Age=1h; Expires=Sat, 02 Jan 2100 03:04:05 GMT; Expires=garbage", url);
        EXPECT_NEAR(p.cookie->Expires(), expires2100, kOneSecond / 100);
        EXPECT_FALSE(Parsed("a=1; Max-Age=+5; Expires=nonsense", url).cookie->Persistent());
    }
    EXPECT_NEAR(Parsed("a=1; Expires=60", url).cookie->Expires(), now + 60 * kOneSecond,
                5 * kOneSecond);
    EXPECT_EQ(Parsed("a=1; Max-Age=-1", url).cookie->Expires(), rtl::EncodeDate(1, 1, 1));
    EXPECT_EQ(Parsed("a=1; Max-Age=0", url).cookie->Expires(), rtl::EncodeDate(1, 1, 1));
    EXPECT_EQ(Parsed("a=1; Expires=-5", url).cookie->Expires(), rtl::EncodeDate(1, 1, 1));
    // Lifetimes beyond the calendar end in the far future.
    EXPECT_EQ(Parsed("a=1; Max-Age=999999999999999999999999", url).cookie->Expires(),
              CookieFarFuture());
    EXPECT_EQ(Parsed("a=1; Max-Age=9223372036854775807", url).cookie->MaxAge(), -1);
}

TEST(Cookies, ExpiredCookieDeletesTheStoredOneAndIsNotStored) {
    TNetCookieManager manager;
    TNetURI uri("http://h/a/b");
    manager.AddServerCookies({"s=1", "keep=1", "t=1; Path=/a"}, uri);
    ASSERT_EQ(manager.CookieCollection().Count(), 3u);
    manager.AddServerCookies({"S=gone; Max-Age=-1"}, uri); // same identity ignoring case
    EXPECT_EQ(manager.CookieCollection().Count(), 2u);
    manager.AddServerCookies({"t=x; Path=/a; Expires=Thu, 01 Jan 1970 00:00:00 GMT"}, uri);
    manager.AddServerCookies({"keep=x; Max-Age=0; Path=/other"}, uri); // other path: no effect
    EXPECT_EQ(CookieFor(manager, "http://h/a/c"), "keep=1");
    manager.AddServerCookies({"keep=2; Max-Age=0"}, uri);
    EXPECT_EQ(manager.CookieCollection().Count(), 0u);
}

TEST(Cookies, ReplacingKeepsTheCreationTimeAndDropsCookiesThatExpireLater) {
    TNetCookieManager manager;
    TNetURI uri("http://h/p/");
    manager.AddServerCookies({"a=1", "b=1"}, uri);
    rtl::TDateTime created = rtl::EncodeDate(2001, 1, 1);
    {
        TNetCookieListLock lock(manager.CookieCollection(), caReadWrite);
        lock.List()[0]->SetCreatedAt(created);
        lock.List()[1]->SetExpires(rtl::Now() - kOneSecond); // b has just expired
    }
    manager.AddServerCookies({"a=2"}, uri);
    EXPECT_EQ(CookieFor(manager, "http://h/p/x"), "a=2");
    TNetCookieListLock lock(manager.CookieCollection(), caRead);
    ASSERT_EQ(lock.List().size(), 1u);
    EXPECT_EQ(lock.List()[0]->CreatedAt(), created);
    EXPECT_GT(lock.List()[0]->LastAccessed(), created);
}

TEST(Cookies, DomainAttribute) {
    TNetCookieManager manager;
    manager.AddServerCookies({"d=1; Domain=.Example.COM:8080", "w=1", "bad=1; Domain=example.org",
                              "suffix=1; Domain=ample.com", "dot=1; Domain=."},
                             TNetURI("http://www.example.com/"));
    {
        TNetCookieListLock lock(manager.CookieCollection(), caRead);
        ASSERT_EQ(lock.List().size(), 3u);
        EXPECT_EQ(lock.List()[0]->Domain(), "example.com");
        EXPECT_FALSE(lock.List()[0]->HostOnly());
        EXPECT_TRUE(lock.List()[2]->HostOnly()); // "Domain=." names no domain
    }
    EXPECT_EQ(CookieFor(manager, "http://www.example.com/x"), "d=1; w=1; dot=1");
    EXPECT_EQ(CookieFor(manager, "http://a.b.EXAMPLE.com/x"), "d=1");
    EXPECT_EQ(CookieFor(manager, "http://example.com/"), "d=1");
    EXPECT_EQ(CookieFor(manager, "http://badexample.com/"), "");
    EXPECT_EQ(CookieFor(manager, "http://example.org/"), "");
}

TEST(Cookies, AddressLiteralsMatchOnlyThemselves) {
    EXPECT_TRUE(CookieDomainMatch("10.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(CookieDomainMatch("10.0.0.1", "0.0.1"));
    EXPECT_FALSE(CookieDomainMatch("fe80::a.b", "a.b"));
    EXPECT_FALSE(CookieDomainMatch(".a.b", "a.b"));
    EXPECT_TRUE(CookieDomainMatch("x.A.b", "a.B"));

    TNetCookieManager manager;
    manager.AddServerCookies({"v4=1; Domain=0.0.1", "v4host=1; Domain=10.0.0.1"},
                             TNetURI("http://10.0.0.1/"));
    manager.AddServerCookies({"v6=1"}, TNetURI("http://[::1]:8080/"));
    EXPECT_EQ(manager.CookieCollection().Count(), 2u);
    EXPECT_EQ(CookieFor(manager, "http://10.0.0.1/"), "v4host=1");
    EXPECT_EQ(CookieFor(manager, "http://[::1]:8080/a"), "v6=1");
    EXPECT_EQ(CookieFor(manager, "http://[::2]/"), "");
}

TEST(Cookies, PathMatching) {
    EXPECT_TRUE(CookiePathMatch("/a", "/a"));
    EXPECT_TRUE(CookiePathMatch("/a/b", "/a"));
    EXPECT_TRUE(CookiePathMatch("/A/b", "/a"));
    EXPECT_FALSE(CookiePathMatch("/ab", "/a"));
    EXPECT_FALSE(CookiePathMatch("/", "/a"));

    TNetCookieManager manager;
    // A Path naming a document goes with requests for that document.
    manager.AddServerCookies({"doc=1; Path=/files/main.zip"}, TNetURI("http://h/files/main.zip"));
    EXPECT_EQ(CookieFor(manager, "http://h/files/main.zip"), "doc=1");
    EXPECT_EQ(CookieFor(manager, "http://h/files/upgrade.zip"), "");
    EXPECT_EQ(CookieDefaultPath(TNetURI("http://h/file")), "/");
    EXPECT_EQ(CookieDefaultPath(TNetURI("http://h/a/b/c")), "/a/b");
}

TEST(Cookies, SecureAndHttpOnly) {
    TNetCookieManager manager;
    manager.AddServerCookies({"s=1; Secure", "plain=1"}, TNetURI("https://h/"));
    EXPECT_EQ(CookieFor(manager, "http://h/"), "plain=1");
    EXPECT_EQ(CookieFor(manager, "https://h/", true), "s=1; plain=1");

    // HttpOnly cookies come and go over http(s) only.
    manager.AddServerCookies({"ho=1; HttpOnly"}, TNetURI("ftp://h/"));
    EXPECT_EQ(manager.CookieCollection().Count(), 2u);
    manager.AddServerCookies({"ho=1; HttpOnly"}, TNetURI("HTTP://h/"));
    EXPECT_EQ(CookieFor(manager, "ftp://h/"), "plain=1");
    EXPECT_EQ(CookieFor(manager, "http://h/"), "plain=1; ho=1");
    // ... and are not overwritten from elsewhere.
    manager.AddServerCookies({"ho=2"}, TNetURI("ftp://h/"));
    EXPECT_EQ(CookieFor(manager, "http://h/"), "plain=1; ho=1");
}

TEST(Cookies, LongerPathsFirstThenOlderCookies) {
    TNetCookieManager manager;
    TNetURI uri("http://h/a/b/c/d");
    manager.AddServerCookies({"short=1; Path=/a", "long=1; Path=/a/b", "root=1; Path=/",
                              "second=1; Path=/a/b/c", "first=1; Path=/a/b/C",
                              "tie=1; Path=/a/b/c/"},
                             uri);
    {
        TNetCookieListLock lock(manager.CookieCollection(), caReadWrite);
        // Give "first" the earlier creation time although it was stored later.
        for (TNetCookie* c : lock.List())
            c->SetCreatedAt(c->Name() == "first" ? rtl::EncodeDate(2000, 1, 1)
                                                 : rtl::EncodeDate(2000, 1, 2));
    }
    EXPECT_EQ(CookieFor(manager, "http://h/a/b/c/x"),
              "tie=1; first=1; second=1; long=1; short=1; root=1");
    EXPECT_EQ(CookieFor(manager, "http://h/a/x"), "short=1; root=1");
}

TEST(Cookies, EventsAndDeclinedCookies) {
    std::vector<std::string> log;
    {
        TNetCookieManager manager([&](TNetCookieManager*) { log.push_back("create"); });
        manager.OnDestroy = [&](TNetCookieManager*) { log.push_back("destroy"); };
        manager.OnNewCookie = [&](TNetCookieManager* sender, TNetCookie* cookie, bool& accept) {
            EXPECT_EQ(sender, &manager);
            log.push_back(cookie->Name());
            accept = cookie->Name() != "no";
        };
        manager.AddServerCookies({"yes=1", "no=1", "bad", "also=1"}, TNetURI("http://h/"));
        EXPECT_EQ(CookieFor(manager, "http://h/"), "yes=1; also=1");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"create", "yes", "no", "also", "destroy"}));
}

TEST(Cookies, StoreServesSeveralThreads) {
    // Each thread keeps 50 cookies in a folder of its own and replaces one of
    // them in every round, which moves it to the end of the shared list; the
    // header it gets next must carry exactly its latest values, whatever the
    // other threads store, move or free meanwhile.
    TNetCookieManager manager;
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            TNetURI uri("http://h/t" + std::to_string(t) + "/x");
            std::map<std::string, std::string> latest;
            for (int i = 0; i < 200; ++i) {
                std::string name = "c" + std::to_string(i % 50);
                latest[name] = std::to_string(i);
                manager.AddServerCookies({name + "=" + latest[name]}, uri);
                TNetHeaderList headers;
                manager.GenerateClientCookies(uri, false, headers);
                std::vector<std::string> sent, expected;
                std::string header = headers.Values("Cookie");
                for (size_t pos = 0; pos < header.size();) {
                    size_t end = std::min(header.find("; ", pos), header.size());
                    sent.push_back(header.substr(pos, end - pos));
                    pos = end + 2;
                }
                for (const auto& [n, v] : latest)
                    expected.push_back(n + "=" + v);
                std::sort(sent.begin(), sent.end());
                std::sort(expected.begin(), expected.end());
                if (headers.Count() == 1 && sent == expected) ++right;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(right.load(), 800);
    EXPECT_EQ(manager.CookieCollection().Count(), 200u); // 50 names in each of 4 folders
}
