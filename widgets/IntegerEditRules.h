#pragma once
// The input rules of the numeric edit field in its integer format, kept apart
// from the window so they can be tested on their own. Texts are UTF-16, as
// the edit control holds them.
#include <cstdint>
#include <string>
#include <string_view>

namespace ui {

// The formats of the validating edit field. The field filters and formats
// dfInteger; dfNone leaves the text alone.
enum TUiValidateEditDisplayFormat {
    dfAlphabetic,
    dfAlphaNumeric,
    dfBinary,
    dfCheckChars,
    dfCurrency,
    dfCustom,
    dfFloat,
    dfFloatGeneral,
    dfHex,
    dfInteger,
    dfNonCheckChars,
    dfNone,
    dfOctal,
    dfPercent,
    dfScientific,
    dfYear,
    dfDecimal,
    dfIdentifier,
    dfFloatFixed,
};

// Which limits recolour the text when crossed.
enum TUiCheckPoints { cpNone, cpMinValue, cpMaxValue, cpBoth };

struct TUiCriticalPoints {
    TUiCheckPoints CheckPoints = cpNone;
    bool MaxValueIncluded = true;
    bool MinValueIncluded = true;
};

// How a value is shown after formatting.
struct TUiIntegerFormat {
    bool AllowEmpty = false; // an empty text stays empty
    bool ZeroEmpty = false;  // the value 0 is shown as an empty text
    bool HasMinValue = false;
    bool HasMaxValue = false;
    int64_t MinValue = 0;
    int64_t MaxValue = 0;
};

class TUiIntegerEditRules {
  public:
    // The characters accepted anywhere, as the field's constructor sets them:
    // the ten digits.
    static constexpr std::u16string_view kCheckChars = u"01234567890";

    // Whether a typed character may go in. text is the current text (prefix
    // and suffix removed), caret the 0-based position where ch would go,
    // hasSelection whether some text is selected (and would be replaced).
    static bool AcceptChar(char16_t ch, std::u16string_view text, size_t caret, bool hasSelection,
                           std::u16string_view checkChars = kCheckChars);

    // The characters of a pasted (or otherwise set) text that the typing rules
    // accept, each tested at its own position with the text before it.
    static std::u16string Filter(std::u16string_view text,
                                 std::u16string_view checkChars = kCheckChars);

    // The value of the text: a decimal 64-bit integer with an optional sign;
    // 0 when the text is empty, a sign alone, or not a number in range.
    static int64_t AsInteger(std::u16string_view text);

    // The text the field shows after formatting: the decimal form of the value.
    static std::u16string Formatted(std::u16string_view text,
                                    const TUiIntegerFormat& format = TUiIntegerFormat());
};

} // namespace ui
