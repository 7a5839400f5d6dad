#pragma once
// The release keys this build of the wizard trusts, set when it is built
// (SETUP_RELEASE_KEYS): empty in a build without keys, which checks nothing.
#include "setup/release/ReleaseManifest.h"

namespace setup {

const TReleaseKeys& BuiltInReleaseKeys();

} // namespace setup
