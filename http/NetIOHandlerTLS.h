#pragma once
// The I/O handler that puts TLS over its connection on request. Until
// StartTLS it reads and writes the socket as the plain handler does (a
// proxy's tunnel is opened there); from StartTLS on, every byte goes through
// the platform's TLS session underneath the input buffer, so the line, byte
// and stream readers, their time-outs, the work events and keep-alive work
// as they do over plain TCP.
#include <memory>
#include <string>

#include "http/NetIOHandler.h"
#include "platform/Tls.h"

namespace net {

class TNetIOHandlerTLS : public TNetIOHandlerStack {
  public:
    TNetIOHandlerTLS() = default;
    ~TNetIOHandlerTLS() override;

    // The trusted roots: a PEM file that replaces the system's; empty: the
    // system's.
    std::string CAFile;

    // Runs the TLS handshake with the server host over the open connection,
    // within ReadTimeout, and checks its certificate. Raises
    // ENetTLSCertificateError naming the check that failed,
    // ENetTLSHandshakeError, or ENetReadTimeout and ENetSocketError when the
    // connection fails; nothing has been read from the connection then, and
    // the caller closes it.
    void StartTLS(const std::string& host);
    // True from a successful StartTLS until the connection closes.
    bool Secured() const { return FSession != nullptr; }

    // One line read a byte at a time straight from the connection, past the
    // input buffer, so that every byte after it stays unread: the reply of a
    // proxy to CONNECT, which the server's TLS bytes follow. A line feed
    // ends it (a CR before it is dropped); it must arrive within ReadTimeout
    // and be at most MaxLineLength bytes long. Raises as ReadLn does.
    std::string ReadLnUnbuffered();

  protected:
    void CloseSocket() override;
    int WaitReadable(int timeoutMs, int& error) override;
    int64_t Recv(uint8_t* buffer, size_t count, int& error) override;
    int64_t TryRecv(uint8_t* buffer, size_t count, int& error) override;
    int64_t Send(const uint8_t* buffer, size_t count, int& error) override;

  private:
    std::unique_ptr<platform::TlsSession> FSession;
    // The time-out of the wait that the next Recv stands for.
    int FWaitMs = -1;
};

} // namespace net
