#include <gtest/gtest.h>

#include "http/NetURI.h"

using namespace net;

namespace {

struct Parts {
    std::string Protocol, Username, Password, Host, Port, Path, Document, Params, Bookmark;
    TNetIPVersion IPVersion = Id_IPv4;
};

void ExpectParts(const std::string& url, const Parts& p) {
    SCOPED_TRACE(url);
    TNetURI uri(url);
    EXPECT_EQ(uri.Protocol, p.Protocol);
    EXPECT_EQ(uri.Username, p.Username);
    EXPECT_EQ(uri.Password, p.Password);
    EXPECT_EQ(uri.Host, p.Host);
    EXPECT_EQ(uri.Port, p.Port);
    EXPECT_EQ(uri.Path, p.Path);
    EXPECT_EQ(uri.Document, p.Document);
    EXPECT_EQ(uri.Params, p.Params);
    EXPECT_EQ(uri.Bookmark, p.Bookmark);
    EXPECT_EQ(uri.IPVersion, p.IPVersion);
}

} // namespace

TEST(URISplit, AbsoluteURLsGiveEveryPart) {
    ExpectParts("http://user:pw@[::1]:8080/a/b/c.zip?x=1#top",
                {"http", "user", "pw", "::1", "8080", "/a/b/", "c.zip", "x=1", "top", Id_IPv6});
    ExpectParts("http://h", {"http", "", "", "h", "", "/", "", "", ""});
    ExpectParts("HTTP://Server.example:81/zividezeru/Files/main.zip",
                {"HTTP", "", "", "Server.example", "81", "/zividezeru/Files/", "main.zip", "", ""});
    ExpectParts("http://h?q", {"http", "", "", "h", "", "/", "", "q", ""});
    ExpectParts("http://[fe80::1%25eth0]/x",
                {"http", "", "", "fe80::1%25eth0", "", "/", "x", "", "", Id_IPv6});
    // No percent-decoding, and a space stays as written.
    ExpectParts("http://h/a%20b/c d?x=1 2",
                {"http", "", "", "h", "", "/a%20b/", "c d", "x=1 2", ""});
}

TEST(URISplit, UserInformation) {
    // The last "@" ends the user information; the first ":" splits it.
    ExpectParts("ftp://me:p:a@ss@host:2121/f",
                {"ftp", "me", "p:a@ss", "host", "2121", "/", "f", "", ""});
    ExpectParts("http://me@host/", {"http", "me", "", "host", "", "/", "", "", ""});
    // Without a user name the password is dropped.
    ExpectParts("http://:secret@host/", {"http", "", "", "host", "", "/", "", "", ""});
}

TEST(URISplit, RelativeURLs) {
    ExpectParts("zividezeru/Files/main.zip",
                {"", "", "", "", "", "zividezeru/Files/", "main.zip", "", ""});
    ExpectParts("/a/b?x#y", {"", "", "", "", "", "/a/", "b", "x", "y"});
    ExpectParts("doc.html", {"", "", "", "", "", "", "doc.html", "", ""});
    ExpectParts("", {});
    ExpectParts("#only", {"", "", "", "", "", "", "", "", "only"});
    // An absolute URL inside the query does not make the URL absolute.
    ExpectParts("/go?to=http://other/x", {"", "", "", "", "", "/", "go", "to=http://other/x", ""});
}

TEST(URISplit, QueryAndFragmentDelimiters) {
    ExpectParts("http://h/p?a=1#f?g", {"http", "", "", "h", "", "/", "p", "a=1", "f?g"});
    // A "?" after "#" belongs to the fragment.
    ExpectParts("http://h/p#f?g=1", {"http", "", "", "h", "", "/", "p", "", "f?g=1"});
    ExpectParts("http://h/p?a/b/c", {"http", "", "", "h", "", "/", "p", "a/b/c", ""});
}

