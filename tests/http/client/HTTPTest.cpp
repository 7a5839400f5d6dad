// The GET exchange against a scripted loopback server that captures the
// exact request bytes: request heads, time-outs, resets, keep-alive across
// connections, cookies, redirects and work events over timed receives. The
// shapes of the replies themselves are read split at every byte in
// ReplyShapeTest.cpp.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "HttpTestClient.h"
#include "ReplayHandler.h"
#include "ScriptedServer.h"
#include "http/NetDownload.h"
#include "http/NetExceptions.h"
#include "http/NetHTTP.h"
#include "runtime/Streams.h"
#include "tests/TestSupport.h"

using namespace net;
using namespace testing_support;

namespace {

const std::string kAccept =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n";
const std::string kAgent = "User-Agent: Mozilla/3.0 (compatible; Net Library)\r\n";

} // namespace

// ---- The request head -----------------------------------------------------

TEST(RequestHead, DirectGetSendsExactlyHostAcceptAndUserAgent) {
    ScriptedServer server({{ReadRequest(), Send(Ok("hello")), WaitForClose()}});
    Client c;
    EXPECT_EQ(c.Fetch(server.Url("/a/b.zip")), "hello");
    EXPECT_EQ(c.ResponseCode(), 200);
    EXPECT_EQ(c.ResponseText(), "HTTP/1.1 200 OK");
    c.Disconnect();
    server.Wait();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "GET /a/b.zip HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n" +
                  kAccept + kAgent + "\r\n");
}

TEST(RequestHead, ThroughAProxyTheRequestLineCarriesTheAbsoluteUrl) {
    ScriptedServer proxy({{ReadRequest(), Send(Ok("1")), ReadRequest(), Send(Ok("2")),
                           ReadRequest(), Send(Ok("3")), WaitForClose()}});
    Client c;
    c.ProxyParams.ProxyServer = "127.0.0.1";
    c.ProxyParams.ProxyPort = proxy.Port();
    c.Request().UserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
    EXPECT_EQ(c.Fetch("http://h/a/b.zip"), "1");
    EXPECT_EQ(c.Fetch("http://h:8080/a/b.zip"), "2");
    EXPECT_EQ(c.Fetch("http://h/q?x=1 2"), "3");
    c.Disconnect();
    proxy.Wait();
    auto r = proxy.Requests();
    ASSERT_EQ(r.size(), 3u);
    const std::string agent = "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)\r\n";
    EXPECT_EQ(r[0], "GET http://h/a/b.zip HTTP/1.1\r\nHost: h\r\n" + kAccept + agent + "\r\n");
    EXPECT_EQ(r[1],
              "GET http://h:8080/a/b.zip HTTP/1.1\r\nHost: h:8080\r\n" + kAccept + agent + "\r\n");
    EXPECT_EQ(r[2].substr(0, r[2].find("\r\n")), "GET http://h/q?x=1 2 HTTP/1.1")
        << "the query goes out unencoded";
    EXPECT_EQ(proxy.Connections(), 1) << "keep-alive carries all three";
}

TEST(RequestHead, IPv6LiteralIsBracketedInTheHostHeader) {
    ScriptedServer server({{ReadRequest(), Send(Ok("six")), WaitForClose()}},
                          platform::SocketFamily::IPv6);
    Client c;
    EXPECT_EQ(c.Fetch(server.Url("/v6")), "six");
    c.Disconnect();
    server.Wait();
    const std::string request = server.Requests().at(0);
    EXPECT_EQ(request.substr(0, request.find("\r\n" + kAccept)),
              "GET /v6 HTTP/1.1\r\nHost: [::1]:" + std::to_string(server.Port()));
}

TEST(RequestHead, ProxyPortZeroFailsBeforeAnyTraffic) {
    ScriptedServer server({{ReadRequest()}});
    Client c;
    c.ProxyParams.ProxyServer = "127.0.0.1";
    EXPECT_EQ(MessageOf<ENetPortRequired>([&] { c.Fetch(server.Url("/x")); }),
              "A Port is required");
    EXPECT_EQ(server.Connections(), 0);
}

TEST(RequestHead, ChangingTheProxyOpensANewConnection) {
    ScriptedServer first({{ReadRequest(), Send(Ok("a")), WaitForClose()}});
    ScriptedServer second({{ReadRequest(), Send(Ok("b")), WaitForClose()}});
    Client c;
    c.ProxyParams.ProxyServer = "127.0.0.1";
    c.ProxyParams.ProxyPort = first.Port();
    EXPECT_EQ(c.Fetch("http://h/x"), "a");
    c.ProxyParams.ProxyPort = second.Port();
    EXPECT_EQ(c.Fetch("http://h/x"), "b");
    EXPECT_EQ(c.Port, second.Port());
}

// ---- Status line and headers --------------------------------------------------

