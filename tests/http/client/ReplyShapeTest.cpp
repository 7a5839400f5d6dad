// The shapes of a reply (status lines, header sections, chunked, sized,
// multipart and close-delimited bodies, error bodies) read from a replayed
// peer, each reply cut in two at every byte in turn: the client must read
// the same whatever receives the bytes come in.
#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "HttpTestClient.h"
#include "ReplayHandler.h"
#include "http/NetExceptions.h"
#include "tests/TestSupport.h"

using namespace net;
using namespace testing_support;

namespace {

// The replies of one connection that stays open after them, as a kept-alive
// server's would.
ReplayConnection KeptAlive(std::vector<std::string> replies) {
    return {std::move(replies), false};
}

// The replies of one connection that the server closes after the last one.
ReplayConnection ClosedAfter(std::vector<std::string> replies) {
    return {std::move(replies), true};
}

// Runs check against a fresh replayed peer for every cut from 1 to the
// longest reply's size: each reply's first receive ends after byte cut. The
// first cut that fails (or raises) ends the run, named in the failure.
template <typename F> void EverySplit(const std::vector<ReplayConnection>& script, F check) {
    size_t longest = 0;
    for (const ReplayConnection& connection : script)
        for (const std::string& reply : connection.Replies)
            longest = std::max(longest, reply.size());
    for (size_t cut = 1; cut <= longest && !::testing::Test::HasFailure(); ++cut) {
        SCOPED_TRACE("each reply cut after byte " + std::to_string(cut));
        ReplayHandler server(script, cut);
        try {
            check(server);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "raised: " << e.what();
        }
    }
}

} // namespace

// ---- Status line and headers --------------------------------------------------

TEST(Status, ContinueIsSkippedAndDecimalCodesAreCut) {
    EverySplit({KeptAlive({"HTTP/1.1 100 Continue\r\n\r\n" + Ok("body"),
                           "HTTP/1.1 200.5 OK\r\nContent-Length: 2\r\n\r\nok"})},
               [](ReplayHandler& server) {
                   Client c(&server);
                   EXPECT_EQ(c.Fetch(server.Url("/a")), "body");
                   EXPECT_EQ(c.ResponseText(), "HTTP/1.1 200 OK");
                   EXPECT_EQ(c.Fetch(server.Url("/b")), "ok");
                   EXPECT_EQ(c.ResponseCode(), 200);
               });
}

TEST(Status, ErrorsLeaveTheCallersStreamUntouched) {
    EverySplit(
        {KeptAlive({"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: "
                    "9\r\n\r\nnot here!",
                    "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved",
                    "HTTP/1.1 abc OK\r\nContent-Length: 0\r\n\r\n", Ok("fine")})},
        [](ReplayHandler& server) {
            Client c(&server);
            rtl::TMemoryStream stream;
            stream.WriteBuffer("keep", 4);
            try {
                c.Get(server.Url("/missing"), stream);
                FAIL();
            } catch (const ENetHTTPProtocolException& e) {
                EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
                EXPECT_EQ(e.ErrorCode, 404);
                EXPECT_EQ(e.ErrorMessage, "not here!");
            }
            EXPECT_EQ(Text(stream), "keep");
            try {
                c.Get(server.Url("/moved"), stream);
                FAIL();
            } catch (const ENetHTTPProtocolException& e) {
                EXPECT_EQ(e.Message(), "HTTP/1.1 302 Found");
                EXPECT_EQ(e.ErrorCode, 302);
                EXPECT_EQ(e.ErrorMessage, "moved");
            }
            EXPECT_EQ(Text(stream), "keep");
            try {
                c.Get(server.Url("/odd"), stream);
                FAIL();
            } catch (const ENetHTTPProtocolException& e) {
                EXPECT_EQ(e.ErrorCode, -1);
            }
            EXPECT_EQ(c.ResponseCode(), -1);
            // Each error body was read aside, so the kept connection is in step.
            EXPECT_EQ(c.Fetch(server.Url("/ok")), "fine");
            EXPECT_EQ(server.Connections(), 1);
        });
}

TEST(Status, HeaderFloodKeepsTheFirst255LinesAndTheBodyIntact) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n";
    for (int i = 0; i < 300; ++i)
        head += "X-Flood-" + std::to_string(i) + ": v\r\n";
    EverySplit({KeptAlive({head + "\r\nbody"})}, [](ReplayHandler& server) {
        Client c(&server);
        EXPECT_EQ(c.Fetch(server.Url("/")), "body");
        EXPECT_EQ(c.Response().RawHeaders.Count(), 255u);
        EXPECT_EQ(c.Response().ContentLength, 4);
    });
}

