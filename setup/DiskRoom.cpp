#include "setup/DiskRoom.h"

#include "platform/Files.h"
#include "runtime/Format.h"

namespace setup {

namespace {
constexpr int64_t kMB = 1024 * 1024;
}

std::string DriveName(const std::string& folder) {
    if (folder.size() >= 2 && folder[1] == ':') return folder.substr(0, 2);
    return folder;
}

bool SystemFreeSpace(const std::string& folder, int64_t& bytes) {
    int error = 0;
    return platform::DiskFreeSpace(folder, bytes, error);
}

void CheckRoom(const std::string& folder, int64_t needed, const TNumberStyle& style,
               const TFreeSpace& freeSpace) {
    int64_t free = 0;
    if (needed <= 0 || !freeSpace || !freeSpace(folder, free) || needed <= free) return;
    const auto neededMB = static_cast<uint64_t>((needed + kMB - 1) / kMB);
    const auto freeMB = static_cast<uint64_t>(std::max<int64_t>(free, 0) / kMB);
    throw ENotEnoughRoom(rtl::Compose([&] {
        // In English the numbers are written as English writes them.
        const TNumberStyle& marks =
            rtl::ComposingInEnglish() ? NumberStyleForLanguage("en") : style;
        return rtl::Format(
            translator::gettext(SNotEnoughRoom),
            {DriveName(folder), FormatCount(neededMB, marks), FormatCount(freeMB, marks)});
    }));
}

int64_t UnpackedSize(arc::TArcUnZipper& unzipper) {
    int64_t total = 0;
    for (int i = 0; i < unzipper.Count(); ++i)
        total += std::max<int64_t>(unzipper.Items(i).UncompressedSize(), 0);
    return total;
}

} // namespace setup
