// The status line as this client reads it: the grammar of RFC 9112 section
// 4, and the leniencies it keeps on purpose (a decimal, signed or
// zero-padded code is read as its whole number; an unknown version is taken
// for HTTP/1.0).
#include <gtest/gtest.h>

#include <string>

#include "http/NetHTTP.h"

using namespace net;

TEST(StatusLine, CodeAndVersionAsTheGrammarHasThemAndAsServersWriteThem) {
    struct Case {
        std::string Line;
        int Code;
        TNetHTTPProtocolVersion Version;
    } cases[] = {
        {"HTTP/1.1 200 OK", 200, pv1_1},
        {"HTTP/1.0 404 Not Found", 404, pv1_0},
        // The reason phrase may be empty, or missing with its SP.
        {"HTTP/1.1 503 ", 503, pv1_1},
        {"HTTP/1.1 204", 204, pv1_1},
        {"HTTP/1.1    302   Found", 302, pv1_1},
        // Leniencies kept on purpose.
        {"HTTP/1.1 200.5 OK", 200, pv1_1},
        {"HTTP/1.1 +200 OK", 200, pv1_1},
        {"HTTP/1.1 0200 OK", 200, pv1_1},
        {"HTTP/1.1 2000 OK", 2000, pv1_1},
        {"http/1.1 200 OK", 200, pv1_1},
        // A version other than 1.0 and 1.1 counts as 1.0.
        {"HTTP/2 200", 200, pv1_0},
        {"HTTP/0.9 200 OK", 200, pv1_0},
        // No code.
        {"HTTP/1.1 OK", -1, pv1_1},
        {"HTTP/1.1 -200 Minus", -1, pv1_1},
        {"HTTP/1.1 .5 Point", -1, pv1_1},
        {"HTTP/1.1 99999999999 Large", -1, pv1_1},
        {"HTTP/1.1", -1, pv1_1},
        {"", -1, pv1_0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        TNetHTTP http;
        TNetHTTPResponse& response = http.Response();
        response.SetResponseText(c.Line);
        EXPECT_EQ(response.ResponseCode(), c.Code);
        EXPECT_EQ(response.ResponseVersion(), c.Version);
        EXPECT_EQ(response.ResponseText(), c.Line);
    }
}
