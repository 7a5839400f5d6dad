#pragma once
// The steps of the installation run that do not need a window: where things
// go, fetching one component archive over HTTP into a file, unpacking it
// beside itself, and following the transfer on a progress bar. Kept apart
// from the form so they can be tested against real servers on every platform.
#include <cstdint>
#include <string>

#include "archive/UnZipper.h"
#include "http/NetDownload.h"
#include "http/NetHTTP.h"
#include "http/NetIOHandlerTLS.h"
#include "setup/ReleaseManifest.h"
#include "translation/Translator.h"

namespace setup {

// The root URL of the download server, fixed when the program is built
// (DownloadBaseURL.cpp).
const std::string& DownloadBaseURL();

inline constexpr const char* SInstallUserAgent =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
inline constexpr const char* SInstallAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

// Message texts (Dutch; they pass through gettext).
// TRANSLATORS: prefix of the error shown when the download server answers with an error status
inline constexpr const char* SHTTPError = translator::gettext_noop("HTTP Error:");
// TRANSLATORS: the download's URL, the bytes received and the bytes the server announced
inline constexpr const char* SDownloadIncomplete = translator::gettext_noop(
    "De download van %s is onvolledig: %s van de %s bytes zijn ontvangen.");
// TRANSLATORS: the entry's name, the archive's file name and the reason
inline constexpr const char* SEntryNotUnpacked =
    translator::gettext_noop("Het bestand \"%s\" uit %s kon niet worden uitgepakt: %s");

inline constexpr const char* STargetFolderName = "TORVELINNEW";
inline constexpr const char* SSettingsFileName = "SETUP.INI";
inline constexpr const char* SSettingsSection = "SETUP";
inline constexpr const char* SSettingsLanguageKey = "TAAL";
inline constexpr const char* SShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr const char* SDesktopValue = "Desktop";
inline constexpr const char* SLinkDescription = "Torvelin";
inline constexpr const char* SProgramFileName = "TORVELIN.EXE";
inline constexpr const char* SLinkFileName = "Torvelin.lnk";
inline constexpr const char* SMainArchivePath = "zividezeru/Files/main.zip";
inline constexpr const char* SUpgradeArchivePath = "zividezeru/Files/upgrade.zip";

// The target folder on a drive, with its trailing backslash: "C:\TORVELINNEW\".
std::string TargetFolder(char driveLetter);

// The language buttons of the language page, in the order they are tested.
struct TLanguageChoice {
    bool Nederlands, Frans, Engels, Italiaans, Spaans;
};
// The code the settings file receives: the first checked button decides;
// none of them (German) gives "GEB".
std::string LanguageCode(const TLanguageChoice& choice);

// The shortcut's file: the desktop folder with a trailing backslash ensured,
// then "Torvelin.lnk" (an empty folder gives "\Torvelin.lnk").
std::string LinkFileFor(const std::string& desktopFolder);

// TRANSLATORS: the port typed for the proxy server
inline constexpr const char* SInvalidProxyPort = translator::gettext_noop(
    "Ongeldige poort voor de proxyserver: %s. Geef een poort van 1 tot 65535 op.");

// The proxy port as the HTTP client takes it. A typed number that no TCP port
// can have raises the message above instead of being cut to another port;
// 0 stays 0 (the client then asks for a port).
int ProxyPortFrom(int64_t typed);

// Gives the HTTP client the settings the form designs for it, with the
// bounded connect and read time-outs of a download a person waits for.
void ConfigureHTTPClient(net::TNetHTTP& http);

// The portion in which the wizard's downloads are received and written, in
// bytes. The client's default, 32 KiB, makes an archive of a few hundred
// megabytes cost tens of thousands of system calls (each a round trip to the
// server process under Wine) and file writes smaller than file systems like;
// four times that is what netget receives in, and the progress bar still
// moves hundreds of times for such an archive.
inline constexpr int InstallRecvBufferSize = 128 * 1024;
// Makes handler the client's I/O handler, receiving in that portion. It is
// the TLS-capable one, so that a build for an https server works the same.
void ConfigureIOHandler(net::TNetHTTP& http, net::TNetIOHandlerTLS& handler);

// The environment variable through which the end-to-end tests shorten both
// time-outs, so that a stalled server ends a run in seconds.
inline constexpr const char* STestTimeoutVariable = "SETUP_TEST_TIMEOUT_MS";
// Applies its value (milliseconds): a whole number from 1 up to a time-out's
// default shortens that time-out; anything else (empty, not a number, 0,
// longer than the default) changes nothing, so the variable can never make
// the wizard wait longer than it would.
void ShortenTimeouts(net::TNetHTTP& http, const std::string& milliseconds);

// Fetches baseURL + relativePath into localFile (created new, replacing a file
// of that name). A connection that breaks during the body is made again as
// retry allows: the body is resumed where the server allows it, started
// over otherwise. Raises when the file cannot be created, when the client
// fails, when the status is not 200 ("HTTP Error:" + "%d: %s"), and when the
// body ends before the length the server announced. The file stays on disk
// as far as it was written.
void DownloadToFile(net::TNetHTTP& http, const std::string& baseURL,
                    const std::string& relativePath, const std::string& localFile,
                    const net::TNetRetryPolicy& retry = {});

// Attempts in a row that get no further into an archive before the wizard
// gives it up; with the pauses of 1, 2 and 4 s between them, a line that is
// gone for about ten seconds is waited for.
inline constexpr int InstallDownloadRetries = 3;
// The environment variable through which the end-to-end tests shorten the
// pauses between attempts, by the rule of ShortenTimeouts: a whole number of
// milliseconds from 1 up to the pause shortens it, anything else changes
// nothing.
inline constexpr const char* STestPauseVariable = "SETUP_TEST_PAUSE_MS";
int ShortenedPause(int milliseconds, const std::string& testValue);

// TRANSLATORS: the manifest's file name and the server's status line or the error
inline constexpr const char* SManifestNotFetched =
    translator::gettext_noop("Het releasemanifest %s kon niet worden opgehaald: %s");
// TRANSLATORS: an archive's name (main.zip)
inline constexpr const char* SArchiveNotInRelease =
    translator::gettext_noop("%s staat niet in het releasemanifest.");
// TRANSLATORS: an archive's name, the size the server announces and the size the release lists
inline constexpr const char* SArchiveSizeAnnounced = translator::gettext_noop(
    "%s komt niet overeen met de release: de server kondigt %s bytes aan, de release vermeldt "
    "%s bytes.");
// TRANSLATORS: an archive's name and the size the release lists
inline constexpr const char* SArchiveTooLong = translator::gettext_noop(
    "%s komt niet overeen met de release: de download is langer dan de %s bytes die de release "
    "vermeldt.");
// TRANSLATORS: an archive's name, the bytes received and the size the release lists
inline constexpr const char* SArchiveTooShort = translator::gettext_noop(
    "%s komt niet overeen met de release: %s van de %s bytes zijn ontvangen.");
// TRANSLATORS: an archive's name
inline constexpr const char* SArchiveDigest = translator::gettext_noop(
    "%s komt niet overeen met de release: de SHA-256-controlesom verschilt.");

// Fetches baseURL + SManifestPath into memory (at most kManifestMaxSize
// bytes: a longer announced length fails before the body is read, a longer
// body at its first byte too many) and checks it with VerifyManifest. A
// failure status raises SManifestNotFetched with the status line; a failure
// of the connection passes unchanged. Nothing is written to disk.
TReleaseManifest DownloadManifest(net::TNetHTTP& http, const std::string& baseURL,
                                  const TReleaseKeys& keys, int64_t nowUnix,
                                  const net::TNetRetryPolicy& retry = {});

// DownloadToFile for an archive of a checked release: the body is hashed as
// it lands and held to the listed size (an announced length that differs
// fails before the body is read; a body that grows past it is cut off at
// once, and the connection closed). A broken connection is resumed or
// started over as retry allows; the hash follows the bytes as they land and
// starts over with the body. Any failure deletes the file, so an
// archive that does not match the release is never opened; success leaves
// exactly the listed bytes.
void DownloadToFile(net::TNetHTTP& http, const std::string& baseURL,
                    const std::string& relativePath, const std::string& localFile,
                    const TReleaseFile& listed, const net::TNetRetryPolicy& retry = {});

// Extracts every entry of archiveFile into the archive's own folder with the
// extractor's defaults, releases the archive and deletes its file. Entries
// that fail are skipped by the extractor; afterwards the first of them is
// raised as an error naming the entry and its failure. A stored date or time
// that cannot be converted is no such failure: the file is complete and keeps
// the current time. The archive is released on every path; after an error
// its file stays.
void UnpackArchive(arc::TArcUnZipper& unzipper, const std::string& archiveFile);

// Maps the client's 64-bit work counts onto a progress bar whose minimum,
// maximum and position are 32-bit: a size beyond that range is scaled down,
// so the bar still moves in proportion.
class TProgressMapper {
  public:
    // Returns whether the bar's maximum changes, and to what.
    bool WorkBegin(int64_t workCountMax, int32_t& newMax);
    int32_t Position(int64_t workCount) const;
    void WorkEnd() {}

