#pragma once
// A loopback server for the client tests: each accepted connection plays the
// next script of steps (read a request head, send bytes, pause, close, reset)
// and every request head it reads is kept for the test to inspect.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sockets.h"

namespace testing_support {

struct ServerStep {
    enum Kind { ReadRequest, Send, Pause, Close, Reset, WaitForClose, Flood } Action;
    std::string Bytes;
    int Milliseconds = 0;
    int64_t Limit = 0; // Flood: the most bytes sent
};

using ConnectionScript = std::vector<ServerStep>;

inline ServerStep ReadRequest() {
    return {ServerStep::ReadRequest, {}, 0};
}
inline ServerStep Send(std::string bytes) {
    return {ServerStep::Send, std::move(bytes), 0};
}
inline ServerStep Pause(int ms) {
    return {ServerStep::Pause, {}, ms};
}
// A graceful close (FIN), then waiting for the client to close its side.
inline ServerStep Close() {
    return {ServerStep::Close, {}, 0};
}
// An abortive close: the client sees a reset.
inline ServerStep Reset() {
    return {ServerStep::Reset, {}, 0};
}
// Sends the bytes again and again, until limit bytes in all went out or the
// client stops taking them (it closed the connection).
inline ServerStep Flood(std::string bytes, int64_t limit) {
    return {ServerStep::Flood, std::move(bytes), 0, limit};
}
// Keeps the connection open until the client closes it (at most ms).
inline ServerStep WaitForClose(int ms = 5000) {
    return {ServerStep::WaitForClose, {}, ms};
}

class ScriptedServer {
  public:
    explicit ScriptedServer(std::vector<ConnectionScript> scripts,
                            platform::SocketFamily family = platform::SocketFamily::IPv4);
    ~ScriptedServer();

    uint16_t Port() const { return FPort; }
    std::string Url(const std::string& path = "/") const;
    std::vector<std::string> Requests();
    int Connections() const { return FConnections; }
    // The bytes that the Send and Flood steps got out, over all connections.
    int64_t Sent() const { return FSent; }
    // Waits until every script has run (or ms passed).
    void Wait(int ms = 5000);

  private:
    void Run();
    void Play(platform::SocketHandle s, const ConnectionScript& script);

    std::vector<ConnectionScript> FScripts;
    platform::SocketHandle FListener = platform::kInvalidSocket;
    uint16_t FPort = 0;
    std::string FHost;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<int> FConnections{0};
    std::atomic<int64_t> FSent{0};
    std::atomic<bool> FDone{false};
    std::mutex FLock;
    std::vector<std::string> FRequests;
};

// A loopback port that nothing listens on.
uint16_t UnusedPort();

} // namespace testing_support
