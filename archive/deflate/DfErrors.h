#pragma once
// Cause texts of the inflate engine and the internal signals that end a run
// early. The causes travel in EArcInternalInflateError and reach the caller
// inside EArcInflateError's message.
#include "archive/ArcErrors.h"

namespace arc {

inline constexpr const char* kDfCauseInvalidBlockType =
    "starting new block, but invalid block type [Inflate]";
inline constexpr const char* kDfCauseStoredLength =
    "invalid stored block (length and NOT length do not match) [InflateStoredBlock]";
inline constexpr const char* kDfCauseTooManyLiteralCodes =
    "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]";
inline constexpr const char* kDfCauseTooManyDistanceCodes =
    "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]";
inline constexpr const char* kDfCauseCodeLengthSymbol =
    "decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}";
inline constexpr const char* kDfCauseCodeLengthRange =
    "decoded a code length out of range {ReadLitDistCodeLengths}";
inline constexpr const char* kDfCauseRepeatWithoutPrevious =
    "repeat of the previous code length, but there is no previous length {ReadLitDistCodeLengths}";
inline constexpr const char* kDfCauseRepeatPastEnd =
    "repeated code lengths run past the count of literal and distance codes "
    "{ReadLitDistCodeLengths}";
inline constexpr const char* kDfCauseInvalidLengthSymbol =
    "decoded an invalid length symbol: greater than 285 [DecodeData]";
inline constexpr const char* kDfCauseInvalidDistanceSymbol =
    "decoded an invalid distance symbol: greater than 29 [DecodeData]";
// Deflate64 knows 32 distance symbols; beyond them only an empty table slot.
inline constexpr const char* kDfCauseInvalidDistanceSymbol64 =
    "decoded an invalid distance symbol: greater than 31 [DecodeData]";
inline constexpr const char* kDfCauseDistanceTooFar =
    "distance reaches before the start of the output [DecodeData]";
inline constexpr const char* kDfCauseOverSubscribed =
    "code lengths over-subscribe the code space [TArcDfDecodeHuffmanTree.Build]";
inline constexpr const char* kDfCauseNoMoreDataDiscard =
    "no more compressed data in stream [TArcDfInBitStream.DiscardBits]";
inline constexpr const char* kDfCauseNoMoreDataReadBit =
    "no more compressed data in stream [TArcDfInBitStream.ReadBit]";
inline constexpr const char* kDfCauseNoMoreDataReadBits =
    "no more compressed data in stream [TArcDfInBitStream.ReadBits]";
inline constexpr const char* kDfCauseNoMoreDataReadBuffer =
    "no more compressed data in stream [TArcDfInBitStream.ReadBuffer]";
inline constexpr const char* kDfCauseReadBitsCount =
    "count of bits must be between 1 and 16 inclusive [TArcDfInBitStream.ReadBits]";
inline constexpr const char* kDfCauseDiscardBitsCount =
    "count of bits must be between 1 and 32 inclusive [TArcDfInBitStream.DiscardBits]";

// The output reached the caller's partial size: decoding ends without error.
class EArcPartSizedInflate : public rtl::Exception {
  public:
    EArcPartSizedInflate() : rtl::Exception("partial size reached") {}
};
// The progress hook asked to stop: decoding ends without error.
class EArcAbortProgress : public rtl::Exception {
  public:
    EArcAbortProgress() : rtl::Exception("aborted by progress hook") {}
};

[[noreturn]] inline void RaiseInflateCause(const char* cause) {
    throw EArcInternalInflateError(cause);
}

} // namespace arc
