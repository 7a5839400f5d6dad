// How the PPMd variant I model learns: frequency updates after each symbol,
// new contexts and symbols, rescaling, and the two ways of restoring the
// model when its memory runs out.
#include <cstring>

#include "archive/ppmd/PpmdErrors.h"
#include "archive/ppmd/PpmdModel.h"

namespace arc {

namespace {

constexpr unsigned kMaxFreq = 124;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << 14;
constexpr uint8_t kFlagRescaled = 0x04;   // the context was rescaled
constexpr uint8_t kFlagHighSymbol = 0x08; // a symbol of the context is 0x40 or above
constexpr uint8_t kFlagPrevHigh = 0x10;   // the symbol that led here is 0x40 or above
// Successor chains beyond this order are cut by CutOff.
constexpr unsigned kCutOffKeepOrder = 9;
// No chain of suffixes is longer than the model order (at most 16) allows;
// walks along one stop here at the latest.
constexpr unsigned kChainLimit = 255;

// The initial binary-context escape estimates, by the low three bits of the
// probability's column.
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};

uint8_t HighFlag(unsigned aSymbol) {
    return aSymbol >= 0x40 ? kFlagHighSymbol : 0;
}
uint8_t PrevHighFlag(unsigned aSymbol) {
    return aSymbol >= 0x40 ? kFlagPrevHigh : 0;
}

} // namespace

void TArcPpmdModel::BuildTables() {
    // Size classes: 1, 2, 3, 4 units, then steps of 2 up to 12, steps of 3 up
    // to 24, and steps of 4 up to 128.
    unsigned units = 0;
    for (unsigned i = 0; i < 38; ++i) {
        unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
        for (unsigned k = 0; k < step; ++k)
            FIndexOfUnits[units++] = static_cast<uint8_t>(i);
        FUnitsOfIndex[i] = static_cast<uint8_t>(units);
    }
    // Binary contexts are told apart by the size of their suffix.
    FBinSuffixIndex[0] = 0;
    FBinSuffixIndex[1] = 2;
    std::memset(FBinSuffixIndex + 2, 4, 9);
    std::memset(FBinSuffixIndex + 11, 6, 256 - 11);
    // Symbol counts (and binary frequencies) in buckets that widen by one.
    for (unsigned i = 0; i < 5; ++i)
        FStatsIndex[i] = static_cast<uint8_t>(i);
    unsigned bucket = 5, left = 1;
    for (unsigned i = 5; i < 260; ++i) {
        FStatsIndex[i] = static_cast<uint8_t>(bucket);
        if (--left == 0) left = ++bucket - 4;
    }
}

void TArcPpmdModel::RestartModel() {
    std::memset(FFreeList, 0, sizeof FFreeList);
    std::memset(FFreeCount, 0, sizeof FFreeCount);
    FText = At(0);
    FHiUnit = FText + FSize;
    FLoUnit = FUnitsStart = FHiUnit - FSize / 8 / 12 * 7 * 12;
    FGlueCount = 0;

    FOrderFall = FMaxOrder;
    FRunLength = FInitRunLength = -static_cast<int32_t>(FMaxOrder < 12 ? FMaxOrder : 12) - 1;
    FPrevSuccess = 0;

    // The order-0 context knows every byte once.
    FHiUnit -= UnitBytes(1);
    auto* root = reinterpret_cast<TContext*>(FHiUnit);
    auto* states = reinterpret_cast<TState*>(FLoUnit);
    FLoUnit += UnitBytes(256 / 2);
    FMaxContext = FMinContext = root;
    FFoundState = states;
    root->Flags = 0;
    root->NumStats = 255;
    root->SummFreq = 256 + 1;
    root->Stats = OffsetOf(states);
    root->Suffix = 0;
    for (unsigned i = 0; i < 256; ++i) {
        states[i].Symbol = static_cast<uint8_t>(i);
        states[i].Freq = 1;
        SetSuccessor(&states[i], 0);
    }

    for (unsigned i = 0, row = 0; row < 25; ++row) {
        while (FStatsIndex[i] == row)
            ++i;
        for (unsigned k = 0; k < 8; ++k) {
            auto value = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
            for (unsigned column = k; column < 64; column += 8)
                FBinSumm[row][column] = value;
        }
    }
    for (unsigned i = 0, row = 0; row < 24; ++row) {
        while (FStatsIndex[i + 3] == row + 3)
            ++i;
        for (auto& cell : FSee[row])
            cell = {static_cast<uint16_t>((2 * i + 5) << (kPeriodBits - 4)),
                    static_cast<uint8_t>(kPeriodBits - 4), 7};
    }
    FDummySee = {0, static_cast<uint8_t>(kPeriodBits), 64};
}

