#include "setup/ExitCodes.h"

#include "setup/release/ReleaseManifest.h"

namespace setup {

TExitCode ExitCodeFor(TInstallStep step, const std::exception& failure) {
    if (dynamic_cast<const EReleaseRefused*>(&failure)) return TExitCode::ReleaseRefused;
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
