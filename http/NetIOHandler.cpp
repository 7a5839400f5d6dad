#include "http/NetIOHandler.h"

#include <algorithm>
#include <limits>

#include "http/NetExceptions.h"
#include "platform/Clock.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"

namespace net {

namespace {

using platform::NowMs;

// Bytes to text in 7-bit ASCII: a byte above 127 becomes U+FFFD.
std::string DecodeAscii(const uint8_t* bytes, size_t count) {
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] < 0x80)
            text += static_cast<char>(bytes[i]);
        else
            text += "\xEF\xBF\xBD";
    }
    return text;
}

// UTF-8 text to 7-bit ASCII: each character above 127 becomes one "?".
std::string EncodeAscii(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80)
            bytes += static_cast<char>(c);
        else if (c >= 0xC0)
            bytes += '?'; // lead byte of a multi-byte character; its continuation bytes are skipped
    }
    return bytes;
}

bool EndsBodyUntilClose(const ENetException& e) {
    if (dynamic_cast<const ENetConnClosedGracefully*>(&e)) return true;
    if (auto* s = dynamic_cast<const ENetSocketError*>(&e))
        return s->LastError == platform::wsa::ConnAborted ||
               s->LastError == platform::wsa::ConnReset || s->LastError == platform::wsa::Shutdown;
    return false;
}

} // namespace

TNetIOHandler::TNetIOHandler() {
    FInputBuffer.OnBytesRemoved = [this](int64_t n) { DoWork(TWorkMode::wmRead, n); };
}

TNetIOHandler::~TNetIOHandler() {
    CloseSocket();
}

// ---- Connection life -------------------------------------------------------

void TNetIOHandler::Open() {
    FOpened = true;
    FClosedGracefully = false;
    FClosedLocally = false;
    FCloseError = 0;
    FWriteBuffer.clear();
    FWriteBufferActive = false;
    FInputBuffer.Clear();
    CloseSocket();
}

void TNetIOHandler::Close() {
    ClosePeerEnded();
    FClosedLocally = true;
}

void TNetIOHandler::ClosePeerEnded() {
    CloseSocket();
    FOpened = false;
    FWriteBuffer.clear();
    FWriteBufferActive = false;
}

void TNetIOHandler::ConnectClient() {
    int error = 0;
    platform::SocketFamily family = IPVersion == TNetIPVersion::Id_IPv6
                                        ? platform::SocketFamily::IPv6
                                        : platform::SocketFamily::IPv4;
    FSocket = platform::SocketCreate(family, error);
    if (FSocket == platform::kInvalidSocket) RaiseSocketError(error);
    if (ReuseSocket && !platform::SocketSetReuseAddress(FSocket, true, error))
        RaiseSocketError(error);
    if (!UseNagle && !platform::SocketSetNagle(FSocket, false, error)) RaiseSocketError(error);

    std::string address;
    if (platform::SameTextAscii(Host, "LOCALHOST")) {
        address = family == platform::SocketFamily::IPv6 ? "::1" : "127.0.0.1";
    } else if (platform::IsAddressLiteral(Host, family)) {
        address = Host;
    } else {
        DoStatus(TNetStatus::hsResolving, NetTexts.Format(RSStatusResolvingRes, {Host}));
        if (!platform::ResolveHost(Host, family, address, error)) RaiseSocketError(error);
    }
    SetPeer(address, Port);
    DoStatus(TNetStatus::hsConnecting, NetTexts.Format(RSStatusConnectingRes, {address}));
    // A connection that is never answered is waited for up to the connect
    // time-out: OnIdle is called meanwhile too, as while a read waits, and an
    // exception from it closes the socket at once.
    rtl::TScopeFail close([this] { CloseSocket(); });
    std::function<void()> idle;
    if (OnIdle && IdleIntervalMs > 0) idle = OnIdle;
    if (!platform::SocketConnect(FSocket, family, address, static_cast<uint16_t>(Port),
                                 ConnectTimeout, error, idle, IdleIntervalMs)) {
        if (ConnectTimeout > 0 && error == platform::wsa::TimedOut)
            throw ENetConnectTimeout(NetTexts.Compose(RSConnectTimeoutRes));
        RaiseSocketError(error);
    }
}