TArcPpmdModel::TState* TArcPpmdModel::FindSymbol(TContext* aCtx, uint8_t aSymbol) const {
    TState* s = StatesOf(aCtx);
    for (unsigned left = aCtx->NumStats; s->Symbol != aSymbol; ++s)
        if (left-- == 0) Broken();
    return s;
}

// Scales the frequencies of a context whose symbols were removed down by
// 2^aScale, and recomputes its flags.
void TArcPpmdModel::Refresh(TContext* aCtx, unsigned aOldUnits, unsigned aScale) {
    unsigned count = aCtx->NumStats;
    auto* s = static_cast<TState*>(ShrinkUnits(StatesOf(aCtx), aOldUnits, (count + 2) >> 1));
    aCtx->Stats = OffsetOf(s);
    aScale |= aCtx->SummFreq >= 0x8000u;
    bool high = s->Symbol >= 0x40;
    uint32_t escFreq = aCtx->SummFreq - s->Freq;
    uint32_t sumFreq = (s->Freq + aScale) >> aScale;
    s->Freq = static_cast<uint8_t>(sumFreq);
    for (unsigned i = 0; i < count; ++i) {
        ++s;
        escFreq -= s->Freq;
        uint32_t freq = (s->Freq + aScale) >> aScale;
        sumFreq += freq;
        s->Freq = static_cast<uint8_t>(freq);
        high |= s->Symbol >= 0x40;
    }
    aCtx->SummFreq = static_cast<uint16_t>(sumFreq + ((escFreq + aScale) >> aScale));
    aCtx->Flags = static_cast<uint8_t>((aCtx->Flags & (kFlagPrevHigh + kFlagRescaled * aScale)) +
                                       (high ? kFlagHighSymbol : 0));
}

// Cut-off restoration, one context and (recursively) its successors: links
// into the text area are dropped, contexts above the model order are
// forgotten, and contexts left without successors are freed. Returns the
// context's offset, or 0 when it was freed.
uint32_t TArcPpmdModel::CutOff(TContext* aCtx, unsigned aOrder) {
    // The bottom of the units area moves while this runs, so it is read
    // afresh at every comparison.
    int ns = aCtx->NumStats;
    if (ns == 0) {
        TState* s = OnlyState(aCtx);
        uint32_t successor = SuccessorOf(s);
        if (successor >= OffsetOf(FUnitsStart)) {
            successor = aOrder < FMaxOrder ? CutOff(ContextAt(successor), aOrder + 1) : 0;
            SetSuccessor(s, successor);
            if (successor != 0 || aOrder <= kCutOffKeepOrder) return OffsetOf(aCtx);
        }
        FreeFirstUnit(aCtx);
        return 0;
    }

    // A symbol list close to the text area moves up to a free block, so
    // that ExpandTextArea can give its units to the text.
    unsigned units = (static_cast<unsigned>(ns) + 2) >> 1;
    unsigned index = IndexOfUnits(units);
    TState* stats = StatesOf(aCtx);
    if (aCtx->Stats - OffsetOf(FUnitsStart) <= (1u << 14) && aCtx->Stats <= FFreeList[index]) {
        void* moved = PopFree(index);
        aCtx->Stats = OffsetOf(moved);
        std::memcpy(moved, stats, UnitBytes(units));
        if (reinterpret_cast<uint8_t*>(stats) != FUnitsStart)
            PushFree(stats, index);
        else
            FUnitsStart += UnitBytes(UnitsOfIndex(index));
        stats = static_cast<TState*>(moved);
    }

    for (int i = ns; i >= 0; --i) {
        TState* s = stats + i;
        uint32_t successor = SuccessorOf(s);
        if (successor < OffsetOf(FUnitsStart)) {
            TState* last = stats + ns--;
            if (aOrder != 0) {
                if (s != last) *s = *last;
            } else {
                // The order-0 context keeps every symbol, without successor.
                TState kept = *s;
                *s = *last;
                *last = kept;
                SetSuccessor(last, 0);
            }
        } else {
            SetSuccessor(s, aOrder < FMaxOrder ? CutOff(ContextAt(successor), aOrder + 1) : 0);
        }
    }

    if (ns != aCtx->NumStats && aOrder != 0) {
        if (ns < 0) {
            FreeUnits(stats, units);
            FreeFirstUnit(aCtx);
            return 0;
        }
        aCtx->NumStats = static_cast<uint8_t>(ns);
        if (ns == 0) {
            aCtx->Flags =
                static_cast<uint8_t>((aCtx->Flags & kFlagPrevHigh) + HighFlag(stats->Symbol));
            TState* only = OnlyState(aCtx);
            only->Symbol = stats->Symbol;
            only->Freq = static_cast<uint8_t>((stats->Freq + 11u) >> 3);
            only->SuccessorLow = stats->SuccessorLow;
            only->SuccessorHigh = stats->SuccessorHigh;
            FreeUnits(stats, units);
        } else {
            Refresh(aCtx, units, aCtx->SummFreq > 16u * static_cast<unsigned>(ns));
        }
    }
    return OffsetOf(aCtx);
}

