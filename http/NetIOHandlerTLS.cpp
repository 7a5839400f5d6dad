#include "http/NetIOHandlerTLS.h"

#include "http/NetExceptions.h"
#include "platform/Clock.h"

namespace net {

using platform::NowMs;

TNetIOHandlerTLS::~TNetIOHandlerTLS() {
    CloseSocket();
}

void TNetIOHandlerTLS::StartTLS(const std::string& host) {
    if (!SocketAllocated()) throw ENetNotConnected(NetTexts.Compose(RSNotConnectedRes));
    platform::TlsOptions options;
    options.CaFile = CAFile;
    options.TimeoutMs = ReadTimeout <= 0 ? -1 : ReadTimeout;
    platform::TlsHandshakeError failure;
    FSession = platform::TlsConnect(Socket(), host, options, failure);
    if (FSession) return;
    switch (failure.Failure) {
    case platform::TlsFailure::Socket:
        if (failure.Error == platform::wsa::TimedOut)
            throw ENetReadTimeout(NetTexts.Compose(RSReadTimeoutRes));
        RaiseSocketError(failure.Error);
    case platform::TlsFailure::UntrustedChain:
        throw ENetTLSCertificateError(NetTexts.Compose(RSTLSUntrustedChainRes, {host}),
                                      TNetTLSCheck::tcTrustedRoot);
    case platform::TlsFailure::Expired:
        throw ENetTLSCertificateError(NetTexts.Compose(RSTLSExpiredRes, {host}),
                                      TNetTLSCheck::tcValidity);
    case platform::TlsFailure::WrongHost:
        throw ENetTLSCertificateError(NetTexts.Compose(RSTLSWrongHostRes, {host}),
                                      TNetTLSCheck::tcHostName);
    case platform::TlsFailure::None:
    case platform::TlsFailure::Handshake:
        break;
    }
    const rtl::TText detail(failure.Detail, failure.DetailEnglish);
    throw ENetTLSHandshakeError(rtl::Compose([&] {
        return NetTexts.Format(RSTLSHandshakeFailedRes, {host, rtl::NestedText(detail)});
    }));
}

std::string TNetIOHandlerTLS::ReadLnUnbuffered() {
    const int waitMs = ReadTimeout <= 0 ? -1 : ReadTimeout;
    const int64_t start = NowMs();
    std::string line;
    for (;;) {
        uint8_t byte = 0;
        int error = 0;
        int64_t n = TryRecv(&byte, 1, error);
        if (n < 0 && error == platform::wsa::WouldBlock) {
            int remaining = -1;
            if (waitMs >= 0)
                remaining = static_cast<int>(std::max<int64_t>(0, waitMs - (NowMs() - start)));
            int ready = remaining == 0 ? 0 : WaitReadable(remaining, error);
            if (ready == 0) throw ENetReadTimeout(NetTexts.Compose(RSReadTimeoutRes));
            if (ready > 0) n = Recv(&byte, 1, error);
        }
        if (n < 0) {
            CloseWithError(error);
            RaiseSocketError(error);
        }
        if (n == 0) {
            ClosePeerEnded();
            throw ENetConnClosedGracefully(NetTexts.Compose(RSConnectionClosedGracefullyRes));
        }
        if (byte == '\n') break;
        if (MaxLineLength > 0 && line.size() >= static_cast<size_t>(MaxLineLength))
            throw ENetReadLnMaxLineLengthExceeded(
                NetTexts.Compose(RSReadLnMaxLineLengthExceededRes));
        // 7-bit ASCII as every protocol line: other bytes become U+FFFD.
        line += byte < 0x80 ? std::string(1, static_cast<char>(byte)) : "\xEF\xBF\xBD";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void TNetIOHandlerTLS::CloseSocket() {
    if (FSession) {
        // Only a connection that still works can carry the close notify.
        if (SocketAllocated() && !ClosedGracefully()) FSession->CloseNotify();
        FSession.reset();
    }
    TNetIOHandlerStack::CloseSocket();
}

// A record is decrypted only when it has arrived whole: a readable socket
// does not say that a receive will not block. The wait therefore happens in
// the receive that follows, bounded by the same time.
int TNetIOHandlerTLS::WaitReadable(int timeoutMs, int& error) {
    if (!FSession) return TNetIOHandlerStack::WaitReadable(timeoutMs, error);
    FWaitMs = timeoutMs;
    return 1;
}

int64_t TNetIOHandlerTLS::Recv(uint8_t* buffer, size_t count, int& error) {
    if (!FSession) return TNetIOHandlerStack::Recv(buffer, count, error);
    const int waitMs = FWaitMs;
    FWaitMs = -1;
    int64_t n = FSession->Receive(buffer, count, waitMs, error);
    // Nothing within a wait of 0 ms is that wait's time-out.
    if (n < 0 && error == platform::wsa::WouldBlock) error = platform::wsa::TimedOut;
    return n;
}

int64_t TNetIOHandlerTLS::TryRecv(uint8_t* buffer, size_t count, int& error) {
    if (!FSession) return TNetIOHandlerStack::TryRecv(buffer, count, error);
    return FSession->Receive(buffer, count, 0, error);
}

int64_t TNetIOHandlerTLS::Send(const uint8_t* buffer, size_t count, int& error) {
    if (!FSession) return TNetIOHandlerStack::Send(buffer, count, error);
    return FSession->Send(buffer, count, error);
}

} // namespace net