TEST(Status, ErrorBodyPastTheKeptPartIsReadThroughAndDropped) {
    std::string body(1 << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    // An HTML page, which is also read for its META tags.
    ScriptedServer server(
        {{ReadRequest(),
          Send("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body),
          ReadRequest(), Send(Ok("fine")), WaitForClose()}});
    Client c;
    try {
        c.Fetch(server.Url("/missing"));
        ADD_FAILURE() << "no error";
    } catch (const ENetHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorMessage, body.substr(0, NetErrorBodyKept));
    }
    // The rest was read through: the kept connection is in step.
    EXPECT_EQ(c.Fetch(server.Url("/ok")), "fine");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(Status, SilentServerTimesOutAndCloseBeforeStatusIsReported) {
    ScriptedServer server({{ReadRequest(), Send("HTTP/1.1 200 OK\r\n"), WaitForClose(3000)},
                           {ReadRequest(), Close()}});
    Client c;
    c.ReadTimeout = 300;
    EXPECT_EQ(MessageOf<ENetReadTimeout>([&] { c.Fetch(server.Url("/")); }), "Read timed out.");
    EXPECT_EQ(MessageOf<ENetConnClosedGracefully>([&] { c.Fetch(server.Url("/")); }),
              "Connection Closed Gracefully.");
}

// ---- Keep-alive and cookies ---------------------------------------------------

TEST(KeepAlive, CloseEndsTheConnectionAndKeepAliveReusesIt) {
    ScriptedServer server({{ReadRequest(), Send(Ok("one")), ReadRequest(),
                            Send(Ok("two", "Connection: close\r\n")), WaitForClose()},
                           {ReadRequest(), Send("HTTP/1.1 200 OK\r\n\r\nuntil close"), Close()},
                           {ReadRequest(), Send(Ok("four")), WaitForClose()}});
    Client c;
    EXPECT_EQ(c.Fetch(server.Url("/1")), "one");
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(c.Fetch(server.Url("/2")), "two");
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.Fetch(server.Url("/3")), "until close");
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.Fetch(server.Url("/4")), "four");
    EXPECT_EQ(server.Connections(), 3);
}

TEST(KeepAlive, IdleConnectionClosedByTheServerIsReplaced) {
    ScriptedServer server({{ReadRequest(), Send(Ok("one")), Close()},
                           {ReadRequest(), Send(Ok("two")), WaitForClose()}});
    Client c;
    EXPECT_EQ(c.Fetch(server.Url("/1")), "one");
    server.Wait(200);
    EXPECT_EQ(c.Fetch(server.Url("/2")), "two");
}

TEST(Cookies, SetCookieIsSentWithTheNextRequestAsLastHeader) {
    ScriptedServer server({{ReadRequest(), Send(Ok("m", "Set-Cookie: id=1\r\n")), ReadRequest(),
                            Send(Ok("u")), WaitForClose()}});
    Client c;
    c.Fetch(server.Url("/zividezeru/Files/main.zip"));
    c.Fetch(server.Url("/zividezeru/Files/upgrade.zip"));
    c.Disconnect();
    server.Wait();
    auto r = server.Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].find("Cookie"), std::string::npos);
    EXPECT_NE(r[1].find(kAgent + "Cookie: id=1\r\n\r\n"), std::string::npos) << r[1];
}

TEST(Cookies, NotStoredWhenCookiesAreOff) {
    ScriptedServer server({{ReadRequest(), Send(Ok("m", "Set-Cookie: id=1\r\n")), ReadRequest(),
                            Send(Ok("u")), WaitForClose()}});
    Client c;
    c.AllowCookies = false;
    c.Fetch(server.Url("/a"));
    c.Fetch(server.Url("/b"));
    c.Disconnect();
    server.Wait();
    EXPECT_EQ(server.Requests().at(1).find("Cookie"), std::string::npos);
    EXPECT_EQ(c.CookieManager(), nullptr);
}

// ---- Bodies -------------------------------------------------------------------

