#pragma once
// The error family of the translation layer.
#include "runtime/Exception.h"

namespace translator {

class EGettext : public rtl::Exception {
    using rtl::Exception::Exception;
};
class EGettextProgrammingError : public EGettext {
    using EGettext::EGettext;
};
class EGettextComponentError : public EGettext {
    using EGettext::EGettext;
};
// A catalog that cannot be opened, mapped or read.
class EGettextIOError : public EGettext {
    using EGettext::EGettext;
};

} // namespace translator
