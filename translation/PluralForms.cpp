#include "translation/PluralForms.h"

#include <algorithm>
#include <initializer_list>

namespace translator {

namespace {

constexpr std::string_view kNPluralsKey = "nplurals=";
constexpr std::string_view kPluralKey = "plural=";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number after "nplurals=": white space first, then at least one digit;
// what follows the digits is not looked at (GNU reads it with strtoul).
// Counts past kMaxPluralForms stop growing, so none can wrap into range.
bool ParsePluralCount(std::string_view text, uint64_t& count) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    if (at == text.size() || !IsDigit(text[at])) return false;
    count = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        count = std::min(count * 10 + static_cast<uint64_t>(text[at] - '0'), kMaxPluralForms + 1);
    return true;
}

} // namespace

// Recursive descent over the tokens of GNU's scanner: the conditional, then
// the binary operators a precedence level at a time (lowest first), then "!"
// and the operands. The nodes go into the rule's array as they are made.
class TPluralParser {
  public:
    TPluralParser(std::string_view text, TPluralForms& rule) : FText(text), FRule(rule) { Next(); }

    // The whole expression, up to its end.
    bool ParseAll() {
        FRule.FRoot = ParseConditional(0);
        return FRule.FRoot >= 0 && FToken == TToken::End;
    }

  private:
    using TOp = TPluralForms::TOp;
    enum class TToken { End, Error, Number, Variable, Not, Question, Colon, Open, Close, Binary };
    static constexpr int kBinaryLevels = 6;
    // The tokens of one character.
    struct TSingle {
        char Char;
        TToken Token;
        TOp Op;
    };
    static constexpr TSingle kSingles[] = {
        {'*', TToken::Binary, TOp::Multiply}, {'/', TToken::Binary, TOp::Divide},
        {'%', TToken::Binary, TOp::Modulo},   {'+', TToken::Binary, TOp::Plus},
        {'-', TToken::Binary, TOp::Minus},    {'n', TToken::Variable, TOp::Plus},
        {'?', TToken::Question, TOp::Plus},   {':', TToken::Colon, TOp::Plus},
        {'(', TToken::Open, TOp::Plus},       {')', TToken::Close, TOp::Plus}};

    static int LevelOf(TOp op) {
        switch (op) {
        case TOp::Or:
            return 0;
        case TOp::And:
            return 1;
        case TOp::Equal:
        case TOp::NotEqual:
            return 2;
        case TOp::Less:
        case TOp::Greater:
        case TOp::LessEqual:
        case TOp::GreaterEqual:
            return 3;
        case TOp::Plus:
        case TOp::Minus:
            return 4;
        default:
            return 5;
        }
    }

    bool Peek(char c) const { return FPos < FText.size() && FText[FPos] == c; }
    bool Take(char c) {
        if (!Peek(c)) return false;
        ++FPos;
        return true;
    }

    // One token as GNU's scanner reads it: only blanks and tabs are skipped,
    // and ";" or a line feed ends the expression like the end of the text.
    void Next() {
        while (Peek(' ') || Peek('\t'))
            ++FPos;
        if (FPos == FText.size() || Peek('\0') || Peek(';') || Peek('\n')) {
            FToken = TToken::End;
            return;
        }
        const char c = FText[FPos++];
        if (IsDigit(c)) {
            FToken = TToken::Number;
            FNumber = static_cast<uint64_t>(c - '0');
            while (FPos < FText.size() && IsDigit(FText[FPos]))
                FNumber = FNumber * 10 + static_cast<uint64_t>(FText[FPos++] - '0');
            return;
        }
        FToken = TToken::Binary;
        switch (c) {
        case '=':
            if (!Take('=')) FToken = TToken::Error;
            FOp = TOp::Equal;
            return;
        case '!':
            if (Take('='))
                FOp = TOp::NotEqual;
            else
                FToken = TToken::Not;
            return;
        case '&':
        case '|':
            if (!Take(c)) FToken = TToken::Error;
            FOp = c == '&' ? TOp::And : TOp::Or;
            return;
        case '<':
            FOp = Take('=') ? TOp::LessEqual : TOp::Less;
            return;
        case '>':
            FOp = Take('=') ? TOp::GreaterEqual : TOp::Greater;
            return;
        }
        for (const TSingle& single : kSingles)
            if (single.Char == c) {
                FToken = single.Token;
                FOp = single.Op;
                return;
            }
        FToken = TToken::Error;
    }

    // A new node, or -1 when an operand failed or the tree grows too deep.
    int32_t Add(TOp op, std::initializer_list<int32_t> operands, uint64_t value = 0) {
        TPluralForms::TNode node{op, 1, value, {-1, -1, -1}};
        size_t i = 0;
        for (int32_t operand : operands) {
            if (operand < 0) return -1;
            node.Depth = std::max(node.Depth, FRule.FNodes[static_cast<size_t>(operand)].Depth + 1);
            node.Arg[i++] = operand;
        }
        if (node.Depth > kMaxPluralDepth) return -1;
        FRule.FNodes.push_back(node);
        return static_cast<int32_t>(FRule.FNodes.size() - 1);
    }

