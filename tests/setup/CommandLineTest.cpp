// Setup.exe's command line: the split as Windows programs split it, the
// options read from it, what a log may show of it, and the exit code a
// failure gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/ArcErrors.h"
#include "http/NetExceptions.h"
#include "setup/CommandLine.h"
#include "setup/DiskRoom.h"
#include "setup/ExitCodes.h"
#include "setup/release/ReleaseManifest.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsAsCommandLineToArgvW) {
    // Expected values are what CommandLineToArgvW returns for the line.
    const struct {
        const char* Line;
        Args Expected;
    } cases[] = {
        {"", {""}},
        {"Setup.exe", {"Setup.exe"}},
        {"Setup.exe   /SILENT\t/LOG ", {"Setup.exe", "/SILENT", "/LOG"}},
        // The program's name: quotes end it, backslashes never escape.
        {"\"C:\\Program Files\\Setup.exe\" /S", {"C:\\Program Files\\Setup.exe", "/S"}},
        {"\"C:\\dir\\\"x y", {"C:\\dir\\", "x", "y"}},
        {"\"a\"b c", {"a", "b", "c"}},
        {"\"unterminated name", {"unterminated name"}},
        {"C:\\a\\\"b\" c", {"C:\\a\\\"b\"", "c"}},
        // Quotes group blanks; they can open and close inside an argument.
        {"x /LOG=\"C:\\My Logs\\s.log\"", {"x", "/LOG=C:\\My Logs\\s.log"}},
        {"x a\" b \"c", {"x", "a b c"}},
        // Backslashes: 2n before a quote give n and a delimiter, 2n+1 give
        // n and a literal quote, others stand as they are.
        {"x a\\\\b", {"x", "a\\\\b"}},
        {"x a\\\"b", {"x", "a\"b"}},
        {"x a\\\\\"b c\"", {"x", "a\\b c"}},
        {"x a\\\\\\\"b", {"x", "a\\\"b"}},
        {"x \"C:\\dir\\\\\"", {"x", "C:\\dir\\"}},
        {"x \"C:\\dir\\\" y", {"x", "C:\\dir\" y"}},
        // Doubled quotes and empty arguments.
        {"x \"\" y", {"x", "", "y"}},
        {"x \"\"", {"x", ""}},
        {"x \"a\"\"b\"", {"x", "a\"b"}},
        {"x \"\"\"a\"\"\" b", {"x", "\"a\"", "b"}},
        {"x \"\"\"\"", {"x", "\""}},
        {"x a\"\"b", {"x", "ab"}},
        {"x \"unterminated arg", {"x", "unterminated arg"}},
        {"x \"Café Zoë\"", {"x", "Café Zoë"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::SplitCommandLine(c.Line), c.Expected) << c.Line;
}

bool FixedCAndD(char letter) {
    return letter == 'C' || letter == 'D';
}

TEST(CommandLineTest, ReadsOptionsCaseInsensitivelyWithSlashOrDash) {
    using setup::TLogRequest;
    using setup::TUiLevel;
    const struct {
        Args Line;
        TUiLevel Ui;
        bool Suppress;
        char Drive;
        const char* Proxy; // server:port:user:password, or null when not given
        const char* Language;
        TLogRequest Log;
        const char* LogPath;
        bool Help;
    } cases[] = {
        {{}, TUiLevel::Wizard, false, 0, nullptr, "", TLogRequest::None, "", false},
        {{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/DRIVE=C", "/LOG=C:\\t.log"},
         TUiLevel::VerySilent,
         true,
         'C',
         nullptr,
         "",
         TLogRequest::Append,
         "C:\\t.log",
         false},
        {{"-silent", "/Drive=d:", "/lang=FR", "/log"},
         TUiLevel::Silent,
         false,
         'D',
         nullptr,
         "fr",
         TLogRequest::NewInTemp,
         "",
         false},
        {{"/PROXY=proxy.lan:3128"},
         TUiLevel::Wizard,
         false,
         0,
         "proxy.lan:3128::",
         "",
         TLogRequest::None,
         "",
         false},
        {{"/PROXY=ann:s3:cr@t@10.0.0.1:8080"},
         TUiLevel::Wizard,
         false,
         0,
         "10.0.0.1:8080:ann:s3:cr@t",
         "",
         TLogRequest::None,
         "",
         false},
        {{"/PROXY="}, TUiLevel::Wizard, false, 0, ":0::", "", TLogRequest::None, "", false},
        {{"/?"}, TUiLevel::Wizard, false, 0, nullptr, "", TLogRequest::None, "", true},
        {{"-HELP", "/LANG=en"},
         TUiLevel::Wizard,
         false,
         0,
         nullptr,
         "en",
         TLogRequest::None,
         "",
         true},
    };
    for (const auto& c : cases) {
        const setup::TSetupOptions o = setup::ParseCommandLine(c.Line, FixedCAndD);
        const std::string where = ::testing::PrintToString(c.Line);
        EXPECT_EQ(o.Mode, setup::TSetupMode::Install) << where;
        EXPECT_EQ(o.Ui, c.Ui) << where;
        EXPECT_EQ(o.SuppressMsgBoxes, c.Suppress) << where;
        EXPECT_EQ(o.Drive, c.Drive) << where;
        EXPECT_EQ(o.Proxy.has_value(), c.Proxy != nullptr) << where;
        if (o.Proxy && c.Proxy) {
            EXPECT_EQ(o.Proxy->Server + ":" + std::to_string(o.Proxy->Port) + ":" +
                          o.Proxy->Username + ":" + o.Proxy->Password,
                      c.Proxy)
                << where;
        }
        EXPECT_EQ(o.Language, c.Language) << where;
        EXPECT_EQ(o.Log, c.Log) << where;
        EXPECT_EQ(o.LogPath, c.LogPath) << where;
        EXPECT_EQ(o.Help, c.Help) << where;
    }
}

// The uninstaller's mode and what the uninstaller in the folder hands to its
// copy; /CLOSEAPPLICATIONS beside a silent run.
TEST(CommandLineTest, ReadsTheUninstallerAndClosingApplications) {
    const struct {
        Args Line;
        setup::TSetupMode Mode;
        bool Close;
        const char* Folder;
        unsigned long WaitFor;
    } cases[] = {
        {{"/UNINSTALL"}, setup::TSetupMode::Uninstall, false, "", 0},
        {{"-uninstall", "/FOLDER=C:\\TORVELINNEW\\", "/WAIT=4294967295", "/VERYSILENT"},
         setup::TSetupMode::Uninstall, false, "C:\\TORVELINNEW\\", 4294967295ul},
        {{"/VERYSILENT", "/CloseApplications"}, setup::TSetupMode::Install, true, "", 0},
    };
    for (const auto& c : cases) {
        const setup::TSetupOptions o = setup::ParseCommandLine(c.Line, FixedCAndD);
        const std::string where = ::testing::PrintToString(c.Line);
        EXPECT_EQ(o.Mode, c.Mode) << where;
        EXPECT_EQ(o.CloseApplications, c.Close) << where;
        EXPECT_EQ(o.Folder, c.Folder) << where;
        EXPECT_EQ(o.WaitFor, c.WaitFor) << where;
    }
}

TEST(CommandLineTest, RefusesWhatDoesNotReadWithTheReason) {
    const struct {
        Args Line;
        const char* Message;
    } cases[] = {
        {{"/QUIET"}, "Onbekende optie op de opdrachtregel: /QUIET"},
        {{"install"}, "Onbekende optie op de opdrachtregel: install"},
        {{"/"}, "Onbekende optie op de opdrachtregel: /"},
        {{""}, "Onbekende optie op de opdrachtregel: "},
        {{"/SILENTLY"}, "Onbekende optie op de opdrachtregel: /SILENTLY"},
        {{"/LOG", "/log=x"}, "De optie /log is meer dan eens gegeven."},
        {{"/SILENT", "/VERYSILENT"}, "De optie /VERYSILENT is meer dan eens gegeven."},
        {{"/?", "/HELP"}, "De optie /HELP is meer dan eens gegeven."},
        {{"/SILENT=yes"}, "De optie /SILENT neemt geen waarde."},
        {{"/DRIVE=Q"},
         "Ongeldige waarde voor /DRIVE: \"Q\" is geen vaste schijf van deze computer."},
        {{"/DRIVE=CD"},
         "Ongeldige waarde voor /DRIVE: \"CD\" is geen vaste schijf van deze computer."},
        {{"/DRIVE"}, "Ongeldige waarde voor /DRIVE: \"\" is geen vaste schijf van deze computer."},
        {{"/DRIVE=1"},
         "Ongeldige waarde voor /DRIVE: \"1\" is geen vaste schijf van deze computer."},
        {{"/LANG=de"}, "Ongeldige waarde voor /LANG: \"de\". Kies nl, fr of en."},
        {{"/LOG="}, "Ongeldige waarde voor /LOG: geef een bestandsnaam op."},
        {{"/UNINSTALL", "/WAIT=12x"}, "Ongeldige waarde voor /WAIT: \"12x\"."},
        {{"/UNINSTALL", "/WAIT=4294967296"}, "Ongeldige waarde voor /WAIT: \"4294967296\"."},
        {{"/UNINSTALL", "/FOLDER="}, "Ongeldige waarde voor /FOLDER: \"\"."},
        {{"/UNINSTALL", "/uninstall"}, "De optie /uninstall is meer dan eens gegeven."},
        {{"/CLOSEAPPLICATIONS=1"}, "De optie /CLOSEAPPLICATIONS neemt geen waarde."},
    };
    for (const auto& c : cases) {
        try {
            setup::ParseCommandLine(c.Line, FixedCAndD);
            ADD_FAILURE() << ::testing::PrintToString(c.Line) << " was taken";
        } catch (const setup::ECommandLineError& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
    }
    // What did read still counts, so that the refusal reports as asked.
    try {
        setup::ParseCommandLine(
            {"/VERYSILENT", "/X", "/LANG=fr", "/SUPPRESSMSGBOXES", "/LOG=a", "/DRIVE=Q"},
            FixedCAndD);
        ADD_FAILURE();
    } catch (const setup::ECommandLineError& e) {
        EXPECT_EQ(e.Message(), "Onbekende optie op de opdrachtregel: /X");
        EXPECT_TRUE(e.Read.SuppressMsgBoxes);
        EXPECT_EQ(e.Read.Language, "fr");
        EXPECT_EQ(e.Read.LogPath, "a");
        EXPECT_EQ(e.Read.Ui, setup::TUiLevel::VerySilent);
    }
    // A proxy value that is not host:port with a port from 1 to 65535.
    for (const char* proxy : {"host:99999", "host:0", "host", ":8080", "host:", "host:+80",
                              "host: 80", "a b:80", "@host:80", "host:80x", "host:123456"})
        EXPECT_THROW(setup::ParseCommandLine({std::string("/PROXY=") + proxy}, FixedCAndD),
                     setup::ECommandLineError)
            << proxy;
}

TEST(CommandLineTest, MaskedCommandLineHidesOnlyTheProxyPassword) {
    const struct {
        Args Line;
        const char* Shown;
    } cases[] = {
        {{"/PROXY=ann:s3cr@t@proxy:8080", "/SILENT"}, "/PROXY=ann:***@proxy:8080 /SILENT"},
        {{"-proxy=ann@proxy:8080"}, "-proxy=ann@proxy:8080"},
        {{"/LOG=C:\\My Logs\\a.log", ""}, "\"/LOG=C:\\My Logs\\a.log\" \"\""},
        {{"/PROXY=x:\"y@p:1"}, "/PROXY=x:***@p:1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::MaskedCommandLine(c.Line), c.Shown);
}

TEST(ExitCodesTest, TheStepDecidesUnlessTheReleaseWasRefused) {
    using setup::TExitCode;
    using setup::TInstallStep;
    const rtl::Exception plain("x");
    const net::ENetReadTimeout timeout("x");
    const setup::EReleaseRefused refused("x");
    const arc::EArcBadStream damaged;
    const setup::ENotEnoughRoom full("x");
    const struct {
        TInstallStep Step;
        const std::exception& Failure;
        TExitCode Code;
    } cases[] = {
        {TInstallStep::Download, timeout, TExitCode::DownloadFailed},
        {TInstallStep::Download, plain, TExitCode::DownloadFailed},
        {TInstallStep::Download, refused, TExitCode::ReleaseRefused},
        {TInstallStep::Unpack, damaged, TExitCode::UnpackFailed},
        {TInstallStep::Unpack, refused, TExitCode::ReleaseRefused},
        {TInstallStep::Settings, plain, TExitCode::SettingsFailed},
        {TInstallStep::Download, full, TExitCode::UnpackFailed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::ExitCodeFor(c.Step, c.Failure), c.Code);
}

} // namespace
