#pragma once
// The I/O handler: owns the connection's socket, an input buffer that all
// reads go through, an optional write buffer, and the line, byte and stream
// readers with their time-outs.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "http/NetBuffer.h"
#include "http/NetComponent.h"
#include "http/NetURI.h"
#include "platform/Sockets.h"

namespace rtl {
class TStream;
}

namespace net {

enum class TNetMaxLineAction { maException, maSplit };

// Time-out values: -1 takes the handler's ReadTimeout, -2 waits without limit.
constexpr int NetTimeoutDefault = -1;
constexpr int NetTimeoutInfinite = -2;

class TNetIOHandler : public TNetComponent {
  public:
    static constexpr int DefaultRecvBufferSize = 32768;
    static constexpr int DefaultSendBufferSize = 32768;
    // Long enough for any status or header line a server sends in practice.
    static constexpr int DefaultMaxLineLength = 16384;

    TNetIOHandler();
    ~TNetIOHandler() override;
    TNetIOHandler(const TNetIOHandler&) = delete;
    TNetIOHandler& operator=(const TNetIOHandler&) = delete;

    // Settings, copied from the client before each connect.
    std::string Host;
    int Port = 0;
    int ConnectTimeout = 0;
    int ReadTimeout = -1;
    TNetIPVersion IPVersion = TNetIPVersion::Id_IPv4;
    bool UseNagle = true;
    bool ReuseSocket = false;
    // Bytes asked for by one receive, and the portion in which a body goes
    // to its stream and the progress moves. Not a limit: a larger body takes
    // more receives.
    int RecvBufferSize = DefaultRecvBufferSize;
    // Kept with the settings; sends are not cut by it (a write goes out whole).
    int SendBufferSize = DefaultSendBufferSize;
    // Bytes a line may take before its line feed (a CR before it counts);
    // zero or less: no limit. A longer line raises
    // ENetReadLnMaxLineLengthExceeded with maException, or comes back cut
    // after MaxLineLength bytes with ReadLnSplit() set with maSplit; the rest
    // is then read as the next line. A peer that never sends a line feed so
    // fills the input buffer with at most MaxLineLength bytes and one receive.
    int MaxLineLength = DefaultMaxLineLength;
    TNetMaxLineAction MaxLineAction = TNetMaxLineAction::maException;
    bool LargeStream = false;
    // Called about every IdleIntervalMs while a read waits for the peer and
    // nothing arrives (a stalled or silent server), and while a bounded
    // connect waits for an answer, so that a program whose only thread waits
    // here can still answer its user; the time-outs are unchanged. An exception it raises closes the connection at once
    // (nothing more is read or written) and passes to the reader's caller.
    std::function<void()> OnIdle;
    int IdleIntervalMs = 100;

    // Connection life. Close is the local end of the connection; a close
    // noticed from the peer leaves the unread bytes readable.
    virtual void Open();
    virtual void Close();
    // Creates the socket, resolves Host and connects to it.
    virtual void ConnectClient();
    bool Opened() const { return FOpened; }
    bool ClosedGracefully() const { return FClosedGracefully; }
    // True when buffered bytes wait, or the socket is open and the peer has
    // not closed; first pulls in what the socket already holds.
    bool Connected();
    const std::string& PeerIP() const { return FPeerIP; }
    int PeerPort() const { return FPeerPort; }

    TNetBuffer& InputBuffer() { return FInputBuffer; }
    bool InputBufferIsEmpty() const { return FInputBuffer.IsEmpty(); }

    // Reading.
    bool ReadLnTimedOut() const { return FReadLnTimedOut; }
    bool ReadLnSplit() const { return FReadLnSplit; }
    // One line ended by terminator (line feed when empty), without the
    // terminator and a CR before it. An empty line with ReadLnTimedOut() set
    // means the time-out passed.
    std::string ReadLn(const std::string& terminator = "\n", int timeout = NetTimeoutDefault,
                       int maxLineLength = -1);
    // Exactly count bytes, appended to buffer (or replacing its content).
    void ReadBytes(std::vector<uint8_t>& buffer, size_t count, bool append = true);
    // A body of count bytes, or until the peer closes (negative count or
    // readUntilDisconnect), into stream; a null stream drops the bytes.
    void ReadStream(rtl::TStream* stream, int64_t count = -1, bool readUntilDisconnect = false);
    void Discard(int64_t count);
    void DiscardAll();
    // Receives once, waiting at most timeout ms, without raising; true when
    // the input buffer grew.
    bool CheckForDataOnSource(int timeout = 0);
    void CheckForDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false);
    // The single place where bytes enter the input buffer. Returns the count
    // received, 0 after a close, -1 after a time-out that did not raise.
    int ReceiveIntoBuffer(bool raiseIfDisconnected = true, int timeout = NetTimeoutDefault,
                          bool raiseOnTimeout = true);

    // Writing.
    void Write(const std::string& text);
    void WriteLn(const std::string& text = std::string());
    void Write(const uint8_t* bytes, size_t count);
    void WriteDirect(const uint8_t* bytes, size_t count);
    void WriteBufferOpen(int threshold = -1);
    void WriteBufferClose();
    void WriteBufferCancel();
    bool WriteBufferingActive() const { return FWriteBufferActive; }

  protected:
    // The socket layer; a subclass may put another byte source in its place.
    virtual bool SocketAllocated() const;
    virtual void CloseSocket();
    // 1 readable, 0 time-out (timeout in ms, -1 unlimited), -1 error.
    virtual int WaitReadable(int timeoutMs, int& error);
    virtual int64_t Recv(uint8_t* buffer, size_t count, int& error);
    // A receive that does not wait: -1 with error WouldBlock when nothing is
    // there yet.
    virtual int64_t TryRecv(uint8_t* buffer, size_t count, int& error);
    virtual int64_t Send(const uint8_t* buffer, size_t count, int& error);

    platform::SocketHandle Socket() const { return FSocket; }
    void SetPeer(const std::string& ip, int port) {
        FPeerIP = ip;
        FPeerPort = port;
    }
    // A failed read or write: the connection is over, with this error.
    void CloseWithError(int error);
    // Ends the connection after the peer closed it or it failed.
    void ClosePeerEnded();

  private:
    // After a receive found nothing: waits at most waitMs (-1: no limit) and
    // receives a portion, in slices with OnIdle between them when it is set.
    // Returns what Recv returns; error TimedOut when the wait passed.
    int64_t WaitAndRecv(size_t portion, int waitMs, int& error);
    // Converts NetTimeoutDefault/NetTimeoutInfinite into milliseconds or -1.
    int EffectiveTimeout(int timeout) const;
    [[noreturn]] void RaiseClosed();

    platform::SocketHandle FSocket = platform::kInvalidSocket;
    TNetBuffer FInputBuffer;
    std::vector<uint8_t> FWriteBuffer;
    bool FWriteBufferActive = false;
    int FWriteBufferThreshold = -1;
    bool FOpened = false;
    bool FClosedGracefully = false;
    bool FClosedLocally = false;
    int FCloseError = 0;
    bool FReadLnTimedOut = false;
    bool FReadLnSplit = false;
    std::string FPeerIP;
    int FPeerPort = 0;
};

// The socket-backed handler that a client creates when none is assigned.
class TNetIOHandlerStack : public TNetIOHandler {
  public:
    using TNetIOHandler::TNetIOHandler;
};

} // namespace net