    // logic [ "?" expr ":" expr ]; nesting counts the levels of parentheses,
    // "!" and "?:" branches that led here, so that "((((n))))" is bounded too.
    int32_t ParseConditional(int nesting) {
        if (++nesting > kMaxPluralDepth) return -1;
        int32_t condition = ParseBinary(0, nesting);
        if (condition < 0 || FToken != TToken::Question) return condition;
        Next();
        int32_t then = ParseConditional(nesting);
        if (then < 0 || FToken != TToken::Colon) return -1;
        Next();
        int32_t otherwise = ParseConditional(nesting);
        return Add(TOp::Conditional, {condition, then, otherwise});
    }

    int32_t ParseBinary(int level, int nesting) {
        if (level == kBinaryLevels) return ParseUnary(nesting);
        int32_t left = ParseBinary(level + 1, nesting);
        while (left >= 0 && FToken == TToken::Binary && LevelOf(FOp) == level) {
            const TOp op = FOp;
            Next();
            left = Add(op, {left, ParseBinary(level + 1, nesting)});
        }
        return left;
    }

    int32_t ParseUnary(int nesting) {
        const TToken token = FToken;
        const uint64_t number = FNumber;
        Next();
        switch (token) {
        case TToken::Number:
            return Add(TOp::Number, {}, number);
        case TToken::Variable:
            return Add(TOp::Variable, {});
        case TToken::Not:
            if (nesting + 1 > kMaxPluralDepth) return -1;
            return Add(TOp::Not, {ParseUnary(nesting + 1)});
        case TToken::Open: {
            int32_t inner = ParseConditional(nesting);
            if (inner < 0 || FToken != TToken::Close) return -1;
            Next();
            return inner;
        }
        default:
            return -1;
        }
    }

    std::string_view FText;
    size_t FPos = 0;
    TToken FToken = TToken::End;
    TOp FOp = TOp::Plus;
    uint64_t FNumber = 0;
    TPluralForms& FRule;
};

TPluralForms TPluralForms::Parse(std::string_view headerValue) {
    const size_t plural = headerValue.find(kPluralKey);
    const size_t nplurals = headerValue.find(kNPluralsKey);
    if (plural == std::string_view::npos || nplurals == std::string_view::npos) return {};
    uint64_t count = 0;
    if (!ParsePluralCount(headerValue.substr(nplurals + kNPluralsKey.size()), count) ||
        count == 0 || count > kMaxPluralForms)
        return {};
    TPluralForms rule;
    TPluralParser parser(headerValue.substr(plural + kPluralKey.size()), rule);
    if (!parser.ParseAll()) return {};
    rule.FNPlurals = count;
    return rule;
}

bool TPluralForms::Evaluate(uint64_t n, uint64_t& value) const {
    return Valid() && Eval(FRoot, n, value);
}

// The tree is at most kMaxPluralDepth deep, so the recursion is bounded.
bool TPluralForms::Eval(int32_t at, uint64_t n, uint64_t& value) const {
    const TNode& node = FNodes[static_cast<size_t>(at)];
    uint64_t left = 0, right = 0;
    switch (node.Op) {
    case TOp::Number:
        value = node.Value;
        return true;
    case TOp::Variable:
        value = n;
        return true;
    case TOp::Not:
        if (!Eval(node.Arg[0], n, left)) return false;
        value = left == 0;
        return true;
    case TOp::Conditional:
        if (!Eval(node.Arg[0], n, left)) return false;
        return Eval(node.Arg[left != 0 ? 1 : 2], n, value);
    case TOp::And:
    case TOp::Or:
        if (!Eval(node.Arg[0], n, left)) return false;
        // The right operand only when the left one does not decide.
        if ((left != 0) == (node.Op == TOp::Or)) {
            value = left != 0;
            return true;
        }
        if (!Eval(node.Arg[1], n, right)) return false;
        value = right != 0;
        return true;
    default:
        break;
    }
    return Eval(node.Arg[0], n, left) && Eval(node.Arg[1], n, right) &&
           Apply(node.Op, left, right, value);
}

// The arithmetic and comparisons; false for a division by zero.
bool TPluralForms::Apply(TOp op, uint64_t left, uint64_t right, uint64_t& value) {
    switch (op) {
    case TOp::Multiply:
        value = left * right;
        return true;
    case TOp::Divide:
        value = right ? left / right : 0;
        return right != 0;
    case TOp::Modulo:
        value = right ? left % right : 0;
        return right != 0;
    case TOp::Plus:
        value = left + right;
        return true;
    case TOp::Minus:
        value = left - right;
        return true;
    case TOp::Less:
        value = left < right;
        return true;
    case TOp::Greater:
        value = left > right;
        return true;
    case TOp::LessEqual:
        value = left <= right;
        return true;
    case TOp::GreaterEqual:
        value = left >= right;
        return true;
    case TOp::Equal:
        value = left == right;
        return true;
    default:
        value = left != right;
        return true;
    }
}

uint32_t TPluralForms::Choose(uint64_t n, uint32_t formCount) const {
    uint64_t form = 0;
    if (FNPlurals > formCount || !Evaluate(n, form) || form >= FNPlurals)
        form = GermanicPluralForm(n);
    return form < formCount ? static_cast<uint32_t>(form) : 0;
}

} // namespace translator
