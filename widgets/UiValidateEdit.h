#pragma once
// TUiValidateEdit: a one-line edit field that accepts only the characters of
// its display format and offers its content as a number. The window is a
// subclassed edit control; the input rules live in TUiIntegerEditRules.
// Windows only.
#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <functional>
#include <string>

#include "widgets/IntegerEditRules.h"

namespace ui {

class TUiValidateEdit {
  public:
    TUiValidateEdit() = default;
    ~TUiValidateEdit();
    TUiValidateEdit(const TUiValidateEdit&) = delete;
    TUiValidateEdit& operator=(const TUiValidateEdit&) = delete;

    // Makes the window, a child of parent with the given control id, showing
    // the current text. Right-aligned while AutoAlignment holds.
    HWND Create(HWND parent, int id, int left, int top, int width, int height, DWORD style = 0,
                DWORD exStyle = WS_EX_CLIENTEDGE);
    HWND Handle() const { return FHandle; }

    // The owning form has been loaded: the field shows its value.
    void Loaded();

    // Only dfInteger and dfNone (no filtering, no formatting) are built;
    // another format raises EArgumentException.
    TUiValidateEditDisplayFormat DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(TUiValidateEditDisplayFormat format);

    // Characters accepted anywhere (UTF-8); the ten digits by default.
    std::string CheckChars() const;
    void SetCheckChars(const std::string& chars);

    bool AllowEmpty = false;
    bool ZeroEmpty = false;
    bool HasMinValue = false;
    bool HasMaxValue = false;
    int64_t MinValue = 0;
    int64_t MaxValue = 0;
    std::string DisplayPrefix;
    std::string DisplaySuffix;
    // Only cpNone is built: the text is never recoloured.
    TUiCriticalPoints CriticalPoints;
    bool AutoAlignment = true;

    // The content without prefix and suffix; follows every change of the
    // displayed text.
    std::string EditText() const;
    void SetEditText(const std::string& text);

    // The value: EditText as a decimal 64-bit integer, 0 when it is empty, a
    // sign alone or not a number in range. Writing sets its decimal form.
    int64_t AsInteger() const;
    void SetAsInteger(int64_t value);

    // Raised after the displayed text changed.
    std::function<void(TUiValidateEdit& sender)> OnChange;

  private:
    static LRESULT CALLBACK EditProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    static LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
    bool Filters() const { return FDisplayFormat == dfInteger; }
    std::u16string Displayed() const;
    void SetDisplayed(const std::u16string& text);
    std::u16string StripAffixes(const std::u16string& displayed) const;
    std::u16string WithAffixes(const std::u16string& editText) const;
    bool AcceptTyped(char16_t ch) const;
    void FilterAfterPaste();
    // Takes the displayed text as the value, filtered, when asked; then shows
    // the value's decimal form unless the text reads so already.
    void Reformat(bool takeDisplayed);
    TUiIntegerFormat Format() const;
    void Detach();

    TUiValidateEditDisplayFormat FDisplayFormat = dfInteger;
    std::u16string FCheckChars{TUiIntegerEditRules::kCheckChars};
    std::u16string FText; // the displayed text while there is no window
    HWND FHandle = nullptr;
    HWND FParent = nullptr;
};

} // namespace ui
