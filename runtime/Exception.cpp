#include "runtime/Exception.h"

#include "platform/Files.h"
#include "runtime/ResStrings.h"

namespace rtl {

void RaiseLastOSError(int errorCode) {
    if (errorCode == 0) throw EOSError(LoadResString(&SUnkOSError), 0);
    throw EOSError(Format(LoadResString(&SOSError), {errorCode, platform::SysErrorMessage(errorCode)}),
                   errorCode);
}

void RaiseInOutError(int errorCode) {
    std::string text = platform::SysErrorMessage(errorCode);
    if (text.empty()) text = Format(LoadResString(&SInOutError), {errorCode});
    throw EInOutError(text, errorCode);
}

} // namespace rtl
