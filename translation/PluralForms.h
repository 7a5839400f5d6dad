#pragma once
// The plural rule of a catalog: which of an entry's forms a count takes.
//
// A catalog states its rule in the header line "Plural-Forms", for example
// "nplurals=3; plural=n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2;".
// The value is read as GNU gettext reads it: "nplurals=" followed by a
// decimal number and "plural=" followed by an expression, anywhere in the
// value and in either order; the expression ends at ";", a line feed or the
// end of the value, and what follows is ignored.
//
//   expr    = logic [ "?" expr ":" expr ]            (right-associative)
//   logic   = binary operators, lowest first, each left-associative:
//             "||"   "&&"   "==" "!="   "<" ">" "<=" ">="   "+" "-"   "*" "/" "%"
//   unary   = "!" unary / "n" / number / "(" expr ")"
//   number  = 1*DIGIT                                 (wraps like the arithmetic)
//
// Blanks and tabs may stand between tokens. Arithmetic is unsigned and 64 bits
// wide, wrapping as GNU's unsigned long does on 64-bit Linux; the width is
// fixed so that a rule chooses the same form on Windows, whose long is 32 bits.
// "||", "&&" and "?:" evaluate only the operands they need, so "n == 0 || 10 / n"
// is safe for 0.
//
// A rule that cannot be taken falls back to the Germanic rule, two forms and
// the first for one only (n != 1): no header, no "nplurals=" or "plural=",
// nplurals of 0 or above kMaxPluralForms, an expression GNU would refuse, or
// one nested deeper than kMaxPluralDepth (GNU's parser takes more, but no
// language's rule nests beyond about ten). For a single count the Germanic
// rule is also used when the expression divides by zero or yields a form at
// or beyond nplurals (GNU takes form 0 then), and for a single entry when the
// header names more forms than the entry holds.
#include <cstdint>
#include <string_view>
#include <vector>

namespace translator {

// No language has more than six forms; a larger count is a damaged header.
inline constexpr uint64_t kMaxPluralForms = 100;
// Levels of nesting, of the expression tree as of its parentheses.
inline constexpr int kMaxPluralDepth = 100;

// The Germanic rule: form 1 for every count but one.
constexpr uint32_t GermanicPluralForm(uint64_t n) {
    return n != 1 ? 1 : 0;
}

class TPluralForms {
  public:
    // The Germanic rule.
    TPluralForms() = default;
    // The rule of a "Plural-Forms" header value; the Germanic rule when the
    // value cannot be taken. Never fails.
    static TPluralForms Parse(std::string_view headerValue);

    // False when Parse fell back to the Germanic rule.
    bool Valid() const { return FRoot >= 0; }
    uint64_t nplurals() const { return FNPlurals; }

    // The expression's value for n; false when it divides by zero (or for the
    // Germanic rule, which has no expression).
    bool Evaluate(uint64_t n, uint64_t& value) const;
    // The form for n among an entry's formCount forms (at least one): the
    // rule's choice, or the Germanic one as said above; form 0 when even that
    // is beyond the entry's forms (an entry of one form).
    uint32_t Choose(uint64_t n, uint32_t formCount) const;

  private:
    friend class TPluralParser;
    enum class TOp : uint8_t {
        Number,
        Variable,
        Not,
        Multiply,
        Divide,
        Modulo,
        Plus,
        Minus,
        Less,
        Greater,
        LessEqual,
        GreaterEqual,
        Equal,
        NotEqual,
        And,
        Or,
        Conditional
    };
    struct TNode {
        TOp Op;
        int Depth;      // levels of the tree below and including this node
        uint64_t Value; // the number of a Number node
        int32_t Arg[3]; // operands, by index into FNodes
    };
    bool Eval(int32_t at, uint64_t n, uint64_t& value) const;
    static bool Apply(TOp op, uint64_t left, uint64_t right, uint64_t& value);

    std::vector<TNode> FNodes;
    int32_t FRoot = -1;
    uint64_t FNPlurals = 2;
};

} // namespace translator
