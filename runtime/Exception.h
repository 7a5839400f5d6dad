#pragma once
// The program's error base type and the runtime library's own error family.
#include <exception>
#include <string>

#include "runtime/EnglishText.h"

namespace rtl {

// Every error the program raises derives from Exception and carries a
// message, and the message's English text when the raise site composed one
// (runtime/EnglishText.h).
class Exception : public std::exception {
public:
    explicit Exception(TText message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage.Text; }
    // Empty when the message has no English rendering.
    const std::string& EnglishMessage() const { return FMessage.English; }
    const TText& Text() const { return FMessage; }
    void SetMessage(TText message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.Text.c_str(); }

private:
    TText FMessage;
};

// The message of an error nested in a message being composed: its English
// text in the English pass (none there when it has none), else its message.
std::string NestedMessage(const std::exception& error);

// A stream that could not go on. ErrorCode is the OS error code when a file
// call failed (platform/Files.h), 0 when no system call is to blame (a
// stream that ended early, a write past a limit).
class EStreamError : public Exception {
public:
    explicit EStreamError(TText message, int errorCode = 0)
        : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
class EReadError : public EStreamError {
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
    using EStreamError::EStreamError;
};
class EFileStreamError : public EStreamError {
    using EStreamError::EStreamError;
};
class EFCreateError : public EFileStreamError {
    using EFileStreamError::EFileStreamError;
};
class EFOpenError : public EFileStreamError {
    using EFileStreamError::EFileStreamError;
};
class EConvertError : public Exception {
    using Exception::Exception;
};
class EArgumentException : public Exception {
    using Exception::Exception;
};
class ERangeError : public Exception {
    using Exception::Exception;
};
class EAssertionFailed : public Exception {
    using Exception::Exception;
};

// Errors that carry an OS or I/O error code.
class EInOutError : public Exception {
public:
    EInOutError(TText message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
class EOSError : public Exception {
public:
    EOSError(TText message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};

// The system's reason for an OS error code, in the user's language where the
// program has it: the file failures a user can act on (a full disk, access
// denied, a file in use, ...: platform::FileErrorKind) are runtime texts
// that the catalogs translate, worded as Windows words them ("There is not
// enough space on the disk."); any other code gives the system's own text.
// In the English pass of a message (runtime/EnglishText.h) the system's text
// is asked for in English.
std::string SysErrorText(int errorCode);

// Raises EOSError for an OS error code with the system's text.
[[noreturn]] void RaiseLastOSError(int errorCode);
// Raises EInOutError for a failed file-system call, with the system's text.
[[noreturn]] void RaiseInOutError(int errorCode);

} // namespace rtl
