#pragma once
// The HTTP client's error family. Every error it raises derives from
// ENetException. What a caller decides by the kind of a failure (ask again,
// give up) the error answers itself, through a virtual that each class
// states where it is defined here: never by a caller testing its class, nor
// by reading its message.
#include <string>

#include "http/NetTexts.h"
#include "runtime/Exception.h"

namespace net {

class ENetException : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
    // The connection broke, timed out or could not be made: another attempt
    // may fare better. Any other failure (a bad chunk, an error status, a
    // refused certificate, a file that cannot be written) would only happen
    // again.
    virtual bool BrokenConnection() const { return false; }
};

// A URI that cannot be joined into an absolute one.
class ENetURIException : public ENetException {
  public:
    using ENetException::ENetException;
};

// ---- Connection and I/O errors -------------------------------------------

class ENetAlreadyConnected : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetHostRequired : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetPortRequired : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetConnectTimeout : public ENetException {
  public:
    using ENetException::ENetException;
    bool BrokenConnection() const override { return true; }
};
// The peer closed its side while more data was needed.
class ENetConnClosedGracefully : public ENetException {
  public:
    using ENetException::ENetException;
    bool BrokenConnection() const override { return true; }
};
class ENetNotConnected : public ENetException {
  public:
    using ENetException::ENetException;
    bool BrokenConnection() const override { return true; }
};
class ENetReadTimeout : public ENetException {
  public:
    using ENetException::ENetException;
    bool BrokenConnection() const override { return true; }
};
class ENetReadLnMaxLineLengthExceeded : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetIOHandlerStreamDataTooLarge : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetCouldNotBindSocket : public ENetException {
  public:
    using ENetException::ENetException;
};
class ENetUnknownProtocol : public ENetException {
  public:
    using ENetException::ENetException;
};

// A failed socket call; LastError is the Windows Sockets error number.
class ENetSocketError : public ENetException {
  public:
    ENetSocketError(rtl::TText message, int lastError)
        : ENetException(std::move(message)), LastError(lastError) {}
    bool BrokenConnection() const override { return true; }
    int LastError;
};
class ENetNotASocket : public ENetSocketError {
  public:
    using ENetSocketError::ENetSocketError;
};

// The text for a Windows Sockets error number ("Connection refused.");
// empty for numbers without one.
std::string SocketErrorText(int error);
// Raises ENetSocketError (ENetNotASocket for 10038) with "Socket Error # n\r\ntext".
[[noreturn]] void RaiseSocketError(int error);

// A chunk-size line that is no hexadecimal number in range: the body cannot
// be delimited any more.
class ENetInvalidChunkSize : public ENetException {
  public:
    using ENetException::ENetException;
};
// A URL whose scheme needs a transport this client does not have: an https
// URL with an assigned I/O handler that cannot do TLS.
class ENetSecureNotSupported : public ENetException {
  public:
    using ENetException::ENetException;
};

// ---- Secure connections --------------------------------------------------

// A secure connection that was not set up. Nothing it carried has been used:
// no request went out on it.
class ENetTLSError : public ENetException {
  public:
    using ENetException::ENetException;
};
// The TLS handshake itself failed.
class ENetTLSHandshakeError : public ENetTLSError {
  public:
    using ENetTLSError::ENetTLSError;
};
// The server's certificate failed a check.
enum class TNetTLSCheck { tcTrustedRoot, tcValidity, tcHostName };
class ENetTLSCertificateError : public ENetTLSError {
  public:
    ENetTLSCertificateError(rtl::TText message, TNetTLSCheck check)
        : ENetTLSError(std::move(message)), Check(check) {}
    TNetTLSCheck Check;
};

// ---- Protocol errors -----------------------------------------------------

// A reply that reports failure; ErrorCode is the reply's status code.
class ENetReplyRFCError : public ENetException {
  public:
    ENetReplyRFCError(rtl::TText message, int errorCode)
        : ENetException(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};

// A proxy that answered a CONNECT with a status other than 2xx; ErrorCode is
// that status, the message holds the proxy's status line as it sent it.
class ENetTunnelRefused : public ENetReplyRFCError {
  public:
    using ENetReplyRFCError::ENetReplyRFCError;
};

// A failed HTTP status: the message is the status line as received (inside
// the words of a catalog's RSHTTPErrorStatus, when one translates it),
// ErrorMessage the body the server sent with it.
class ENetHTTPProtocolException : public ENetReplyRFCError {
  public:
    ENetHTTPProtocolException(rtl::TText message, int errorCode, std::string errorMessage)
        : ENetReplyRFCError(std::move(message), errorCode), ErrorMessage(std::move(errorMessage)) {}
    std::string ErrorMessage;
};

} // namespace net
