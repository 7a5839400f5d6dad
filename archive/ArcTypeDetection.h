#pragma once
// What kind of archive a file is: by its extension, confirmed or corrected by
// the bytes it starts with.
#include <string>

#include "archive/ArcArchive.h"
#include "runtime/Streams.h"

namespace arc {

// Type detection.
TArcArchiveType GuessArchiveType(const std::string& fileName);
TArcArchiveType ProbeZipStream(rtl::TStream& stream);
TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream);

} // namespace arc