// Memory ran out while aFailed was being given the new symbol: the contexts
// above it lose the symbol they were just given, the others pay for the
// failed escape, and the model restarts or is cut down.
void TArcPpmdModel::RestoreModel(TContext* aFailed) {
    ++FRestorations;
    FText = At(0);
    TContext* c = FMaxContext;
    unsigned steps = 0;
    for (; c != aFailed; c = SuffixOf(c)) {
        if (++steps > kChainLimit) Broken();
        if (--c->NumStats == 0) {
            TState* s = StatesOf(c);
            c->Flags = static_cast<uint8_t>((c->Flags & kFlagPrevHigh) + HighFlag(s->Symbol));
            TState* only = OnlyState(c);
            only->Symbol = s->Symbol;
            only->Freq = static_cast<uint8_t>((s->Freq + 11u) >> 3);
            only->SuccessorLow = s->SuccessorLow;
            only->SuccessorHigh = s->SuccessorHigh;
            FreeFirstUnit(s);
        } else {
            Refresh(c, (c->NumStats + 3u) >> 1, 0);
        }
    }
    for (; c != FMinContext; c = SuffixOf(c)) {
        if (++steps > kChainLimit) Broken();
        if (c->NumStats == 0) {
            TState* only = OnlyState(c);
            only->Freq = static_cast<uint8_t>((only->Freq + 1u) >> 1);
        } else {
            c->SummFreq = static_cast<uint16_t>(c->SummFreq + 4);
            if (c->SummFreq > 128u + 4u * c->NumStats) Refresh(c, (c->NumStats + 2u) >> 1, 1);
        }
    }

    if (FRestoration == rmRestart || UsedMemory() < (FSize >> 1)) {
        RestartModel();
    } else {
        for (steps = 0; FMaxContext->Suffix != 0; FMaxContext = SuffixOf(FMaxContext))
            if (++steps > kChainLimit) Broken();
        // Each pass must free something, or the loop would not end.
        uint32_t used = UsedMemory();
        for (;;) {
            CutOff(FMaxContext, 0);
            ExpandTextArea();
            const uint32_t now = UsedMemory();
            if (now <= 3 * (FSize >> 2)) break;
            if (now >= used) Broken();
            used = now;
        }
        FGlueCount = 0;
        FOrderFall = FMaxOrder;
    }
    FMinContext = FMaxContext;
}

