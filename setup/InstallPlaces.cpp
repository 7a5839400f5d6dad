#include "setup/InstallPlaces.h"

#include "runtime/Exception.h"
#include "runtime/Format.h"

namespace setup {

std::string TargetFolder(char driveLetter) {
    return std::string(1, driveLetter) + ":\\" + STargetFolderName + "\\";
}

std::string LanguageCode(const TLanguageChoice& choice) {
    if (choice.Nederlands) return "NLB";
    if (choice.Frans) return "FRB";
    if (choice.Engels) return "UKB";
    if (choice.Italiaans) return "IT";
    if (choice.Spaans) return "ES";
    return "GEB";
}

std::string LinkFileFor(const std::string& desktopFolder) {
    std::string folder = desktopFolder;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder + SLinkFileName;
}

int ProxyPortFrom(int64_t typed) {
    if (typed < 0 || typed > 65535)
        throw rtl::Exception(translator::ComposeMessage(SInvalidProxyPort, {rtl::IntToStr(typed)}));
    return static_cast<int>(typed);
}

} // namespace setup
