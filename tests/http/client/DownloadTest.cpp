// The resuming download against a file server of the test's own that drops
// its connections: what the target ends up holding, what each retry asked
// for, the pauses between attempts, and the progress the caller saw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HttpTestClient.h"
#include "RangeServer.h"
#include "ReplayHandler.h"
#include "http/NetExceptions.h"
#include "http/NetDownload.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

using namespace net;
using namespace testing_support;

namespace {

constexpr int64_t kMiB = 1 << 20;

std::string Content(size_t size, unsigned seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : s)
        c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    return s;
}

const std::string kModified = "Tue, 01 Dec 2026 10:00:00 GMT";
const std::string kA = Content(3 * kMiB + 5, 1), kB = Content(3 * kMiB + 5, 2);

RangeReply Status(const std::string& line) {
    return {"HTTP/1.1 " + line + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", "", -1,
            false};
}

// A 206 of A from `from` with the Content-Range given, the rest asked for long.
RangeReply Partial(const RangeRequest& r, int64_t from, const std::string& range,
                   int64_t dropAfter = -1) {
    if (r.From < 0) return FileReply(r, kA, "\"a\"", dropAfter);
    const size_t size = kA.size() - r.From;
    return {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + range +
                "\r\nContent-Length: " + std::to_string(size) +
                "\r\nETag: \"a\"\r\nConnection: close\r\n\r\n",
            kA.substr(from, size), dropAfter, false};
}
// One that starts 1000 bytes early, though as long as the rest asked for.
RangeReply Early(const RangeRequest& r, int64_t dropAfter) {
    const int64_t from = r.From - 1000;
    return Partial(r, from, std::to_string(from) + "-3145732/3145733", dropAfter);
}

// What the server does after its first connection, which serves A with
// ETag "a" (the rest when asked for) and drops after 1 MiB, or on every one.
using Later = RangeReply (*)(const RangeRequest&);
const Later kDropEveryMiB = [](const RangeRequest& r) { return FileReply(r, kA, "\"a\"", kMiB); };
const Later kRestOfA = [](const RangeRequest& r) { return FileReply(r, kA, "\"a\""); };
const Later kWholeB = [](const RangeRequest& r) { return FileReply(r, kB, "\"b\""); };
const Later kRestOfB = [](const RangeRequest& r) {
    return FileReply(r.From < 0 ? r : RangeRequest{0, "", r.From, "\"b\""}, kB, "\"b\"");
};
const Later kEarlyRest = [](const RangeRequest& r) { return Early(r, -1); };
const Later kOtherTotal = [](const RangeRequest& r) {
    return Partial(r, r.From, std::to_string(r.From) + "-3145732/3145734");
};
const Later kBusyOnce = [](const RangeRequest& r) {
    return r.Connection == 2 ? Status("503 Service Unavailable") : kRestOfA(r);
};
const Later kGone = [](const RangeRequest&) { return Status("404 Not Found"); };
// Servers that drop every connection after 1 MiB.
const Later kIgnoringRange = [](const RangeRequest&) {
    return FileReply(RangeRequest{}, kA, "\"a\"", kMiB);
};
const Later kAlwaysEarly = [](const RangeRequest& r) { return Early(r, kMiB); };
// A with a Last-Modified date as its only validator, sent `later` seconds
// before the reply's Date.
RangeReply Dated(const RangeRequest& r, int later) {
    RangeReply reply = FileReply(r, kA, kModified, r.From < 0 ? kMiB : -1);
    reply.Head.replace(reply.Head.find("ETag"), 4,
                       "Date: Tue, 01 Dec 2026 10:00:0" + std::to_string(later) +
                           " GMT\r\nLast-Modified");
    return reply;
}
const Later kStrongDate = [](const RangeRequest& r) { return Dated(r, 1); };
const Later kWeakDate = [](const RangeRequest& r) { return Dated(r, 0); };
const Later kWeakTag = [](const RangeRequest& r) {
    return FileReply(r, kA, "W/\"a\"", r.From < 0 ? kMiB : -1);
};

} // namespace

