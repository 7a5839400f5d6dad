#include "platform/Sockets.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Clock.h"

namespace platform {

namespace {

// errno values onto the Windows Sockets numbers, so both builds report the
// same "Socket Error # n" texts. EWOULDBLOCK is EAGAIN on Linux; where it is
// not, it maps the same way. A send after the peer reset the connection
// (EPIPE) is an abort, as Windows reports it.
struct ErrnoMapping {
    int Errno, Wsa;
};
constexpr ErrnoMapping kErrnoMappings[] = {
    {EINTR, 10004},           {EBADF, 10009},           {EACCES, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},          {EMFILE, 10024},
    {EAGAIN, 10035},          {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},
    {EALREADY, 10037},        {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},        {ENETUNREACH, 10051},
    {ENETRESET, 10052},       {ECONNABORTED, 10053},    {EPIPE, 10053},
    {ECONNRESET, 10054},      {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {ELOOP, 10062},           {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};

int MapErrno(int e) {
    for (const ErrnoMapping& m : kErrnoMappings)
        if (m.Errno == e) return m.Wsa;
    return e;
}

int LastError() {
    return MapErrno(errno);
}

int MapResolverError(int rc) {
    switch (rc) {
    case EAI_NONAME:
        return wsa::HostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return wsa::HostNotFound;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return wsa::HostNotFound;
#endif
    case EAI_AGAIN:
        return wsa::TryAgain;
    case EAI_FAIL:
        return wsa::NoRecovery;
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
        return 10044;
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return LastError();
    default:
        return wsa::HostNotFound;
    }
}

int Fd(SocketHandle s) {
    return static_cast<int>(s);
}

int FamilyOf(SocketFamily family) {
    return family == SocketFamily::IPv6 ? AF_INET6 : AF_INET;
}

// Fills a socket address from numeric text; false when the text is no address.
bool MakeAddress(SocketFamily family, const std::string& address, uint16_t port,
                 sockaddr_storage& sa, socklen_t& len) {
    std::memset(&sa, 0, sizeof sa);
    if (family == SocketFamily::IPv6) {
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&sa);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(port);
        if (inet_pton(AF_INET6, address.c_str(), &a6->sin6_addr) != 1) return false;
        len = sizeof *a6;
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&sa);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(port);
        if (inet_pton(AF_INET, address.c_str(), &a4->sin_addr) != 1) return false;
        len = sizeof *a4;
    }
    return true;
}

// Waits for a file descriptor event; 1 ready, 0 time-out, -1 error.
int WaitFor(int fd, short events, int timeoutMs, int& error) {
    pollfd p{fd, events, 0};
    for (;;) {
        int rc = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (rc >= 0) return rc > 0 ? 1 : 0;
        if (errno == EINTR) continue;
        error = LastError();
        return -1;
    }
}

} // namespace

bool SocketsStartup(int& error) {
    error = 0;
    return true;
}

SocketHandle SocketCreate(SocketFamily family, int& error) {
    int fd = ::socket(FamilyOf(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        error = LastError();
        return kInvalidSocket;
    }
    return fd;
}

bool SocketSetReuseAddress(SocketHandle s, bool reuse, int& error) {
    int on = reuse ? 1 : 0;
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0) return true;
    error = LastError();
    return false;
}

bool SocketSetNagle(SocketHandle s, bool useNagle, int& error) {
    int noDelay = useNagle ? 0 : 1;
    if (::setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) == 0) return true;
    error = LastError();
    return false;
}

bool IsAddressLiteral(const std::string& host, SocketFamily family) {
    sockaddr_storage sa;
    socklen_t len;
    return MakeAddress(family, host, 0, sa, len);
}

bool AddressLiteralBytes(const std::string& host, std::vector<uint8_t>& bytes) {
    in6_addr a6;
    in_addr a4;
    if (inet_pton(AF_INET, host.c_str(), &a4) == 1) {
        const auto* p = reinterpret_cast<const uint8_t*>(&a4);
        bytes.assign(p, p + sizeof a4);
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) {
        const auto* p = reinterpret_cast<const uint8_t*>(&a6);
        bytes.assign(p, p + sizeof a6);
        return true;
    }
    return false;
}

std::string HostToAscii(const std::string& host) {
    return host;
}

bool ResolveHost(const std::string& host, SocketFamily family, std::string& address, int& error) {
    addrinfo hints{};
#ifdef AI_IDN
    // The resolver converts international names itself when asked to.
    for (unsigned char c : host)
        if (c >= 0x80) hints.ai_flags |= AI_IDN;
#endif
    hints.ai_family = FamilyOf(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || !list) {
        error = rc != 0 ? MapResolverError(rc) : wsa::HostNotFound;
        return false;
    }
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw =
        list->ai_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(list->ai_addr)->sin6_addr)
            : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr);
    bool ok = inet_ntop(list->ai_family, raw, text, sizeof text) != nullptr;
    ::freeaddrinfo(list);
    if (!ok) {
        error = LastError();
        return false;
    }
    address = text;
    return true;
}

