#pragma once
// Error texts and classes of the decoders that run over the three compression
// libraries (bzip2, LZMA, WavPack). Each text is written once, here.
#include <string>

#include "archive/ArcErrors.h"

namespace arc {

inline constexpr const char* kArcMsgBZCompression = "error %d";
inline constexpr const char* kArcMsgLZMAUnknown = "Unknown LZMA error (%d)";
inline constexpr const char* kArcMsgWavPackPrefix = "WavPack decompression failed: ";
// Our own causes after the prefix, where the library gives no message.
inline constexpr const char* kArcMsgWavPackDamaged = "blocks of the audio data are damaged";
inline constexpr const char* kArcMsgWavPackShort = "the audio data ends early";

// The results of an LZMA decoder, with the numbers the ZIP world knows them
// by (the LZMA SDK's SZ_ERROR_* codes); liblzma's own results are mapped onto
// them in LzmaDecoder.cpp.
enum TArcLZMAResult : int {
    lzmaData = 1,
    lzmaMemory = 2,
    lzmaCrc = 3,
    lzmaUnsupported = 4,
    lzmaParameter = 5,
    lzmaInputEof = 6,
    lzmaOutputEof = 7,
    lzmaRead = 8,
    lzmaWrite = 9,
    lzmaProgress = 10,
    lzmaFail = 11,
    lzmaThread = 12,
    lzmaArchive = 16,
    lzmaNoArchive = 17,
};

struct TArcLZMAResultText {
    int Result;
    const char* Text;
};
inline constexpr TArcLZMAResultText kArcLZMAResultTexts[] = {
    {lzmaData, "LZMA Data Error."},
    {lzmaMemory, "LZMA Memory Error."},
    {lzmaCrc, "LZMA CRC Error."},
    {lzmaUnsupported, "LZMA \"Unsupported\" Error."},
    {lzmaParameter, "LZMA Parameter Error."},
    {lzmaInputEof, "LZMA Input EOF Error."},
    {lzmaOutputEof, "LZMA Output EOF Error."},
    {lzmaRead, "LZMA Read Error."},
    {lzmaWrite, "LZMA Write Error."},
    {lzmaProgress, "LZMA Progress Error."},
    {lzmaFail, "LZMA \"Fail\" Error."},
    {lzmaThread, "LZMA Thread Error."},
    {lzmaArchive, "LZMA Archive Error."},
    {lzmaNoArchive, "LZMA \"No Archive\" Error."},
};

// The text of an LZMA result; an unlisted one gives "Unknown LZMA error (%d)".
std::string LZMAResultText(int result);

// bzip2: the library's negative results (BZ_DATA_ERROR and the like).
class EBZip2Error : public rtl::Exception {
    using rtl::Exception::Exception;
};
class EBZCompressionError : public EBZip2Error {
  public:
    explicit EBZCompressionError(int result);
    int Result;
};

// LZMA: a decoder result other than success.
class EArcLZMAException : public EArcException {
  public:
    explicit EArcLZMAException(int result)
        : EArcException(LZMAResultText(result)), Result(result) {}
    int Result;
};

// WavPack: the file does not open or its audio does not unpack.
class EArcWavPackError : public EArcException {
  public:
    explicit EArcWavPackError(const std::string& cause)
        : EArcException(std::string(kArcMsgWavPackPrefix) + cause) {}
};

} // namespace arc
