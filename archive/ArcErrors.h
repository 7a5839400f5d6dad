#pragma once
// The ZIP extractor's error family. Every class carries an ErrorCode; the
// fixed messages are the runtime texts of ArcTexts.def.
#include <string>

#include "archive/ArcTexts.h"
#include "runtime/Exception.h"

namespace arc {

class EArcException : public rtl::Exception {
  public:
    EArcException(rtl::TText message, int errorCode = 0)
        : rtl::Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;
};
class EArcZipException : public EArcException {
    using EArcException::EArcException;
};

#define ARC_ERROR(name, base, code, text)                                                          \
    class name : public base {                                                                     \
      public:                                                                                      \
        name() : base(ArcTexts.Compose(text##Res), code) {}                                        \
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
        : rtl::Exception(ArcTexts.Load(kArcMsgInflatePrefixRes) + cause + ")") {}
    // The engine's cause, with the English of both when it has one.
    explicit EArcInflateError(const EArcInternalInflateError& cause)
        : rtl::Exception(rtl::Compose([&cause] {
              return ArcTexts.Load(kArcMsgInflatePrefixRes) + rtl::NestedMessage(cause) + ")";
          })) {}
};

} // namespace arc
