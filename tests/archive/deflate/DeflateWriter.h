#pragma once
// A small deflate writer for tests: builds handmade streams bit by bit, with
// fixed or explicitly given dynamic codes, so that both valid corner cases and
// precisely broken streams can be produced.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace inflate_test {

class TBitWriter {
  public:
    // Extra bits and header fields: least significant bit first.
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
    }
    // Huffman codes: most significant code bit first (RFC 1951 section 3.1.1).
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    void AlignToByte() {
        while (FBitCount % 8)
            Bit(0);
    }
    void Byte(uint8_t b) {
        AlignToByte();
        Bits(b, 8);
    }
    std::string Data() const { return std::string(FBytes.begin(), FBytes.end()); }

  private:
    void Bit(uint32_t b) {
        if (FBitCount % 8 == 0) FBytes.push_back(0);
        FBytes.back() |= static_cast<uint8_t>(b << (FBitCount % 8));
        ++FBitCount;
    }
    std::vector<uint8_t> FBytes;
    size_t FBitCount = 0;
};

// Canonical codes for a list of code lengths (RFC 1951 section 3.2.2).
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
    int count[16] = {};
    for (int l : lengths)
        ++count[l];
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int len = 1; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

struct TCodeAndExtra {
    int symbol;
    uint32_t extra;
    int extraBits;
};

inline TCodeAndExtra LengthSymbol(uint32_t length, bool deflate64) {
    static const uint32_t base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11, 13,  15,  17,  19,  23,
                                    27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
    static const int extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
    if (deflate64 && length > 257) return {285, length - 3, 16};
    if (!deflate64 && length == 258) return {285, 0, 0};
    for (int i = 27; i >= 0; --i)
        if (length >= base[i]) return {257 + i, length - base[i], extra[i]};
    throw std::logic_error("bad length");
}

inline TCodeAndExtra DistanceSymbol(uint32_t distance) {
    for (int sym = 31; sym >= 0; --sym) {
        int extra = sym < 4 ? 0 : sym / 2 - 1;
        uint32_t base = sym < 4 ? sym + 1 : ((2u + (sym & 1)) << extra) + 1;
        if (distance >= base) return {sym, distance - base, extra};
    }
    throw std::logic_error("bad distance");
}

// Writes symbols with given literal/length and distance codes.
class TDeflateWriter : public TBitWriter {
  public:
    explicit TDeflateWriter(bool deflate64 = false) : FDeflate64(deflate64) {}

    void BlockHeader(bool last, int type) {
        Bits(last ? 1 : 0, 1);
        Bits(type, 2);
    }
    // A stored block (aligns first).
    void Stored(bool last, const std::string& data) {
        BlockHeader(last, 0);
        AlignToByte();
        Bits(static_cast<uint32_t>(data.size()), 16);
        Bits(static_cast<uint32_t>(~data.size()) & 0xFFFF, 16);
        for (unsigned char c : data)
            Bits(c, 8);
    }
    void UseFixedCodes() {
        std::vector<int> lit(288), dist(32, 5);
        for (int i = 0; i < 288; ++i)
            lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        SetCodes(lit, dist);
    }
    void SetCodes(const std::vector<int>& literalLengths, const std::vector<int>& distanceLengths) {
        FLitLen = literalLengths;
        FDistLen = distanceLengths;
        FLitCode = CanonicalCodes(literalLengths);
        FDistCode = CanonicalCodes(distanceLengths);
    }
    // Writes a dynamic block header for the given lengths (plain code-length
    // symbols 0..15, no repeats) and switches to those codes.
    void DynamicHeader(bool last, const std::vector<int>& literalLengths,
                       const std::vector<int>& distanceLengths) {
        BlockHeader(last, 2);
        Bits(static_cast<uint32_t>(literalLengths.size() - 257), 5);
        Bits(static_cast<uint32_t>(distanceLengths.size() - 1), 5);
        CodeLengthHeader();
        for (int l : literalLengths)
            CodeLengthSymbol(l);
        for (int l : distanceLengths)
            CodeLengthSymbol(l);
        SetCodes(literalLengths, distanceLengths);
    }
    // The code-length code used by DynamicHeader: complete, 0..12 of 4 bits and
    // 13..18 of 5 bits, all 19 lengths sent.
    void CodeLengthHeader() {
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        Bits(19 - 4, 4);
        for (int i = 0; i < 19; ++i)
            Bits(CodeLengthCodeLengths()[order[i]], 3);
    }
    static const std::vector<int>& CodeLengthCodeLengths() {
        static const std::vector<int> lengths = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4,
                                                 4, 4, 4, 5, 5, 5, 5, 5, 5};
        return lengths;
    }
    // One code-length symbol (0..18) with its extra bits.
    void CodeLengthSymbol(int symbol, uint32_t extra = 0, int extraBits = 0) {
        static const std::vector<uint32_t> codes = CanonicalCodes(CodeLengthCodeLengths());
        Code(codes[symbol], CodeLengthCodeLengths()[symbol]);
        Bits(extra, extraBits);
    }

    void LiteralSymbol(int symbol) {
        if (symbol >= static_cast<int>(FLitLen.size()) || FLitLen[symbol] == 0)
            throw std::logic_error("literal symbol has no code");
        Code(FLitCode[symbol], FLitLen[symbol]);
    }
    void DistanceCode(int symbol) {
        if (symbol >= static_cast<int>(FDistLen.size()) || FDistLen[symbol] == 0)
            throw std::logic_error("distance symbol has no code");
        Code(FDistCode[symbol], FDistLen[symbol]);
    }
    void Literal(uint8_t byte) { LiteralSymbol(byte); }
    void Literals(const std::string& text) {
        for (unsigned char c : text)
            Literal(c);
    }
    void Match(uint32_t length, uint32_t distance) {
        TCodeAndExtra l = LengthSymbol(length, FDeflate64);
        LiteralSymbol(l.symbol);
        Bits(l.extra, l.extraBits);
        TCodeAndExtra d = DistanceSymbol(distance);
        DistanceCode(d.symbol);
        Bits(d.extra, d.extraBits);
    }
    void EndOfBlock() { LiteralSymbol(256); }

  private:
    bool FDeflate64;
    std::vector<int> FLitLen, FDistLen;
    std::vector<uint32_t> FLitCode, FDistCode;
};

} // namespace inflate_test
