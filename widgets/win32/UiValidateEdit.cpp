#include "widgets/UiValidateEdit.h"

#include "platform/Unicode.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"

namespace ui {

namespace {

constexpr const char* SUnsupportedDisplayFormat = "Display format not supported";
constexpr wchar_t kCtrlV = 0x16;

std::wstring AsWide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

TUiValidateEdit::~TUiValidateEdit() {
    if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
    Detach();
}

HWND TUiValidateEdit::Create(HWND parent, int id, int left, int top, int width, int height,
                             DWORD style, DWORD exStyle) {
    FParent = parent;
    // The parent hears of changes to the text; listen in on it.
    SetWindowSubclass(parent, &ParentProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
    if (AutoAlignment && FDisplayFormat == dfInteger) style |= ES_RIGHT;
    FHandle =
        CreateWindowExW(exStyle, L"Edit", AsWide(FText).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | style, left, top,
                        width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        GetModuleHandleW(nullptr), nullptr);
    if (!FHandle) {
        Detach();
        return nullptr;
    }
    SetWindowSubclass(FHandle, &EditProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
    return FHandle;
}

void TUiValidateEdit::Detach() {
    if (FHandle) {
        FText = Displayed();
        RemoveWindowSubclass(FHandle, &EditProc, reinterpret_cast<UINT_PTR>(this));
    }
    if (FParent) RemoveWindowSubclass(FParent, &ParentProc, reinterpret_cast<UINT_PTR>(this));
    FHandle = nullptr;
    FParent = nullptr;
}

void TUiValidateEdit::Loaded() {
    Reformat(false);
}

void TUiValidateEdit::SetDisplayFormat(TUiValidateEditDisplayFormat format) {
    if (format != dfInteger && format != dfNone)
        throw rtl::EArgumentException(SUnsupportedDisplayFormat);
    FDisplayFormat = format;
}

std::string TUiValidateEdit::CheckChars() const {
    return platform::Utf16ToUtf8(FCheckChars);
}

void TUiValidateEdit::SetCheckChars(const std::string& chars) {
    FCheckChars = platform::Utf8ToUtf16(chars);
}

std::u16string TUiValidateEdit::Displayed() const {
    if (!FHandle) return FText;
    int length = GetWindowTextLengthW(FHandle);
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    int n = GetWindowTextW(FHandle, buffer.data(), length + 1);
    return std::u16string(buffer.begin(), buffer.begin() + (n > 0 ? n : 0));
}

void TUiValidateEdit::SetDisplayed(const std::u16string& text) {
    if (FHandle) {
        SetWindowTextW(FHandle, AsWide(text).c_str()); // the parent hears EN_CHANGE
    } else if (text != FText) {
        FText = text;
        if (OnChange) OnChange(*this);
    }
}

std::u16string TUiValidateEdit::StripAffixes(const std::u16string& displayed) const {
    std::u16string prefix = platform::Utf8ToUtf16(DisplayPrefix);
    std::u16string suffix = platform::Utf8ToUtf16(DisplaySuffix);
    std::u16string text = displayed;
    if (!prefix.empty() && text.compare(0, prefix.size(), prefix) == 0)
        text.erase(0, prefix.size());
    if (!suffix.empty() && text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        text.erase(text.size() - suffix.size());
    return text;
}

std::u16string TUiValidateEdit::WithAffixes(const std::u16string& editText) const {
    return platform::Utf8ToUtf16(DisplayPrefix) + editText + platform::Utf8ToUtf16(DisplaySuffix);
}

std::string TUiValidateEdit::EditText() const {
    return platform::Utf16ToUtf8(StripAffixes(Displayed()));
}

void TUiValidateEdit::SetEditText(const std::string& text) {
    SetDisplayed(WithAffixes(platform::Utf8ToUtf16(text)));
}

int64_t TUiValidateEdit::AsInteger() const {
    return TUiIntegerEditRules::AsInteger(StripAffixes(Displayed()));
}

void TUiValidateEdit::SetAsInteger(int64_t value) {
    SetEditText(rtl::IntToStr(value));
}

TUiIntegerFormat TUiValidateEdit::Format() const {
    TUiIntegerFormat f;
    f.AllowEmpty = AllowEmpty;
    f.ZeroEmpty = ZeroEmpty;
    f.HasMinValue = HasMinValue;
    f.HasMaxValue = HasMaxValue;
    f.MinValue = MinValue;
    f.MaxValue = MaxValue;
    return f;
}

bool TUiValidateEdit::AcceptTyped(char16_t ch) const {
    DWORD start = 0, end = 0;
    SendMessageW(FHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    size_t prefix = platform::Utf8ToUtf16(DisplayPrefix).size();
    size_t caret = start > prefix ? start - prefix : 0;
    return TUiIntegerEditRules::AcceptChar(ch, StripAffixes(Displayed()), caret, end > start,
                                           FCheckChars);
}

void TUiValidateEdit::FilterAfterPaste() {
    std::u16string edit = StripAffixes(Displayed());
    std::u16string kept = TUiIntegerEditRules::Filter(edit, FCheckChars);
    if (kept == edit) return;
    // The caret stays behind the pasted text: after what remains of the
    // text before it.
    DWORD start = 0, end = 0;
    SendMessageW(FHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    size_t prefix = platform::Utf8ToUtf16(DisplayPrefix).size();
    size_t caret = end > prefix ? std::min<size_t>(end - prefix, edit.size()) : 0;
    size_t newCaret =
        prefix + TUiIntegerEditRules::Filter(edit.substr(0, caret), FCheckChars).size();
    SetDisplayed(WithAffixes(kept));
    SendMessageW(FHandle, EM_SETSEL, newCaret, static_cast<LPARAM>(newCaret));
}

void TUiValidateEdit::Reformat(bool takeDisplayed) {
    if (!Filters()) return;
    std::u16string displayed = Displayed();
    std::u16string edit = StripAffixes(displayed);
    if (takeDisplayed) edit = TUiIntegerEditRules::Filter(edit, FCheckChars);
    std::u16string shown = WithAffixes(TUiIntegerEditRules::Formatted(edit, Format()));
    if (shown != displayed) SetDisplayed(shown);
}

LRESULT CALLBACK TUiValidateEdit::EditProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TUiValidateEdit*>(data);
    switch (msg) {
    case WM_CHAR:
        // Ctrl+V pastes through WM_PASTE, so the pasted text is filtered.
        if (wParam == kCtrlV) {
            SendMessageW(wnd, WM_PASTE, 0, 0);
            return 0;
        }
        if (self->Filters() && !self->AcceptTyped(static_cast<char16_t>(wParam))) return 0;
        break;
    case WM_KEYDOWN:
        // Shift+Insert pastes too.
        if (wParam == VK_INSERT && (GetKeyState(VK_SHIFT) & 0x8000) &&
            !(GetKeyState(VK_CONTROL) & 0x8000)) {
            SendMessageW(wnd, WM_PASTE, 0, 0);
            return 0;
        }
        break;
    case WM_PASTE: {
        LRESULT result = DefSubclassProc(wnd, msg, wParam, lParam);
        if (self->Filters()) self->FilterAfterPaste();
        return result;
    }
    case WM_SETFOCUS:
        self->Reformat(false);
        break;
    case WM_KILLFOCUS:
        self->Reformat(true);
        break;
    case WM_NCDESTROY:
        self->Detach();
        break;
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK TUiValidateEdit::ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TUiValidateEdit*>(data);
    if (msg == WM_COMMAND && self->FHandle && reinterpret_cast<HWND>(lParam) == self->FHandle &&
        HIWORD(wParam) == EN_CHANGE && self->OnChange)
        self->OnChange(*self);
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

} // namespace ui
