#pragma once
// Whether what the run is about to write fits on the target drive, said
// before the user waits for a download or an unpack that would fail at its
// end.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/UnZipper.h"
#include "runtime/Exception.h"
#include "setup/QuantityText.h"
#include "translation/Translator.h"

namespace setup {

inline constexpr const char* SNotEnoughRoom =
    // TRANSLATORS: the drive (C:), the megabytes needed and the megabytes free on it
    translator::gettext_noop("Er is niet genoeg ruimte op schijf %s (%s MB nodig, %s MB vrij).");

// Not enough room on the target drive; nothing was written.
class ENotEnoughRoom : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

// The drive a folder is on as the user names it: "C:" for
// "C:\TORVELINNEW\"; a folder without a drive letter names itself.
std::string DriveName(const std::string& folder);

// The free bytes on the volume of a folder; false when the system cannot
// tell.
using TFreeSpace = std::function<bool(const std::string& folder, int64_t& bytes)>;
bool SystemFreeSpace(const std::string& folder, int64_t& bytes);

// Raises ENotEnoughRoom naming the drive, the megabytes needed (rounded up)
// and free (rounded down) when needed bytes do not fit in what is free. A
// volume that cannot tell its free space passes: the write itself then says
// what is wrong.
void CheckRoom(const std::string& folder, int64_t needed, const TNumberStyle& style,
               const TFreeSpace& freeSpace = SystemFreeSpace);

// The bytes the entries of an open archive take once unpacked.
int64_t UnpackedSize(arc::TArcUnZipper& unzipper);

} // namespace setup
