#pragma once
// Counts, sizes, speeds and durations as the user reads them: digits grouped
// and the decimal mark of the user's locale, units as the system's own
// windows show them (kB, MB, GB counted in 1024s; kB/s, MB/s), and a time
// left in words with its plural form chosen by the catalog.
#include <cstdint>
#include <string>

#include "translation/Translator.h"

namespace setup {

// The marks that differ between locales. UTF-8: French groups its digits with
// a no-break space, which is more than one byte.
struct TNumberStyle {
    std::string Decimal = ",";
    std::string Thousands = ".";
};

// The style of a language when the system cannot be asked: a decimal comma
// for the languages the wizard speaks but English, a point for English and
// for the program's own texts ("C").
TNumberStyle NumberStyleForLanguage(const std::string& languageCode);

// A whole number with its digits grouped by three: "3.000", "58".
std::string FormatCount(uint64_t n, const TNumberStyle& style);

// The unit a size is shown in, the largest that keeps it at one or more.
enum class TSizeUnit { kB, MB, GB };
TSizeUnit SizeUnitFor(int64_t bytes);
// A size in unit, with one decimal: "12,3 MB", "0,4 kB".
std::string FormatSize(int64_t bytes, TSizeUnit unit, const TNumberStyle& style);
// Bytes per second: whole kilobytes below a megabyte ("150 kB/s"), else one
// decimal ("1,5 MB/s").
std::string FormatSpeed(double bytesPerSecond, const TNumberStyle& style);

// TRANSLATORS: a size in kilobytes (1024 bytes), as the system shows it
inline constexpr const char* SUnitKB = translator::gettext_noop("%s kB");
// TRANSLATORS: a size in megabytes
inline constexpr const char* SUnitMB = translator::gettext_noop("%s MB");
// TRANSLATORS: a size in gigabytes
inline constexpr const char* SUnitGB = translator::gettext_noop("%s GB");
// TRANSLATORS: a speed in kilobytes per second
inline constexpr const char* SUnitKBps = translator::gettext_noop("%s kB/s");
// TRANSLATORS: a speed in megabytes per second
inline constexpr const char* SUnitMBps = translator::gettext_noop("%s MB/s");

inline constexpr translator::TPluralText STimeLeftSeconds =
    // TRANSLATORS: the time an operation still takes, under a minute; %s is a number of seconds
    translator::ngettext_noop("nog ongeveer %s seconde", "nog ongeveer %s seconden");
inline constexpr translator::TPluralText STimeLeftMinutes =
    // TRANSLATORS: the time an operation still takes; %s is a number of minutes
    translator::ngettext_noop("nog %s minuut", "nog %s minuten");
inline constexpr translator::TPluralText STimeLeftHours =
    // TRANSLATORS: the time an operation still takes; %s is a number of hours
    translator::ngettext_noop("nog %s uur", "nog %s uur");

// The time left in words: under a minute in steps of five seconds, rounded
// up ("nog ongeveer 40 seconden"); up to 90 minutes in whole minutes ("nog 3
// minuten"); beyond in whole hours. Finer steps would change at every redraw
// and read as noise.
std::string FormatTimeLeft(double seconds, const TNumberStyle& style);

} // namespace setup
