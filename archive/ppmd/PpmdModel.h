#pragma once
// The context model of PPMd variant I, revision 1 (ZIP method 98, APPNOTE
// 5.10), with its range decoder.
//
// All of the model lives in one block of memory of the size the entry's
// header asks for, allocated once. The block is cut into two areas that grow
// towards each other: the text area at the bottom keeps the recent symbols
// (contexts not yet built point into it), and the units area above it holds
// contexts and symbol lists in 12-byte units, handed out by a small
// sub-allocator with free lists for 38 block sizes. Inside the block every
// link is a 32-bit offset from its start; offset 0 is "none".
//
// When the block is full the model is restored: restarted from scratch
// (restoration method 0), or cut down to the contexts still in use
// (method 1). Which one was used changes every byte that follows, so both
// follow the encoder exactly.
//
// Bad data only chooses among the paths the encoder could have taken, so the
// model stays sound; the few places where the model's own numbers are trusted
// (symbol searches, successor chains, free-block walks) are bounded anyway and
// raise EArcZipPpmdData instead of leaving the block or looping.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "runtime/Streams.h"

namespace arc {

class TArcPpmdModel {
  public:
    static constexpr unsigned kMinOrder = 2;
    static constexpr unsigned kMaxOrder = 16;
    enum TRestoration : unsigned { rmRestart = 0, rmCutOff = 1 };
    // Results of DecodeSymbol besides the bytes 0 to 255.
    static constexpr int kEndMark = -1;
    static constexpr int kBadData = -2;

    TArcPpmdModel() = default;
    ~TArcPpmdModel();
    TArcPpmdModel(const TArcPpmdModel&) = delete;
    TArcPpmdModel& operator=(const TArcPpmdModel&) = delete;

    // Allocates the model's block (once: a second call with the same size
    // keeps it); false when the machine cannot give it. aSize: a multiple of
    // 4 of at least 16 KiB (entries always ask for whole MiB; the fuzz target
    // asks for less, so that the model fills up sooner).
    bool Allocate(uint32_t aSize);
    // Starts a fresh model and range decoder over aSource (which must stay
    // alive while decoding). Needs Allocate first.
    void Start(rtl::TStream& aSource, unsigned aMaxOrder, unsigned aRestoration);
    // The next byte, kEndMark, or kBadData.
    int DecodeSymbol();
    // True when the range decoder had to read past the end of the input.
    bool InputOverrun() const { return FOverrun != 0; }
    // True when the code value is zero, as the encoder leaves it after the end mark.
    bool FinishedCleanly() const { return FCode == 0; }
    // How often memory ran out and the model was restarted or cut down.
    unsigned Restorations() const { return FRestorations; }

  private:
    // A symbol of a context: 6 bytes, two to a unit. The successor (the
    // context one order up, or a position in the text area) is kept as two
    // 16-bit halves because states are only 2-byte aligned.
    struct TState {
        uint8_t Symbol;
        uint8_t Freq;
        uint16_t SuccessorLow;
        uint16_t SuccessorHigh;
    };
    // A context: one unit. NumStats is the symbol count minus one. A context
    // with one symbol keeps that symbol's state in place of SummFreq and
    // Stats (bytes 2 to 7), so OnlyState points at SummFreq.
    struct TContext {
        uint8_t NumStats;
        uint8_t Flags;
        uint16_t SummFreq;
        uint32_t Stats;
        uint32_t Suffix;
    };
    // A free block of the sub-allocator, written over its first unit.
    struct TFreeBlock {
        uint32_t Stamp; // kFreeStamp while free
        uint32_t Next;
        uint32_t Units;
    };
    // An adaptive escape estimator (secondary escape estimation).
    struct TSeeCell {
        uint16_t Summ;
        uint8_t Shift;
        uint8_t Count;
    };

