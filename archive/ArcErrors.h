#pragma once
// The ZIP extractor's error family. Every class carries an ErrorCode; the
// fixed messages are the constants below.
#include <string>

#include "runtime/Exception.h"

namespace arc {

inline constexpr const char* kArcMsgFileNotFound = "File not found";
inline constexpr const char* kArcMsgBadStream = "Invalid Stream";
inline constexpr const char* kArcMsgUnhandledType = "Unhandled Archive Type";
inline constexpr const char* kArcMsgZipInvalid = "Invalid file - not a PKZip file";
inline constexpr const char* kArcMsgZipBadSpanStream = "Spanned archives must be opened as file streams";
inline constexpr const char* kArcMsgUserAbort = "Process aborted by user";
inline constexpr const char* kArcMsgNoSuchDirectory = "Directory does not exist";
inline constexpr const char* kArcMsgZipVersion = "Cannot extract file - newer version required";
inline constexpr const char* kArcMsgSpanSeek = "TArcSpanReadStream.Seek unsupported";
inline constexpr const char* kArcMsgNoArchive = "Archive does not exist - Filename is blank";
inline constexpr const char* kArcMsgZipInvalidMethod = "Cannot extract file - unsupported compression method";
inline constexpr const char* kArcMsgZipInvalidPassword = "Cannot extract file - invalid password";
inline constexpr const char* kArcMsgZipNoExtraction = "Cannot extract file - no extraction support provided";
inline constexpr const char* kArcMsgZipBadCRC = "Failed CRC Check";
inline constexpr const char* kArcMsgInvalidFactor = "Invalid Reduce Factor";
inline constexpr const char* kArcMsgInflatePrefix =
    "Inflate error, possibly a corrupted compressed stream. (Internal cause: ";

class EArcException : public rtl::Exception {
public:
    EArcException(std::string message, int errorCode = 0) : rtl::Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
class EArcZipException : public EArcException {
    using EArcException::EArcException;
};

#define ARC_ERROR(name, base, code, text)                                                                   \
    class name : public base {                                                                               \
    public:                                                                                                  \
        name() : base(text, code) {}                                                                         \
    };
ARC_ERROR(EArcFileNotFound, EArcException, 21, kArcMsgFileNotFound)
ARC_ERROR(EArcBadStream, EArcException, 17, kArcMsgBadStream)
ARC_ERROR(EArcUnhandledType, EArcException, 28, kArcMsgUnhandledType)
ARC_ERROR(EArcUserAbort, EArcException, 9, kArcMsgUserAbort)
ARC_ERROR(EArcNoSuchDirectory, EArcException, 15, kArcMsgNoSuchDirectory)
ARC_ERROR(EArcNoArchive, EArcException, 23, kArcMsgNoArchive)
ARC_ERROR(EArcZipInvalid, EArcZipException, 24, kArcMsgZipInvalid)
ARC_ERROR(EArcZipBadSpanStream, EArcZipException, 11, kArcMsgZipBadSpanStream)
ARC_ERROR(EArcZipVersion, EArcZipException, 1, kArcMsgZipVersion)
ARC_ERROR(EArcZipInvalidMethod, EArcZipException, 2, kArcMsgZipInvalidMethod)
ARC_ERROR(EArcZipInvalidPassword, EArcZipException, 4, kArcMsgZipInvalidPassword)
ARC_ERROR(EArcZipNoExtraction, EArcZipException, 3, kArcMsgZipNoExtraction)
ARC_ERROR(EArcZipBadCRC, EArcZipException, 19, kArcMsgZipBadCRC)
ARC_ERROR(EArcZipInvalidFactor, EArcZipException, 5, kArcMsgInvalidFactor)
#undef ARC_ERROR

// Raised inside the inflate engine with a cause text; Inflate() turns it into
// EArcInflateError with the full message.
class EArcInternalInflateError : public rtl::Exception {
    using rtl::Exception::Exception;
};
class EArcInflateError : public rtl::Exception {
public:
    explicit EArcInflateError(const std::string& cause)
        : rtl::Exception(std::string(kArcMsgInflatePrefix) + cause + ")") {}
};

} // namespace arc