bool TNetIOHandler::SocketAllocated() const {
    return FSocket != platform::kInvalidSocket;
}

void TNetIOHandler::CloseSocket() {
    if (FSocket == platform::kInvalidSocket) return;
    platform::SocketClose(FSocket);
    FSocket = platform::kInvalidSocket;
}

int TNetIOHandler::WaitReadable(int timeoutMs, int& error) {
    return platform::SocketWaitReadable(FSocket, timeoutMs, error);
}

int64_t TNetIOHandler::Recv(uint8_t* buffer, size_t count, int& error) {
    return platform::SocketRecv(FSocket, buffer, count, error);
}

int64_t TNetIOHandler::TryRecv(uint8_t* buffer, size_t count, int& error) {
    return platform::SocketRecvNoWait(FSocket, buffer, count, error);
}

int64_t TNetIOHandler::Send(const uint8_t* buffer, size_t count, int& error) {
    return platform::SocketSend(FSocket, buffer, count, error);
}

void TNetIOHandler::CloseWithError(int error) {
    FClosedGracefully = true;
    FCloseError = error;
    ClosePeerEnded();
}

bool TNetIOHandler::Connected() {
    // After a local close the buffered rest belongs to no one: bytes count
    // only while the peer's data is still to be read.
    if (FClosedLocally) return false;
    if (SocketAllocated() && FOpened) ReceiveIntoBuffer(false, 0, false);
    if (!FInputBuffer.IsEmpty()) return true;
    return SocketAllocated() && FOpened && !FClosedGracefully;
}

// ---- Reading ---------------------------------------------------------------

int TNetIOHandler::EffectiveTimeout(int timeout) const {
    if (timeout == NetTimeoutDefault) return ReadTimeout <= 0 ? -1 : ReadTimeout;
    if (timeout < 0) return -1;
    return timeout;
}

void TNetIOHandler::RaiseClosed() {
    // A connection ended by a socket error reports that error wherever a
    // plain close would be reported, so a reset is never mistaken for the
    // regular end of a message.
    if (FCloseError != 0) RaiseSocketError(FCloseError);
    if (FClosedGracefully)
        throw ENetConnClosedGracefully(NetTexts.Compose(RSConnectionClosedGracefullyRes));
    throw ENetNotConnected(NetTexts.Compose(RSNotConnectedRes));
}

void TNetIOHandler::CheckForDisconnect(bool raiseIfDisconnected, bool ignoreBuffer) {
    bool lost = false;
    if (FClosedGracefully || !SocketAllocated()) {
        if (SocketAllocated()) {
            ClosePeerEnded();
            DoStatus(TNetStatus::hsDisconnected, NetTexts.Load(RSStatusDisconnectedRes));
        }
        lost = true;
    }
    if (lost && raiseIfDisconnected && (ignoreBuffer || FInputBuffer.IsEmpty())) {
        if (FCloseError != 0) RaiseSocketError(FCloseError);
        throw ENetConnClosedGracefully(NetTexts.Compose(RSConnectionClosedGracefullyRes));
    }
}