TEST(Download, ResumesStartsOverOrGivesUpWithoutSplicing) {
    struct Case {
        const char* Name;
        Later Then;          // after the first connection, or
        Later Serve;         // every connection
        std::string Want;    // the target's bytes
        std::string Error;   // the message raised; "short" for a short result
        std::string Pauses;  // milliseconds, in order
        std::string IfRange; // of the second request, which asks for a Range with one
        int Bars;            // transfers the caller saw begin
        int MaxConnections = 0;
    } cases[] = {
        {"honours ranges, closes every MiB", kDropEveryMiB, nullptr, kA, "", "1000 1000 1000",
         "\"a\"", 1},
        {"ignores Range and drops: starts over until no attempt gets further", nullptr,
         kIgnoringRange, kA.substr(0, kMiB), "short", "1000 2000 4000", "\"a\"", 4},
        {"file changed: If-Range brings the whole new one", kWholeB, nullptr, kB, "", "1000",
         "\"a\"", 2},
        {"file changed, yet a 206 of it comes: refused, then started over", kRestOfB, nullptr, kB,
         "", "1000 2000", "\"a\"", 2},
        {"206 starting elsewhere: refused, then started over", kEarlyRest, nullptr, kA, "",
         "1000 2000", "\"a\"", 2},
        {"206 starting elsewhere twice: fails with nothing appended", nullptr, kAlwaysEarly,
         kA.substr(0, kMiB),
         "Asked for the rest of %URL from byte 1048576, the server sent something else "
         "(Content-Range \"bytes 1047576-3145732/3145733\").",
         "1000 2000 4000", "\"a\"", 2},
        {"206 of another total length: refused, then started over", kOtherTotal, nullptr, kA, "",
         "1000 2000", "\"a\"", 2},
        {"busy on a retry counts as no progress", kBusyOnce, nullptr, kA, "", "1000 2000", "\"a\"",
         1},
        {"another error status on a retry fails at once", kGone, nullptr, kA.substr(0, kMiB),
         "HTTP/1.1 404 Not Found", "1000", "\"a\"", 1},
        {"refused connects on the retries", kDropEveryMiB, nullptr, kA.substr(0, kMiB),
         "Socket Error # 10061\r\nConnection refused.", "1000 2000 4000", "\"a\"", 1, 1},
        {"Last-Modified a second before Date: resumed with it", nullptr, kStrongDate, kA, "",
         "1000", kModified, 1},
        {"Last-Modified as late as Date: started over", nullptr, kWeakDate, kA.substr(0, kMiB),
         "short", "1000 2000 4000", "", 4},
        {"weak ETag: started over", nullptr, kWeakTag, kA.substr(0, kMiB), "short",
         "1000 2000 4000", "", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RangeServer::Handler serve = c.Serve;
        if (!serve)
            serve = [then = c.Then](const RangeRequest& r) {
                return r.Connection == 1 ? kDropEveryMiB(r) : then(r);
            };
        RangeServer server(serve, c.MaxConnections);
        TNetHTTP http;
        http.ReadTimeout = 5000;
        std::string pauses;
        int bars = 0;
        int64_t shown = 0;
        http.OnWorkBegin = [&](TNetComponent*, TWorkMode, int64_t) { ++bars, shown = 0; };
        http.OnWork = [&](TNetComponent*, TWorkMode, int64_t n) {
            EXPECT_GE(n, shown) << "the bar went back within a transfer";
            shown = n;
        };
        TNetDownload download(
            http,
            {3, [&](int ms) { pauses += (pauses.empty() ? "" : " ") + std::to_string(ms); }, {}});
        rtl::TMemoryStream target;
        std::string error;
        try {
            const TNetDownloadResult result = download.Get(server.Url("/f.bin"), target);
            // A body completed by ranges answers for the 200 that began it.
            EXPECT_EQ(result.ResponseText, "HTTP/1.1 200 OK");
            if (!result.Complete()) error = "short";
        } catch (const rtl::Exception& e) {
            error = e.Message();
        }
        std::string want = c.Error;
        if (size_t at = want.find("%URL"); at != std::string::npos)
            want.replace(at, 4, server.Url("/f.bin"));
        EXPECT_EQ(error, want);
        EXPECT_TRUE(std::string(target.Bytes().begin(), target.Bytes().end()) == c.Want)
            << target.Size() << " bytes, not the " << c.Want.size() << " wanted";
        EXPECT_EQ(pauses, c.Pauses);
        EXPECT_EQ(bars, c.Bars);
        const std::vector<RangeRequest> requests = server.Requests();
        if (requests.size() > 1) {
            EXPECT_EQ(requests[1].From >= 0, !c.IfRange.empty());
            EXPECT_EQ(requests[1].IfRange, c.IfRange);
        }
        if (c.Bars == 1 && c.Error.empty()) {
            EXPECT_LE(server.BodyBytesSent(), kA.size() * 105 / 100);
        }
    }
}

// Each retry is told before its pause: the attempt that comes next, whether
// it asks for the rest, how far the body had come and why the last attempt
// ended, so that a status line and a log can say what the wait is for.
TEST(Download, TellsEachRetryBeforeItsPause) {
    struct Case {
        const char* Name;
        Later Serve;
        std::vector<TNetRetryNotice> Want; // Reason: the start of the message
    } cases[] = {
        {"resumed every MiB",
         kDropEveryMiB,
         {{2, 1000, true, kMiB, 3 * kMiB + 5, "The body ended after 1048576 of 3145733 bytes."},
          {3, 1000, true, 2 * kMiB, 3 * kMiB + 5, "The body ended after 2097152 of"},
          {4, 1000, true, 3 * kMiB, 3 * kMiB + 5, "The body ended after 3145728 of"}}},
        {"a weak validator: started over, pauses growing",
         kWeakTag,
         {{2, 1000, false, kMiB, 3 * kMiB + 5, "The body ended after"},
          {3, 2000, false, kMiB, 3 * kMiB + 5, "The body ended after"},
          {4, 4000, false, kMiB, 3 * kMiB + 5, "The body ended after"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RangeServer server(c.Serve, 0);
        TNetHTTP http;
        http.ReadTimeout = 5000;
        std::vector<TNetRetryNotice> told;
        std::vector<int> paused;
        TNetDownload download(http, {3, [&](int ms) { paused.push_back(ms); },
                                     [&](const TNetRetryNotice& n) {
                                         EXPECT_EQ(paused.size(), told.size())
                                             << "told after its pause";
                                         told.push_back(n);
                                     }});
        rtl::TMemoryStream target;
        download.Get(server.Url("/f.bin"), target);
        ASSERT_EQ(told.size(), c.Want.size());
        for (size_t i = 0; i < told.size(); ++i) {
            EXPECT_EQ(told[i].Attempt, c.Want[i].Attempt) << i;
            EXPECT_EQ(told[i].PauseMs, c.Want[i].PauseMs) << i;
            EXPECT_EQ(paused[i], told[i].PauseMs) << i;
            EXPECT_EQ(told[i].Resume, c.Want[i].Resume) << i;
            EXPECT_EQ(told[i].Received, c.Want[i].Received) << i;
            EXPECT_EQ(told[i].Expected, c.Want[i].Expected) << i;
            EXPECT_EQ(told[i].Reason.rfind(c.Want[i].Reason, 0), 0u) << told[i].Reason;
        }
    }
}

// What the download adds to a request goes with that request, around the
// hooks of its own caller; the client stays as its owner set it up, also
// after a download that failed.
TEST(Download, ComposesWithItsCallersHooksAndLeavesTheClientAsItWas) {
    const std::string body = "0123456789", etag = "ETag: \"e\"\r\n";
    ReplayHandler server({
        {{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n" + etag + "\r\n" + body.substr(0, 4)}, true},
        {{"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 4-9/10\r\nContent-Length: 6\r\n" +
          etag + "\r\n" + body.substr(4)},
         true},
        {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}, true},
        {{Ok("plain")}, true},
    });
    Client http(&server);
    std::vector<std::string> client, layer;
    http.OnHeadersAvailable = [&](TNetCustomHTTP* h, TNetHeaderList&, bool&) {
        client.push_back("headers " + std::to_string(h->ResponseCode()));
    };
    http.OnWorkBegin = [&](TNetComponent*, TWorkMode, int64_t max) {
        client.push_back("begin " + std::to_string(max));
    };
    TNetRequestHooks hooks;
    hooks.Headers.SetValues("User-Agent", "layer/1");
    hooks.OnHeadersAvailable = [&](TNetCustomHTTP* h, TNetHeaderList&, bool&) {
        layer.push_back("headers " + std::to_string(h->ResponseCode()));
    };
    hooks.OnWorkBegin = [&](TNetComponent*, TWorkMode, int64_t max) {
        layer.push_back("begin " + std::to_string(max));
    };
    hooks.OnWork = [&](TNetComponent*, TWorkMode, int64_t n) {
        layer.push_back(std::to_string(n));
    };
    hooks.OnWorkEnd = [&](TNetComponent*, TWorkMode) { layer.push_back("end"); };

    TNetDownload download(http, {3, [](int) {}, {}});
    rtl::TMemoryStream target;
    const TNetDownloadResult result = download.Get(server.Url("/f"), target, hooks);
    EXPECT_EQ(Text(target), body);
    EXPECT_EQ(result.Attempts, 2);
    EXPECT_EQ(client, (std::vector<std::string>{"headers 200", "headers 206"}));
    EXPECT_EQ(layer, (std::vector<std::string>{"headers 200", "begin 10", "4", "headers 206", "10",
                                               "end"}));
    EXPECT_THROW(download.Get(server.Url("/f"), target, hooks), ENetHTTPProtocolException);
    client.clear();
    EXPECT_EQ(http.Fetch(server.Url("/f")), "plain");
    EXPECT_EQ(client, (std::vector<std::string>{"headers 200", "begin 5"}));

    const std::vector<std::string>& requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(requests[i].find("\r\nUser-Agent: layer/1\r\n"), std::string::npos) << i;
        EXPECT_EQ(requests[i].find("Net Library"), std::string::npos) << i;
    }
    EXPECT_NE(requests[1].find("\r\nRange: bytes=4-\r\n"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nIf-Range: \"e\"\r\n"), std::string::npos);
    EXPECT_EQ(requests[3].find("layer/1"), std::string::npos);
    EXPECT_EQ(requests[3].find("Range"), std::string::npos);
    EXPECT_EQ(http.Request().UserAgent, DefaultUserAgent);
}