TEST(Status, OverlongStatusLineFails) {
    EverySplit(
        {KeptAlive({"HTTP/1.1 200 " + std::string(20000, 'x') + "\r\n\r\n"})},
        [](ReplayHandler& server) {
            Client c(&server);
            EXPECT_EQ(MessageOf<ENetReadLnMaxLineLengthExceeded>([&] { c.Fetch(server.Url("/")); }),
                      "Max line length exceeded.");
            EXPECT_FALSE(c.Connected());
        });
}

// ---- Bodies -------------------------------------------------------------------

TEST(Body, ChunkedWithExtensionsAndTrailers) {
    const std::string data = "abcdefghijklmnopqrstuvwxyz";
    EverySplit({KeptAlive({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a;ext=1\r\n" +
                           data + "\r\n0\r\nX-Trailer: t\r\n\r\n"})},
               [&](ReplayHandler& server) {
                   Client c(&server);
                   c.Record();
                   EXPECT_EQ(c.Fetch(server.Url("/")), data);
                   EXPECT_EQ(c.Response().RawHeaders.Values("X-Trailer"), "t");
                   ASSERT_GE(c.Work.size(), 3u);
                   EXPECT_EQ(c.Work.front(), "begin 0");
                   EXPECT_EQ(c.Work.back(), "end");
                   // The total counts chunk-size lines and line ends too: 10 + 26 + 2 + 3 + 14 + 2.
                   EXPECT_EQ(c.Work[c.Work.size() - 2], "57");
                   EXPECT_EQ(std::count(c.Work.begin(), c.Work.end(), "begin 0"), 1);
               });
}

TEST(Body, MalformedChunkSizesFail) {
    for (std::string size : {"zz", "FFFFFFFFFFFFFFFFFFFF", ""}) {
        EverySplit({KeptAlive({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + size +
                               "\r\nxyz\r\n0\r\n\r\n"})},
                   [&](ReplayHandler& server) {
                       Client c(&server);
                       EXPECT_THROW(c.Fetch(server.Url("/")), ENetInvalidChunkSize) << size;
                       EXPECT_FALSE(c.Connected());
                   });
    }
}

TEST(Body, ContentLengthShortByACloseReturnsWhatArrived) {
    EverySplit(
        {ClosedAfter({"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(400, 'x')})},
        [](ReplayHandler& server) {
            Client c(&server);
            rtl::TMemoryStream stream;
            c.Get(server.Url("/"), stream);
            EXPECT_EQ(stream.Size(), 400);
            EXPECT_FALSE(c.Connected());
        });
}

TEST(Body, ContentLengthZeroLeavesTheStreamAndFiresNoWork) {
    EverySplit({KeptAlive({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"})},
               [](ReplayHandler& server) {
                   Client c(&server);
                   c.Record();
                   EXPECT_EQ(c.Fetch(server.Url("/")), "");
                   EXPECT_TRUE(c.Work.empty());
               });
}

TEST(Body, MultipartEndsAtTheClosingDelimiter) {
    const std::string body = "--XyZ\r\nContent-Type: text/plain\r\n\r\npart\r\n--XyZ--";
    EverySplit(
        {KeptAlive({"HTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=XyZ\r\n\r\n" +
                        body + "\r\n",
                    Ok("next")})},
        [&](ReplayHandler& server) {
            Client c(&server);
            EXPECT_EQ(c.Fetch(server.Url("/")), body);
            EXPECT_EQ(c.Fetch(server.Url("/")), "next");
        });
}

TEST(Body, HtmlErrorPageFillsMetaHeaders) {
    const std::string page =
        "<html><head><meta http-equiv=\"Refresh\" content=\"5\"></head><body>gone</body></html>";
    EverySplit({KeptAlive({"HTTP/1.1 410 Gone\r\nContent-Type: text/html; charset=utf-8\r\n"
                           "Content-Length: " +
                           std::to_string(page.size()) + "\r\n\r\n" + page})},
               [&](ReplayHandler& server) {
                   Client c(&server);
                   try {
                       c.Fetch(server.Url("/"));
                       FAIL();
                   } catch (const ENetHTTPProtocolException& e) {
                       EXPECT_EQ(e.ErrorMessage, page);
                   }
                   EXPECT_EQ(c.Response().MetaHTTPEquiv.RawHeaders.Values("Refresh"), "5");
                   EXPECT_EQ(c.Response().CharSet, "utf-8");
               });
}
