#pragma once
// Fetching a component archive over HTTP into a file, and the release
// manifest into memory: the client's settings for a download a person waits
// for, resuming broken connections, and with release keys every byte held to
// the signed manifest. Kept apart from the form so it can be tested against
// real servers on every platform.
#include <cstdint>
#include <string>

#include "http/NetDownload.h"
#include "http/NetHTTP.h"
#include "http/NetIOHandlerTLS.h"
#include "setup/release/ReleaseManifest.h"
#include "translation/Translator.h"

namespace setup {

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

} // namespace setup
