#pragma once
// A TCP connection with its I/O handler, and the client side that connects it.
#include <functional>
#include <memory>
#include <string>

#include "http/NetComponent.h"
#include "http/NetIOHandler.h"

namespace net {

class TNetTCPConnection : public TNetComponent {
  public:
    TNetTCPConnection() = default;
    ~TNetTCPConnection() override;

    // The handler in use: an assigned one (not owned), or the one the
    // connection created at its first connect (owned).
    TNetIOHandler* IOHandler() const { return FIOHandler; }
    void SetIOHandler(TNetIOHandler* handler);

    virtual bool Connected();
    virtual void Disconnect();

    std::function<void(TNetTCPConnection*)> OnConnected;
    std::function<void(TNetTCPConnection*)> OnDisconnected;

  protected:
    // Makes this connection the sender of the handler's work and status reports.
    void AttachIOHandler(TNetIOHandler* handler);
    // Runs after the handler was closed by Disconnect.
    virtual void DoOnDisconnected();

    TNetIOHandler* FIOHandler = nullptr;
    std::unique_ptr<TNetIOHandler> FOwnedIOHandler;
};

// Time-outs for a download that a person sits and waits for (the wizard,
// netget); the client's own defaults wait without limit.
// A connect normally completes within a second. 20 s leave room for a few
// lost SYNs to be sent again (Linux retries after 1, 3, 7 and 15 s; Windows
// gives up by itself after about 21 s) and no more.
inline constexpr int NetDownloadConnectTimeoutMs = 20000;
// Each wait for more bytes starts afresh when bytes arrive, so a download
// that is slow but keeps moving never trips this; only a server that sends
// nothing at all for 30 s does (a status or header line must be complete
// within that time). 30 s outlast the retransmission gaps of a lossy link
// and a proxy's own connect to a slow server, after which it answers with
// its error page.
inline constexpr int NetDownloadReadTimeoutMs = 30000;

class TNetTCPClientCustom : public TNetTCPConnection {
  public:
    std::string Host;
    int Port = 0;
    int ConnectTimeout = 0; // ms; 0 is a plain blocking connect
    int ReadTimeout = -1;   // ms; -1 and 0 wait without limit
    TNetIPVersion IPVersion = TNetIPVersion::Id_IPv4;
    bool UseNagle = true;
    std::string BoundIP;
    int BoundPort = 0;
    int BoundPortMin = 0;
    int BoundPortMax = 0;
    bool ReuseSocket = false;

    // Opens the connection to Host:Port.
    virtual void Connect();

  protected:
    // The handler that Connect creates when none is assigned.
    virtual std::unique_ptr<TNetIOHandler> MakeIOHandler();
};

} // namespace net
