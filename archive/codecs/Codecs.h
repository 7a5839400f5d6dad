#pragma once
// The ZIP methods that are decoded by libraries: 12 (bzip2, libbz2), 14
// (LZMA, liblzma) and 97 (WavPack, libwavpack). Each reads the entry's data
// from source and writes the original bytes to dest; none checks the result
// against the entry's CRC-32 (the caller's checked output stream does that,
// and refuses bytes beyond the declared size).
//
// What bad data does:
// - bzip2: a negative library result raises EBZCompressionError ("error %d");
//   a stream that ends before `size` bytes raises EReadError ("Stream read error").
// - LZMA: a header that ends early raises EReadError; a properties size other
//   than 5, or properties that liblzma refuses, raise EArcLZMAException
//   ("LZMA "Unsupported" Error."); data that liblzma rejects raises it with the
//   mapped result, input that ends early with "LZMA Input EOF Error.", and an
//   end marker before `size` bytes gives EReadError.
// - WavPack: a file that does not open, blocks that fail their checks and
//   audio that ends early raise EArcWavPackError ("WavPack decompression
//   failed: " and the cause).
#include <cstdint>

#include "runtime/Streams.h"

namespace arc {

// Copies exactly `size` bytes out of the bzip2 stream in source.
void DecodeBZip2(rtl::TStream& source, rtl::TStream& dest, int64_t size);

// The ZIP LZMA format (APPNOTE 5.8): a 4-byte header (2-byte version,
// 2-byte properties size), the 5 properties bytes (lc/lp/pb and the 32-bit
// dictionary size), then raw LZMA1 data, decoded to exactly `size` bytes,
// with or without an end marker.
void DecodeLZMA(rtl::TStream& source, rtl::TStream& dest, int64_t size);

// A WavPack file with its stored wrapper (the RIFF header and trailer of the
// original WAV file): writes the header, the samples in their stored width
// and the trailer, which together are the original file byte for byte.
void DecodeWavPack(rtl::TStream& source, rtl::TStream& dest);

} // namespace arc
