#pragma once
// The wizard form frmMain: the window, its pages and controls, and the
// handlers of its buttons. Navigation rules live in TWizard; this class builds
// the windows and keeps them showing the wizard's state.
#include <windows.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/UnZipper.h"
#include "http/NetHTTP.h"
#include "setup/CheckedDownload.h"
#include "setup/CommandLine.h"
#include "setup/ExitCodes.h"
#include "setup/InstallLog.h"
#include "setup/InstallRecord.h"
#include "setup/ProgressPacer.h"
#include "setup/RunOutcome.h"
#include "setup/RunStatus.h"
#include "setup/win32/ShellLink.h"
#include "setup/win32/TaskbarProgress.h"
#include "setup/Wizard.h"
#include "widgets/UiDriveCombo.h"
#include "widgets/UiValidateEdit.h"

namespace setup {

class TfrmMain {
  public:
    // Creates the (hidden) window with all its controls, scaled from the
    // design resolution to the screen's, then runs FormCreate.
    TfrmMain();
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    HWND Handle() const { return FHandle; }
    void Show();
    // Closes the form; for the main form this ends the program.
    void Close();

    // Keyboard navigation between the controls in their tab order; true when
    // the message was handled and must not be dispatched.
    bool PreTranslateMessage(MSG& msg);

    // Handlers.
    void FormCreate();
    void btNEXTClick();
    void btCANCELClick();
    void btFINISHClick();

    // What the command line chose: the drive and proxy the pages show, and
    // whether a failure is shown in a box.
    void ApplyOptions(const TSetupOptions& options);
    // /SILENT and /VERYSILENT: the installation run at once, without pages to
    // click, on a window shown only for /SILENT; the form closes at the end.
    void RunUnattended(const TSetupOptions& options);
    // How the program ends: cancelled until the run says otherwise.
    TExitCode ExitCode() const { return FExitCode; }
    // What the run ended with: the failure's message, or the question the
    // user answered to cancel it; empty when it ended without either.
    const rtl::TText& FailureMessage() const { return FFailure; }

    // The installation run started by Next on the ProxySettings page.
    void RunInstallation();
    // The run's steps into the target folder; raises on the first failure.
    void InstallInto(const std::string& target, int64_t proxyPort);
    // The closing page: the finish page, or the last page with the error.
    void ShowRunFinished();
    void ShowRunFailed(const std::string& failure);
    // The abort page after the user chose to stop (Cancel during the run, or
    // at a file in use): no error box.
    void ShowRunCancelled();
    // How the last run ended.
    TRunOutcome RunOutcome() const { return FOutcome; }
    // Asks until none of files is in use; raises EInstallCancelled when the
    // user cancels.
    void WaitUntilNotInUse(const std::vector<std::string>& files);
    // The record of target with written merged in, saved whole.
    static TInstallRecord SaveMergedRecord(const std::string& target, const TInstallRecord& written);
    // Its download-and-unpack steps (the base URL is the build's); index is
    // the archive's place among the run's archives, from 1.
    void DownloadToFile(const std::string& relativePath, const std::string& localFile, int index);
    // How a broken download is taken up again, and the wait before the next
    // attempt, answering the window meanwhile.
    net::TNetRetryPolicy RetryPolicy();
    net::TNetRetryPolicy ManifestRetryPolicy();
    void PauseBeforeRetry(int milliseconds);
    void UnpackArchive(const std::string& archiveFile);
    // The HTTP client's transfer events, which move the progress bar.
    void NetHTTP1WorkBegin(net::TNetComponent* sender, net::TWorkMode mode, int64_t workCountMax);
    void NetHTTP1Work(net::TNetComponent* sender, net::TWorkMode mode, int64_t workCount);
    void NetHTTP1WorkEnd(net::TNetComponent* sender, net::TWorkMode mode);

    // Components owned by the form for the whole run. The client's I/O
    // handler comes first so that it outlives the client.
    net::TNetIOHandlerTLS NetIOHandler1;
    net::TNetHTTP NetHTTP1;
    arc::TArcUnZipper ArcUnZipper1;
    TShellLink ShellLink;

    TWizard Wizard;
    ui::TUiDriveCombo InstallDrive;
    ui::TUiValidateEdit PROXY_POORT;

    // Windows of the controls.
    HWND Image1 = nullptr, UiSpeedBar1 = nullptr, Notebook1 = nullptr;
    HWND btFINISH = nullptr, btCANCEL = nullptr, btNEXT = nullptr;
    HWND Pages[WizardPageCount] = {};
    HWND rbNEDERLANDS = nullptr, rbFRANS = nullptr, rbENGELS = nullptr, rbDUITS = nullptr;
    HWND rbITALIAANS = nullptr, rbSPAANS = nullptr;
    HWND PROXY_USE = nullptr, PROXY_SERVER = nullptr;
    HWND ProgressBar = nullptr, StatusLine = nullptr;
    HWND rbSERVER = nullptr, rbWORKSTATION = nullptr, GegevensLocatie = nullptr;
    HWND Label23 = nullptr;

