#include "platform/Sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"

namespace platform {

using win32::BindExports;
using win32::LoadSystemLibrary;

namespace {

// Windows Sockets is loaded when first needed, and every entry point is bound
// by name, so the program has no import of the library and starts also where
// it is missing (the first connect then reports the failure).
struct WinsockApi {
    HMODULE Module = nullptr;
    int StartupError = 0;
    WIN32_EXPORT(WSAStartup);
    WIN32_EXPORT(WSAGetLastError);
    WIN32_EXPORT(socket);
    WIN32_EXPORT(bind);
    WIN32_EXPORT(connect);
    WIN32_EXPORT(listen);
    WIN32_EXPORT(accept);
    WIN32_EXPORT(send);
    WIN32_EXPORT(recv);
    WIN32_EXPORT(select);
    WIN32_EXPORT(shutdown);
    WIN32_EXPORT(closesocket);
    WIN32_EXPORT(setsockopt);
    WIN32_EXPORT(getsockopt);
    WIN32_EXPORT(getsockname);
    WIN32_EXPORT(ioctlsocket);
    WIN32_EXPORT(htons);
    WIN32_EXPORT(ntohs);
    WIN32_EXPORT(GetAddrInfoW);
    WIN32_EXPORT(FreeAddrInfoW);
    WIN32_EXPORT(GetNameInfoW);

