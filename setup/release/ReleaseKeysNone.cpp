// The keys of a build made without release keys: none, so the run downloads
// and unpacks without any check beyond the archives' own.
#include "setup/release/ReleaseKeys.h"

namespace setup {

const TReleaseKeys& BuiltInReleaseKeys() {
    static const TReleaseKeys none;
    return none;
}

} // namespace setup