  private:
    // True while RunInstallation works; the window is then not closed.
    bool FRunning = false;
    // True once the user answered yes to the Cancel question during the run.
    bool FCancelled = false;
    TRunOutcome FOutcome = TRunOutcome::NotRun;
    // The archive being downloaded or unpacked, deleted when the user stops.
    std::string FCurrentArchive;
    // The status line's state, and the entries unpacked so far.
    TRunStatus FStatus;
    TStatusPacer FStatusPacer;
    uint64_t FUnpacked = 0;
    // The same progress on the taskbar button.
    TTaskbarProgress FTaskbar;
    // The marks of the numbers the run shows.
    TNumberStyle FNumberStyle;
    // The folder whose drive a download announced by the server must fit
    // on; empty when the manifest's size was checked already.
    std::string FRoomFolder;
    // The run's checked release manifest, which every archive must match;
    // none in a build without release keys.
    std::optional<TReleaseManifest> FRelease;
    // The exit code, the step at work (a failure's code follows from it),
    // whether a failure gets its box, and whether the window appears only
    // once the run starts (/SILENT).
    TExitCode FExitCode = TExitCode::Cancelled;
    rtl::TText FFailure;
    TInstallStep FStep = TInstallStep::Download;
    bool FShowBoxes = true;
    bool FShowWhenRunning = false;
    bool FUnattended = false;       // a silent run: nobody to ask
    bool FCloseApplications = false; // /CLOSEAPPLICATIONS
    // The transfer under way, for the log.
    std::string FTransferURL;
    int64_t FTransferStartMs = 0, FTransferExpected = -1, FTransferReceived = 0;
    TLogProgressSteps FLogSteps;
    void LogTransferBegin(int64_t expected);
    void LogTransferEnd();
    void LogRetry(const net::TNetRetryNotice& notice);
    void LogRunStart(const std::string& target, const net::TNetProxyConnectionInfo& proxy);

    static void RegisterWindowClasses(HBRUSH background);
    static LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleCommand(int id, int code, HWND control);
    HBRUSH ControlColor(HDC dc, HWND control);

    void CreateComponents();
    void SetProgressMax(int32_t max);
    void SetProgressPosition(int32_t position);
    // Takes the bar's current range and width into the pacer.
    void ResetProgressPacer();
    // KeepResponding, at most as often as the pacer asks for.
    void KeepRespondingPaced();
    // One look at the queue during the run: answers other threads, redraws
    // the status line when due, and asks the Cancel question when the user
    // asked to stop (raising EInstallCancelled on yes).
    void LookAtQueue();
    // Takes the input queued for the window, which the run drops; true when
    // any of it asks to stop (Annuleer, Alt+A, Escape, the close box).
    bool TakeQueuedCancelRequest();
    bool IsCancelRequest(const MSG& msg) const;
    // Redraws the status line when it is due and its text changed.
    void ShowStatus(uint64_t nowMs);
    bool FitsStatusLine(const std::string& text) const;
    // The unpack's progress for the status line and the queue.
    void UnpackProgress(arc::TArcArchiveItem* item);
    bool IsChecked(HWND button) const;
    void CreateFonts();
    void CreateFormWindow();
    void CreateButtonBar();
    void CreatePages();
    void CreatePage0(HWND page);
    void CreatePage1(HWND page);
    void CreatePage2(HWND page);
    void CreatePage3(HWND page);
    void CreatePage4(HWND page);
    void CreatePage5(HWND page);
    void CreatePage6(HWND page);
    void CreatePage7(HWND page);
    void CreatePage8(HWND page);

    // Takes a child into its parent's tab order.
    void AddTabStop(HWND parent, int tabOrder, HWND wnd);
    // Creates a child; the place is given at the design resolution.
    HWND AddControl(HWND parent, const wchar_t* cls, const std::string& text, DWORD style,
                    DWORD exStyle, int id, int left, int top, int width, int height, HFONT font,
                    int tabOrder = -1, void* param = nullptr);
    HWND AddPanel(HWND parent, const wchar_t* cls, const std::string& text, int id, int left,
                  int top, int width, int height, int tabOrder);
    // A label sized to its text.
    HWND AddLabel(HWND page, const std::string& text, int left, int top, HFONT font = nullptr,
                  int id = 0);
    HWND AddTitle(HWND page, const std::string& text);
    // A label of fixed size whose text wraps at its width.
    HWND AddWrappingLabel(HWND page, const std::string& text, int left, int top, int width,
                          int height, HFONT font = nullptr, int id = 0);

    int Scale(int designPixels) const;
    void ApplyState();
    void RestoreFocus();
    std::vector<HWND> TabSequence() const;
    void CollectTabStops(HWND container, std::vector<HWND>& out) const;

    TProgressMapper FProgress;
    TProgressPacer FPacer;
    HWND FHandle = nullptr;
    int FPixelsPerInch = 96;
    HFONT FFont = nullptr, FTitleFont = nullptr, FBarFont = nullptr, FRedFont = nullptr;
    HBRUSH FWhiteBrush = nullptr;
    int FNextLabelId;
    int FShownPage = -1;
    bool FFinishInFront = false;
    HWND FLastFocus = nullptr;
    // Children of each container in their tab order.
    std::map<HWND, std::vector<std::pair<int, HWND>>> FTabOrders;
};

extern TfrmMain* frmMain;

// Keeps the window of the calling thread from counting as not responding
// while the installation run blocks it: called as the run's work moves.
void KeepResponding();

} // namespace setup
