#pragma once
// ZIP method 98: PPMd variant I, revision 1 (APPNOTE 5.10).
//
// The entry's data starts with a 16-bit little-endian header: model order =
// bits 0-3 + 1, model memory = (bits 4-11 + 1) MiB, restoration method =
// bits 12-15 (0 restart, 1 cut-off). The range-coded symbols follow, up to an
// end mark. The uncompressed size does not bound the decoder; the caller's
// output stream does.
//
// What fails, always with EArcZipPpmdData: a header with order 1 or an
// undefined restoration method, model memory the machine cannot give (at most
// 256 MiB are ever asked for), a stream that ends before its end mark, and
// data that does not decode (a code beyond its context's total, or a code
// value left other than zero after the end mark).
#include "runtime/Streams.h"

namespace arc {

// Decodes one entry's data from aSource into aOut in blocks of 4,096 bytes.
void DecodePpmdEntry(rtl::TStream& aSource, rtl::TStream& aOut);

} // namespace arc
