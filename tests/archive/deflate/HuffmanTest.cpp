// The decoding table and the bit reader on their own.
#include <gtest/gtest.h>

#include "archive/deflate/DfBitStream.h"
#include "archive/deflate/DfErrors.h"
#include "archive/deflate/DfHuffman.h"
#include "InflateSupport.h"

using namespace arc;
using Tree = TArcDfDecodeHuffmanTree;

namespace {

uint32_t Reverse(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

} // namespace

TEST(DfHuffman, RfcExampleCodesDecodeFromEverySlot) {
    // RFC 1951 section 3.2.2: A..H with lengths 3 3 3 3 3 2 4 4 give
    // 010 011 100 101 110 00 1110 1111.
    const uint8_t lengths[] = {3, 3, 3, 3, 3, 2, 4, 4};
    const uint32_t codes[] = {2, 3, 4, 5, 6, 0, 14, 15};
    const uint8_t extra[] = {9, 8, 7};
    Tree tree(8, TArcDfHuffmanUsage::huBoth, 15);
    tree.Build(lengths, 0, 8, extra, 5);
    ASSERT_EQ(tree.LookupBitLength(), 4);
    for (int sym = 0; sym < 8; ++sym) {
        uint32_t reversed = Reverse(codes[sym], lengths[sym]);
        EXPECT_EQ(tree.Encode(sym), reversed | uint32_t(lengths[sym]) << 16) << sym;
        // Every slot whose low bits are the reversed code holds the symbol.
        for (uint32_t high = 0; high < (16u >> lengths[sym]); ++high) {
            uint32_t e = tree.Decode(reversed | high << lengths[sym]);
            EXPECT_EQ(Tree::EntrySymbol(e), uint32_t(sym));
            EXPECT_EQ(Tree::EntryCodeLength(e), lengths[sym]);
            EXPECT_EQ(Tree::EntryExtraBits(e), sym >= 5 ? extra[sym - 5] : 0u);
        }
    }
}

TEST(DfHuffman, IncompleteSetsLeaveEmptySlotsOverSubscribedSetsFail) {
    const uint8_t one[] = {0, 0, 1};
    Tree tree(19, TArcDfHuffmanUsage::huDecoding, 7);
    tree.Build(one, 0, 3, nullptr, 0);
    EXPECT_EQ(tree.LookupBitLength(), 1);
    EXPECT_EQ(Tree::EntrySymbol(tree.Decode(0)), 2u);
    EXPECT_EQ(tree.Decode(1), Tree::kEmptySlot);

    const uint8_t none[] = {0, 0, 0, 0};
    tree.Build(none, 0, 4, nullptr, 0);
    EXPECT_EQ(tree.LookupBitLength(), 0);
    EXPECT_EQ(tree.Decode(0), Tree::kEmptySlot);

    // Rebuilding after a longer code set must not leave old entries behind.
    const uint8_t longer[] = {1, 2, 3, 3};
    tree.Build(longer, 0, 4, nullptr, 0);
    const uint8_t shorter[] = {2, 2};
    tree.Build(shorter, 0, 2, nullptr, 0);
    EXPECT_EQ(tree.LookupBitLength(), 2);
    EXPECT_EQ(tree.Decode(1), Tree::kEmptySlot);
    EXPECT_EQ(tree.Decode(3), Tree::kEmptySlot);

    const uint8_t over[] = {1, 1, 2};
    try {
        tree.Build(over, 0, 3, nullptr, 0);
        ADD_FAILURE() << "over-subscribed set accepted";
    } catch (const EArcInternalInflateError& e) {
        EXPECT_EQ(e.Message(), kDfCauseOverSubscribed);
    }
    EXPECT_THROW(Tree(1, TArcDfHuffmanUsage::huDecoding, 15), rtl::EArgumentException);
}

TEST(DfBitStream, BitsBytesAndTheEndOfData) {
    rtl::TMemoryStream src = inflate_test::MemoryOf(std::string("\xA5\x0F\x01\x02\x03\x04\x05", 7));
    TArcDfInBitStream in(src, 0, nullptr);
    EXPECT_EQ(in.ReadBit(), 1u);
    EXPECT_EQ(in.ReadBits(3), 2u);      // 0xA5 = 1010 0101 -> bits 1..3 = 010
    EXPECT_EQ(in.PeekBits(12), 0x0FAu); // 1010 then 0x0F
    in.DiscardBits(4);
    in.AlignToByte(); // nothing partial: stays at 0x0F
    EXPECT_EQ(in.ReadBits(4), 0xFu);
    in.AlignToByte();
    uint8_t bytes[3];
    in.ReadBuffer(bytes, 3);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(in.PeekBits(32), 0x0504u); // zeros past the end
    EXPECT_EQ(in.ReadBits(16), 0x0504u);
    EXPECT_EQ(in.PeekBits(8), 0u);
    auto cause = [&](auto&& f) -> std::string {
        try {
            f();
        } catch (const EArcInternalInflateError& e) {
            return e.Message();
        }
        return "no error";
    };
    EXPECT_EQ(cause([&] { in.ReadBit(); }), kDfCauseNoMoreDataReadBit);
    EXPECT_EQ(cause([&] { in.ReadBits(2); }), kDfCauseNoMoreDataReadBits);
    EXPECT_EQ(cause([&] { in.DiscardBits(1); }), kDfCauseNoMoreDataDiscard);
    EXPECT_EQ(cause([&] { in.ReadBuffer(bytes, 1); }), kDfCauseNoMoreDataReadBuffer);
    EXPECT_EQ(cause([&] { in.ReadBits(0); }), kDfCauseReadBitsCount);
    EXPECT_EQ(cause([&] { in.ReadBits(17); }), kDfCauseReadBitsCount);
    EXPECT_EQ(cause([&] { in.DiscardBits(33); }), kDfCauseDiscardBitsCount);
    EXPECT_EQ(in.ByteCount(), 7);
}