    void Bind() {
        HMODULE m = LoadSystemLibrary(L"WS2_32.DLL");
        if (!BindExports(m, WSAStartup, WSAGetLastError, socket, bind, connect, listen, accept,
                         send, recv, select, shutdown, closesocket, setsockopt, getsockopt,
                         getsockname, ioctlsocket, htons, ntohs, GetAddrInfoW, FreeAddrInfoW,
                         GetNameInfoW)) {
            StartupError = static_cast<int>(GetLastError());
            if (m) FreeLibrary(m);
            return;
        }
        WSADATA data;
        int rc = WSAStartup(MAKEWORD(2, 2), &data);
        if (rc != 0) {
            StartupError = rc;
            FreeLibrary(m);
            return;
        }
        Module = m;
    }
};

WinsockApi& Api() {
    return win32::BoundOnce<WinsockApi>();
}

int LastError() {
    return Api().WSAGetLastError();
}

SOCKET Sock(SocketHandle s) {
    return static_cast<SOCKET>(s);
}

int FamilyOf(SocketFamily family) {
    return family == SocketFamily::IPv6 ? AF_INET6 : AF_INET;
}

// Parses numeric address text of the family into a socket address.
bool MakeAddress(SocketFamily family, const std::string& address, uint16_t port,
                 sockaddr_storage& sa, int& len) {
    ADDRINFOW hints{};
    hints.ai_family = FamilyOf(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    ADDRINFOW* list = nullptr;
    if (Api().GetAddrInfoW(win32::Wide(address).c_str(), nullptr, &hints, &list) != 0 || !list)
        return false;
    std::memset(&sa, 0, sizeof sa);
    std::memcpy(&sa, list->ai_addr, list->ai_addrlen);
    len = static_cast<int>(list->ai_addrlen);
    Api().FreeAddrInfoW(list);
    if (family == SocketFamily::IPv6)
        reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port = Api().htons(port);
    else
        reinterpret_cast<sockaddr_in*>(&sa)->sin_port = Api().htons(port);
    return true;
}

int WaitFor(SocketHandle s, bool forWrite, int timeoutMs, int& error) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Sock(s), &set);
    fd_set except;
    FD_ZERO(&except);
    FD_SET(Sock(s), &except);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    // A failed non-blocking connect is signalled in the exception set.
    int rc = Api().select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr,
                          forWrite ? &except : nullptr, timeoutMs < 0 ? nullptr : &tv);
    if (rc < 0) {
        error = LastError();
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

} // namespace

bool SocketsStartup(int& error) {
    WinsockApi& api = Api();
    if (api.Module) return true;
    error = api.StartupError;
    return false;
}

SocketHandle SocketCreate(SocketFamily family, int& error) {
    if (!SocketsStartup(error)) return kInvalidSocket;
    SOCKET s = Api().socket(FamilyOf(family), SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = LastError();
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(s);
}

bool SocketSetReuseAddress(SocketHandle s, bool reuse, int& error) {
    BOOL on = reuse ? TRUE : FALSE;
    if (Api().setsockopt(Sock(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                         sizeof on) == 0)
        return true;
    error = LastError();
    return false;
}

bool SocketSetNagle(SocketHandle s, bool useNagle, int& error) {
    BOOL noDelay = useNagle ? FALSE : TRUE;
    if (Api().setsockopt(Sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                         sizeof noDelay) == 0)
        return true;
    error = LastError();
    return false;
}

bool IsAddressLiteral(const std::string& host, SocketFamily family) {
    int error;
    if (!SocketsStartup(error)) return false;
    sockaddr_storage sa;
    int len;
    return MakeAddress(family, host, 0, sa, len);
}

bool AddressLiteralBytes(const std::string& host, std::vector<uint8_t>& bytes) {
    int error;
    if (!SocketsStartup(error)) return false;
    sockaddr_storage sa;
    int len;
    if (MakeAddress(SocketFamily::IPv4, host, 0, sa, len)) {
        const auto* p =
            reinterpret_cast<const uint8_t*>(&reinterpret_cast<sockaddr_in*>(&sa)->sin_addr);
        bytes.assign(p, p + 4);
        return true;
    }
    if (MakeAddress(SocketFamily::IPv6, host, 0, sa, len)) {
        const auto* p =
            reinterpret_cast<const uint8_t*>(&reinterpret_cast<sockaddr_in6*>(&sa)->sin6_addr);
        bytes.assign(p, p + 16);
        return true;
    }
    return false;
}

std::string HostToAscii(const std::string& host) {
    bool ascii = true;
    for (unsigned char c : host)
        ascii = ascii && c < 0x80;
    if (ascii) return host;
    // Bound at run time: kernel32 has it from Windows 7 on, normaliz.dll before.
    using IdnToAsciiProc = int(WINAPI*)(DWORD, LPCWSTR, int, LPWSTR, int);
    static const IdnToAsciiProc idnToAscii = [] {
        for (const wchar_t* dll : {L"kernel32.dll", L"normaliz.dll"}) {
            HMODULE m = GetModuleHandleW(dll);
            if (!m) m = LoadSystemLibrary(dll);
            if (m)
                if (auto proc = reinterpret_cast<IdnToAsciiProc>(
                        reinterpret_cast<void*>(GetProcAddress(m, "IdnToAscii"))))
                    return proc;
        }
        return static_cast<IdnToAsciiProc>(nullptr);
    }();
    if (!idnToAscii) return host;
    std::wstring wide = win32::Wide(host);
    wchar_t buffer[256];
    int n = idnToAscii(0, wide.c_str(), static_cast<int>(wide.size()), buffer, 256);
    return n > 0 ? win32::Narrow(std::wstring_view(buffer, static_cast<size_t>(n))) : host;
}

bool ResolveHost(const std::string& host, SocketFamily family, std::string& address, int& error) {
    if (!SocketsStartup(error)) return false;
    ADDRINFOW hints{};
    hints.ai_family = FamilyOf(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* list = nullptr;
    int rc = Api().GetAddrInfoW(win32::Wide(HostToAscii(host)).c_str(), nullptr, &hints, &list);
    if (rc != 0 || !list) {
        error = rc != 0 ? rc : wsa::HostNotFound;
        return false;
    }
    wchar_t text[NI_MAXHOST] = {};
    rc = Api().GetNameInfoW(list->ai_addr, static_cast<socklen_t>(list->ai_addrlen), text,
                            NI_MAXHOST, nullptr, 0, NI_NUMERICHOST);
    Api().FreeAddrInfoW(list);
    if (rc != 0) {
        error = rc;
        return false;
    }
    address = win32::Narrow(text);
    return true;
}

bool SocketConnect(SocketHandle s, SocketFamily family, const std::string& address, uint16_t port,
                   int timeoutMs, int& error, const std::function<void()>& whileWaiting,
                   int sliceMs) {
    sockaddr_storage sa;
    int len;
    if (!MakeAddress(family, address, port, sa, len)) {
        error = WSAEINVAL;
        return false;
    }
    if (timeoutMs <= 0) {
        if (Api().connect(Sock(s), reinterpret_cast<sockaddr*>(&sa), len) == 0) return true;
        error = LastError();
        return false;
    }
    u_long nonBlocking = 1;
    Api().ioctlsocket(Sock(s), FIONBIO, &nonBlocking);
    bool ok = true;
    if (Api().connect(Sock(s), reinterpret_cast<sockaddr*>(&sa), len) != 0) {
        int e = LastError();
        if (e != WSAEWOULDBLOCK) {
            error = e;
            ok = false;
        } else {
            // The wait in slices, whileWaiting between them, until the time-out.
            const int64_t start = NowMs();
            int rc = 0;
            for (;;) {
                const int left = static_cast<int>(std::max<int64_t>(0, timeoutMs - (NowMs() - start)));
                rc = WaitFor(s, true, whileWaiting ? std::min(left, sliceMs) : left, error);
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
                int soLen = sizeof soError;
                Api().getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError),
                                 &soLen);
                if (soError != 0) {
                    error = soError;
                    ok = false;
                }
            }
        }
    }
    nonBlocking = 0;
    Api().ioctlsocket(Sock(s), FIONBIO, &nonBlocking);
    return ok;
}

int SocketWaitReadable(SocketHandle s, int timeoutMs, int& error) {
    return WaitFor(s, false, timeoutMs, error);
}

int64_t SocketRecv(SocketHandle s, void* buffer, size_t count, int& error) {
    int n = Api().recv(Sock(s), static_cast<char*>(buffer),
                       static_cast<int>(count > 0x7fffffff ? 0x7fffffff : count), 0);
    if (n == SOCKET_ERROR) {
        error = LastError();
        return -1;
    }
    return n;
}

int64_t SocketRecvNoWait(SocketHandle s, void* buffer, size_t count, int& error) {
    int rc = WaitFor(s, false, 0, error);
    if (rc < 0) return -1;
    if (rc == 0) {
        error = WSAEWOULDBLOCK;
        return -1;
    }
    return SocketRecv(s, buffer, count, error);
}

int64_t SocketSend(SocketHandle s, const void* buffer, size_t count, int& error) {
    int n = Api().send(Sock(s), static_cast<const char*>(buffer),
                       static_cast<int>(count > 0x7fffffff ? 0x7fffffff : count), 0);
    if (n == SOCKET_ERROR) {
        error = LastError();
        return -1;
    }
    return n;
}

void SocketShutdownSend(SocketHandle s) {
    Api().shutdown(Sock(s), SD_SEND);
}

void SocketClose(SocketHandle s) {
    if (s == kInvalidSocket) return;
    Api().shutdown(Sock(s), SD_BOTH);
    Api().closesocket(Sock(s));
}

uint16_t SocketLocalPort(SocketHandle s) {
    sockaddr_storage sa{};
    int len = sizeof sa;
    if (Api().getsockname(Sock(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    if (sa.ss_family == AF_INET6)
        return Api().ntohs(reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port);
    return Api().ntohs(reinterpret_cast<sockaddr_in*>(&sa)->sin_port);
}

SocketHandle SocketListen(SocketFamily family, const std::string& address, uint16_t port,
                          int backlog, int& error) {
    SocketHandle s = SocketCreate(family, error);
    if (s == kInvalidSocket) return s;
    sockaddr_storage sa;
    int len;
    if (!MakeAddress(family, address, port, sa, len)) {
        error = WSAEINVAL;
        Api().closesocket(Sock(s));
        return kInvalidSocket;
    }
    if (Api().bind(Sock(s), reinterpret_cast<sockaddr*>(&sa), len) != 0 ||
        Api().listen(Sock(s), backlog) != 0) {
        error = LastError();
        Api().closesocket(Sock(s));
        return kInvalidSocket;
    }
    return s;
}

SocketHandle SocketAccept(SocketHandle listener, int& error) {
    SOCKET s = Api().accept(Sock(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        error = LastError();
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(s);
}

void SocketAbort(SocketHandle s) {
    linger l{1, 0};
    Api().setsockopt(Sock(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    Api().closesocket(Sock(s));
}

} // namespace platform