int TNetIOHandler::ReceiveIntoBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) {
    int waitMs = EffectiveTimeout(timeout);
    CheckForDisconnect(raiseIfDisconnected, false);
    if (!SocketAllocated()) {
        if (raiseIfDisconnected) throw ENetNotConnected(NetTexts.Compose(RSNotConnectedRes));
        return 0;
    }
    const size_t portion = static_cast<size_t>(std::max(RecvBufferSize, 1));
    int64_t count = 0;
    do {
        int error = 0;
        // Received straight into the input buffer's free tail. A receive that
        // does not wait comes first: while data streams in, no separate
        // readiness wait is needed.
        uint8_t* tail = FInputBuffer.AppendSpace(portion);
        int64_t n = TryRecv(tail, portion, error);
        if (n < 0 && error == platform::wsa::WouldBlock) n = WaitAndRecv(portion, waitMs, error);
        if (n < 0) {
            if (error == platform::wsa::TimedOut) {
                if (raiseOnTimeout) throw ENetReadTimeout(NetTexts.Compose(RSReadTimeoutRes));
                return -1;
            }
            CloseWithError(error);
            // What already arrived is still to be read; the error waits for it.
            if (FInputBuffer.IsEmpty() && raiseIfDisconnected) RaiseSocketError(error);
            n = 0;
        } else if (n == 0) {
            FClosedGracefully = true;
        } else {
            FInputBuffer.CommitAppend(static_cast<size_t>(n));
        }
        CheckForDisconnect(raiseIfDisconnected, false);
        count = n;
    } while (count == 0 && SocketAllocated());
    return static_cast<int>(count);
}

int64_t TNetIOHandler::WaitAndRecv(size_t portion, int waitMs, int& error) {
    const bool idle = OnIdle && IdleIntervalMs > 0;
    const int64_t start = NowMs();
    for (;;) {
        int slice = waitMs;
        if (idle)
            slice = waitMs < 0 ? IdleIntervalMs
                               : static_cast<int>(std::clamp<int64_t>(waitMs - (NowMs() - start), 0,
                                                                      IdleIntervalMs));
        int64_t n = -1;
        const int ready = WaitReadable(slice, error);
        if (ready == 0) {
            error = platform::wsa::TimedOut;
        } else if (ready > 0) {
            // The handler may wait inside the receive (TLS does): that wait
            // is the slice too, and its time-out the slice's.
            n = Recv(FInputBuffer.AppendSpace(portion), portion, error);
        }
        if (!idle || n >= 0 || error != platform::wsa::TimedOut) return n;
        if (waitMs >= 0 && NowMs() - start >= waitMs) return n;
        rtl::TScopeFail close([this] { Close(); });
        OnIdle();
    }
}

bool TNetIOHandler::CheckForDataOnSource(int timeout) {
    if (!SocketAllocated() || !FOpened) return false;
    size_t before = FInputBuffer.Size();
    ReceiveIntoBuffer(false, timeout, false);
    return FInputBuffer.Size() > before;
}

std::string TNetIOHandler::ReadLn(const std::string& terminator, int timeout, int maxLineLength) {
    const std::string term = terminator.empty() ? std::string("\n") : terminator;
    const std::vector<uint8_t> termBytes(term.begin(), term.end());
    const int64_t maxLength = maxLineLength < 0 ? MaxLineLength : maxLineLength;
    const int waitMs = EffectiveTimeout(timeout);
    FReadLnSplit = false;
    FReadLnTimedOut = false;
    const int64_t start = NowMs();
    size_t searchFrom = 0;
    int64_t termPos = -1;
    for (;;) {
        if (!FInputBuffer.IsEmpty()) {
            termPos = termBytes.size() == 1 ? FInputBuffer.IndexOf(termBytes[0], searchFrom)
                                            : FInputBuffer.IndexOf(termBytes, searchFrom);
            if (termPos < 0)
                searchFrom =
                    FInputBuffer.Size() - std::min(FInputBuffer.Size(), termBytes.size() - 1);
            if (maxLength > 0 &&
                (termPos > maxLength ||
                 (termPos < 0 && FInputBuffer.Size() > static_cast<size_t>(maxLength)))) {
                if (MaxLineAction == TNetMaxLineAction::maException)
                    throw ENetReadLnMaxLineLengthExceeded(
                        NetTexts.Compose(RSReadLnMaxLineLengthExceededRes));
                FReadLnSplit = true;
                std::string line = DecodeAscii(FInputBuffer.Data(), static_cast<size_t>(maxLength));
                FInputBuffer.Remove(static_cast<size_t>(maxLength));
                return line;
            }
            if (termPos >= 0) break;
        }
        CheckForDisconnect(true, true);
        // The whole line must arrive within the time-out, however slowly the
        // peer trickles its bytes.
        int remaining = waitMs;
        if (waitMs >= 0) {
            int64_t elapsed = NowMs() - start;
            if (elapsed >= waitMs && waitMs > 0) {
                FReadLnTimedOut = true;
                return {};
            }
            remaining = static_cast<int>(waitMs - std::min<int64_t>(elapsed, waitMs));
        }
        if (ReceiveIntoBuffer(true, remaining < 0 ? NetTimeoutInfinite : remaining, false) < 0) {
            FReadLnTimedOut = true;
            return {};
        }
    }
    size_t lineLength = static_cast<size_t>(termPos);
    if (term == "\n" && lineLength > 0 && FInputBuffer.Peek(lineLength - 1) == '\r') --lineLength;
    std::string line = DecodeAscii(FInputBuffer.Data(), lineLength);
    FInputBuffer.Remove(static_cast<size_t>(termPos) + termBytes.size());
    return line;
}

