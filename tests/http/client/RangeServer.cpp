#include "RangeServer.h"

#include <chrono>
#include <regex>
#include <stdexcept>

namespace testing_support {

using namespace platform;

RangeReply FileReply(const RangeRequest& r, const std::string& content, const std::string& etag,
                     int64_t dropAfter, bool reset) {
    const size_t from =
        r.From >= 0 && r.From < static_cast<int64_t>(content.size()) && r.IfRange == etag
            ? static_cast<size_t>(r.From)
            : 0;
    std::string head = from ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                  std::to_string(from) + "-" + std::to_string(content.size() - 1) +
                                  "/" + std::to_string(content.size()) + "\r\n"
                            : "HTTP/1.1 200 OK\r\n";
    head += "Content-Length: " + std::to_string(content.size() - from) + "\r\nETag: " + etag +
            "\r\nAccept-Ranges: bytes\r\nConnection: close\r\n\r\n";
    return {head, content.substr(from), dropAfter, reset};
}

RangeServer::RangeServer(Handler handler, int maxConnections) : FHandler(std::move(handler)) {
    int error = 0;
    FListener = SocketListen(SocketFamily::IPv4, "127.0.0.1", 0, 8, error);
    if (FListener == kInvalidSocket) throw std::runtime_error("listen: " + std::to_string(error));
    FPort = SocketLocalPort(FListener);
    FThread = std::thread([this, maxConnections] {
        for (int n = 1; n != maxConnections + 1 || maxConnections <= 0; ++n) {
            int error = 0, ready = 0;
            while (!FStop && (ready = SocketWaitReadable(FListener, 50, error)) == 0) {
            }
            SocketHandle s = FStop || ready < 0 ? kInvalidSocket : SocketAccept(FListener, error);
            if (s == kInvalidSocket) break;
            Serve(s, n);
        }
        SocketClose(FListener); // later connects are refused
    });
}

RangeServer::~RangeServer() {
    FStop = true;
    FThread.join();
}

std::string RangeServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

std::vector<RangeRequest> RangeServer::Requests() {
    std::lock_guard<std::mutex> guard(FLock);
    return FRequests;
}

void RangeServer::Serve(SocketHandle s, int connection) {
    std::string head;
    char buffer[65536];
    int error = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        const int ready = SocketWaitReadable(s, 50, error);
        if (ready == 0) continue;
        const int64_t n = ready > 0 ? SocketRecv(s, buffer, 4096, error) : -1;
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
    }
    RangeRequest request{connection, "", -1, ""};
    std::smatch m;
    if (std::regex_search(head, m, std::regex("^GET (\\S+)"))) request.Target = m[1];
    if (std::regex_search(head, m, std::regex("\r\nRange: bytes=(\\d+)-", std::regex::icase)))
        request.From = std::stoll(m[1]);
    if (std::regex_search(head, m, std::regex("\r\nIf-Range: ([^\r]*)", std::regex::icase)))
        request.IfRange = m[1];
    {
        std::lock_guard<std::mutex> guard(FLock);
        FRequests.push_back(request);
    }
    const RangeReply reply = FHandler(request);
    const size_t body = std::min<size_t>(reply.Body.size(), static_cast<size_t>(reply.DropAfter));
    bool sending = SocketSend(s, reply.Head.data(), reply.Head.size(), error) > 0;
    for (size_t at = 0; sending && at < body;) {
        int64_t n =
            SocketSend(s, reply.Body.data() + at, std::min<size_t>(body - at, 65536), error);
        sending = n > 0;
        at += sending ? static_cast<size_t>(n) : 0;
        FSent += sending ? n : 0;
    }
    if (reply.Reset && body < reply.Body.size()) {
        // Time for what was sent to arrive: the reset is to tell the client
        // that the connection broke, not to throw bytes away. A reset drops
        // what the client's side has not yet taken in, and a client under
        // Wine on a busy machine can stand still for a good part of a second.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        SocketAbort(s);
        return;
    }
    SocketShutdownSend(s); // then wait for the client to close its side
    while (std::chrono::steady_clock::now() < until + std::chrono::seconds(5) && !FStop)
        if (SocketWaitReadable(s, 50, error) != 0 && SocketRecv(s, buffer, 4096, error) <= 0) break;
    SocketClose(s);
}

} // namespace testing_support
