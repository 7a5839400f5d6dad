#include "setup/win32/Dialogs.h"

#include <windows.h>
#include <algorithm>
#include <cstring>

#include "platform/win32/Wide.h"
#include "runtime/ResStrings.h"
#include "setup/win32/Application.h"
#include "setup/win32/ControlIds.h"
#include "setup/Wizard.h"
#include "translation/Translator.h"

namespace setup {

using platform::win32::Wide;

namespace {

constexpr UINT kMessageBoxErrorFlags = MB_ICONERROR | MB_SYSTEMMODAL; // 0x1010

// Everything the confirmation dialog needs while it is open.
struct TConfirmDialog {
    std::wstring Caption;
    std::wstring Message;
    std::wstring YesCaption;
    std::wstring NoCaption;
    // The two answers' ids: the first is the default, the second also what
    // Escape and the close box give.
    int YesId = IDYES;
    int NoId = IDNO;
    LPCWSTR Icon = IDI_QUESTION;
    HFONT Font = nullptr;
};

// Dialog units of a font: the average width of the Latin letters and the line
// height, as the standard message dialog derives them.
SIZE DialogUnits(HDC dc) {
    static const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    GetTextExtentPoint32W(dc, letters, 52, &extent);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    return SIZE{(extent.cx / 26 + 1) / 2, tm.tmHeight};
}

HWND AddChild(HWND dlg, const wchar_t* cls, const std::wstring& text, DWORD style, int id, RECT r,
              HFONT font) {
    HWND w = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, dlg,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return w;
}

// Lays the dialog out like the platform's standard message dialog: the icon
// top left, the text beside it, the buttons centred below, the whole dialog
// centred on the screen.
void LayOut(HWND dlg, TConfirmDialog& d) {
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, d.Font);
    SIZE du = DialogUnits(dc);
    int hMargin = MulDiv(8, du.cx, 4), vMargin = MulDiv(8, du.cy, 8);
    int hSpacing = MulDiv(10, du.cx, 4), vSpacing = MulDiv(10, du.cy, 8);
    int buttonWidth = MulDiv(50, du.cx, 4), buttonHeight = MulDiv(14, du.cy, 8);
    int buttonSpacing = MulDiv(4, du.cx, 4);
    for (const std::wstring* caption : {&d.YesCaption, &d.NoCaption}) {
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, caption->c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_SINGLELINE);
        buttonWidth = std::max<int>(buttonWidth, r.right - r.left + 2 * hSpacing);
    }
    RECT text{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
    DrawTextW(dc, d.Message.c_str(), -1, &text,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);

    int iconSize = GetSystemMetrics(SM_CXICON);
    int textLeft = hMargin + iconSize + hSpacing;
    int textWidth = text.right - text.left, textHeight = text.bottom - text.top;
    int buttonsWidth = 2 * buttonWidth + buttonSpacing;
    int clientWidth = std::max(textLeft + textWidth + hMargin, buttonsWidth + 2 * hMargin);
    int buttonTop = vMargin + std::max(iconSize, textHeight) + vSpacing;
    int clientHeight = buttonTop + buttonHeight + vMargin;

    HWND icon = AddChild(dlg, L"Static", L"", SS_ICON, idDlgIcon,
                         RECT{hMargin, vMargin, hMargin + iconSize, vMargin + iconSize}, d.Font);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, d.Icon)), 0);
    AddChild(dlg, L"Static", d.Message, SS_LEFT | SS_NOPREFIX, idDlgMessage,
             RECT{textLeft, vMargin, textLeft + textWidth, vMargin + textHeight}, d.Font);
    int left = (clientWidth - buttonsWidth) / 2;
    HWND yes =
        AddChild(dlg, L"Button", d.YesCaption, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, d.YesId,
                 RECT{left, buttonTop, left + buttonWidth, buttonTop + buttonHeight}, d.Font);
    left += buttonWidth + buttonSpacing;
    AddChild(dlg, L"Button", d.NoCaption, BS_PUSHBUTTON | WS_TABSTOP, d.NoId,
             RECT{left, buttonTop, left + buttonWidth, buttonTop + buttonHeight}, d.Font);

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_EXSTYLE)));
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(dlg, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(dlg, DM_SETDEFID, static_cast<WPARAM>(d.YesId), 0);
    SetFocus(yes);
}