TEST(URISplit, BackslashesBecomeSlashesOnlyBeforeTheQuery) {
    ExpectParts("http://h\\a\\b\\c.zip?x=\\y#\\z",
                {"http", "", "", "h", "", "/a/b/", "c.zip", "x=\\y", "\\z"});
    ExpectParts("a\\b\\c", {"", "", "", "", "", "a/b/", "c", "", ""});
    ExpectParts("\\a?b\\c:d", {"", "", "", "", "", "/", "a", "b\\c:d", ""});
}

TEST(URIJoin, RoundTripLeavesOutUserInformationAndFragment) {
    TNetURI uri("http://user:pw@[::1]:8080/a/b/c.zip?x=1#top");
    EXPECT_EQ(uri.URI(), "http://[::1]:8080/a/b/c.zip?x=1");
    EXPECT_EQ(uri.StoredURI(), "http://user:pw@[::1]:8080/a/b/c.zip?x=1#top");
    EXPECT_EQ(uri.GetFullURI(ofBookmark), "http://[::1]:8080/a/b/c.zip?x=1#top");
    EXPECT_EQ(uri.GetFullURI(ofAuthInfo), "http://user:pw@[::1]:8080/a/b/c.zip?x=1");
    EXPECT_EQ(uri.GetPathAndParams(), "/a/b/c.zip?x=1");
    uri.Password.clear();
    EXPECT_EQ(uri.GetFullURI(), "http://user@[::1]:8080/a/b/c.zip?x=1#top");
}

TEST(URIJoin, DefaultPortsAreLeftOut) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"http://h:80/x", "http://h/x"},      {"HTTP://h:80/x", "HTTP://h/x"},
        {"https://h:443/", "https://h/"},     {"https://h:80/", "https://h:80/"},
        {"ftp://h:21/f", "ftp://h/f"},        {"http://h:443/", "http://h:443/"},
        {"gopher://h:70/", "gopher://h:70/"}, {"http://h:080/", "http://h:080/"},
        {"http://h/p/q?", "http://h/p/q"},
    };
    for (const Case& c : cases) {
        TNetURI uri(c.in);
        EXPECT_EQ(uri.URI(), c.out) << c.in;
    }
}

TEST(URIJoin, EmptyProtocolOrHostRaises) {
    TNetURI relative("/a/b");
    try {
        relative.URI();
        FAIL();
    } catch (const ENetURIException& e) {
        EXPECT_EQ(e.Message(), "Protocol field is empty");
    }
    relative.Protocol = "http";
    try {
        relative.GetFullURI();
        FAIL();
    } catch (const ENetException& e) {
        EXPECT_EQ(e.Message(), "Host field is empty");
    }
    relative.Host = "h";
    EXPECT_EQ(relative.GetFullURI(), "http://h/a/b");
}

TEST(URIMerge, RelativePathsAreResolvedAgainstThePreviousOne) {
    struct Case {
        const char* previous;
        const char* next;
        const char* merged;
    } cases[] = {
        {"/a/b/", "../d/", "/a/d/"},
        {"/a/b/", "", "/a/b/"},
        {"/a", "x//y", "/a/x/y"},
        {"/a/b/", "/z/", "/z/"}, // absolute replaces
        {"/a/b/", "/", "/"},
        {"", "", ""},
        {"/", "", "/"},
        {"/a/b/", "c", "/a/b/c"},
        {"/a/b", "c/", "/a/b/c/"},
        {"/a/b/", "../../../../x/", "/x/"}, // never above the root
        {"/a/b/", "..", "/a"},
        {"/a/", "./x", "/a/./x"},     // a lone dot stays
        {"/a/", "..x/y", "/a/..x/y"}, // ".." only as a whole segment
        {"/a/", "x../y", "/a/x../y"},
        {"a/", "../../b", "../b"}, // relative stays relative
        {"//a///b//", "c", "/a/b/c"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MergeURIPath(c.previous, c.next), c.merged)
            << "'" << c.next << "' onto '" << c.previous << "'";
}
