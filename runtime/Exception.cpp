#include "runtime/Exception.h"

#include "platform/Files.h"
#include "runtime/ResStrings.h"

namespace rtl {

namespace {

const TResStringRec* FileErrorText(platform::FileErrorKind kind) {
    using K = platform::FileErrorKind;
    switch (kind) {
    case K::DiskFull:
        return &SErrDiskFull;
    case K::HandleDiskFull:
        return &SErrHandleDiskFull;
    case K::AccessDenied:
        return &SErrAccessDenied;
    case K::SharingViolation:
        return &SErrSharingViolation;
    case K::LockViolation:
        return &SErrLockViolation;
    case K::WriteProtected:
        return &SErrWriteProtect;
    case K::PathNotFound:
        return &SErrPathNotFound;
    case K::FileNotFound:
        return &SErrFileNotFound;
    case K::FileExists:
        return &SErrFileExists;
    case K::AlreadyExists:
        return &SErrAlreadyExists;
    case K::Other:
        break;
    }
    return nullptr;
}

} // namespace

std::string SysErrorText(int errorCode) {
    if (const TResStringRec* rec = FileErrorText(platform::ClassifyFileError(errorCode)))
        return LoadResString(rec);
    if (!ComposingInEnglish()) return platform::SysErrorMessage(errorCode);
    std::string english;
    if (platform::SysErrorMessageEnglish(errorCode, english)) return english;
    NoEnglishRendering();
    return platform::SysErrorMessage(errorCode);
}

std::string NestedMessage(const std::exception& error) {
    if (const auto* e = dynamic_cast<const Exception*>(&error)) return NestedText(e->Text());
    NoEnglishRendering();
    return error.what();
}

void RaiseLastOSError(int errorCode) {
    if (errorCode == 0) throw EOSError(Compose([] { return LoadResString(&SUnkOSError); }), 0);
    throw EOSError(
        Compose([&] {
            return Format(LoadResString(&SOSError), {errorCode, SysErrorText(errorCode)});
        }),
        errorCode);
}

void RaiseInOutError(int errorCode) {
    throw EInOutError(Compose([&] {
                          std::string text = SysErrorText(errorCode);
                          if (text.empty()) text = Format(LoadResString(&SInOutError), {errorCode});
                          return text;
                      }),
                      errorCode);
}

} // namespace rtl