  private:
    int FShift = 0; // the counts are divided by 2^FShift
};

// Paces the work of a progress bar that a blocked thread moves itself. Each
// redraw and each look at the queue costs a round trip to the window system
// (under Wine one to the display server too), and a transfer reports every
// 32 KiB: thousands of times for an archive of a few hundred megabytes. A
// redraw is worth it only when the bar's filled width gains or loses a pixel
// column, and no eye follows more than a few tens of redraws a second; the
// queue must still be looked at well within the five seconds after which
// Windows treats the window as hung.
class TProgressPacer {
  public:
    static constexpr uint64_t kRedrawIntervalMs = 30;
    static constexpr uint64_t kQueueIntervalMs = 100;

    // A new range, or a bar of another width: the next position is drawn.
    void SetRange(int32_t max, int pixels);
    // True when position is to be drawn now. A change of the filled width
    // is drawn once the redraw interval has passed since the last draw; a
    // full bar (the end of a sized download) and an empty one are drawn at
    // once, so the end of every archive is seen.
    bool ShouldDraw(int32_t position, uint64_t nowMs);
    // True when the queue is due to be looked at.
    bool ShouldLookAtQueue(uint64_t nowMs);

  private:
    int64_t Column(int32_t position) const;

    int32_t FMax = 100;
    int FPixels = 1;
    int64_t FDrawnColumn = -1; // -1: nothing drawn in this range yet
    uint64_t FDrawnAt = 0;
    uint64_t FLookedAt = 0;
};

} // namespace setup
