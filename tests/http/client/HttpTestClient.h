#pragma once
// The HTTP client as the client tests use it: a reply with a length, a
// memory stream's text, and a client that fetches into memory and records
// its work events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/NetHTTP.h"
#include "runtime/Streams.h"

namespace testing_support {

// A 200 reply with the body's length and extra header lines.
inline std::string Ok(const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "\r\n" + body;
}

inline std::string Text(const rtl::TMemoryStream& s) {
    return std::string(s.Bytes().begin(), s.Bytes().end());
}

// Talks through its own connection, or through io (a replayed peer).
struct Client : net::TNetHTTP {
    explicit Client(net::TNetIOHandler* io = nullptr) {
        ReadTimeout = 3000;
        if (io) SetIOHandler(io);
    }
    std::vector<std::string> Work;
    void Record() {
        using net::TNetComponent, net::TWorkMode;
        OnWorkBegin = [this](TNetComponent* s, TWorkMode m, int64_t max) {
            EXPECT_EQ(s, this);
            Work.push_back((m == TWorkMode::wmRead ? "begin " : "wbegin ") + std::to_string(max));
        };
        OnWork = [this](TNetComponent*, TWorkMode m, int64_t n) {
            Work.push_back((m == TWorkMode::wmRead ? "" : "w") + std::to_string(n));
        };
        OnWorkEnd = [this](TNetComponent*, TWorkMode m) {
            Work.push_back(m == TWorkMode::wmRead ? "end" : "wend");
        };
    }
    std::string Fetch(const std::string& url) {
        rtl::TMemoryStream s;
        Get(url, s);
        return Text(s);
    }
};

} // namespace testing_support