bool SocketConnect(SocketHandle s, SocketFamily family, const std::string& address, uint16_t port,
                   int timeoutMs, int& error, const std::function<void()>& whileWaiting,
                   int sliceMs) {
    sockaddr_storage sa;
    socklen_t len;
    if (!MakeAddress(family, address, port, sa, len)) {
        error = 10022;
        return false;
    }
    if (timeoutMs <= 0) {
        while (::connect(Fd(s), reinterpret_cast<sockaddr*>(&sa), len) != 0) {
            if (errno == EINTR) continue;
            error = LastError();
            return false;
        }
        return true;
    }
    // A bounded connect: start it without blocking, wait for writability,
    // then read the outcome from SO_ERROR and make the socket blocking again.
    int flags = ::fcntl(Fd(s), F_GETFL, 0);
    ::fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK);
    bool ok = true;
    if (::connect(Fd(s), reinterpret_cast<sockaddr*>(&sa), len) != 0) {
        if (errno != EINPROGRESS) {
            error = LastError();
            ok = false;
        } else {
            // The wait in slices, whileWaiting between them, until the time-out.
            const int64_t start = NowMs();
            int rc = 0;
            for (;;) {
                const int left = static_cast<int>(std::max<int64_t>(0, timeoutMs - (NowMs() - start)));
                rc = WaitFor(Fd(s), POLLOUT, whileWaiting ? std::min(left, sliceMs) : left, error);
                if (rc != 0 || !whileWaiting || left == 0) break;
                whileWaiting();
            }
            if (rc == 0) {
                error = wsa::TimedOut;
                ok = false;
            } else if (rc < 0) {
                ok = false;
            } else {
                int soError = 0;
                socklen_t soLen = sizeof soError;
                ::getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &soError, &soLen);
                if (soError != 0) {
                    error = MapErrno(soError);
                    ok = false;
                }
            }
        }
    }
    ::fcntl(Fd(s), F_SETFL, flags);
    return ok;
}

int SocketWaitReadable(SocketHandle s, int timeoutMs, int& error) {
    return WaitFor(Fd(s), POLLIN, timeoutMs, error);
}

int64_t SocketRecv(SocketHandle s, void* buffer, size_t count, int& error) {
    for (;;) {
        ssize_t n = ::recv(Fd(s), buffer, count, 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = LastError();
        return -1;
    }
}

int64_t SocketRecvNoWait(SocketHandle s, void* buffer, size_t count, int& error) {
    for (;;) {
        ssize_t n = ::recv(Fd(s), buffer, count, MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = LastError();
        return -1;
    }
}

int64_t SocketSend(SocketHandle s, const void* buffer, size_t count, int& error) {
    for (;;) {
        ssize_t n = ::send(Fd(s), buffer, count, MSG_NOSIGNAL);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = LastError();
        return -1;
    }
}

void SocketShutdownSend(SocketHandle s) {
    ::shutdown(Fd(s), SHUT_WR);
}

void SocketClose(SocketHandle s) {
    if (s == kInvalidSocket) return;
    ::shutdown(Fd(s), SHUT_RDWR);
    ::close(Fd(s));
}

uint16_t SocketLocalPort(SocketHandle s) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(Fd(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    if (sa.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&sa)->sin_port);
}

SocketHandle SocketListen(SocketFamily family, const std::string& address, uint16_t port,
                          int backlog, int& error) {
    sockaddr_storage sa;
    socklen_t len;
    if (!MakeAddress(family, address, port, sa, len)) {
        error = 10022;
        return kInvalidSocket;
    }
    SocketHandle s = SocketCreate(family, error);
    if (s == kInvalidSocket) return s;
    SocketSetReuseAddress(s, true, error);
    if (::bind(Fd(s), reinterpret_cast<sockaddr*>(&sa), len) != 0 ||
        ::listen(Fd(s), backlog) != 0) {
        error = LastError();
        ::close(Fd(s));
        return kInvalidSocket;
    }
    return s;
}

SocketHandle SocketAccept(SocketHandle listener, int& error) {
    for (;;) {
        int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        error = LastError();
        return kInvalidSocket;
    }
}

void SocketAbort(SocketHandle s) {
    linger l{1, 0};
    ::setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(Fd(s));
}

} // namespace platform
