#include "RangeServer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace testing_support {

using namespace platform;

namespace {

// The value of header `name` (given in lower case) in a request head.
std::string HeaderValue(const std::string& head, const std::string& name) {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        std::string line = head.substr(at, head.find("\r\n", at) - at);
        std::transform(line.begin(), line.begin() + std::min(line.size(), name.size()),
                       line.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
        if (line.rfind(name + ":", 0) == 0) {
            size_t v = line.find_first_not_of(' ', name.size() + 1);
            return v == std::string::npos ? std::string() : line.substr(v);
        }
    }
    return {};
}

bool SendAll(SocketHandle s, const char* data, size_t size, std::atomic<int64_t>* counted) {
    int error = 0;
    for (size_t sent = 0; sent < size;) {
        int64_t n = SocketSend(s, data + sent, std::min<size_t>(size - sent, 65536), error);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
        if (counted) *counted += n;
    }
    return true;
}

} // namespace

RangeReply FileReply(const RangeRequest& r, const std::string& content, const std::string& etag,
                     int64_t dropAfter, bool reset) {
    const bool rest = r.From >= 0 && !etag.empty() && r.IfRange == etag &&
                      r.From < static_cast<int64_t>(content.size());
    const size_t from = rest ? static_cast<size_t>(r.From) : 0;
    std::string head = rest ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                  std::to_string(from) + "-" + std::to_string(content.size() - 1) +
                                  "/" + std::to_string(content.size()) + "\r\n"
                            : "HTTP/1.1 200 OK\r\n";
    head += "Content-Length: " + std::to_string(content.size() - from) + "\r\n";
    if (!etag.empty()) head += "ETag: " + etag + "\r\n";
    head += "Accept-Ranges: bytes\r\nConnection: close\r\n\r\n";
    return {head, content.substr(from), dropAfter, reset};
}

RangeServer::RangeServer(Handler handler, int maxConnections)
    : FHandler(std::move(handler)), FMaxConnections(maxConnections) {
    int error = 0;
    FListener = SocketListen(SocketFamily::IPv4, "127.0.0.1", 0, 8, error);
    if (FListener == kInvalidSocket)
        throw std::runtime_error("listen failed: " + std::to_string(error));
    FPort = SocketLocalPort(FListener);
    FThread = std::thread([this] { Run(); });
}

RangeServer::~RangeServer() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    if (FListener != kInvalidSocket) SocketClose(FListener);
}

std::string RangeServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

std::vector<RangeRequest> RangeServer::Requests() {
    std::lock_guard<std::mutex> guard(FLock);
    return FRequests;
}

void RangeServer::Run() {
    for (int connection = 1; !FStop; ++connection) {
        int error = 0, ready = 0;
        while (!FStop && (ready = SocketWaitReadable(FListener, 50, error)) == 0) {
        }
        if (FStop || ready < 0) return;
        SocketHandle s = SocketAccept(FListener, error);
        if (s == kInvalidSocket) return;
        if (connection == FMaxConnections) {
            SocketClose(FListener);
            FListener = kInvalidSocket;
        }
        Serve(s, connection);
        if (FListener == kInvalidSocket) return;
    }
}

void RangeServer::Serve(SocketHandle s, int connection) {
    std::string head;
    int error = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline && !FStop) {
        char buffer[4096];
        if (SocketWaitReadable(s, 50, error) <= 0) continue;
        int64_t n = SocketRecv(s, buffer, sizeof buffer, error);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
    }
    RangeRequest request;
    request.Connection = connection;
    const size_t space = head.find(' ');
    request.Target = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
    const std::string range = HeaderValue(head, "range");
    if (range.rfind("bytes=", 0) == 0) request.From = std::stoll(range.substr(6));
    request.IfRange = HeaderValue(head, "if-range");
    {
        std::lock_guard<std::mutex> guard(FLock);
        FRequests.push_back(request);
    }
    const RangeReply reply = FHandler(request);
    const size_t body = reply.DropAfter < 0 ? reply.Body.size()
                                            : std::min<size_t>(reply.Body.size(), reply.DropAfter);
    if (SendAll(s, reply.Head.data(), reply.Head.size(), nullptr))
        SendAll(s, reply.Body.data(), body, &FSent);
    if (reply.Reset && body < reply.Body.size()) {
        // Time for what was sent to arrive, so the reset tells the client
        // that the connection broke rather than throwing bytes away.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        SocketAbort(s);
        return;
    }
    // A graceful close; the client closes its side once it has read all.
    SocketShutdownSend(s);
    const auto closing = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < closing && !FStop)
        if (SocketWaitReadable(s, 50, error) != 0 &&
            SocketRecv(s, buffer, sizeof buffer, error) <= 0)
            break;
    SocketClose(s);
}

} // namespace testing_support
