#pragma once
// TCP stream sockets. Every failure is reported as a Windows Sockets error
// number (10061 connection refused, 11001 host not found, ...), also on POSIX,
// where errno values and name-resolution failures are mapped onto them, so the
// callers raise the same messages everywhere. Nothing here raises.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

enum class SocketFamily { IPv4, IPv6 };

// Windows Sockets error numbers that callers test for.
namespace wsa {
constexpr int Interrupted = 10004;
constexpr int WouldBlock = 10035;
constexpr int NotASocket = 10038;
constexpr int ConnAborted = 10053;
constexpr int ConnReset = 10054;
constexpr int Shutdown = 10058;
constexpr int TimedOut = 10060;
constexpr int ConnRefused = 10061;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
} // namespace wsa

// Makes the socket library usable (loads it where it is loaded at run time).
// Safe to call repeatedly; false with the error number when it cannot be had.
bool SocketsStartup(int& error);

// A new TCP stream socket of the family.
SocketHandle SocketCreate(SocketFamily family, int& error);
// Enables SO_REUSEADDR.
bool SocketSetReuseAddress(SocketHandle s, bool reuse, int& error);
// Nagle's algorithm on (true) or TCP_NODELAY set (false).
bool SocketSetNagle(SocketHandle s, bool useNagle, int& error);

// True when host is a numeric address of the family (no lookup needed).
bool IsAddressLiteral(const std::string& host, SocketFamily family);
// The bytes of an address literal of either family, in network order (4 for
// IPv4, 16 for IPv6); false when host is no address literal.
bool AddressLiteralBytes(const std::string& host, std::vector<uint8_t>& bytes);
// The ASCII form (RFC 3490 "xn--" labels) of an international host name when
// the system offers the conversion; ASCII names and names it cannot convert
// come back unchanged. On POSIX the resolver itself converts (AI_IDN), so the
// name is returned as it is.
std::string HostToAscii(const std::string& host);

// Resolves a host name to the first stream address of the family, as numeric
// text ("127.0.0.1", "::1").
bool ResolveHost(const std::string& host, SocketFamily family, std::string& address, int& error);

// Connects to a numeric address. timeoutMs <= 0 makes a plain blocking
// connect; otherwise the connect gives up with TimedOut (10060) after that
// many milliseconds.
// With a time-out and whileWaiting, the wait for the connection is cut into
// slices of sliceMs with a call to whileWaiting after each (so that a program
// whose one thread connects still answers its user); an exception from it
// leaves the socket to the caller to close.
bool SocketConnect(SocketHandle s, SocketFamily family, const std::string& address, uint16_t port,
                   int timeoutMs, int& error, const std::function<void()>& whileWaiting = {},
                   int sliceMs = 100);

// Waits until the socket is readable (data or a close). timeoutMs < 0 waits
// without limit. Returns 1 when readable, 0 on time-out, -1 on error.
int SocketWaitReadable(SocketHandle s, int timeoutMs, int& error);

// One receive of up to count bytes: the count received, 0 when the peer has
// closed, -1 on error.
int64_t SocketRecv(SocketHandle s, void* buffer, size_t count, int& error);
// Like SocketRecv, but returns at once: -1 with WouldBlock (10035) when no
// data has arrived yet.
int64_t SocketRecvNoWait(SocketHandle s, void* buffer, size_t count, int& error);
// One send of up to count bytes: the count sent or -1 on error. A peer that
// has gone away is reported as an error, never as a signal.
int64_t SocketSend(SocketHandle s, const void* buffer, size_t count, int& error);

// Shuts the sending direction down (a FIN to the peer).
void SocketShutdownSend(SocketHandle s);
// Shuts both directions down and closes the handle.
void SocketClose(SocketHandle s);

// The local port a socket is bound to (0 when unknown). Lets test servers
// bind port 0 and learn what the system chose.
uint16_t SocketLocalPort(SocketHandle s);

// A listening socket on a numeric address; port 0 lets the system choose.
SocketHandle SocketListen(SocketFamily family, const std::string& address, uint16_t port,
                          int backlog, int& error);
// Accepts one connection (blocking).
SocketHandle SocketAccept(SocketHandle listener, int& error);
// Closes the connection with a reset instead of a FIN (SO_LINGER 0).
void SocketAbort(SocketHandle s);

} // namespace platform
