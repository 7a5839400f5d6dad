#pragma once
// What the two TLS adapters share (posix/Tls.cpp over GnuTLS, win32/Tls.cpp
// over SChannel): the time a call may wait, and the one TlsConnect that runs
// an adapter's handshake. Only the adapters include this.
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Tls.h"

namespace platform::tls {

// The time left to one call of a session. The call starts it with its
// caller's time-out, and every wait for the socket inside the call takes
// only what is left, so a record that arrives in pieces cannot make the call
// wait longer in all than it was given.
class CallDeadline {
  public:
    // timeoutMs -1: without limit.
    void Start(int timeoutMs) { FAt = timeoutMs < 0 ? -1 : NowMs() + timeoutMs; }
    // The time the call may still wait: 0 none, -1 without limit.
    int RemainingMs() const {
        if (FAt < 0) return -1;
        const int64_t left = FAt - NowMs();
        return left > 0 ? static_cast<int>(left) : 0;
    }

  private:
    int64_t FAt = -1;
};

// An adapter's session before its handshake has run. It owns library state
// that must not be freed twice, so it is never copied.
class AdapterSession : public TlsSession {
  public:
    AdapterSession() = default;
    AdapterSession(const AdapterSession&) = delete;
    AdapterSession& operator=(const AdapterSession&) = delete;

    // Runs the handshake with host and checks the server's certificate;
    // false with error filled in when either fails. TlsConnect runs it once,
    // before it hands the session out.
    virtual bool Handshake(const std::string& host, const TlsOptions& options,
                           TlsHandshakeError& error) = 0;
};

// The adapter's session over the connected socket s (defined by each adapter).
std::unique_ptr<AdapterSession> NewAdapterSession(SocketHandle s);

} // namespace platform::tls
