// The range decoder and the symbol decoder of PPMd variant I, and the entry
// decoder for ZIP method 98.
#include "archive/ppmd/PpmdDecoder.h"

#include <cstring>

#include "archive/ppmd/PpmdErrors.h"
#include "runtime/Bytes.h"
#include "archive/ppmd/PpmdModel.h"

namespace arc {

namespace {

// The range decoder keeps at least 2^24 of range, and never less than 2^15
// once the low end's carry is cut off.
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBottom = 1u << 15;
constexpr uint32_t kBinScale = 1u << 14;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
// Initial escape estimates for a binary context that escapes, by its
// probability's top four bits.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr size_t kBlockSize = 4096;
constexpr unsigned kMaxFreq = 124;

} // namespace

void TArcPpmdModel::Start(rtl::TStream& aSource, unsigned aMaxOrder, unsigned aRestoration) {
    BuildTables();
    FSource = &aSource;
    FInPos = FInEnd = FInBuf;
    FOverrun = 0;
    FMaxOrder = aMaxOrder;
    FRestoration = aRestoration;
    FRestorations = 0;
    FInitEsc = 0;
    RestartModel();
    FLow = 0;
    FRange = 0xFFFFFFFFu;
    FCode = 0;
    for (int i = 0; i < 4; ++i)
        FCode = FCode << 8 | NextByte();
}

uint8_t TArcPpmdModel::RefillByte() {
    size_t got = FOverrun == 0 ? FSource->Read(FInBuf, sizeof FInBuf) : 0;
    if (got == 0) {
        FOverrun = 1;
        return 0;
    }
    FInPos = FInBuf + 1;
    FInEnd = FInBuf + got;
    return FInBuf[0];
}

void TArcPpmdModel::NormalizeSlow() {
    for (;;) {
        if ((FLow ^ (FLow + FRange)) >= kTop) {
            if (FRange >= kBottom) return;
            FRange = (0 - FLow) & (kBottom - 1);
        }
        FCode = FCode << 8 | NextByte();
        FRange <<= 8;
        FLow <<= 8;
    }
}

// ---- the model's updates on the way of every symbol; the rarer ones that
// grow the model are in PpmdModel.cpp.

void TArcPpmdModel::NextContext() {
    uint32_t successor = SuccessorOf(FFoundState);
    if (FOrderFall == 0 && successor >= OffsetOf(FUnitsStart)) {
        FMaxContext = FMinContext = ContextAt(successor);
    } else {
        UpdateModel();
    }
}

// The first symbol of the current context was decoded.
void TArcPpmdModel::UpdateFirst() {
    TState* s = FFoundState;
    TContext* mc = FMinContext;
    FPrevSuccess = 2u * s->Freq >= mc->SummFreq;
    FRunLength += static_cast<int32_t>(FPrevSuccess);
    mc->SummFreq = static_cast<uint16_t>(mc->SummFreq + 4);
    unsigned freq = s->Freq + 4u;
    s->Freq = static_cast<uint8_t>(freq);
    if (freq > kMaxFreq) Rescale();
    NextContext();
}

// Another symbol of the current context was decoded: it moves up one place
// when it overtakes its neighbour.
void TArcPpmdModel::UpdateOther() {
    TState* s = FFoundState;
    unsigned freq = s->Freq + 4u;
    FMinContext->SummFreq = static_cast<uint16_t>(FMinContext->SummFreq + 4);
    s->Freq = static_cast<uint8_t>(freq);
    if (freq > s[-1].Freq) {
        TState kept = s[0];
        s[0] = s[-1];
        s[-1] = kept;
        FFoundState = --s;
        if (freq > kMaxFreq) Rescale();
    }
    NextContext();
}

// A symbol was decoded after one or more escapes.
void TArcPpmdModel::UpdateAfterEscape() {
    TState* s = FFoundState;
    unsigned freq = s->Freq + 4u;
    FRunLength = FInitRunLength;
    FMinContext->SummFreq = static_cast<uint16_t>(FMinContext->SummFreq + 4);
    s->Freq = static_cast<uint8_t>(freq);
    if (freq > kMaxFreq) Rescale();
    UpdateModel();
}

TArcPpmdModel::TSeeCell* TArcPpmdModel::EscapeEstimator(unsigned aMasked, uint32_t& aEscFreq) {
    const TContext* mc = FMinContext;
    const unsigned numStats = mc->NumStats;
    if (numStats == 255) {
        aEscFreq = 1;
        return &FDummySee;
    }
    TSeeCell* see = &FSee[FStatsIndex[numStats + 2] - 3]
                         [(mc->SummFreq > 11 * (numStats + 1)) +
                          2 * (2 * numStats < SuffixOf(mc)->NumStats + aMasked) + mc->Flags];
    const unsigned summ = see->Summ;
    const unsigned r = summ >> see->Shift;
    see->Summ = static_cast<uint16_t>(summ - r);
    aEscFreq = r + (r == 0);
    return see;
}

uint16_t& TArcPpmdModel::BinaryProbability(TContext* aCtx) {
    const TState* only = OnlyState(aCtx);
    const unsigned column = FPrevSuccess + ((static_cast<uint32_t>(FRunLength) >> 26) & 0x20) +
                            FBinSuffixIndex[SuffixOf(aCtx)->NumStats] + aCtx->Flags;
    return FBinSumm[FStatsIndex[static_cast<uint8_t>(only->Freq - 1)]][column];
}

// ---- symbols

// The loads of the model's memory are mostly cache misses, one depending on
// the other (context, then its symbols, then the next context), so each
// address is asked for as soon as it is known: the likely next context, the
// suffix an escape goes to, and the symbols there that an escape or the
// model's update reads next.
int TArcPpmdModel::DecodeSymbol() {
    TContext* mc = FMinContext;
    if (mc->NumStats != 0) {
        TState* s = StatesOf(mc);
        Prefetch(mc->Suffix);
        Prefetch(SuccessorOf(s));
        uint32_t total = mc->SummFreq;
        if (total > FRange) total = FRange;
        const uint32_t count = Threshold(total);
        uint32_t high = s->Freq;
        if (count < high) {
            Consume(0, s->Freq);
            Normalize();
            FFoundState = s;
            const int symbol = s->Symbol;
            UpdateFirst();
            return symbol;
        }
        FPrevSuccess = 0;
        for (unsigned i = mc->NumStats; i != 0; --i) {
            ++s;
            const uint32_t low = high;
            high += s->Freq;
            if (count < high) {
                Prefetch(SuccessorOf(s));
                Consume(low, s->Freq);
                Normalize();
                FFoundState = s;
                const int symbol = s->Symbol;
                UpdateOther();
                return symbol;
            }
        }
        if (count >= total) return kBadData;
        Prefetch(SuffixOf(mc)->Stats);
        Consume(high, total - high);
        std::memset(FMask, 0xFF, sizeof FMask);
        for (TState* t = StatesOf(mc); t <= s; ++t)
            FMask[t->Symbol] = 0;
    } else {
        TState* s = OnlyState(mc);
        Prefetch(SuccessorOf(s));
        uint16_t& probability = BinaryProbability(mc);
        // An escape walks past binary suffixes to the first with a list.
        const TContext* suffix = SuffixOf(mc);
        Prefetch(suffix->NumStats != 0 ? suffix->Stats : suffix->Suffix);
        uint32_t p = probability;
        const uint32_t bound = (FRange >> 14) * p;
        p -= (p + (1u << (kPeriodBits - 2))) >> kPeriodBits;
        if (FCode < bound) {
            probability = static_cast<uint16_t>(p + (1u << kIntBits));
            FRange = bound;
            Normalize();
            FFoundState = s;
            FPrevSuccess = 1;
            ++FRunLength;
            const int symbol = s->Symbol;
            s->Freq = static_cast<uint8_t>(s->Freq + (s->Freq < 196));
            NextContext();
            return symbol;
        }
        probability = static_cast<uint16_t>(p);
        FInitEsc = kExpEscape[(p >> 10) & 15];
        FLow += bound;
        FCode -= bound;
        FRange = (FRange & ~(kBinScale - 1)) - bound;
        std::memset(FMask, 0xFF, sizeof FMask);
        FMask[s->Symbol] = 0;
        FPrevSuccess = 0;
    }
    return DecodeWithEscapes();
}

// After an escape: each shorter context that knows more symbols than the one
// escaped from codes one of its unmasked symbols or escapes again. Escaping
// from the order-0 context is the end mark.
int TArcPpmdModel::DecodeWithEscapes() {
    for (;;) {
        Normalize();
        TContext* mc = FMinContext;
        const unsigned masked = mc->NumStats;
        unsigned steps = 0;
        do {
            ++FOrderFall;
            if (mc->Suffix == 0) return kEndMark;
            mc = SuffixOf(mc);
            // Only a broken model has more suffixes than orders.
            if (++steps > 255) Broken();
        } while (mc->NumStats == masked);
        FMinContext = mc;
        Prefetch(mc->Suffix);

        TState* const stats = StatesOf(mc);
        TState* const end = stats + mc->NumStats + 1;
        uint32_t unmasked = 0;
        for (TState* s = stats; s != end; ++s)
            unmasked += s->Freq & FMask[s->Symbol];

        // The model's update looks the symbol up in the suffix next.
        Prefetch(SuffixOf(mc)->Stats);
        uint32_t escFreq;
        TSeeCell* see = EscapeEstimator(masked, escFreq);
        const uint32_t sum = escFreq + unmasked;
        const uint32_t total = sum > FRange ? FRange : sum;
        const uint32_t count = Threshold(total);
        if (count < unmasked) {
            uint32_t high = 0;
            TState* s = stats;
            for (;; ++s) {
                high += s->Freq & FMask[s->Symbol];
                if (count < high) break;
            }
            Consume(high - s->Freq, s->Freq);
            Normalize();
            if (see->Shift < kPeriodBits && --see->Count == 0) {
                see->Summ = static_cast<uint16_t>(see->Summ << 1);
                see->Count = static_cast<uint8_t>(3u << see->Shift++);
            }
            FFoundState = s;
            const int symbol = s->Symbol;
            UpdateAfterEscape();
            return symbol;
        }
        if (count >= total) return kBadData;
        Consume(unmasked, total - unmasked);
        see->Summ = static_cast<uint16_t>(see->Summ + sum);
        for (TState* s = stats; s != end; ++s)
            FMask[s->Symbol] = 0;
    }
}

void DecodePpmdEntry(rtl::TStream& aSource, rtl::TStream& aOut) {
    uint8_t header[2];
    size_t got = 0;
    while (got < sizeof header) {
        size_t n = aSource.Read(header + got, sizeof header - got);
        if (n == 0) throw EArcZipPpmdData(kArcMsgPpmdTruncatedRes);
        got += n;
    }
    const unsigned word = rtl::LoadLE16(header);
    const unsigned order = (word & 0x0F) + 1;
    const uint32_t memory = (((word >> 4) & 0xFF) + 1) << 20;
    const unsigned restoration = word >> 12;
    if (order < TArcPpmdModel::kMinOrder) throw EArcZipPpmdData(kArcMsgPpmdOrderRes);
    if (restoration > TArcPpmdModel::rmCutOff) throw EArcZipPpmdData(kArcMsgPpmdRestorationRes);

    auto model = std::make_unique<TArcPpmdModel>();
    if (!model->Allocate(memory)) throw EArcZipPpmdData(kArcMsgPpmdMemoryRes);
    model->Start(aSource, order, restoration);

    uint8_t block[kBlockSize];
    size_t filled = 0;
    int symbol;
    while ((symbol = model->DecodeSymbol()) >= 0) {
        if (model->InputOverrun()) break;
        block[filled++] = static_cast<uint8_t>(symbol);
        if (filled == kBlockSize) {
            aOut.WriteBuffer(block, filled);
            filled = 0;
        }
    }
    if (model->InputOverrun()) throw EArcZipPpmdData(kArcMsgPpmdTruncatedRes);
    // The encoder's flush leaves the code value at zero after the end mark.
    if (symbol == TArcPpmdModel::kBadData || !model->FinishedCleanly())
        throw EArcZipPpmdData(kArcMsgPpmdCorruptRes);
    if (filled != 0) aOut.WriteBuffer(block, filled);
}

} // namespace arc