INT_PTR CALLBACK ConfirmProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        auto* d = reinterpret_cast<TConfirmDialog*>(lParam);
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        SetWindowTextW(dlg, d->Caption.c_str());
        LayOut(dlg, *d);
        return FALSE; // the focus is set on Yes
    }
    case WM_COMMAND: {
        const auto* d = reinterpret_cast<const TConfirmDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
        const int id = LOWORD(wParam);
        if (d && (id == d->YesId || id == d->NoId)) {
            EndDialog(dlg, id);
            return TRUE;
        }
        if (id == IDCANCEL) { // Escape
            EndDialog(dlg, d ? d->NoId : IDCANCEL);
            return TRUE;
        }
        break;
    }
    case WM_CLOSE: {
        const auto* d = reinterpret_cast<const TConfirmDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
        EndDialog(dlg, d ? d->NoId : IDCANCEL);
        return TRUE;
    }
    }
    return FALSE;
}

HFONT CreateMessageFont() {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
        return CreateFontIndirectW(&ncm.lfMessageFont);
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Shows d modally over the active form; the id of the answer.
INT_PTR RunTwoButtonDialog(TConfirmDialog& d) {
    d.Font = CreateMessageFont();

    // An in-memory template without controls: the controls are made and
    // placed when the dialog initialises, once the text has been measured.
    // Layout (all WORDs): style (2), extended style (2), item count, x, y,
    // cx, cy, then empty menu, class and title.
    alignas(4) WORD tmpl[12] = {};
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    std::memcpy(tmpl, &style, sizeof style);
    tmpl[7] = 100;
    tmpl[8] = 50;

    INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tmpl),
        Application.ActiveFormHandle(), ConfirmProc, reinterpret_cast<LPARAM>(&d));
    if (d.Font && d.Font != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(d.Font);
    return result;
}

} // namespace

bool AskConfirmation(const std::string& message) {
    TConfirmDialog d;
    d.Caption = Wide(translator::gettext(SConfirmCaption));
    d.Message = Wide(message);
    d.YesCaption = Wide(rtl::LoadResString(&rtl::SMsgDlgYes));
    d.NoCaption = Wide(rtl::LoadResString(&rtl::SMsgDlgNo));
    return RunTwoButtonDialog(d) == IDYES;
}

bool AskRetry(const std::string& message) {
    TConfirmDialog d;
    d.Caption = Wide(translator::gettext(SConfirmCaption));
    d.Message = Wide(message);
    d.YesCaption = Wide(rtl::LoadResString(&rtl::SMsgDlgRetry));
    d.NoCaption = Wide(rtl::LoadResString(&rtl::SMsgDlgCancel));
    d.YesId = IDRETRY;
    d.NoId = IDCANCEL;
    d.Icon = IDI_WARNING;
    return RunTwoButtonDialog(d) == IDRETRY;
}

void ShowInformation(const std::string& message) {
    MessageBoxW(Application.MainFormHandle(), Wide(message).c_str(),
                Wide(Application.Title).c_str(), MB_ICONINFORMATION | MB_OK);
}

void ShowError(const std::string& message) {
    // Owned by the wizard also when another program is active (the user
    // switched away during a download): a box without owner would float
    // apart from a wizard that stays enabled under it.
    MessageBoxW(Application.MainFormHandle(), Wide(message).c_str(),
                Wide(Application.Title).c_str(), kMessageBoxErrorFlags);
}

} // namespace setup