TEST(Body, ResetEndsAnUnsizedBodyButFailsASizedOne) {
    ScriptedServer server(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\n\r\n" + std::string(3000, 'u')), Pause(100),
          Reset()},
         {ReadRequest(),
          Send("HTTP/1.1 200 OK\r\nContent-Length: 9000\r\n\r\n" + std::string(3000, 's')),
          Pause(100), Reset()}});
    Client c;
    EXPECT_EQ(c.Fetch(server.Url("/")).size(), 3000u);
    rtl::TMemoryStream stream;
    try {
        c.Get(server.Url("/"), stream);
        // Under Wine the reset reaches the reader as an orderly close, which
        // ends a sized body short.
        EXPECT_EQ(platform::PathDelim(), '\\');
    } catch (const ENetSocketError& e) {
        EXPECT_EQ(e.Message(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_FALSE(c.Connected());
}

// ---- Work events ----------------------------------------------------------------

TEST(Work, CountedBodyInPiecesRisesToExactlyItsLength) {
    std::string body(5000, 'w');
    ConnectionScript script{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n")};
    for (size_t at = 0; at < body.size(); at += 1460) {
        script.push_back(Pause(20));
        script.push_back(Send(body.substr(at, 1460)));
    }
    script.push_back(WaitForClose());
    ScriptedServer server({script});
    Client c;
    c.Record();
    EXPECT_EQ(c.Fetch(server.Url("/")), body);
    ASSERT_GE(c.Work.size(), 3u);
    EXPECT_EQ(c.Work.front(), "begin 5000");
    EXPECT_EQ(c.Work[c.Work.size() - 2], "5000");
    EXPECT_EQ(c.Work.back(), "end");
    int64_t last = 0;
    for (size_t i = 1; i + 1 < c.Work.size(); ++i) {
        int64_t n = std::stoll(c.Work[i]);
        EXPECT_GT(n, last);
        EXPECT_LE(n, 5000);
        last = n;
    }
}

TEST(Work, BodyArrivingWithTheHeadersIsReportedAtOnce) {
    ScriptedServer server(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123"), Pause(50),
          Send("456789"), WaitForClose()}});
    Client c;
    c.Record();
    c.Fetch(server.Url("/"));
    EXPECT_EQ(c.Work, (std::vector<std::string>{"begin 10", "4", "10", "end"}));
}

// A caller's OnWorkEnd that fails once a body was read whole fails the Get
// with that error, whatever framed the body, and so does the one that ends a
// resuming download's transfer; the bracket closes all the same, so the
// next transfer begins as its own.
TEST(Work, FailingWorkEndReachesTheCallerAndClosesTheBracket) {
    const std::string body = "0123456789";
    struct Case {
        const char* Name;
        std::string Reply;
        bool Download;
        std::string Want = ""; // the target's bytes, when not the body alone
    } cases[] = {
        {"sized", Ok(body), false},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\n" + body + "\r\n0\r\n\r\n",
         false},
        {"until the close", "HTTP/1.1 200 OK\r\n\r\n" + body, false},
        {"multipart",
         "HTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\n" + body +
             "\r\n--B--\r\n",
         false, "--B\r\n\r\n" + body + "\r\n--B--"},
        {"a resuming download", Ok(body), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ReplayHandler server({{{c.Reply}, true}, {{c.Reply}, true}});
        Client client(&server);
        int begun = 0;
        client.OnWorkBegin = [&](TNetComponent*, TWorkMode mode, int64_t) {
            begun += mode == TWorkMode::wmRead;
        };
        client.OnWorkEnd = [](TNetComponent*, TWorkMode mode) {
            if (mode == TWorkMode::wmRead) throw std::runtime_error("end failed");
        };
        for (int round = 1; round <= 2; ++round) {
            rtl::TMemoryStream target;
            std::string error = "none";
            try {
                if (c.Download)
                    TNetDownload(client).Get(server.Url("/"), target);
                else
                    client.Get(server.Url("/"), target);
            } catch (const std::runtime_error& e) {
                error = e.what();
            }
            EXPECT_EQ(error, "end failed");
            EXPECT_EQ(Text(target), c.Want.empty() ? body : c.Want);
            EXPECT_EQ(client.WorkLevel(TWorkMode::wmRead), 0);
            EXPECT_EQ(begun, round);
        }
    }
}

TEST(Connect, RefusedAndUnresolvableTargets) {
    Client c;
    EXPECT_EQ(MessageOf<ENetSocketError>(
                  [&] { c.Fetch("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/"); }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(MessageOf<ENetSocketError>([&] { c.Fetch("http://no-such-host.invalid/x"); }),
              "Socket Error # 11001\r\nHost not found.");
    // An https URL connects the same way before any TLS.
    EXPECT_EQ(MessageOf<ENetSocketError>(
                  [&] { c.Fetch("https://127.0.0.1:" + std::to_string(UnusedPort()) + "/"); }),
              "Socket Error # 10061\r\nConnection refused.");
}

// ---- Decisions ------------------------------------------------------------------

TEST(Decision, FollowedRedirectLeavesOnlyTheFinalBodyAndTheMaximumIsEnforced) {
    const std::string moved =
        "HTTP/1.1 302 Found\r\nLocation: /final\r\nContent-Length: 5\r\n\r\nmoved";
    ScriptedServer server(
        {{ReadRequest(), Send(moved), ReadRequest(), Send(Ok("final")), ReadRequest(), Send(moved),
          ReadRequest(), Send(moved), WaitForClose()}});
    Client c;
    c.HandleRedirects = true;
    rtl::TMemoryStream stream;
    stream.WriteBuffer("pre", 3);
    c.Get(server.Url("/start"), stream);
    EXPECT_EQ(Text(stream), "prefinal");
    EXPECT_EQ(c.RedirectCount, 1);
    c.RedirectMaximum = 1;
    EXPECT_EQ(MessageOf<ENetHTTPProtocolException>([&] { c.Fetch(server.Url("/loop")); }),
              "HTTP/1.1 302 Found");
    c.Disconnect();
    server.Wait();
    EXPECT_EQ(server.Requests().at(1).substr(0, 20), "GET /final HTTP/1.1\r");
}

TEST(Decision, DeclinedHeadersAnd401AndNoContent) {
    ScriptedServer server(
        {{ReadRequest(), Send(Ok("unread")), WaitForClose()},
         {ReadRequest(),
          Send("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
               "Content-Length: 4\r\n\r\nnope"),
          ReadRequest(), Send("HTTP/1.1 204 No Content\r\n\r\n"), ReadRequest(), Send(Ok("after")),
          WaitForClose()}});
    Client c;
    c.OnHeadersAvailable = [](TNetCustomHTTP*, TNetHeaderList&, bool& goOn) { goOn = false; };
    EXPECT_EQ(c.Fetch(server.Url("/")), "");
    EXPECT_FALSE(c.Connected()) << "a response left unread is never kept";
    c.OnHeadersAvailable = nullptr;
    try {
        c.Fetch(server.Url("/secret"));
        FAIL();
    } catch (const ENetHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode, 401);
        EXPECT_EQ(e.ErrorMessage, "nope");
    }
    EXPECT_EQ(c.Response().WWWAuthenticate, std::vector<std::string>{"Basic realm=\"r\""});
    EXPECT_EQ(c.Fetch(server.Url("/empty")), "");
    EXPECT_EQ(c.ResponseCode(), 204);
    EXPECT_EQ(c.Fetch(server.Url("/next")), "after");
}

// ---- Header sets ------------------------------------------------------------------

TEST(HeaderSets, ResponseFieldsAreParsed) {
    Client c;
    TNetHTTPResponse& r = c.Response();
    r.RawHeaders.Add("Content-Type: text/plain; charset=\"UTF-8\"; format=flowed");
    r.RawHeaders.Add("Content-Range: bytes 10-19/100");
    r.RawHeaders.Add("Content-Length: abc");
    r.RawHeaders.Add("Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT");
    r.ProcessHeaders();
    EXPECT_EQ(r.ContentType, "text/plain; format=flowed");
    EXPECT_EQ(r.CharSet, "UTF-8");
    EXPECT_EQ(r.ContentRangeUnits, "bytes");
    EXPECT_EQ(r.ContentRangeStart, 10);
    EXPECT_EQ(r.ContentRangeEnd, 19);
    EXPECT_EQ(r.ContentRangeInstanceLength, 100);
    EXPECT_FALSE(r.HasContentLength());
    rtl::TDateTime expected =
        rtl::UniversalToLocal(rtl::EncodeDate(1994, 11, 6) + rtl::EncodeTime(8, 49, 37, 0));
    EXPECT_NEAR(r.LastModified, expected, 1e-8);
    EXPECT_EQ(DateTimeToHttpStr(expected), "Sun, 06 Nov 1994 08:49:37 GMT");
    rtl::TDateTime parsed;
    EXPECT_TRUE(TryHttpStrToDateTime("Sunday, 06-Nov-94 08:49:37 GMT", parsed));
    EXPECT_NEAR(parsed, expected, 1e-8);
    EXPECT_TRUE(TryHttpStrToDateTime("Sun Nov  6 08:49:37 1994", parsed));
    EXPECT_FALSE(TryHttpStrToDateTime("yesterday", parsed));

    r.RawHeaders.Clear();
    r.RawHeaders.Add("Content-Type: application/rss+xml");
    r.ProcessHeaders();
    EXPECT_EQ(r.CharSet, "");
    r.RawHeaders.SetValues("Content-Type", "text/xml");
    r.ProcessHeaders();
    EXPECT_EQ(r.CharSet, "us-ascii");
}

TEST(HeaderSets, RequestCustomHeaderIsReplacedInPlace) {
    TNetHTTPRequest r;
    r.CustomHeaders.Add("X-First: 1");
    r.CustomHeaders.Add("User-Agent: custom");
    r.Host = "h";
    r.Ranges = "0-99";
    r.ContentType = "text/plain";
    r.CharSet = "utf-8";
    r.SetHeaders();
    EXPECT_EQ(r.RawHeaders.Text(),
              "Content-Type: text/plain; charset=utf-8\r\nX-First: 1\r\n"
              "User-Agent: Mozilla/3.0 (compatible; Net Library)\r\nHost: h\r\n" +
                  kAccept + "Range: bytes=0-99");
    EXPECT_EQ(BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}
