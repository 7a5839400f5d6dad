#include "setup/win32/ufrmMain.h"

#include <commctrl.h>
#include <algorithm>

#include "platform/win32/Wide.h"
#include "setup/win32/ControlIds.h"
#include "setup/win32/Dialogs.h"

namespace setup {

using platform::win32::Wide;

TfrmMain* frmMain = nullptr;

namespace {

const wchar_t kFormClass[] = L"TfrmMain";
const wchar_t kPanelClass[] = L"TUiPanel";
const wchar_t kSpeedBarClass[] = L"TUiSpeedBar";
const wchar_t kNotebookClass[] = L"TNotebook";
const wchar_t kPageClass[] = L"TPage";

// The form was designed at this resolution; every place and font height is
// scaled from it to the screen's.
constexpr int kDesignPixelsPerInch = 120;
constexpr int kClientWidth = 700, kClientHeight = 513;
constexpr int kBarHeight = 53, kImageWidth = 169;
// Space kept free on the right of a page, as on its left.
constexpr int kPageMargin = 21;
constexpr COLORREF kRed = RGB(255, 0, 0);

const char* const kPageNames[WizardPageCount] = {"SelectTaal",    "Start",       "Locatie",
                                                 "ProxySettings", "InstallMain", "Data",
                                                 "InstallData",   "Einde",       "Abort"};

HMENU IdMenu(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

bool IsDescendant(HWND ancestor, HWND wnd) {
    return wnd && (wnd == ancestor || IsChild(ancestor, wnd));
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

void TfrmMain::RegisterWindowClasses(HBRUSH background) {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpfnWndProc = &PanelProc;
    for (const wchar_t* name : {kPanelClass, kSpeedBarClass, kNotebookClass, kPageClass}) {
        wc.lpszClassName = name;
        RegisterClassExW(&wc);
    }
    wc.lpfnWndProc = &FormProc;
    wc.lpszClassName = kFormClass;
    // The program's own icon in the title bar and on the taskbar; a program
    // without it (a test that shows the form) keeps the standard one.
    HINSTANCE self = GetModuleHandleW(nullptr);
    wc.hIcon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(idAppIcon), IMAGE_ICON, 0, 0,
                                             LR_DEFAULTSIZE | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(idAppIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    RegisterClassExW(&wc);
}

TfrmMain::TfrmMain() : FNextLabelId(idFirstLabel) {
    HDC screen = GetDC(nullptr);
    FPixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    FWhiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    RegisterWindowClasses(FWhiteBrush);
    CreateFonts();
    CreateFormWindow();
    CreateButtonBar();
    CreatePages();
    CreateComponents();

    Wizard.OnChange = [this] { ApplyState(); };
    PROXY_POORT.Loaded();
    ApplyState();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
    for (HFONT f : {FFont, FTitleFont, FBarFont, FRedFont})
        if (f) DeleteObject(f);
    if (FWhiteBrush) DeleteObject(FWhiteBrush);
    if (frmMain == this) frmMain = nullptr;
}

int TfrmMain::Scale(int designPixels) const {
    return MulDiv(designPixels, FPixelsPerInch, kDesignPixelsPerInch);
}

void TfrmMain::CreateFonts() {
    // Heights are character heights (without internal leading), hence negative.
    auto make = [this](int height, int weight) {
        return CreateFontW(-Scale(height), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    };
    FFont = make(14, FW_NORMAL);
    FTitleFont = make(17, FW_BOLD);
    FBarFont = make(15, FW_NORMAL);
    FRedFont = make(15, FW_NORMAL);
}

void TfrmMain::CreateFormWindow() {
    // A fixed dialog frame: caption and close box, no sizing, no minimise or
    // maximise box.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    const DWORD exStyle =
        WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    // FormProc learns the form from the creation parameter and keeps FHandle.
    CreateWindowExW(exStyle, kFormClass, L"Programma - Setup", style, left, top, width, height,
                    nullptr, nullptr, GetModuleHandleW(nullptr), this);
    SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);

    Image1 = AddControl(FHandle, L"Static", "", SS_LEFT, 0, idImage1, 0, 0, kImageWidth,
                        kClientHeight - kBarHeight, FFont);
}

HWND TfrmMain::AddControl(HWND parent, const wchar_t* cls, const std::string& text, DWORD style,
                          DWORD exStyle, int id, int left, int top, int width, int height,
                          HFONT font, int tabOrder, void* param) {
    HWND w = CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                             Scale(left), Scale(top), Scale(width), Scale(height), parent,
                             IdMenu(id), GetModuleHandleW(nullptr), param);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : FFont), FALSE);
    if (tabOrder >= 0) AddTabStop(parent, tabOrder, w);
    return w;
}

void TfrmMain::AddTabStop(HWND parent, int tabOrder, HWND wnd) {
    auto& list = FTabOrders[parent];
    list.emplace_back(tabOrder, wnd);
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

HWND TfrmMain::AddPanel(HWND parent, const wchar_t* cls, const std::string& text, int id, int left,
                        int top, int width, int height, int tabOrder) {
    // PanelProc learns the form from the creation parameter.
    HWND w = AddControl(parent, cls, text, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                        id, left, top, width, height, FFont, tabOrder, this);
    FTabOrders[w]; // a container, even while it holds nothing to focus
    return w;
}

HWND TfrmMain::AddLabel(HWND page, const std::string& text, int left, int top, HFONT font, int id) {
    font = font ? font : FFont;
    std::wstring wide = Wide(text);
    // The label takes the size of its text. A text that would run past the
    // page's margin wraps instead of being cut off: the font on the user's
    // machine may be wider than the one the page was designed with.
    RECT page_rect;
    GetClientRect(page, &page_rect);
    int maxWidth = page_rect.right - Scale(left) - Scale(kPageMargin);
    HDC dc = GetDC(page);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    const wchar_t* measured = wide.empty() ? L" " : wide.c_str();
    DrawTextW(dc, measured, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    DWORD style = SS_LEFTNOWORDWRAP;
    if (r.right > maxWidth) {
        r = RECT{0, 0, maxWidth, 0};
        DrawTextW(dc, measured, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        style = SS_LEFT;
    }
    SelectObject(dc, old);
    ReleaseDC(page, dc);
    HWND w =
        CreateWindowExW(0, L"Static", wide.c_str(), WS_CHILD | WS_VISIBLE | style | SS_NOPREFIX,
                        Scale(left), Scale(top), r.right, r.bottom, page,
                        IdMenu(id ? id : FNextLabelId++), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return w;
}

HWND TfrmMain::AddTitle(HWND page, const std::string& text) {
    return AddLabel(page, text, 21, 21, FTitleFont);
}

HWND TfrmMain::AddWrappingLabel(HWND page, const std::string& text, int left, int top, int width,
                                int height, HFONT font, int id) {
    return AddControl(page, L"Static", text, SS_LEFT | SS_NOPREFIX, 0, id ? id : FNextLabelId++,
                      left, top, width, height, font);
}

void TfrmMain::CreateButtonBar() {
    UiSpeedBar1 = AddPanel(FHandle, kSpeedBarClass, "", idUiSpeedBar1, 0,
                           kClientHeight - kBarHeight, kClientWidth, kBarHeight, 0);
    SendMessageW(UiSpeedBar1, WM_SETFONT, reinterpret_cast<WPARAM>(FBarFont), FALSE);
    const DWORD style = BS_PUSHBUTTON | WS_TABSTOP | WS_CLIPSIBLINGS;
    // Creation order sets the stacking: each button lies in front of the ones
    // made before it, so Next covers Finish, which shares its place.
    btFINISH = AddControl(UiSpeedBar1, L"Button", "Voltooien", style, 0, idBtFinish, 596, 10, 98,
                          33, FBarFont, 2);
    btCANCEL = AddControl(UiSpeedBar1, L"Button", "&Annuleer", style, 0, idBtCancel, 10, 10, 99, 33,
                          FBarFont, 0);
    btNEXT = AddControl(UiSpeedBar1, L"Button", "Volgende >", style, 0, idBtNext, 596, 10, 98, 33,
                        FBarFont, 1);
    for (HWND b : {btFINISH, btCANCEL, btNEXT})
        SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TfrmMain::CreatePages() {
    Notebook1 = AddPanel(FHandle, kNotebookClass, "", idNotebook1, kImageWidth, 0,
                         kClientWidth - kImageWidth, kClientHeight - kBarHeight, 1);
    for (int i = 0; i < WizardPageCount; ++i) {
        Pages[i] = AddPanel(Notebook1, kPageClass, kPageNames[i], idPage0 + i, 0, 0,
                            kClientWidth - kImageWidth, kClientHeight - kBarHeight, -1);
        ShowWindow(Pages[i], SW_HIDE);
    }
    CreatePage0(Pages[0]);
    CreatePage1(Pages[1]);
    CreatePage2(Pages[2]);
    CreatePage3(Pages[3]);
    CreatePage4(Pages[4]);
    CreatePage5(Pages[5]);
    CreatePage6(Pages[6]);
    CreatePage7(Pages[7]);
    CreatePage8(Pages[8]);
}

void TfrmMain::CreatePage0(HWND p) {
    AddTitle(p, "Programma Setup");
    AddLabel(p, "Kies uw taal", 21, 84);
    // One group: the first radio button starts it, the automatic ones keep
    // exactly one checked.
    const DWORD radio = BS_AUTORADIOBUTTON | WS_TABSTOP;
    rbNEDERLANDS = AddControl(p, L"Button", "Nederlands", radio | WS_GROUP, 0, idRbNederlands, 42,
                              126, 148, 22, FFont, 0);
    rbFRANS = AddControl(p, L"Button", "Français", radio, 0, idRbFrans, 42, 157, 148, 22, FFont, 1);
    rbENGELS =
        AddControl(p, L"Button", "English", radio, 0, idRbEngels, 42, 188, 148, 23, FFont, 3);
    rbDUITS = AddControl(p, L"Button", "Deutsch", radio, 0, idRbDuits, 42, 219, 148, 23, FFont, 2);
    rbITALIAANS =
        AddControl(p, L"Button", "Italiano", radio, 0, idRbItaliaans, 314, 251, 148, 22, FFont, 4);
    rbSPAANS =
        AddControl(p, L"Button", "Espagnol", radio, 0, idRbSpaans, 314, 282, 148, 23, FFont, 5);
    ShowWindow(rbITALIAANS, SW_HIDE);
    ShowWindow(rbSPAANS, SW_HIDE);
    SendMessageW(rbNEDERLANDS, BM_SETCHECK, BST_CHECKED, 0);
}

void TfrmMain::CreatePage1(HWND p) {
    AddTitle(p, "Welkom bij het installatie programma ");
    AddWrappingLabel(p,
                     "Deze routine zal het bestelprogramma op uw computer installeren. Kies voor "
                     "Volgende om door te gaan.",
                     21, 84, 493, 43);
    AddWrappingLabel(p, "", 21, 398, 493, 43);
}

void TfrmMain::CreatePage2(HWND p) {
    AddTitle(p, "Locatie");
    AddLabel(p, "Selecteer een schijf waarop u het programma wenst te installeren", 21, 84);
    // Fixed drives only; 4 pixels before and after each icon.
    InstallDrive.SetDriveTypes({ui::dtFixed});
    InstallDrive.SetOffset(4);
    // The window's height includes the drop-down list of eight items.
    HWND drive = InstallDrive.Create(p, idInstallDrive, Scale(21), Scale(126), Scale(409),
                                     Scale(26) + 8 * Scale(20));
    SendMessageW(drive, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    AddTabStop(p, 0, drive);
    // The closed list is as tall as designed, the frame included.
    RECT closed;
    GetWindowRect(drive, &closed);
    LRESULT field = SendMessageW(drive, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    int frame = (closed.bottom - closed.top) - static_cast<int>(field);
    if (field > 0 && frame > 0 && Scale(26) - frame > 0)
        SendMessageW(drive, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(26) - frame);
}

void TfrmMain::CreatePage3(HWND p) {
    AddTitle(p, "Proxy Instellingen");
    AddWrappingLabel(p,
                     "Het installatie programma zal de nodige componenten downloaden en "
                     "installeren.",
                     21, 84, 503, 53);
    Label23 = AddWrappingLabel(p,
                               "Het installatie programma vereist hiervoor toegang tot het "
                               "internet .  Schakel eventueel uw firewall programma uit.",
                               21, 146, 475, 54, FRedFont, idLabel23);
    AddWrappingLabel(p, "Indien u over een proxyserver beschikt kan u hier de gegevens ingeven.",
                     21, 209, 482, 54);
    PROXY_USE = AddControl(p, L"Button", "Een proxyserver gebruiken", BS_AUTOCHECKBOX | WS_TABSTOP,
                           0, idProxyUse, 21, 262, 284, 22, FFont, 0);
    AddLabel(p, "Adres", 21, 303);
    PROXY_SERVER = AddControl(p, L"Edit", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                              idProxyServer, 73, 303, 420, 25, FFont, 1);
    AddLabel(p, "Poort", 21, 335);
    PROXY_POORT.CriticalPoints.MaxValueIncluded = false;
    PROXY_POORT.CriticalPoints.MinValueIncluded = false;
    HWND port = PROXY_POORT.Create(p, idProxyPoort, Scale(73), Scale(335), Scale(64), Scale(25));
    SendMessageW(port, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    AddTabStop(p, 2, port);
}

void TfrmMain::CreatePage4(HWND p) {
    AddTitle(p, "Vooruitgang");
    AddLabel(p, "Even geduld aub.", 21, 84);
    AddLabel(p, "De componenten worden gedownload en geïnstalleerd", 21, 126);
    ProgressBar = AddControl(p, PROGRESS_CLASSW, "", 0, 0, idProgressBar, 21, 167, 482, 23, FFont);
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, 100);
    SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);
    // What the run does, as wide as the bar and as far below it as the
    // sentences above it are apart; empty until the run tells it.
    StatusLine = AddControl(p, L"Static", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0,
                            idStatusLine, 21, 201, 482, 21, FFont);
}

void TfrmMain::CreatePage5(HWND p) {
    // Never shown; kept so that the later pages keep their indexes.
    AddTitle(p, "Gegevens installeren");
    const DWORD radio = BS_AUTORADIOBUTTON | WS_TABSTOP;
    rbSERVER = AddControl(p, L"Button", "Installeer de gegevens op de PC", radio | WS_GROUP, 0,
                          idRbServer, 42, 84, 400, 22, FFont, 0);
    AddLabel(p, "Installeer een leeg gegevens bestand", 63, 110);
    rbWORKSTATION = AddControl(p, L"Button", "Installeer GEEN gegevens.", radio, 0, idRbWorkstation,
                               42, 146, 400, 22, FFont, 1);
    AddLabel(p, "De gegevens zijn aanwezig of  staan op een andere PC/Server", 63, 172);
    AddLabel(p, "Locatie voor de gegevens", 21, 230);
    GegevensLocatie = AddControl(p, L"Edit", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                                 idGegevensLocatie, 21, 255, 420, 25, FFont, 2);
    AddControl(p, L"Button", "...", BS_PUSHBUTTON | WS_TABSTOP, 0, idGegevensLocatieBrowse, 445,
               255, 25, 25, FFont, 3);
    SendMessageW(rbSERVER, BM_SETCHECK, BST_CHECKED, 0);
}

void TfrmMain::CreatePage6(HWND p) {
    AddTitle(p, "Gegevens Installeren");
    AddLabel(p, "Even geduld aub", 21, 84);
    AddLabel(p, "De gegevens worden geïnstalleerd", 21, 126);
}

void TfrmMain::CreatePage7(HWND p) {
    AddTitle(p, "Installatie voltooid");
    AddWrappingLabel(p,
                     "Deze routine heeft met succes het bestelprogramma op uw computer "
                     "geïnstalleerd. Klik op Voltooien om af te sluiten.",
                     21, 84, 493, 74);
}

void TfrmMain::CreatePage8(HWND p) {
    AddTitle(p, "Installatie is niet voltooid");
    AddWrappingLabel(p,
                     "Het programma is niet succesvol geïnstalleerd op uw PC. Het progamma zal "
                     "mogelijk niet correct werken.",
                     21, 84, 472, 43);
    AddWrappingLabel(p, "Voer de installatie later opnieuw uit.", 21, 146, 138, 34);
    AddLabel(p, "Neem contact op met Kelmar BVBA indien het probleem zich blijft voordoen.", 21,
             241);
}

// ---------------------------------------------------------------------------
// Showing the state

void TfrmMain::ApplyState() {
    const TWizardState& s = Wizard.State();
    if (s.PageIndex != FShownPage) {
        ShowWindow(Pages[s.PageIndex], SW_SHOW);
        if (FShownPage >= 0) ShowWindow(Pages[FShownPage], SW_HIDE);
        FShownPage = s.PageIndex;
    }
    EnableWindow(btNEXT, s.NextEnabled);
    ShowWindow(btCANCEL, s.CancelVisible ? SW_SHOW : SW_HIDE);
    if (s.Front == TFrontButton::Finish && !FFinishInFront) {
        SetWindowPos(btFINISH, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        FFinishInFront = true;
    }
    POINT pt;
    if (GetCursorPos(&pt) && IsDescendant(FHandle, WindowFromPoint(pt)))
        SetCursor(LoadCursorW(nullptr, s.Cursor == TAppCursor::HourGlass ? IDC_WAIT : IDC_ARROW));
    // A control that was hidden or disabled must not keep the keyboard.
    HWND focus = GetFocus();
    if (focus && IsDescendant(FHandle, focus) &&
        !(IsWindowVisible(focus) && IsWindowEnabled(focus)))
        RestoreFocus();
}

void TfrmMain::Show() {
    ShowWindow(FHandle, SW_SHOWNORMAL);
    UpdateWindow(FHandle);
    SetForegroundWindow(FHandle);
    RestoreFocus();
}

void TfrmMain::Close() {
    PostMessageW(FHandle, WM_CLOSE, 0, 0);
}

// ---------------------------------------------------------------------------
// Handlers

void TfrmMain::FormCreate() {
    Wizard.SetPageIndex(pgStart);
    InstallDrive.SetDrive('C');
}

void TfrmMain::btNEXTClick() {
    if (Wizard.Next() == TNextAction::StartInstallation) RunInstallation();
}

void TfrmMain::btCANCELClick() {
    // During the run the run itself asks, at its next look at the queue; a
    // click that reaches the button meanwhile (the question's own loop
    // dispatches it) must not ask a second time.
    if (FRunning) return;
    if (!Wizard.Cancel(AskConfirmation)) return;
    FExitCode = TExitCode::Cancelled;
    FFailure = rtl::Compose([this] { return Wizard.CancelQuestion(); });
    LogLine("Cancelled by the user (Annuleer, answered yes)");
}

void TfrmMain::btFINISHClick() {
    Close();
}

// ---------------------------------------------------------------------------
// Keyboard

void TfrmMain::CollectTabStops(HWND container, std::vector<HWND>& out) const {
    auto it = FTabOrders.find(container);
    if (it == FTabOrders.end()) return;
    for (const auto& [order, wnd] : it->second) {
        if (!IsWindowVisible(wnd) || !IsWindowEnabled(wnd)) continue;
        // Of Next and Finish, which share one place, only the one in front
        // can be seen, so only that one takes the focus.
        if (wnd == (FFinishInFront ? btNEXT : btFINISH)) continue;
        if (FTabOrders.count(wnd)) {
            CollectTabStops(wnd, out);
            if (wnd == Notebook1 && FShownPage >= 0) CollectTabStops(Pages[FShownPage], out);
        } else if (GetWindowLongPtrW(wnd, GWL_STYLE) & WS_TABSTOP) {
            // Of a group of radio buttons only the checked one takes part.
            LRESULT code = SendMessageW(wnd, WM_GETDLGCODE, 0, 0);
            if ((code & DLGC_RADIOBUTTON) && SendMessageW(wnd, BM_GETCHECK, 0, 0) != BST_CHECKED)
                continue;
            out.push_back(wnd);
        }
    }
}

std::vector<HWND> TfrmMain::TabSequence() const {
    std::vector<HWND> seq;
    CollectTabStops(FHandle, seq);
    return seq;
}

void TfrmMain::RestoreFocus() {
    if (FLastFocus && IsWindow(FLastFocus) && IsWindowVisible(FLastFocus) &&
        IsWindowEnabled(FLastFocus) && IsDescendant(FHandle, FLastFocus)) {
        SetFocus(FLastFocus);
        return;
    }
    // The button in front when it can take the focus, else the first control
    // in tab order.
    HWND front = FFinishInFront ? btFINISH : btNEXT;
    if (IsWindowVisible(front) && IsWindowEnabled(front)) {
        SetFocus(front);
        return;
    }
    std::vector<HWND> seq = TabSequence();
    SetFocus(seq.empty() ? FHandle : seq.front());
}

bool TfrmMain::PreTranslateMessage(MSG& msg) {
    if (!FHandle || !IsDescendant(FHandle, msg.hwnd)) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000) &&
        !(GetKeyState(VK_MENU) & 0x8000)) {
        // The tab order is the designed one, not the stacking order that the
        // system's dialog navigation would follow.
        std::vector<HWND> seq = TabSequence();
        if (seq.empty()) return true;
        HWND focus = GetFocus();
        // The edit inside a combo box belongs to the combo box.
        while (focus && focus != FHandle && std::find(seq.begin(), seq.end(), focus) == seq.end())
            focus = GetParent(focus);
        auto it = std::find(seq.begin(), seq.end(), focus);
        bool back = GetKeyState(VK_SHIFT) & 0x8000;
        size_t n = seq.size(), i;
        if (it == seq.end())
            i = back ? n - 1 : 0;
        else
            i = (static_cast<size_t>(it - seq.begin()) + (back ? n - 1 : 1)) % n;
        SetFocus(seq[i]);
        if (SendMessageW(seq[i], WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
            SendMessageW(seq[i], EM_SETSEL, 0, -1);
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        // As in a dialog, Enter presses the push button that has the focus
        // (the form has no default button for it to press otherwise).
        HWND focus = GetFocus();
        if (IsDescendant(FHandle, focus) && (SendMessageW(focus, WM_GETDLGCODE, 0, 0) &
                                             (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
            SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    // Mnemonics, arrows within groups and the space bar work as in a dialog.
    return IsDialogMessageW(FHandle, &msg);
}

// ---------------------------------------------------------------------------
// Window procedures

HBRUSH TfrmMain::ControlColor(HDC dc, HWND control) {
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, control == Label23 ? kRed : GetSysColor(COLOR_WINDOWTEXT));
    return FWhiteBrush;
}

void TfrmMain::HandleCommand(int id, int code, HWND control) {
    if (code == BN_CLICKED) {
        switch (id) {
        case idBtNext:
            btNEXTClick();
            return;
        case idBtCancel:
            btCANCELClick();
            return;
        case idBtFinish:
            btFINISHClick();
            return;
        }
    }
    // Enter and Escape arrive as IDOK and IDCANCEL: the form has no default
    // and no cancel button, so they do nothing.
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(
            ControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_SETCURSOR:
        if (Wizard.State().Cursor == TAppCursor::HourGlass) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        // Keep the focused control while another window (a dialog) is active.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (IsDescendant(FHandle, focus) && focus != FHandle) FLastFocus = focus;
        } else {
            RestoreFocus();
        }
        return 0;
    case WM_DEVICECHANGE:
        // The drive list follows volumes that arrive or leave; the message
        // then goes on as usual.
        InstallDrive.MainWindowMessage(msg, wParam, lParam);
        break;
    case WM_CLOSE:
        // Closing halfway through the run would leave a broken installation
        // and destroy the controls the run still uses; the user gets the
        // end page and closes from there.
        if (!FRunning) DestroyWindow(FHandle);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(FHandle, msg, wParam, lParam);
}

LRESULT CALLBACK TfrmMain::FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* form =
            static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->FHandle = wnd;
    }
    auto* form = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (form && form->FHandle == wnd) {
        LRESULT result = form->HandleMessage(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) form->FHandle = nullptr;
        return result;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK TfrmMain::PanelProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(
            wnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* form = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_NOTIFY:
        // Controls report to their page or bar; the form handles them all.
        if (form && form->FHandle) return SendMessageW(form->FHandle, msg, wParam, lParam);
        break;
    case WM_PAINT:
        if (form && wnd == form->UiSpeedBar1) {
            // The bar has no bevel, only a single line along its top edge.
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(wnd, &ps);
            RECT r;
            GetClientRect(wnd, &r);
            FillRect(dc, &r, form->FWhiteBrush);
            RECT line{r.left, r.top, r.right, r.top + 1};
            FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
            EndPaint(wnd, &ps);
            return 0;
        }
        break;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

} // namespace setup
