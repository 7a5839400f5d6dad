// The secure paths of the client against scripted loopback peers: what a
// failed handshake raises and leaves behind, the CONNECT tunnel through a
// proxy (its exact request, the refusals, the reply read without taking a
// byte past it) and Secure cookies. The TLS sessions themselves are proven
// against nginx and tinyproxy (tests/http/peers).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ScriptedServer.h"
#include "http/NetExceptions.h"
#include "http/NetHTTP.h"
#include "http/NetIOHandlerTLS.h"
#include "runtime/Streams.h"

using namespace net;
using namespace testing_support;

namespace {

const std::string kPlainAnswer = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";

struct Outcome {
    std::string Type, Message;
    int Code = 0; // ErrorCode of a refused tunnel
};

// Runs a GET of url into a stream that already holds "keep" and reports
// what it raised; the stream must come back untouched.
Outcome Fetch(TNetHTTP& http, const std::string& url) {
    rtl::TMemoryStream stream;
    stream.Write("keep", 4);
    Outcome o{"(nothing)", {}};
    try {
        http.Get(url, stream);
    } catch (const ENetTunnelRefused& e) {
        o = {"tunnel", e.Message(), e.ErrorCode};
    } catch (const ENetTLSCertificateError& e) {
        o = {"certificate", e.Message()};
    } catch (const ENetTLSHandshakeError& e) {
        o = {"handshake", e.Message()};
    } catch (const ENetReadTimeout& e) {
        o = {"timeout", e.Message()};
    } catch (const ENetSocketError& e) {
        o = {"socket", e.Message()};
    } catch (const ENetException& e) {
        o = {"net", e.Message()};
    }
    EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), "keep") << url;
    return o;
}

struct Client : TNetHTTP {
    Client() { ReadTimeout = 3000; }
};

} // namespace