// Builds the chain of one-symbol contexts from aCtx up to the found state's
// successor in the text area. aSuffixState, when given, is the found symbol's
// state in aCtx's suffix. Returns the highest new context, or null when memory
// runs out.
TArcPpmdModel::TContext* TArcPpmdModel::CreateSuccessors(bool aSkip, TState* aSuffixState,
                                                         TContext* aCtx) {
    const uint32_t upBranch = SuccessorOf(FFoundState);
    // The symbol that followed there is needed after the walk below.
    Prefetch(upBranch);
    const uint8_t foundSymbol = FFoundState->Symbol;
    TState* pending[kMaxOrder + 1];
    unsigned count = 0;
    if (!aSkip) pending[count++] = FFoundState;
    TContext* c = aCtx;
    while (c->Suffix != 0) {
        c = SuffixOf(c);
        Prefetch(c->Suffix);
        TState* s;
        if (aSuffixState != nullptr) {
            s = aSuffixState;
            aSuffixState = nullptr;
        } else if (c->NumStats != 0) {
            s = FindSymbol(c, foundSymbol);
            if (s->Freq < kMaxFreq - 9) {
                ++s->Freq;
                ++c->SummFreq;
            }
        } else {
            s = OnlyState(c);
            s->Freq = static_cast<uint8_t>(s->Freq + (SuffixOf(c)->NumStats == 0 && s->Freq < 24));
        }
        uint32_t successor = SuccessorOf(s);
        if (successor != upBranch) {
            c = ContextAt(successor);
            if (count == 0) return c;
            break;
        }
        if (count > kMaxOrder) Broken();
        pending[count++] = s;
    }
    if (upBranch >= FSize) Broken();

    const uint8_t newSymbol = *At(upBranch);
    const uint8_t flags = static_cast<uint8_t>(PrevHighFlag(foundSymbol) + HighFlag(newSymbol));
    uint8_t newFreq;
    if (c->NumStats == 0) {
        newFreq = OnlyState(c)->Freq;
    } else {
        TState* s = FindSymbol(c, newSymbol);
        uint32_t cf = s->Freq - 1u;
        uint32_t s0 = static_cast<uint32_t>(c->SummFreq) - c->NumStats - cf;
        uint32_t extra;
        if (2 * cf <= s0)
            extra = 5 * cf > s0;
        else if (s0 == 0)
            Broken();
        else
            extra = (cf + 2 * s0 - 3) / s0;
        newFreq = static_cast<uint8_t>(1 + extra);
    }

    do {
        auto* created = static_cast<TContext*>(AllocContext());
        if (created == nullptr) return nullptr;
        created->Flags = flags;
        created->NumStats = 0;
        TState* only = OnlyState(created);
        only->Symbol = newSymbol;
        only->Freq = newFreq;
        SetSuccessor(only, upBranch + 1);
        created->Suffix = OffsetOf(c);
        SetSuccessor(pending[--count], OffsetOf(created));
        c = created;
    } while (count != 0);
    return c;
}

// The found state had no successor: point it and the suffixes' states at the
// text, then build the contexts from the first suffix state that had one.
TArcPpmdModel::TContext* TArcPpmdModel::ReduceOrder(TState* aSuffixState, TContext* aCtx) {
    TState* s = nullptr;
    TContext* const start = aCtx;
    TContext* c = aCtx;
    const uint32_t upBranch = OffsetOf(FText);
    const uint8_t foundSymbol = FFoundState->Symbol;
    SetSuccessor(FFoundState, upBranch);
    ++FOrderFall;
    for (unsigned steps = 0;; ++steps) {
        if (steps > kChainLimit) Broken();
        if (aSuffixState != nullptr) {
            c = SuffixOf(c);
            s = aSuffixState;
            aSuffixState = nullptr;
        } else {
            if (c->Suffix == 0) return c;
            c = SuffixOf(c);
            if (c->NumStats != 0) {
                s = FindSymbol(c, foundSymbol);
                if (s->Freq < kMaxFreq - 9) {
                    s->Freq = static_cast<uint8_t>(s->Freq + 2);
                    c->SummFreq = static_cast<uint16_t>(c->SummFreq + 2);
                }
            } else {
                s = OnlyState(c);
                s->Freq = static_cast<uint8_t>(s->Freq + (s->Freq < 32));
            }
        }
        if (SuccessorOf(s) != 0) break;
        SetSuccessor(s, upBranch);
        ++FOrderFall;
    }

    if (SuccessorOf(s) <= upBranch) {
        TState* found = FFoundState;
        FFoundState = s;
        TContext* created = CreateSuccessors(false, nullptr, c);
        SetSuccessor(s, created != nullptr ? OffsetOf(created) : 0);
        FFoundState = found;
    }
    uint32_t successor = SuccessorOf(s);
    if (FOrderFall == 1 && start == FMaxContext) {
        SetSuccessor(FFoundState, successor);
        --FText;
    }
    return successor != 0 ? ContextAt(successor) : nullptr;
}

