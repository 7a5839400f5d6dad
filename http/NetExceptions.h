#pragma once
// The HTTP client's error family. Every error it raises derives from
// ENetException.
#include "runtime/Exception.h"

namespace net {

class ENetException : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

// A URI that cannot be joined into an absolute one.
class ENetURIException : public ENetException {
  public:
    using ENetException::ENetException;
};

} // namespace net
