#pragma once
// A byte source in place of the socket, for the HTTP client's tests and its
// fuzz target: scripted replies come from memory, each one once a request
// head was written, cut into receives where the caller chooses; the requests
// are kept. Nothing waits: where a socket would wait for bytes that the
// script does not hold, the read times out at once.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "http/NetExceptions.h"
#include "http/NetIOHandler.h"
#include "platform/Sockets.h"

namespace testing_support {

// The peer's side of one connection: one reply for each request, in order.
// After the last one the peer closes, or stays silent when CloseAfterLast is
// false (a connection kept alive).
struct ReplayConnection {
    std::vector<std::string> Replies;
    bool CloseAfterLast = false;
};

class ReplayHandler : public net::TNetIOHandlerStack {
  public:
    // Each connect opens the script's next connection; past the last one a
    // connect is refused. A reply longer than cut arrives in two receives,
    // its first cut bytes and then the rest; no receive hands out more than
    // piece bytes.
    explicit ReplayHandler(std::vector<ReplayConnection> script, size_t cut = SIZE_MAX,
                           size_t piece = SIZE_MAX)
        : FScript(std::move(script)), FCut(cut), FPiece(std::max<size_t>(piece, 1)) {}

    // A URL with this path on the scripted peer.
    std::string Url(const std::string& path) const { return "http://replay.test" + path; }
    int Connections() const { return static_cast<int>(FOpened); }
    // Each request head as written, up to and including its empty line.
    const std::vector<std::string>& Requests() const { return FRequests; }

    void ConnectClient() override {
        if (FOpened == FScript.size()) net::RaiseSocketError(platform::wsa::ConnRefused);
        FConnection = &FScript[FOpened++];
        FReleased = 0;
        FSent.clear();
        FAt = 0;
        FCuts.clear();
        FWritten.clear();
        FOpen = true;
    }

  protected:
    bool SocketAllocated() const override { return FOpen; }
    void CloseSocket() override { FOpen = false; }
    int WaitReadable(int, int&) override { return Readable() ? 1 : 0; }
    int64_t Recv(uint8_t* buffer, size_t count, int&) override {
        auto cut = std::upper_bound(FCuts.begin(), FCuts.end(), FAt);
        const size_t end = cut == FCuts.end() ? FSent.size() : *cut;
        const size_t n = std::min({count, FPiece, end - FAt});
        std::memcpy(buffer, FSent.data() + FAt, n);
        FAt += n;
        return static_cast<int64_t>(n); // 0: the peer closed
    }
    int64_t TryRecv(uint8_t* buffer, size_t count, int& error) override {
        if (Readable()) return Recv(buffer, count, error);
        error = platform::wsa::WouldBlock;
        return -1;
    }
    int64_t Send(const uint8_t* buffer, size_t count, int&) override {
        FWritten.append(reinterpret_cast<const char*>(buffer), count);
        for (size_t end; (end = FWritten.find("\r\n\r\n")) != std::string::npos;) {
            FRequests.push_back(FWritten.substr(0, end + 4));
            FWritten.erase(0, end + 4);
            SendNextReply();
        }
        return static_cast<int64_t>(count);
    }

  private:
    void SendNextReply() {
        if (!FConnection || FReleased == FConnection->Replies.size()) return;
        const std::string& reply = FConnection->Replies[FReleased++];
        if (FCut < reply.size()) FCuts.push_back(FSent.size() + FCut);
        FSent += reply;
    }
    bool Readable() const {
        const bool allSent = FConnection && FReleased == FConnection->Replies.size();
        return FAt < FSent.size() || (allSent && FConnection->CloseAfterLast);
    }

    std::vector<ReplayConnection> FScript;
    size_t FCut;
    size_t FPiece;
    size_t FOpened = 0;
    const ReplayConnection* FConnection = nullptr;
    size_t FReleased = 0;      // replies of the connection sent so far
    std::string FSent;         // their bytes
    size_t FAt = 0;            // how many of them were received
    std::vector<size_t> FCuts; // positions in FSent where a receive ends
    std::string FWritten;      // request bytes not yet ending a head
    std::vector<std::string> FRequests;
    bool FOpen = false;
};

} // namespace testing_support
