// The root URL of the download server, given by the build. It is a source of
// its own so that a program can be linked with another URL than the one
// built into the setup_base_url library: its own object file that defines
// DownloadBaseURL comes first, and the library's is then not taken.
#include "setup/InstallPlaces.h"

#ifndef SETUP_DOWNLOAD_BASE_URL
#error "SETUP_DOWNLOAD_BASE_URL must be defined by the build"
#endif

namespace setup {

const std::string& DownloadBaseURL() {
    static const std::string url = SETUP_DOWNLOAD_BASE_URL;
    return url;
}

} // namespace setup
