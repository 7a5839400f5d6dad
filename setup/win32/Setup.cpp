// Program entry of the installation wizard: the command line, the log, one
// Setup.exe at a time, then the wizard (or its silent run) and the exit code.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Wide.h"
#include "runtime/Format.h"
#include "SetupVersion.h"
#include "setup/CommandLine.h"
#include "setup/ExitCodes.h"
#include "setup/InstallLog.h"
#include "setup/release/ReleaseKeys.h"
#include "setup/win32/Application.h"
#include "setup/win32/Uninstaller.h"
#include "translation/Translator.h"

namespace {

using namespace setup;

// Runs before every other initialiser of the program (priority 101 is the
// first that programs may take), so before the translation layer and the
// form load anything. Setup.exe is started from a Downloads folder: from here
// on no library is looked for there, whoever loads it. shell32, ole32 and
// comctl32, which would otherwise be loaded with the program and bring their
// own dependencies from that folder, are delay-loaded (cmake/DelayLoad.cmake)
// and so arrive after this.
__attribute__((constructor(101))) void LoadLibrariesFromTheSystemOnly() {
    platform::win32::RestrictDllSearchToSystem();
}

// One Setup.exe per user session: a second one would unpack over the same
// folder as the first. "Local\" is the session's namespace, so another user
// of a terminal server installs for themselves.
constexpr wchar_t kRunningMutex[] = L"Local\\Torvelin.Setup.Running";

bool IsFixedDrive(char letter) {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_FIXED;
}

// What a box shows and what the log says, for an end before the wizard.
void Tell(const TSetupOptions& options, const std::string& message, UINT icon) {
    if (options.ShowsBoxes())
        MessageBoxW(nullptr, platform::win32::Wide(message).c_str(), L"Setup", icon);
}

std::string WindowsVersion() {
    // GetVersionEx answers what the manifest declares; the kernel's own
    // call answers the truth.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    auto get = reinterpret_cast<TRtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!get || get(&v) != 0) return "unknown";
    return std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
           std::to_string(v.dwBuildNumber);
}

std::string LanguageReason(const TSetupOptions& options) {
    if (!options.Language.empty()) return "from /LANG";
    const std::string lang = platform::GetEnvVar("LANG");
    return lang.empty() ? "from the user's locale" : "from LANG=" + lang;
}

void LogStart(const TSetupOptions& options, const std::vector<std::string>& arguments) {
    const TReleaseKeys& keys = BuiltInReleaseKeys();
    LogLine(std::string("Setup ") + SETUP_VERSION_TEXT + ", release keys " +
            (keys.Keys.empty()
                 ? std::string("off (archives are not checked)")
                 : "on (" + std::to_string(keys.Keys.size()) + " keys, minimum serial " +
                       std::to_string(keys.MinimumSerial) + ")"));
    LogLine("Windows " + WindowsVersion());
    LogLine("Language " + translator::GlobalInstance->GetCurrentLanguage() + " (" +
            LanguageReason(options) + ")");
    LogLine("Command line: " + MaskedCommandLine(arguments));
}

int End(TExitCode code, bool shown, const rtl::TText& message = {}) {
    if (!message.Text.empty()) {
        LogLine(std::string(shown ? "Message shown: " : "Message (box suppressed): ") +
                message.Text);
        // Composed a second time in English where it was raised; a message
        // with a part that has no English rendering says so instead.
        LogLine(message.English.empty()
                    ? "Message in English (not at hand; as composed): " + message.Text
                    : "Message in English: " + message.English);
    }
    LogLine("Exit code " + std::to_string(static_cast<int>(code)), true);
    return static_cast<int>(code);
}

// Reads the command line; the messages of a refusal come in the /LANG
// language, so the line is read again once that language is taken.
TSetupOptions ReadOptions(const std::vector<std::string>& arguments) {
    try {
        return ParseCommandLine(arguments, IsFixedDrive);
    } catch (const ECommandLineError& e) {
        if (e.Read.Language.empty()) throw;
        translator::GlobalInstance->UseLanguage(e.Read.Language);
        return ParseCommandLine(arguments, IsFixedDrive);
    }
}

std::unique_ptr<TInstallLog> OpenLog(const TSetupOptions& options) {
    if (options.Log == TLogRequest::None) return nullptr;
    std::string path = options.LogPath;
    if (options.Log == TLogRequest::NewInTemp) {
        const std::string temp = platform::IncludeTrailingPathDelimiter(platform::TempDirectory());
        const auto utcMs = static_cast<int64_t>(platform::UtcNowUnixSeconds() * 1000.0);
        path = NewLogFileName(temp, utcMs, platform::LocalOffsetSecondsAt(utcMs / 1000),
                              platform::FileExists);
        if (path.empty())
            throw EInstallLogError(rtl::Format(translator::gettext(SLogNoFreeName), {temp}));
    }
    return std::make_unique<TInstallLog>(path);
}

// Another Setup.exe runs: its window to the front when this start is
// interactive and it has one to show.
void ShowTheOtherWizard() {
    HWND other = FindWindowW(L"TfrmMain", nullptr);
    if (!other || !IsWindowVisible(other)) return;
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    SetForegroundWindow(other);
}

int RunSetup() {
    std::vector<std::string> arguments =
        SplitCommandLine(platform::win32::Narrow(GetCommandLineW()));
    arguments.erase(arguments.begin());

    TSetupOptions options;
    rtl::TText refusal;
    try {
        options = ReadOptions(arguments);
        if (!options.Language.empty()) translator::GlobalInstance->UseLanguage(options.Language);
    } catch (const ECommandLineError& e) {
        options = e.Read, refusal = e.Text();
    }
    std::unique_ptr<TInstallLog> log;
    try {
        log = OpenLog(options);
    } catch (const EInstallLogError& e) {
        // A deployment must notice that the log it asked for is missing.
        Tell(options, e.Message(), MB_ICONERROR);
        return static_cast<int>(TExitCode::BadCommandLine);
    }
    SetRunLog(log.get());
    LogStart(options, arguments);
    if (!refusal.Text.empty()) {
        Tell(options, refusal, MB_ICONERROR);
        return End(TExitCode::BadCommandLine, options.ShowsBoxes(), refusal);
    }
    if (options.Help) {
        Tell(options, HelpText(), MB_ICONINFORMATION);
        return End(TExitCode::Installed, options.ShowsBoxes());
    }

    // The uninstaller in the folder, or its copy in the temporary folder: no
    // wizard, and nothing in the way of an installation that runs meanwhile.
    if (options.Mode == TSetupMode::Uninstall) {
        LogLine("Uninstalling");
        Application.Initialize(); // COM, for the shortcut's target
        Application.Title = "Setup";
        return End(RunUninstaller(options), false);
    }

    HANDLE running = CreateMutexW(nullptr, FALSE, kRunningMutex);
    if (running && GetLastError() == ERROR_ALREADY_EXISTS) {
        LogLine("Another Setup.exe is already running in this session");
        if (!options.Silent()) ShowTheOtherWizard();
        CloseHandle(running);
        return End(TExitCode::AlreadyRunning, false);
    }

    // COM is needed only by the desktop shortcut at the end of the run, which
    // reports its own error should COM be unavailable.
    Application.Initialize();
    Application.Title = "Setup";
    Application.Options = options;
    Application.CreateForm();
    const int code = Application.Run();
    if (running) CloseHandle(running);
    // A cancel's question was asked whatever the options: the user answered it.
    const bool shown = options.ShowsBoxes() || code == static_cast<int>(TExitCode::Cancelled);
    return End(static_cast<TExitCode>(code), shown, Application.FailureMessage());
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const int code = RunSetup();
    setup::SetRunLog(nullptr);
    return code;
}