void TArcPpmdModel::UpdateModel() {
    const uint8_t fSymbol = FFoundState->Symbol;
    const unsigned fFreq = FFoundState->Freq;
    uint32_t minSuccessor = SuccessorOf(FFoundState);

    // The found symbol gains in the suffix context too.
    TState* s = nullptr;
    if (fFreq < kMaxFreq / 4 && FMinContext->Suffix != 0) {
        TContext* c = SuffixOf(FMinContext);
        // Building the successors walks on to the next suffix.
        Prefetch(c->Suffix);
        if (c->NumStats == 0) {
            s = OnlyState(c);
            if (s->Freq < 32) ++s->Freq;
        } else {
            s = StatesOf(c);
            if (s->Symbol != fSymbol) {
                s = FindSymbol(c, fSymbol);
                if (s[0].Freq >= s[-1].Freq) {
                    TState kept = s[0];
                    s[0] = s[-1];
                    s[-1] = kept;
                    --s;
                }
            }
            if (s->Freq < kMaxFreq - 9) {
                s->Freq = static_cast<uint8_t>(s->Freq + 2);
                c->SummFreq = static_cast<uint16_t>(c->SummFreq + 2);
            }
        }
    }

    TContext* c = FMaxContext;
    if (FOrderFall == 0 && minSuccessor != 0) {
        TContext* created = CreateSuccessors(true, s, FMinContext);
        if (created == nullptr) {
            SetSuccessor(FFoundState, 0);
            RestoreModel(c);
            return;
        }
        SetSuccessor(FFoundState, OffsetOf(created));
        FMinContext = FMaxContext = created;
        return;
    }

    *FText++ = fSymbol;
    if (FText >= FUnitsStart) {
        RestoreModel(c);
        return;
    }
    uint32_t maxSuccessor = OffsetOf(FText);
    if (minSuccessor == 0) {
        TContext* reduced = ReduceOrder(s, FMinContext);
        if (reduced == nullptr) {
            RestoreModel(c);
            return;
        }
        minSuccessor = OffsetOf(reduced);
    } else if (minSuccessor < OffsetOf(FUnitsStart)) {
        TContext* created = CreateSuccessors(false, s, FMinContext);
        if (created == nullptr) {
            RestoreModel(c);
            return;
        }
        minSuccessor = OffsetOf(created);
    }
    if (--FOrderFall == 0) {
        maxSuccessor = minSuccessor;
        FText -= FMaxContext != FMinContext;
    }

    // Every context escaped from learns the symbol.
    const uint8_t flag = HighFlag(fSymbol);
    const unsigned ns = FMinContext->NumStats;
    const uint32_t s0 = FMinContext->SummFreq - ns - fFreq;
    unsigned steps = 0;
    for (; c != FMinContext; c = SuffixOf(c)) {
        if (++steps > kChainLimit) Broken();
        unsigned ns1 = c->NumStats;
        uint32_t sum;
        if (ns1 != 0) {
            if ((ns1 & 1) != 0) {
                // The list fills its units: grow it by one unit.
                unsigned oldUnits = (ns1 + 1) >> 1;
                unsigned index = IndexOfUnits(oldUnits);
                if (index != IndexOfUnits(oldUnits + 1)) {
                    void* grown = AllocUnits(index + 1);
                    if (grown == nullptr) {
                        RestoreModel(c);
                        return;
                    }
                    void* old = StatesOf(c);
                    std::memcpy(grown, old, UnitBytes(oldUnits));
                    PushFree(old, index);
                    c->Stats = OffsetOf(grown);
                }
            }
            sum = c->SummFreq;
            sum += 3 * ns1 + 1 < ns;
        } else {
            auto* list = static_cast<TState*>(AllocUnits(0));
            if (list == nullptr) {
                RestoreModel(c);
                return;
            }
            const TState* only = OnlyState(c);
            unsigned freq = only->Freq;
            list->Symbol = only->Symbol;
            list->SuccessorLow = only->SuccessorLow;
            list->SuccessorHigh = only->SuccessorHigh;
            c->Stats = OffsetOf(list);
            freq = freq < kMaxFreq / 4 - 1 ? freq * 2 : kMaxFreq - 4;
            list->Freq = static_cast<uint8_t>(freq);
            sum = freq + FInitEsc + (ns > 2);
        }
        TState* added = StatesOf(c) + ns1 + 1;
        uint32_t cf = 2 * (sum + 6) * fFreq;
        uint32_t sf = s0 + sum;
        added->Symbol = fSymbol;
        c->NumStats = static_cast<uint8_t>(ns1 + 1);
        SetSuccessor(added, maxSuccessor);
        c->Flags |= flag;
        if (cf < 6 * sf) {
            cf = 1u + (cf > sf) + (cf >= 4 * sf);
            sum += 4;
        } else {
            cf = 4u + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
            sum += cf;
        }
        c->SummFreq = static_cast<uint16_t>(sum);
        added->Freq = static_cast<uint8_t>(cf);
    }
    FMaxContext = FMinContext = ContextAt(minSuccessor);
}

