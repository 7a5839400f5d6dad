#pragma once
// The input rules of the numeric edit field in its integer format, kept apart
// from the window so they can be tested on their own. Texts are UTF-16, as
// the edit control holds them.
#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

class TUiIntegerEditRules {
public:
    // The characters accepted anywhere: the ten digits.
    static constexpr std::u16string_view kCheckChars = u"01234567890";

    // Whether a typed character may go in. text is the current text (prefix
    // and suffix removed), caret the 0-based position where ch would go,
    // hasSelection whether some text is selected (and would be replaced).
    static bool AcceptChar(char16_t ch, std::u16string_view text, size_t caret, bool hasSelection);

    // The characters of a pasted (or otherwise set) text that the typing rules
    // accept, each tested at its own position with the text before it.
    static std::u16string Filter(std::u16string_view text);

    // The value of the text: a decimal 64-bit integer with an optional sign;
    // 0 when the text is empty, a sign alone, or not a number in range.
    static int64_t AsInteger(std::u16string_view text);

    // The text the field shows after formatting: the decimal form of the value.
    static std::u16string Formatted(std::u16string_view text);
};

} // namespace ui
