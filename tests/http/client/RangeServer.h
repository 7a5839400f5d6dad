#pragma once
// A loopback file server for the download tests: one request per connection,
// answered by the test's handler, whose reply may drop the connection partway
// through the body (a close or a reset). It counts the body bytes it sent.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sockets.h"

namespace testing_support {

struct RangeRequest {
    int Connection = 0;  // 1 for the first connection
    std::string Target;  // the request target as sent
    int64_t From = -1;   // N of "Range: bytes=N-", -1 without a Range
    std::string IfRange; // as sent
};

struct RangeReply {
    std::string Head; // status line and header lines, up to and with the empty line
    std::string Body;
    int64_t DropAfter = -1; // body bytes sent before the connection drops; -1 all
    bool Reset = false;     // drop with a reset instead of a close
};

// A file server's reply for content with entity tag etag: the rest from From
// as a 206 when the request's If-Range names etag, else the whole as a 200.
RangeReply FileReply(const RangeRequest& r, const std::string& content, const std::string& etag,
                     int64_t dropAfter = -1, bool reset = false);

class RangeServer {
  public:
    using Handler = std::function<RangeReply(const RangeRequest&)>;
    // After maxConnections (when above 0) later connects are refused.
    explicit RangeServer(Handler handler, int maxConnections = 0);
    ~RangeServer();

    std::string Url(const std::string& path) const;
    uint16_t Port() const { return FPort; }
    int64_t BodyBytesSent() const { return FSent; }
    std::vector<RangeRequest> Requests();

  private:
    void Serve(platform::SocketHandle s, int connection);

    Handler FHandler;
    platform::SocketHandle FListener = platform::kInvalidSocket;
    uint16_t FPort = 0;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<int64_t> FSent{0};
    std::mutex FLock;
    std::vector<RangeRequest> FRequests;
};

} // namespace testing_support
