#pragma once
// The signed release manifest: one small text file beside the archives on the
// download server that names each archive with its exact size and SHA-256,
// carries the release's serial number and an optional expiry, and ends in an
// ECDSA P-256 signature over everything before it. The wizard takes an
// archive only when it matches the manifest, and the manifest only when one
// of the public keys built into the program signed it.
//
//   manifest  = "release-manifest 1" LF *( field LF ) "signature " sig LF
//   field     = "serial " number
//             / "expires " YYYY "-" MM "-" DD "T" hh ":" mm ":" ss "Z"     (UTC)
//             / "file " name " " number " " 64lowerhex                    (size, SHA-256)
//   number    = "0" / %x31-39 *DIGIT                  (no leading zeros, below 2^63)
//   name      = 1*64( ALPHA / DIGIT / "." / "_" / "-" ), not starting with "."
//   sig       = 128lowerhex                           (r || s, 32 bytes each)
//
// The signature covers every byte up to and including the line feed before
// "signature ". "serial" is required once, "expires" allowed once, "file"
// at least once with each name once; any other field, a carriage return, a
// tab, an empty line or text after the signature line makes the manifest
// invalid. A manifest is at most kManifestMaxSize bytes.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Crypto.h"
#include "runtime/Exception.h"
#include "translation/Translator.h"

namespace setup {

inline constexpr size_t kManifestMaxSize = 64 * 1024;
inline constexpr const char* SManifestFileName = "release.txt";
inline constexpr const char* SManifestPath = "zividezeru/Files/release.txt";
inline constexpr std::string_view kManifestFirstLine = "release-manifest 1";

// Every refusal of a manifest or of an archive that does not match it.
class EReleaseRefused : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

// Message texts (Dutch; they pass through gettext).
// TRANSLATORS: the reason, one of the texts that follow
inline constexpr const char* SManifestInvalid =
    translator::gettext_noop("Het releasemanifest is ongeldig: %s.");
inline constexpr const char* SManifestBadFirstLine =
    translator::gettext_noop("de eerste regel is niet \"release-manifest 1\"");
// TRANSLATORS: a line number
inline constexpr const char* SManifestBadLine =
    translator::gettext_noop("regel %s heeft niet de vorm \"veld waarde\"");
// TRANSLATORS: a line number and the field's name as it stands in the manifest
inline constexpr const char* SManifestUnknownField =
    translator::gettext_noop("regel %s: onbekend veld \"%s\"");
// TRANSLATORS: a line number and the field's name as it stands in the manifest
inline constexpr const char* SManifestBadValue =
    translator::gettext_noop("regel %s: ongeldige waarde voor \"%s\"");
// TRANSLATORS: a line number and a field's name or an archive's name
inline constexpr const char* SManifestRepeated =
    translator::gettext_noop("regel %s: \"%s\" komt meer dan eens voor");
// TRANSLATORS: the field's name as it stands in the manifest
inline constexpr const char* SManifestMissingField =
    translator::gettext_noop("het veld \"%s\" ontbreekt");
inline constexpr const char* SManifestNoSignatureLine =
    translator::gettext_noop("de laatste regel is geen handtekening");
// TRANSLATORS: the largest size in bytes
inline constexpr const char* SManifestTooLarge =
    translator::gettext_noop("Het releasemanifest is groter dan %s bytes.");
inline constexpr const char* SManifestSignature = translator::gettext_noop(
    "De handtekening van het releasemanifest is ongeldig: de release komt niet van de maker of "
    "is onderweg gewijzigd.");
// TRANSLATORS: the manifest's serial number and the lowest one this program accepts
inline constexpr const char* SManifestOldSerial = translator::gettext_noop(
    "Het releasemanifest heeft volgnummer %s; dit installatieprogramma aanvaardt pas volgnummer "
    "%s of hoger.");
// TRANSLATORS: a date and time in UTC, as 2027-01-31T00:00:00Z
inline constexpr const char* SManifestExpired =
    translator::gettext_noop("Het releasemanifest is verlopen op %s (UTC).");
inline constexpr const char* SReleaseCheckUnavailable = translator::gettext_noop(
    "De release kan niet worden gecontroleerd: de cryptografische functies van het systeem zijn "
    "niet beschikbaar.");

struct TReleaseFile {
    std::string Name;
    int64_t Size = 0;
    platform::Sha256Digest Sha256{};
};

struct TReleaseManifest {
    uint64_t Serial = 0;
    // Which of the trusted keys signed it (its index there), for the log;
    // -1 for a manifest that was not verified.
    int VerifiedByKey = -1;
    std::optional<int64_t> Expires; // seconds since 1970-01-01 00:00:00 UTC
    std::vector<TReleaseFile> Files;

    // The entry of that name, or nullptr.
    const TReleaseFile* Find(std::string_view name) const;
};

using TPublicKey = std::array<uint8_t, platform::kP256PublicKeySize>;
using TSignature = std::array<uint8_t, platform::kP256SignatureSize>;

// What the program trusts: one key, or two while a key is being replaced
// (current and next), and the lowest serial number it takes. No key means a
// build that checks nothing.
struct TReleaseKeys {
    std::vector<TPublicKey> Keys;
    uint64_t MinimumSerial = 0;
};

// A manifest's text split at its signature line.
struct TSignedText {
    std::string_view Body; // the signed bytes
    TSignature Signature{};
};

// Each of these raises EReleaseRefused with the messages above.
TSignedText SplitSignature(std::string_view text);
TReleaseManifest ParseManifestBody(std::string_view body);

// The whole check, in this order: size, signature by one of the keys, the
// body's form, the serial and the expiry against nowUnix.
TReleaseManifest VerifyManifest(std::string_view text, const TReleaseKeys& keys, int64_t nowUnix);

// The body as ParseManifestBody reads it back, and the signature line that
// completes it. The release tool writes manifests through these.
std::string ComposeManifestBody(const TReleaseManifest& manifest);
std::string SignatureLine(std::span<const uint8_t> signature);

// "YYYY-MM-DDThh:mm:ssZ" and seconds since 1970 (UTC), both ways.
bool ParseUtcTime(std::string_view text, int64_t& unixSeconds);
std::string FormatUtcTime(int64_t unixSeconds);

std::string ToHex(std::span<const uint8_t> bytes);
// Lower-case hex digits only, an even count; false otherwise.
bool FromHex(std::string_view hex, std::vector<uint8_t>& bytes);

} // namespace setup