// Halves the frequencies of the current context (its found symbol went past
// the ceiling), keeps the list sorted and drops symbols that reach zero.
void TArcPpmdModel::Rescale() {
    TContext* mc = FMinContext;
    TState* stats = StatesOf(mc);
    TState* s = FFoundState;
    if (s != stats) {
        TState found = *s;
        for (; s != stats; --s)
            s[0] = s[-1];
        *s = found;
    }
    uint32_t escFreq = mc->SummFreq - s->Freq;
    const unsigned adder = FOrderFall != 0;
    uint32_t sumFreq = (s->Freq + 4u + adder) >> 1;
    s->Freq = static_cast<uint8_t>(sumFreq);
    for (unsigned i = mc->NumStats; i != 0; --i) {
        ++s;
        escFreq -= s->Freq;
        unsigned freq = (s->Freq + adder) >> 1;
        sumFreq += freq;
        s->Freq = static_cast<uint8_t>(freq);
        if (freq > s[-1].Freq) {
            TState moved = *s;
            TState* to = s;
            do {
                to[0] = to[-1];
            } while (--to != stats && freq > to[-1].Freq);
            *to = moved;
        }
    }

    if (s->Freq == 0) {
        unsigned zeros = 0;
        do {
            ++zeros;
        } while ((--s)->Freq == 0);
        escFreq += zeros;
        const unsigned numStats = mc->NumStats;
        const unsigned kept = numStats - zeros;
        mc->NumStats = static_cast<uint8_t>(kept);
        const unsigned oldUnits = (numStats + 2) >> 1;
        if (kept == 0) {
            if (escFreq == 0) Broken();
            unsigned freq = (2u * stats->Freq + escFreq - 1) / escFreq;
            if (freq > kMaxFreq / 3) freq = kMaxFreq / 3;
            mc->Flags = static_cast<uint8_t>((mc->Flags & kFlagPrevHigh) + HighFlag(stats->Symbol));
            TState* only = OnlyState(mc);
            *only = *stats;
            only->Freq = static_cast<uint8_t>(freq);
            FFoundState = only;
            PushFree(stats, IndexOfUnits(oldUnits));
            return;
        }
        const unsigned newUnits = (kept + 2) >> 1;
        if (oldUnits != newUnits) mc->Stats = OffsetOf(ShrinkUnits(stats, oldUnits, newUnits));
    }
    mc->SummFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
    mc->Flags |= kFlagRescaled;
    FFoundState = StatesOf(mc);
}

} // namespace arc
