#include "widgets/IntegerEditRules.h"

#include "runtime/Format.h"

namespace ui {

bool TUiIntegerEditRules::AcceptChar(char16_t ch, std::u16string_view text, size_t caret,
                                     bool hasSelection, std::u16string_view checkChars) {
    if (ch < 32) return true; // Backspace and the other control characters
    if (checkChars.find(ch) != std::u16string_view::npos) return true;
    // A sign may only start the text, and only when it holds no sign yet
    // (unless the selection, which it replaces, may hold that one). A second
    // sign of the other kind would make the text unreadable as a number.
    if ((ch == u'+' || ch == u'-') && caret == 0)
        return text.find_first_of(u"+-") == std::u16string_view::npos || hasSelection;
    return false;
}

std::u16string TUiIntegerEditRules::Filter(std::u16string_view text,
                                           std::u16string_view checkChars) {
    std::u16string kept;
    for (char16_t ch : text)
        if (ch >= 32 && AcceptChar(ch, kept, kept.size(), false, checkChars)) kept += ch;
    return kept;
}

int64_t TUiIntegerEditRules::AsInteger(std::u16string_view text) {
    std::string ascii;
    for (char16_t ch : text) {
        if (ch > 127) return 0;
        ascii += static_cast<char>(ch);
    }
    int64_t value = 0;
    return rtl::TryStrToInt64(ascii, value) ? value : 0;
}

std::u16string TUiIntegerEditRules::Formatted(std::u16string_view text,
                                              const TUiIntegerFormat& format) {
    if (text.empty() && format.AllowEmpty) return std::u16string();
    int64_t value = AsInteger(text);
    if (format.HasMinValue && value < format.MinValue) value = format.MinValue;
    if (format.HasMaxValue && value > format.MaxValue) value = format.MaxValue;
    if (value == 0 && format.ZeroEmpty) return std::u16string();
    std::string digits = rtl::IntToStr(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace ui