    // ---- block access
    uint8_t* At(uint32_t aOffset) const { return FBase + aOffset; }
    uint32_t OffsetOf(const void* aPtr) const {
        return static_cast<uint32_t>(static_cast<const uint8_t*>(aPtr) - FBase);
    }
    TContext* ContextAt(uint32_t aOffset) const { return reinterpret_cast<TContext*>(At(aOffset)); }
    TState* StatesOf(const TContext* aCtx) const;
    static TState* OnlyState(TContext* aCtx);
    static uint32_t SuccessorOf(const TState* aState);
    static void SetSuccessor(TState* aState, uint32_t aOffset);
    TContext* SuffixOf(const TContext* aCtx) const;
    // Asks for the cache line at aOffset ahead of its use. The offset may
    // come from a field that is not a link (a binary context's Stats) and
    // lie outside the block: a prefetch is only a hint and never faults.
    void Prefetch(uint32_t aOffset) const {
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(FBase) + aOffset));
    }
    [[noreturn]] static void Broken();

    // ---- sub-allocator (PpmdMemory.cpp)
    static uint32_t UnitBytes(unsigned aUnits) { return aUnits * 12u; }
    unsigned UnitsOfIndex(unsigned aIndex) const { return FUnitsOfIndex[aIndex]; }
    unsigned IndexOfUnits(unsigned aUnits) const { return FIndexOfUnits[aUnits - 1]; }
    void PushFree(void* aBlock, unsigned aIndex);
    void* PopFree(unsigned aIndex);
    void SplitBlock(void* aBlock, unsigned aOldIndex, unsigned aNewIndex);
    void GlueFreeBlocks();
    void* AllocUnitsRare(unsigned aIndex);
    void* AllocUnits(unsigned aIndex);
    void* AllocContext();
    void* ShrinkUnits(void* aBlock, unsigned aOldUnits, unsigned aNewUnits);
    void FreeUnits(void* aBlock, unsigned aUnits) { PushFree(aBlock, IndexOfUnits(aUnits)); }
    void FreeFirstUnit(void* aBlock);
    void ExpandTextArea();
    uint32_t UsedMemory() const;

    // ---- model (PpmdModel.cpp)
    void BuildTables();
    void RestartModel();
    void UpdateModel();
    TContext* CreateSuccessors(bool aSkip, TState* aSuffixState, TContext* aCtx);
    TContext* ReduceOrder(TState* aSuffixState, TContext* aCtx);
    void RestoreModel(TContext* aFailed);
    uint32_t CutOff(TContext* aCtx, unsigned aOrder);
    void Refresh(TContext* aCtx, unsigned aOldUnits, unsigned aScale);
    void Rescale();
    void NextContext();
    void UpdateFirst();
    void UpdateOther();
    void UpdateAfterEscape();
    TSeeCell* EscapeEstimator(unsigned aMasked, uint32_t& aEscFreq);
    uint16_t& BinaryProbability(TContext* aCtx);
    TState* FindSymbol(TContext* aCtx, uint8_t aSymbol) const;

    // ---- range decoder (PpmdDecoder.cpp)
    uint8_t NextByte() {
        if (FInPos != FInEnd) return *FInPos++;
        return RefillByte();
    }
    uint8_t RefillByte();
    // Most calls find the range wide enough and return at once.
    void Normalize() {
        if ((FLow ^ (FLow + FRange)) >= (1u << 24) && FRange >= (1u << 15)) return;
        NormalizeSlow();
    }
    void NormalizeSlow();
    uint32_t Threshold(uint32_t aTotal) {
        FRange /= aTotal;
        return FCode / FRange;
    }
    void Consume(uint32_t aStart, uint32_t aSize) {
        FCode -= aStart * FRange;
        FLow += aStart * FRange;
        FRange *= aSize;
    }
    int DecodeWithEscapes();

    uint8_t* FBase = nullptr; // the model's block, from platform::AllocateLargeBlock
    uint32_t FSize = 0;
    uint8_t *FText = nullptr, *FUnitsStart = nullptr, *FLoUnit = nullptr, *FHiUnit = nullptr;
    uint32_t FFreeList[38] = {};
    uint32_t FFreeCount[38] = {};
    uint32_t FGlueCount = 0;

    TContext *FMinContext = nullptr, *FMaxContext = nullptr;
    TState* FFoundState = nullptr;
    unsigned FOrderFall = 0, FInitEsc = 0, FPrevSuccess = 0, FMaxOrder = 0, FRestoration = 0;
    int32_t FRunLength = 0, FInitRunLength = 0;
    unsigned FRestorations = 0;

    uint8_t FUnitsOfIndex[38] = {};
    uint8_t FIndexOfUnits[128] = {};
    uint8_t FBinSuffixIndex[256] = {};
    uint8_t FStatsIndex[260] = {};
    uint16_t FBinSumm[25][64] = {};
    TSeeCell FSee[24][32] = {};
    TSeeCell FDummySee = {};

    // During one symbol's escapes: 0 for the symbols already excluded, 0xFF
    // for the others, so that a frequency ANDed with it counts or not.
    uint8_t FMask[256] = {};

    rtl::TStream* FSource = nullptr;
    uint8_t FInBuf[4096];
    const uint8_t* FInPos = FInBuf;
    const uint8_t* FInEnd = FInBuf;
    uint32_t FOverrun = 0;
    uint32_t FRange = 0, FCode = 0, FLow = 0;
};

// ---- small accessors, shared by the model's source files

inline TArcPpmdModel::TState* TArcPpmdModel::StatesOf(const TContext* aCtx) const {
    return reinterpret_cast<TState*>(At(aCtx->Stats));
}
inline TArcPpmdModel::TState* TArcPpmdModel::OnlyState(TContext* aCtx) {
    return reinterpret_cast<TState*>(&aCtx->SummFreq);
}
inline uint32_t TArcPpmdModel::SuccessorOf(const TState* aState) {
    return aState->SuccessorLow | static_cast<uint32_t>(aState->SuccessorHigh) << 16;
}
inline void TArcPpmdModel::SetSuccessor(TState* aState, uint32_t aOffset) {
    aState->SuccessorLow = static_cast<uint16_t>(aOffset);
    aState->SuccessorHigh = static_cast<uint16_t>(aOffset >> 16);
}
inline TArcPpmdModel::TContext* TArcPpmdModel::SuffixOf(const TContext* aCtx) const {
    return ContextAt(aCtx->Suffix);
}

} // namespace arc
