#include "setup/ExitCodes.h"

#include "setup/DiskRoom.h"
#include "setup/release/ReleaseManifest.h"

namespace setup {

TExitCode ExitCodeFor(TInstallStep step, const std::exception& failure) {
    if (dynamic_cast<const EReleaseRefused*>(&failure)) return TExitCode::ReleaseRefused;
    // No room for an archive is found before it is downloaded, and belongs
    // with the unpack's failures all the same.
    if (dynamic_cast<const ENotEnoughRoom*>(&failure)) return TExitCode::UnpackFailed;
    switch (step) {
    case TInstallStep::Download:
        return TExitCode::DownloadFailed;
    case TInstallStep::Unpack:
        return TExitCode::UnpackFailed;
    case TInstallStep::Settings:
        return TExitCode::SettingsFailed;
    }
    return TExitCode::DownloadFailed;
}

} // namespace setup
