// The model's sub-allocator: blocks of 1 to 128 units of 12 bytes in 38 size
// classes, each with a free list. New blocks come from the gap between the
// low and the high unit pointers; when that is used up, from a larger free
// block split in two, and at last from the top of the text area. Now and then
// neighbouring free blocks are glued together so that large blocks come back.
#include <cstring>

#include "archive/ppmd/PpmdErrors.h"
#include "archive/ppmd/PpmdModel.h"
#include "platform/LargeBlock.h"

namespace arc {

namespace {
constexpr uint32_t kFreeStamp = 0xFFFFFFFFu;
constexpr unsigned kIndexCount = 38;
constexpr uint32_t kGlueInterval = 1u << 13; // allocations that may fail before the next glue
} // namespace

TArcPpmdModel::~TArcPpmdModel() {
    platform::FreeLargeBlock(FBase, FSize);
}

bool TArcPpmdModel::Allocate(uint32_t aSize) {
    if (FBase != nullptr && FSize == aSize) return true;
    platform::FreeLargeBlock(FBase, FSize);
    FSize = 0;
    // The model is a multiple of 1 MiB, so units stay 4-byte aligned from the
    // block's start.
    FBase = static_cast<uint8_t*>(platform::AllocateLargeBlock(aSize));
    if (FBase == nullptr) return false;
    FSize = aSize;
    return true;
}

void TArcPpmdModel::Broken() {
    throw EArcZipPpmdData(kArcMsgPpmdCorruptRes);
}

void TArcPpmdModel::PushFree(void* aBlock, unsigned aIndex) {
    auto* block = static_cast<TFreeBlock*>(aBlock);
    block->Stamp = kFreeStamp;
    block->Next = FFreeList[aIndex];
    block->Units = UnitsOfIndex(aIndex);
    FFreeList[aIndex] = OffsetOf(block);
    ++FFreeCount[aIndex];
}

void* TArcPpmdModel::PopFree(unsigned aIndex) {
    auto* block = reinterpret_cast<TFreeBlock*>(At(FFreeList[aIndex]));
    FFreeList[aIndex] = block->Next;
    --FFreeCount[aIndex];
    return block;
}

// Gives the tail of a block beyond aNewIndex's size back to the free lists,
// as one block when its size is a class, else as two.
void TArcPpmdModel::SplitBlock(void* aBlock, unsigned aOldIndex, unsigned aNewIndex) {
    unsigned rest = UnitsOfIndex(aOldIndex) - UnitsOfIndex(aNewIndex);
    uint8_t* tail = static_cast<uint8_t*>(aBlock) + UnitBytes(UnitsOfIndex(aNewIndex));
    unsigned index = IndexOfUnits(rest);
    if (UnitsOfIndex(index) != rest) {
        unsigned first = UnitsOfIndex(--index);
        PushFree(tail + UnitBytes(first), rest - first - 1);
    }
    PushFree(tail, index);
}

void TArcPpmdModel::GlueFreeBlocks() {
    FGlueCount = kGlueInterval;
    std::memset(FFreeCount, 0, sizeof FFreeCount);
    // A zero stamp at the start of the gap stops gluing from running into it.
    if (FLoUnit != FHiUnit) reinterpret_cast<TFreeBlock*>(FLoUnit)->Stamp = 0;

    // Chain every free block into one list, and let each absorb the free
    // blocks that follow it in memory (their unit count becomes 0).
    const uint32_t limit = FSize - UnitBytes(1);
    uint32_t chain = 0;
    uint32_t* link = &chain;
    for (unsigned i = 0; i < kIndexCount; ++i) {
        uint32_t next = FFreeList[i];
        FFreeList[i] = 0;
        while (next != 0) {
            auto* block = reinterpret_cast<TFreeBlock*>(At(next));
            uint32_t units = block->Units;
            *link = next;
            next = block->Next;
            if (units == 0) continue;
            link = &block->Next;
            for (;;) {
                uint32_t after = OffsetOf(block) + UnitBytes(units);
                if (after > limit) Broken();
                auto* neighbour = reinterpret_cast<TFreeBlock*>(At(after));
                if (neighbour->Stamp != kFreeStamp) break;
                units += neighbour->Units;
                neighbour->Units = 0;
                block->Units = units;
            }
        }
    }
    *link = 0;

    // Hand the glued blocks back out in class sizes, at most 128 units each.
    while (chain != 0) {
        auto* block = reinterpret_cast<TFreeBlock*>(At(chain));
        chain = block->Next;
        uint32_t units = block->Units;
        if (units == 0) continue;
        auto* piece = reinterpret_cast<uint8_t*>(block);
        for (; units > 128; units -= 128, piece += UnitBytes(128))
            PushFree(piece, kIndexCount - 1);
        unsigned index = IndexOfUnits(units);
        if (UnitsOfIndex(index) != units) {
            unsigned first = UnitsOfIndex(--index);
            PushFree(piece + UnitBytes(first), units - first - 1);
        }
        PushFree(piece, index);
    }
}

void* TArcPpmdModel::AllocUnitsRare(unsigned aIndex) {
    if (FGlueCount == 0) {
        GlueFreeBlocks();
        if (FFreeList[aIndex] != 0) return PopFree(aIndex);
    }
    unsigned index = aIndex;
    do {
        if (++index == kIndexCount) {
            // No larger free block either: take the units from the top of
            // the text area, if the text leaves room.
            uint32_t bytes = UnitBytes(UnitsOfIndex(aIndex));
            --FGlueCount;
            if (static_cast<uint32_t>(FUnitsStart - FText) <= bytes) return nullptr;
            FUnitsStart -= bytes;
            return FUnitsStart;
        }
    } while (FFreeList[index] == 0);
    void* block = PopFree(index);
    SplitBlock(block, index, aIndex);
    return block;
}

void* TArcPpmdModel::AllocUnits(unsigned aIndex) {
    if (FFreeList[aIndex] != 0) return PopFree(aIndex);
    uint32_t bytes = UnitBytes(UnitsOfIndex(aIndex));
    if (static_cast<uint32_t>(FHiUnit - FLoUnit) >= bytes) {
        void* block = FLoUnit;
        FLoUnit += bytes;
        return block;
    }
    return AllocUnitsRare(aIndex);
}

// Contexts come from the top of the gap, symbol lists from its bottom.
void* TArcPpmdModel::AllocContext() {
    if (FHiUnit != FLoUnit) return FHiUnit -= UnitBytes(1);
    if (FFreeList[0] != 0) return PopFree(0);
    return AllocUnitsRare(0);
}

void* TArcPpmdModel::ShrinkUnits(void* aBlock, unsigned aOldUnits, unsigned aNewUnits) {
    unsigned oldIndex = IndexOfUnits(aOldUnits);
    unsigned newIndex = IndexOfUnits(aNewUnits);
    if (oldIndex == newIndex) return aBlock;
    if (FFreeList[newIndex] != 0) {
        void* moved = PopFree(newIndex);
        std::memcpy(moved, aBlock, UnitBytes(aNewUnits));
        PushFree(aBlock, oldIndex);
        return moved;
    }
    SplitBlock(aBlock, oldIndex, newIndex);
    return aBlock;
}

// A unit at the bottom of the units area goes back to the text area.
void TArcPpmdModel::FreeFirstUnit(void* aBlock) {
    if (aBlock != FUnitsStart)
        PushFree(aBlock, 0);
    else
        FUnitsStart += UnitBytes(1);
}

// Gives the free blocks at the bottom of the units area back to the text.
void TArcPpmdModel::ExpandTextArea() {
    uint32_t freed[kIndexCount] = {};
    if (FLoUnit != FHiUnit) reinterpret_cast<TFreeBlock*>(FLoUnit)->Stamp = 0;
    auto* block = reinterpret_cast<TFreeBlock*>(FUnitsStart);
    while (block->Stamp == kFreeStamp) {
        uint32_t units = block->Units;
        if (units == 0 || units > 128) Broken();
        block->Stamp = 0;
        ++freed[IndexOfUnits(units)];
        uint32_t after = OffsetOf(block) + UnitBytes(units);
        if (after > FSize - UnitBytes(1)) Broken();
        block = reinterpret_cast<TFreeBlock*>(At(after));
    }
    FUnitsStart = reinterpret_cast<uint8_t*>(block);

    // Unlink the blocks just taken (their stamp is now 0) from their lists.
    for (unsigned i = 0; i < kIndexCount; ++i) {
        uint32_t count = freed[i];
        if (count == 0) continue;
        FFreeCount[i] -= count;
        uint32_t* link = &FFreeList[i];
        while (count != 0) {
            if (*link == 0) Broken();
            auto* node = reinterpret_cast<TFreeBlock*>(At(*link));
            if (node->Stamp != 0) {
                link = &node->Next;
                continue;
            }
            *link = node->Next;
            --count;
        }
    }
}

uint32_t TArcPpmdModel::UsedMemory() const {
    uint32_t freeUnits = 0;
    for (unsigned i = 0; i < kIndexCount; ++i)
        freeUnits += FFreeCount[i] * UnitsOfIndex(i);
    return FSize - static_cast<uint32_t>(FHiUnit - FLoUnit) -
           static_cast<uint32_t>(FUnitsStart - FText) - UnitBytes(freeUnits);
}

} // namespace arc