void TNetIOHandler::ReadBytes(std::vector<uint8_t>& buffer, size_t count, bool append) {
    while (FInputBuffer.Size() < count) {
        if (ReceiveIntoBuffer(false, NetTimeoutDefault, true) > 0) continue;
        if (FInputBuffer.Size() >= count) break;
        RaiseClosed();
    }
    FInputBuffer.ExtractToBytes(buffer, count, append);
}

void TNetIOHandler::ReadStream(rtl::TStream* stream, int64_t count, bool readUntilDisconnect) {
    if (count < 0 && !readUntilDisconnect) {
        // A length prefix in network byte order.
        std::vector<uint8_t> prefix;
        ReadBytes(prefix, LargeStream ? 8 : 4, false);
        count = LargeStream ? static_cast<int64_t>(rtl::LoadBE64(prefix.data()))
                            : rtl::LoadBE32(prefix.data());
    }
    if (count >= 0 && !readUntilDisconnect && stream) {
        int64_t position = stream->Position();
        if (count > std::numeric_limits<int64_t>::max() - position)
            throw ENetIOHandlerStreamDataTooLarge(NetTexts.Compose(RSStreamDataTooLargeRes));
        // One extension of the target instead of one per portion. A memory
        // stream grows with what really arrives instead: an announced size
        // is only the peer's word, and memory is not to be claimed on it.
        if (!dynamic_cast<rtl::TMemoryStream*>(stream)) {
            stream->SetSize(position + count);
            stream->SetPosition(position);
        }
    }
    if (count < 0) readUntilDisconnect = true;
    BeginWork(TWorkMode::wmRead, readUntilDisconnect ? 0 : count);
    // A body that ended early leaves no stale tail from the pre-sizing.
    rtl::TScopeExit cutTail([&] {
        if (stream && stream->Size() > stream->Position()) stream->SetSize(stream->Position());
    });
    rtl::TScopeExit endWork([this] { EndWork(TWorkMode::wmRead); });
    const size_t recvSize = static_cast<size_t>(std::max(RecvBufferSize, 1));
    int64_t due = readUntilDisconnect ? 0 : count;
    size_t first = readUntilDisconnect
                       ? FInputBuffer.Size()
                       : static_cast<size_t>(std::min<int64_t>(due, FInputBuffer.Size()));
    FInputBuffer.ExtractToStream(stream, first);
    due -= static_cast<int64_t>(first);
    for (;;) {
        size_t portion =
            readUntilDisconnect ? recvSize : static_cast<size_t>(std::min<int64_t>(recvSize, due));
        if (portion == 0) break;
        try {
            while (FInputBuffer.Size() < portion) {
                const int received = ReceiveIntoBuffer(false, NetTimeoutDefault, true);
                // A receive that emptied the socket before the portion
                // was full means the line is slower than the reads: what
                // arrived is passed on now, so that the progress of a
                // slow download moves with every receive instead of
                // waiting for a whole portion.
                if (received > 0 && static_cast<size_t>(received) < recvSize) break;
                if (received > 0) continue;
                if (FInputBuffer.Size() >= portion) break;
                RaiseClosed();
            }
        } catch (const ENetException& e) {
            FInputBuffer.ExtractToStream(stream, std::min(portion, FInputBuffer.Size()));
            if (readUntilDisconnect && EndsBodyUntilClose(e)) break;
            throw;
        }
        const size_t taken = std::min(portion, FInputBuffer.Size());
        FInputBuffer.ExtractToStream(stream, taken);
        due -= static_cast<int64_t>(taken);
    }
}