// Peers that do not speak TLS: each failure has its own error, nothing is
// written, and the connection is gone afterwards.
TEST(SecureConnect, FailedHandshakesRaiseTheirErrorAndKeepNothing) {
    struct Case {
        const char* Name;
        ConnectionScript Script;
        Outcome Expected; // a handshake message is checked up to its library's reason
        Outcome Also{};   // what Wine may report instead
    } cases[] = {
        {"plain HTTP answer",
         {Pause(100), Send(kPlainAnswer), WaitForClose()},
         {"handshake", "No secure connection could be set up with 127.0.0.1: "}},
        {"close at once",
         {Close()},
         {"handshake", "No secure connection could be set up with 127.0.0.1: "}},
        // Wine's sockets may report a reset before any data as a close.
        {"reset",
         {Pause(100), Reset()},
         {"socket", "Socket Error # 10054\r\nConnection reset by peer."},
         {"handshake", "No secure connection could be set up with 127.0.0.1: "}},
        {"silent", {WaitForClose(3000)}, {"timeout", "Read timed out."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer server({c.Script});
        Client http;
        http.ReadTimeout = 500;
        const auto start = std::chrono::steady_clock::now();
        Outcome o = Fetch(http, "https://127.0.0.1:" + std::to_string(server.Port()) + "/a.zip");
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const Outcome& expected = o.Type == c.Also.Type ? c.Also : c.Expected;
        EXPECT_EQ(o.Type, expected.Type) << o.Message;
        EXPECT_EQ(o.Message.substr(0, expected.Message.size()), expected.Message);
        if (o.Type == "handshake") {
            EXPECT_GT(o.Message.size(), expected.Message.size()) << "no reason given";
        }
        if (o.Type == "timeout") {
            EXPECT_GE(ms, 450);
        }
        EXPECT_LT(ms, 2500);
        EXPECT_FALSE(http.Connected());
        EXPECT_EQ(server.Connections(), 1);
    }
}

// Through a proxy an https URL opens a tunnel; a refusal carries the proxy's
// status line, and the request is exactly CONNECT, Host and User-Agent.
TEST(SecureConnect, ProxyTunnelRequestAndRefusals) {
    struct Case {
        const char* Name;
        ConnectionScript Script;
        Outcome Expected;
    } cases[] = {
        {"forbidden",
         {ReadRequest(), Send("HTTP/1.1 403 Forbidden\r\nContent-Length: 3\r\n\r\nno!"),
          WaitForClose()},
         {"tunnel", "The proxy refused the connection to h.invalid:8443: HTTP/1.1 403 Forbidden",
          403}},
        {"authentication asked",
         {ReadRequest(),
          Send("HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n"),
          WaitForClose()},
         {"tunnel",
          "The proxy refused the connection to h.invalid:8443: HTTP/1.0 407 Proxy "
          "Authentication Required",
          407}},
        {"bad gateway",
         {ReadRequest(), Send("HTTP/1.1 502 Bad Gateway\r\n\r\n"), Close()},
         {"tunnel", "The proxy refused the connection to h.invalid:8443: HTTP/1.1 502 Bad Gateway",
          502}},
        {"closed without an answer",
         {ReadRequest(), Close()},
         {"net", "Connection Closed Gracefully."}},
        // The tunnel stands, but what comes through it is no TLS server.
        {"tunnel to a plain server",
         {ReadRequest(), Send("HTTP/1.1 200 Connection established\r\n\r\n"), Pause(100),
          Send(kPlainAnswer), WaitForClose()},
         {"handshake", "No secure connection could be set up with h.invalid: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedServer proxy({c.Script});
        Client http;
        http.ProxyParams.ProxyServer = "127.0.0.1";
        http.ProxyParams.ProxyPort = proxy.Port();
        http.Request().UserAgent = "agent/1";
        Outcome o = Fetch(http, "https://h.invalid:8443/files/a.zip");
        EXPECT_EQ(o.Type, c.Expected.Type) << o.Message;
        EXPECT_EQ(o.Message.substr(0, c.Expected.Message.size()), c.Expected.Message);
        EXPECT_EQ(o.Code, c.Expected.Code);
        EXPECT_FALSE(http.Connected());
        proxy.Wait();
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_EQ(proxy.Requests()[0], "CONNECT h.invalid:8443 HTTP/1.1\r\nHost: h.invalid:8443\r\n"
                                       "User-Agent: agent/1\r\n\r\n");
    }
}

TEST(SecureConnect, TunnelToAnIPv6LiteralBracketsItAndTheDefaultPortIsShown) {
    // The connection to the proxy takes the target's address family.
    ScriptedServer proxy({{ReadRequest(), Send("HTTP/1.1 403 Forbidden\r\n\r\n"), WaitForClose()}},
                         platform::SocketFamily::IPv6);
    Client http;
    http.ProxyParams.ProxyServer = "::1";
    http.ProxyParams.ProxyPort = proxy.Port();
    Outcome o = Fetch(http, "https://[::1]/a.zip");
    EXPECT_EQ(o.Message, "The proxy refused the connection to [::1]:443: HTTP/1.1 403 Forbidden");
    proxy.Wait();
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].rfind("CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\n", 0),
              0u);
}

// The proxy's reply is read a byte at a time: what follows its empty line
// (the server's first TLS bytes) is still there for whoever reads next.
TEST(SecureConnect, ReplyHeadIsReadWithoutTakingAByteBeyondIt) {
    const std::string reply =
        "HTTP/1.1 200 Connection established\r\nProxy-agent: t\r\n\r\n\x16\x03\x01 after\n";
    ScriptedServer proxy({{Send(reply), WaitForClose()}});
    TNetIOHandlerTLS io;
    TNetTCPClientCustom client;
    client.SetIOHandler(&io);
    client.Host = "127.0.0.1";
    client.Port = proxy.Port();
    client.ReadTimeout = 3000;
    client.Connect();
    EXPECT_EQ(io.ReadLnUnbuffered(), "HTTP/1.1 200 Connection established");
    EXPECT_EQ(io.ReadLnUnbuffered(), "Proxy-agent: t");
    EXPECT_EQ(io.ReadLnUnbuffered(), "");
    EXPECT_TRUE(io.InputBufferIsEmpty());
    EXPECT_EQ(io.ReadLn(), "\x16\x03\x01 after");
    client.Disconnect();
}

TEST(SecureCookies, GoOnlyOverTLSAndAreNotTakenFromPlainResponses) {
    ScriptedServer server(
        {{ReadRequest(),
          Send("HTTP/1.1 200 OK\r\nSet-Cookie: plain=1\r\nSet-Cookie: s=2; Secure\r\n"
               "Content-Length: 0\r\n\r\n"),
          ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), WaitForClose()}});
    Client http;
    TNetCookieManager cookies;
    // A Secure cookie set earlier over https for this host.
    cookies.AddServerCookies({"t=3; Secure"}, TNetURI("https://127.0.0.1/"));
    http.SetCookieManager(&cookies);
    rtl::TMemoryStream body;
    http.Get(server.Url("/a"), body);
    http.Get(server.Url("/b"), body);
    http.Disconnect();
    server.Wait();
    ASSERT_EQ(server.Requests().size(), 2u);
    const std::string second = server.Requests()[1];
    EXPECT_NE(second.find("Cookie: plain=1\r\n"), std::string::npos) << second;
    EXPECT_EQ(second.find("s=2"), std::string::npos) << "a Secure cookie from plain http was kept";
    EXPECT_EQ(second.find("t=3"), std::string::npos) << "a Secure cookie went over plain http";
}
