#pragma once
// Error classes of the decoders that run over the three compression
// libraries (bzip2, LZMA, WavPack); their texts are in CodecTexts.def.
#include <string>

#include "archive/ArcErrors.h"
#include "archive/codecs/CodecTexts.h"

namespace arc {

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
    const rtl::TResStringRec* Text;
};
inline constexpr TArcLZMAResultText kArcLZMAResultTexts[] = {
    {lzmaData, &kArcMsgLZMADataRes},
    {lzmaMemory, &kArcMsgLZMAMemoryRes},
    {lzmaCrc, &kArcMsgLZMACrcRes},
    {lzmaUnsupported, &kArcMsgLZMAUnsupportedRes},
    {lzmaParameter, &kArcMsgLZMAParameterRes},
    {lzmaInputEof, &kArcMsgLZMAInputEofRes},
    {lzmaOutputEof, &kArcMsgLZMAOutputEofRes},
    {lzmaRead, &kArcMsgLZMAReadRes},
    {lzmaWrite, &kArcMsgLZMAWriteRes},
    {lzmaProgress, &kArcMsgLZMAProgressRes},
    {lzmaFail, &kArcMsgLZMAFailRes},
    {lzmaThread, &kArcMsgLZMAThreadRes},
    {lzmaArchive, &kArcMsgLZMAArchiveRes},
    {lzmaNoArchive, &kArcMsgLZMANoArchiveRes},
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
        : EArcException(rtl::Compose([result] { return LZMAResultText(result); })), Result(result) {
    }
    int Result;
};

// WavPack: the file does not open or its audio does not unpack.
class EArcWavPackError : public EArcException {
  public:
    explicit EArcWavPackError(const rtl::TText& cause)
        : EArcException(rtl::Compose([&cause] {
              return CodecTexts.Format(kArcMsgWavPackFailedRes, {rtl::NestedText(cause)});
          })) {}
};

} // namespace arc
