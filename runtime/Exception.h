#pragma once
// The program's error base type and the runtime library's own error family.
#include <exception>
#include <string>

namespace rtl {

// Every error the program raises derives from Exception and carries a message.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// A stream that could not go on. ErrorCode is the OS error code when a file
// call failed (platform/Files.h), 0 when no system call is to blame (a
// stream that ended early, a write past a limit).
class EStreamError : public Exception {
public:
    explicit EStreamError(std::string message, int errorCode = 0)
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
    EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
class EOSError : public Exception {
public:
    EOSError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};

// The system's reason for an OS error code, in the user's language where the
// program has it: the file failures a user can act on (a full disk, access
// denied, a file in use, ...: platform::FileErrorKind) are runtime texts
// that the catalogs translate, worded as Windows words them ("There is not
// enough space on the disk."); any other code gives the system's own text.
std::string SysErrorText(int errorCode);

// Raises EOSError for an OS error code with the system's text.
[[noreturn]] void RaiseLastOSError(int errorCode);
// Raises EInOutError for a failed file-system call, with the system's text.
[[noreturn]] void RaiseInOutError(int errorCode);

} // namespace rtl
