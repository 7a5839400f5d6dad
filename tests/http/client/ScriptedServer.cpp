#include "ScriptedServer.h"

#include <chrono>
#include <stdexcept>

namespace testing_support {

using namespace platform;

ScriptedServer::ScriptedServer(std::vector<ConnectionScript> scripts, SocketFamily family)
    : FScripts(std::move(scripts)) {
    int error = 0;
    const bool v6 = family == SocketFamily::IPv6;
    FHost = v6 ? "[::1]" : "127.0.0.1";
    FListener = SocketListen(family, v6 ? "::1" : "127.0.0.1", 0, 8, error);
    if (FListener == kInvalidSocket)
        throw std::runtime_error("listen failed: " + std::to_string(error));
    FPort = SocketLocalPort(FListener);
    FThread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    SocketClose(FListener);
}

std::string ScriptedServer::Url(const std::string& path) const {
    return "http://" + FHost + ":" + std::to_string(FPort) + path;
}

std::vector<std::string> ScriptedServer::Requests() {
    std::lock_guard<std::mutex> guard(FLock);
    return FRequests;
}

void ScriptedServer::Wait(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!FDone && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void ScriptedServer::Run() {
    for (const ConnectionScript& script : FScripts) {
        int error = 0;
        int ready = 0;
        // Poll so that the destructor can stop a server whose client never came.
        while (!FStop && (ready = SocketWaitReadable(FListener, 50, error)) == 0) {
        }
        if (FStop || ready < 0) break;
        SocketHandle s = SocketAccept(FListener, error);
        if (s == kInvalidSocket) break;
        ++FConnections;
        Play(s, script);
    }
    FDone = true;
}

void ScriptedServer::Play(SocketHandle s, const ConnectionScript& script) {
    std::string pending; // bytes received beyond the last request head
    bool open = true;
    for (const ServerStep& step : script) {
        if (FStop) break;
        int error = 0;
        switch (step.Action) {
        case ServerStep::ReadRequest: {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            size_t end;
            while ((end = pending.find("\r\n\r\n")) == std::string::npos &&
                   std::chrono::steady_clock::now() < deadline && !FStop) {
                if (SocketWaitReadable(s, 50, error) <= 0) continue;
                char buffer[4096];
                int64_t n = SocketRecv(s, buffer, sizeof buffer, error);
                if (n <= 0) break;
                pending.append(buffer, static_cast<size_t>(n));
            }
            if (end == std::string::npos)
                end = pending.size();
            else
                end += 4;
            {
                std::lock_guard<std::mutex> guard(FLock);
                FRequests.push_back(pending.substr(0, end));
            }
            pending.erase(0, end);
            break;
        }
        case ServerStep::Send: {
            size_t sent = 0;
            while (sent < step.Bytes.size()) {
                int64_t n =
                    SocketSend(s, step.Bytes.data() + sent, step.Bytes.size() - sent, error);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
                FSent += n;
            }
            break;
        }
        case ServerStep::Flood: {
            // Whole copies only, so that a chunked framing stays intact.
            int64_t total = 0;
            bool taking = true;
            while (taking && total < step.Limit && !FStop) {
                for (size_t at = 0; at < step.Bytes.size();) {
                    int64_t n =
                        SocketSend(s, step.Bytes.data() + at, step.Bytes.size() - at, error);
                    if (n <= 0) {
                        taking = false;
                        break;
                    }
                    at += static_cast<size_t>(n), total += n, FSent += n;
                }
            }
            break;
        }
        case ServerStep::Pause:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.Milliseconds));
            break;
        case ServerStep::Close:
        case ServerStep::WaitForClose: {
            if (step.Action == ServerStep::Close) SocketShutdownSend(s);
            auto deadline =
                std::chrono::steady_clock::now() +
                std::chrono::milliseconds(step.Milliseconds > 0 ? step.Milliseconds : 5000);
            while (std::chrono::steady_clock::now() < deadline && !FStop) {
                if (SocketWaitReadable(s, 50, error) == 0) continue;
                char buffer[4096];
                if (SocketRecv(s, buffer, sizeof buffer, error) <= 0) break;
            }
            SocketClose(s);
            open = false;
            break;
        }
        case ServerStep::Reset:
            SocketAbort(s);
            open = false;
            break;
        }
        if (!open) break;
    }
    if (open) SocketClose(s);
}

uint16_t UnusedPort() {
    int error = 0;
    SocketHandle s = SocketListen(SocketFamily::IPv4, "127.0.0.1", 0, 1, error);
    uint16_t port = SocketLocalPort(s);
    SocketClose(s);
    return port;
}

} // namespace testing_support
