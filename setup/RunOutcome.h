#pragma once
// How an installation run ended, told apart by kind, never by a message's
// text: a caller that reports the run (an exit code, a log) asks this.
#include <string>

#include "runtime/Exception.h"

namespace setup {

enum class TRunOutcome { NotRun, Completed, Failed, Cancelled };

// The user answered yes to the Cancel question during the run. Raised from
// inside the run's work (a transfer, a wait for a silent server, an unpack),
// so that every step unwinds as after a failure; the run recognises it and
// shows the abort page without an error box.
class EInstallCancelled : public rtl::Exception {
  public:
    EInstallCancelled() : rtl::Exception("cancelled by the user") {}
};

} // namespace setup
