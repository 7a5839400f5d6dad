#pragma once
// Setup.exe's command line: the raw line split into arguments as Windows
// programs split it, and the arguments read into the options of a run.
//
//   option   = ("/" | "-") name [ "=" value ]     name case-insensitive
//   /SILENT  /VERYSILENT  /SUPPRESSMSGBOXES  /? /HELP      no value
//   /DRIVE=letter[:]   /PROXY=[user[:password]@]host:port | /PROXY=
//   /LANG=nl|fr|en     /LOG | /LOG=path
//   /CLOSEAPPLICATIONS  a silent run closes the programs holding files it
//                       must replace (through the Restart Manager)
//   /UNINSTALL          remove the installation (the uninstaller's mode);
//   /FOLDER=path /WAIT=process-id   what the uninstaller in the folder hands
//                       to its copy in the temporary folder
//
// Each option at most once; /SILENT and /VERYSILENT are one choice (how much
// window), so giving both counts as giving it twice. Anything else is
// refused with a translated message, and the program installs nothing.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Exception.h"
#include "translation/Translator.h"

namespace setup {

// Splits a command line as CommandLineToArgvW does. The first argument, the
// program's name, ends at the next quote when it starts with one and at the
// first blank otherwise, with no escapes at all. After it, blanks (space,
// tab) outside quotes separate arguments; 2n backslashes before a quote give
// n backslashes and the quote opens or closes quoting, 2n+1 give n and a
// literal quote; other backslashes stand as they are. Within quotes, each
// third quote of a run of them is literal (so "a""b" reads a"b), and ""
// stands for an empty argument. The text is UTF-8: only ASCII bytes matter.
std::vector<std::string> SplitCommandLine(std::string_view line);

// What the program does.
enum class TSetupMode { Install, Uninstall };

// How much of the wizard is shown.
enum class TUiLevel {
    Wizard,     // every page, as without options
    Silent,     // the progress page only, closing itself at the end
    VerySilent, // no window at all
};

struct TProxyOption {
    std::string Server; // empty: no proxy
    int Port = 0;
    std::string Username, Password;
};

enum class TLogRequest {
    None,
    NewInTemp, // /LOG: a new numbered file in the user's temporary folder
    Append,    // /LOG=path
};

struct TSetupOptions {
    TSetupMode Mode = TSetupMode::Install;
    TUiLevel Ui = TUiLevel::Wizard;
    bool SuppressMsgBoxes = false;
    bool Help = false;
    char Drive = 0; // upper case; 0 when not given
    std::optional<TProxyOption> Proxy;
    std::string Language; // "nl", "fr", "en" or empty
    TLogRequest Log = TLogRequest::None;
    std::string LogPath;
    bool CloseApplications = false;
    std::string Folder;      // /FOLDER: the installation to remove
    unsigned long WaitFor = 0; // /WAIT: the process to wait for first

    bool Silent() const { return Ui != TUiLevel::Wizard; }
    // A failure or a question goes to a box: always in the wizard, in a
    // silent run unless boxes are suppressed.
    bool ShowsBoxes() const { return !Silent() || !SuppressMsgBoxes; }
};

// A command line that does not read; the message is translated (the first
// refusal). Read holds the options that did read, so that a refused line
// still reports as /SUPPRESSMSGBOXES and /LOG ask, in the /LANG language.
class ECommandLineError : public rtl::Exception {
  public:
    ECommandLineError(rtl::TText message, TSetupOptions read = {})
        : rtl::Exception(std::move(message)), Read(std::move(read)) {}
    TSetupOptions Read;
};

// Whether a drive letter (upper case) names a fixed drive of this machine.
using TFixedDriveTest = std::function<bool(char)>;

// Reads the arguments that follow the program's name. Raises
// ECommandLineError for the first one that does not read, once all have
// been looked at.
TSetupOptions ParseCommandLine(const std::vector<std::string>& arguments,
                               const TFixedDriveTest& isFixedDrive);

// The command line as a log may show it: the password of /PROXY= replaced
// by "***", whatever its quoting.
std::string MaskedCommandLine(const std::vector<std::string>& arguments);

// The /? box: the options and the exit codes, translated.
std::string HelpText();

// Message texts (Dutch; they pass through gettext).
// TRANSLATORS: an argument of the command line as given
inline constexpr const char* SUnknownOption =
    translator::gettext_noop("Onbekende optie op de opdrachtregel: %s");
// TRANSLATORS: an option of the command line (/DRIVE)
inline constexpr const char* SOptionTwice =
    translator::gettext_noop("De optie %s is meer dan eens gegeven.");
// TRANSLATORS: an option of the command line (/SILENT)
inline constexpr const char* SOptionTakesNoValue =
    translator::gettext_noop("De optie %s neemt geen waarde.");
// TRANSLATORS: an option of the command line, then the value given
inline constexpr const char* SBadDrive = translator::gettext_noop(
    "Ongeldige waarde voor %s: \"%s\" is geen vaste schijf van deze computer.");
// TRANSLATORS: an option of the command line, then the value given
inline constexpr const char* SBadProxy = translator::gettext_noop(
    "Ongeldige waarde voor %s: \"%s\". Geef host:poort op, met een poort van 1 tot 65535, of "
    "niets voor geen proxy.");
// TRANSLATORS: an option of the command line, then the value given
inline constexpr const char* SBadLanguage =
    translator::gettext_noop("Ongeldige waarde voor %s: \"%s\". Kies nl, fr of en.");
// TRANSLATORS: an option of the command line
// TRANSLATORS: an option of the command line, then the value given
inline constexpr const char* SBadValue =
    translator::gettext_noop("Ongeldige waarde voor %s: \"%s\".");
// TRANSLATORS: an option of the command line
inline constexpr const char* SEmptyLogPath =
    translator::gettext_noop("Ongeldige waarde voor %s: geef een bestandsnaam op.");
// The /? box: the options, then the exit codes.
inline constexpr const char* SHelpText =
    translator::gettext_noop("Setup.exe [opties]\n"
                             "\n"
                             "/SILENT\tgeen pagina's: alleen de voortgang, het venster sluit zelf\n"
                             "/VERYSILENT\tgeen venster\n"
                             "/SUPPRESSMSGBOXES\tgeen meldingen bij /SILENT of /VERYSILENT\n"
                             "/DRIVE=C\tde vaste schijf voor TORVELINNEW\n"
                             "/PROXY=host:poort\tde proxyserver (/PROXY= voor geen)\n"
                             "/LANG=nl|fr|en\tde taal van de meldingen\n"
                             "/LOG\tlogboek in de tijdelijke map van de gebruiker\n"
                             "/LOG=\"bestand\"\tlogboek aan dit bestand toegevoegd\n"
                             "/CLOSEAPPLICATIONS\tbij /SILENT of /VERYSILENT: programma's sluiten "
                             "die te vervangen bestanden gebruiken\n"
                             "/UNINSTALL\tTorvelin verwijderen (met /SILENT of /VERYSILENT zonder "
                             "vragen)\n"
                             "/? of /HELP\tdeze uitleg\n"
                             "\n"
                             "Afsluitcodes:\n"
                             "0\tgeïnstalleerd\n"
                             "1\tongeldige opdrachtregel\n"
                             "2\tgeannuleerd door de gebruiker\n"
                             "3\tdownload mislukt\n"
                             "4\trelease geweigerd\n"
                             "5\tuitpakken mislukt\n"
                             "6\tinstellingenbestand of snelkoppeling mislukt\n"
                             "7\tSetup.exe draait al");

} // namespace setup