void TNetIOHandler::Discard(int64_t count) {
    BeginWork(TWorkMode::wmRead, count);
    rtl::TScopeExit endWork([this] { EndWork(TWorkMode::wmRead); });
    while (count > 0) {
        if (FInputBuffer.IsEmpty() && ReceiveIntoBuffer(false, NetTimeoutDefault, true) <= 0 &&
            FInputBuffer.IsEmpty())
            RaiseClosed();
        size_t n = static_cast<size_t>(std::min<int64_t>(count, FInputBuffer.Size()));
        FInputBuffer.Remove(n);
        count -= static_cast<int64_t>(n);
    }
}

void TNetIOHandler::DiscardAll() {
    BeginWork(TWorkMode::wmRead);
    rtl::TScopeExit endWork([this] { EndWork(TWorkMode::wmRead); });
    for (;;) {
        FInputBuffer.Clear();
        int n = ReceiveIntoBuffer(false, NetTimeoutDefault, true);
        FInputBuffer.Clear();
        if (n <= 0 && !SocketAllocated()) break;
    }
}

// ---- Writing ---------------------------------------------------------------

void TNetIOHandler::Write(const std::string& text) {
    std::string bytes = EncodeAscii(text);
    Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void TNetIOHandler::WriteLn(const std::string& text) {
    Write(text + "\r\n");
}

void TNetIOHandler::Write(const uint8_t* bytes, size_t count) {
    if (!FWriteBufferActive) {
        WriteDirect(bytes, count);
        return;
    }
    FWriteBuffer.insert(FWriteBuffer.end(), bytes, bytes + count);
    if (FWriteBufferThreshold > 0) {
        size_t threshold = static_cast<size_t>(FWriteBufferThreshold);
        size_t sent = 0;
        while (FWriteBuffer.size() - sent >= threshold) {
            WriteDirect(FWriteBuffer.data() + sent, threshold);
            sent += threshold;
        }
        FWriteBuffer.erase(FWriteBuffer.begin(),
                           FWriteBuffer.begin() + static_cast<ptrdiff_t>(sent));
    }
}

void TNetIOHandler::WriteDirect(const uint8_t* bytes, size_t count) {
    CheckForDisconnect(true, true);
    size_t sent = 0;
    while (sent < count) {
        int error = 0;
        int64_t n = Send(bytes + sent, count - sent, error);
        if (n < 0) {
            if (error != platform::wsa::TimedOut) CloseWithError(error);
            RaiseSocketError(error);
        }
        if (n == 0) FClosedGracefully = true;
        CheckForDisconnect(true, false);
        DoWork(TWorkMode::wmWrite, n);
        sent += static_cast<size_t>(n);
    }
}

void TNetIOHandler::WriteBufferOpen(int threshold) {
    FWriteBuffer.clear();
    FWriteBufferActive = true;
    FWriteBufferThreshold = threshold;
}

void TNetIOHandler::WriteBufferClose() {
    std::vector<uint8_t> pending;
    pending.swap(FWriteBuffer);
    FWriteBufferActive = false;
    if (!pending.empty()) WriteDirect(pending.data(), pending.size());
}

void TNetIOHandler::WriteBufferCancel() {
    FWriteBuffer.clear();
    FWriteBufferActive = false;
}

} // namespace net
