#pragma once
// The log of a run, for whoever supports the shop: UTF-8 text, one line per
// event, each stamped with the local time to the millisecond. Every line is
// written and flushed to the system as it comes, so a run that is killed
// leaves everything up to its last event. A run started without /LOG has no
// log and writes none.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "translation/Translator.h"

namespace setup {

// A run writes a few hundred lines. The cap keeps a log that something
// floods (a server resuming a download for ever) from filling the disk of
// a shop's workstation; past it, one line says so and only the run's last
// line, its end, is still written.
inline constexpr int64_t kInstallLogMaxBytes = 1024 * 1024;

// "2026-12-10 08:05:09.042": local time of a UTC instant in milliseconds
// since 1970, with the zone's offset from UTC at that instant.
std::string LogTimeStamp(int64_t utcMs, int64_t offsetSeconds);

// "Setup Log 2026-12-10 #001.txt": the first number from 1 to 999 whose
// file does not exist in folder (ending in a delimiter) yet; the date is
// the local date of utcMs. Empty when all are taken.
std::string NewLogFileName(const std::string& folder, int64_t utcMs, int64_t offsetSeconds,
                           const std::function<bool(const std::string&)>& exists);

// A log file that cannot be opened or written; the message is translated.
class EInstallLogError : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

class TInstallLog {
  public:
    // Opens path for appending, creating it when missing. Raises
    // EInstallLogError when it cannot, so that a deployment learns at once
    // that its log would be missing.
    explicit TInstallLog(const std::string& path);
    ~TInstallLog();
    TInstallLog(const TInstallLog&) = delete;
    TInstallLog& operator=(const TInstallLog&) = delete;

    const std::string& Path() const { return FPath; }

    // One line, stamped with the time now. Line breaks inside text become
    // " | ", so that each event stays one line. Past the cap nothing more is
    // written but for lines marked last. Write failures are not raised: the
    // installation goes on without its log rather than failing on it.
    void Line(std::string_view text, bool last = false);
    // The same with the stamp given (for tests and for a fixed clock).
    void LineAt(int64_t utcMs, int64_t offsetSeconds, std::string_view text, bool last = false);

  private:
    void Append(const std::string& bytes);

    std::string FPath;
    platform::FileHandle FHandle = platform::kInvalidFileHandle;
    int64_t FWritten = 0;
    bool FCapped = false;
};

// The run's log, when /LOG asked for one: set once at start, before any
// window exists; null otherwise, and then LogLine does nothing.
void SetRunLog(TInstallLog* log);
TInstallLog* RunLog();
void LogLine(std::string_view text, bool last = false);

// When a download in progress is worth a line: at each tenth of the length
// announced, or every 16 MiB when none is. So a transfer gives a dozen
// lines whatever its size, never one per piece received.
class TLogProgressSteps {
  public:
    void Begin(int64_t expected);
    // True when received has crossed into a new step since the last true.
    bool Crossed(int64_t received);

  private:
    int64_t FStep = 0, FNext = 0;
};

// TRANSLATORS: the log file's name and the system's reason
inline constexpr const char* SLogNotWritable =
    translator::gettext_noop("Het logbestand %s kan niet worden geschreven: %s");
// TRANSLATORS: the temporary folder
inline constexpr const char* SLogNoFreeName =
    translator::gettext_noop("In %s is geen vrije naam voor een logbestand.");

} // namespace setup
