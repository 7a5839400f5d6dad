#pragma once
// The numeric edit of the ProxySettings page (the proxy port). This class holds
// the text and its reading as a number; the window that shows it belongs to
// the form, which reports typing through SetText and follows OnChange.
#include <functional>
#include <string>

namespace ui {

class TUiValidateEdit {
  public:
    std::function<void()> OnChange;

    const std::string& Text() const { return FText; }
    void SetText(const std::string& text);

    // The text as an integer: 0 when it is empty, not a whole number, or
    // outside the range of int.
    int AsInteger() const;
    void SetAsInteger(int value);

    // Called once the owning form has been built: an empty or malformed text
    // is replaced by the number it stands for, so the field never shows
    // something that AsInteger would read differently.
    void Loaded();

  private:
    std::string FText;
};

} // namespace ui
