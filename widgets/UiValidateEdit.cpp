#include "widgets/UiValidateEdit.h"

#include <climits>
#include <cstdint>

#include "runtime/Format.h"

namespace ui {

void TUiValidateEdit::SetText(const std::string& text) {
    if (text == FText) return;
    FText = text;
    if (OnChange) OnChange();
}

int TUiValidateEdit::AsInteger() const {
    int64_t value = 0;
    if (!rtl::TryStrToInt64(rtl::Trim(FText), value)) return 0;
    if (value < INT_MIN || value > INT_MAX) return 0;
    return static_cast<int>(value);
}

void TUiValidateEdit::SetAsInteger(int value) {
    SetText(rtl::IntToStr(value));
}

void TUiValidateEdit::Loaded() {
    SetAsInteger(AsInteger());
}

} // namespace ui
