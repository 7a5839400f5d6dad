#pragma once
// TLS client sessions over a connected TCP socket, made by the platform's
// own TLS: SChannel through SSPI on Windows, GnuTLS elsewhere. No
// cryptography is done here, only the driving of those libraries.
//
// The server's certificate is always checked, and a handshake whose checks
// fail gives no session: the chain must end in a root the system trusts (or
// the roots of TlsOptions::CaFile in their place), every certificate of it
// must be valid now and meant for a TLS server, and the leaf must name the
// host: a host name among its DNS names (subject alternative names, a
// wildcard standing for one whole left-most label), an address literal only
// among its IP addresses. The common name is never used. The host is sent
// as SNI when it is a name. TLS 1.2 is the lowest version accepted.
//
// Nothing here raises: a failed handshake is described by a TlsHandshakeError,
// a failed transfer by a Windows Sockets error number, as in Sockets.h.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sockets.h"

namespace platform {

// What ended a handshake that gave no session.
enum class TlsFailure {
    None,
    // The connection failed underneath: Error holds the Windows Sockets
    // number (TimedOut when the server did not answer within the time-out).
    Socket,
    // The chain does not end in a trusted root (self-signed, unknown issuer,
    // missing intermediate, a signature or usage that does not hold).
    UntrustedChain,
    // A certificate of the chain is outside its validity period.
    Expired,
    // The certificate does not name the host.
    WrongHost,
    // The TLS handshake itself failed (no common version or cipher, a
    // protocol error, an alert from the server); Detail says how.
    Handshake,
};

struct TlsHandshakeError {
    TlsFailure Failure = TlsFailure::None;
    int Error = 0;
    std::string Detail; // the TLS library's words for a Handshake failure
    // The same words in English; empty when the system has none in English.
    std::string DetailEnglish;
};

struct TlsOptions {
    // A PEM file whose certificates are the trusted roots, in place of the
    // system's; empty: the system's roots (on Windows the machine's and the
    // user's root stores, elsewhere the system bundle).
    std::string CaFile;
    // The most the handshake may wait for the server, in ms; -1: no limit.
    int TimeoutMs = -1;
};

// One TLS session over a socket that the caller keeps owning and closes
// after the session is gone.
class TlsSession {
  public:
    virtual ~TlsSession() = default;

    // Decrypted bytes, at most count. Waits at most timeoutMs for them (0:
    // not at all, -1: without limit); a record is decrypted only when it has
    // arrived whole, so the socket being readable is not enough. Returns the
    // count, 0 when the peer has ended the session (close notify, or the
    // connection closed), -1 with error WouldBlock (timeoutMs 0), TimedOut,
    // or the number of the failure (ConnAborted for a record that does not
    // decrypt or check).
    virtual int64_t Receive(void* buffer, size_t count, int timeoutMs, int& error) = 0;
    // Encrypts and sends all count bytes: count, or -1 with the error.
    virtual int64_t Send(const void* buffer, size_t count, int& error) = 0;
    // Tells the peer that no more data comes (close notify); best effort,
    // without waiting for its answer.
    virtual void CloseNotify() = 0;
};

// Runs the handshake with the server host over the connected socket s and
// checks its certificate. Returns the session, or null with error filled in.
std::unique_ptr<TlsSession> TlsConnect(SocketHandle s, const std::string& host,
                                       const TlsOptions& options, TlsHandshakeError& error);

// The names a server certificate is valid for.
struct TlsCertificateNames {
    std::vector<std::string> DnsNames;
    std::vector<std::vector<uint8_t>> IpAddresses; // 4 or 16 bytes each
};

// Whether the names cover host. hostAddress holds host's bytes when host is
// an address literal (4 or 16 bytes), and is empty for a host name.
bool TlsNamesCoverHost(const TlsCertificateNames& names, const std::string& host,
                       const std::vector<uint8_t>& hostAddress);

} // namespace platform
