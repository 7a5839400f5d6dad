#pragma once
// The line under the progress bar that tells the user what the run does:
// which step, which archive, how far, how fast, how long still, and whether
// a broken line is being taken up again. Kept apart from the window so that
// every state's text can be checked in every language natively.
#include <cstdint>
#include <functional>
#include <string>

#include "setup/QuantityText.h"
#include "translation/Translator.h"

namespace setup {

inline constexpr const char* SStatusManifest =
    // TRANSLATORS: the status line while the signed list of the release's files is fetched and
    // checked
    translator::gettext_noop("Het releasemanifest wordt opgehaald en gecontroleerd");
inline constexpr const char* SStatusDownload =
    // TRANSLATORS: the status line during a download: the archive's name, its place (1) and the
    // number of archives (2), the size received, the archive's size and the speed
    translator::gettext_noop("%s, %s van %s: %s van %s, %s");
inline constexpr const char* SStatusDownloadTimeLeft =
    // TRANSLATORS: as the one before, with the time left ("nog 3 minuten") at its end
    translator::gettext_noop("%s, %s van %s: %s van %s, %s, %s");
inline constexpr const char* SStatusDownloadUnsized =
    // TRANSLATORS: a download whose size the server did not announce: the archive's name, its
    // place, the number of archives, the size received and the speed
    translator::gettext_noop("%s, %s van %s: %s ontvangen, %s");
inline constexpr const char* SStatusReconnectIn =
    // TRANSLATORS: the status line while a broken connection waits to be made again: the archive's
    // name, the attempt that comes next (2 for the first retry) and the pause left ("3 seconden")
    translator::gettext_noop("%s: verbinding verbroken, poging %s over %s");
inline constexpr const char* SStatusReconnecting =
    // TRANSLATORS: the same once the pause is over and the connection is being made: the archive's
    // name and the attempt
    translator::gettext_noop("%s: verbinding verbroken, poging %s wordt gestart");
inline constexpr translator::TPluralText SSeconds =
    // TRANSLATORS: a pause in whole seconds
    translator::ngettext_noop("%s seconde", "%s seconden");
// TRANSLATORS: the status line during an unpack: the archive's name, the files done, the files
// in the archive (which chooses the form) and the name of the file being unpacked
inline constexpr translator::TPluralText SStatusUnpack = translator::ngettext_noop(
    "%s uitpakken: %s van %s bestand, %s", "%s uitpakken: %s van %s bestanden, %s");
// The speed of a transfer over the last few seconds, and the time it still
// takes. Each sample moves an average that forgets with a time constant of a
// few seconds, so the time left follows a change of the line's speed within
// seconds yet does not jump with every burst a receive brings.
class TTransferRate {
  public:
    static constexpr uint64_t kEstimateAfterMs = 2000;
    static constexpr double kTimeConstantMs = 3000;
    // The time left counts down with the clock and moves towards what the
    // speed says more slowly still, so that a burst or a short stall does
    // not make it jump from one redraw to the next.
    static constexpr double kTimeLeftConstantMs = 5000;
    // Samples closer together than this are one sample: a loopback transfer
    // reports every few microseconds.
    static constexpr uint64_t kMinIntervalMs = 200;

    // A new attempt begins at count bytes (more than 0 when it resumes).
    void Start(uint64_t nowMs, int64_t count);
    // The count at nowMs of total bytes (negative: not known); also called
    // without new bytes, so that a stalled line's speed falls.
    void Sample(uint64_t nowMs, int64_t count, int64_t total = -1);
    bool Started() const { return FStarted; }
    double BytesPerSecond() const { return FRate; }
    // True once data has been measured long enough to say how long the rest
    // takes.
    bool HasEstimate() const;
    double SecondsLeft() const { return HasEstimate() && FLeftKnown ? FLeft : -1; }

  private:
    bool FStarted = false;
    uint64_t FStartMs = 0, FLastMs = 0;
    int64_t FStartCount = 0, FLastCount = 0, FCount = 0;
    double FRate = 0;
    bool FRated = false;
    double FLeft = 0;
    bool FLeftKnown = false;
};

// name shortened in the middle to at most maxChars characters (UTF-8), an
// ellipsis standing for what was left out; the end, which holds the file's
// own name, keeps the larger part (the whole name where it fits).
std::string MiddleShortened(const std::string& name, size_t maxChars);

// Whether a text fits the status line; the window measures it in its font.
using TFitsLine = std::function<bool(const std::string&)>;

// The run's state, told by the run as it goes, and the line that says it.
class TRunStatus {
  public:
    void SetNumberStyle(const TNumberStyle& style) { FStyle = style; }

    // The release manifest is fetched and checked.
    void Manifest();
    // Archive index (from 1) of count starts downloading.
    void Archive(const std::string& name, int index, int count);
    // An attempt's body begins: total bytes of the archive (negative: not
    // announced).
    void TransferBegin(int64_t total);
    // count bytes of the archive are in its file at nowMs.
    void Transfer(uint64_t nowMs, int64_t count);
    // Time passes without data (a stalled server): the speed falls.
    void Idle(uint64_t nowMs);
    // The connection broke: attempt comes after a pause ending at resumeAtMs.
    void Reconnecting(int attempt, uint64_t resumeAtMs);
    // An unpack of the current archive: files done of total, entry the one
    // being unpacked (empty: the one told before). The line says it from
    // the first entry's name on.
    void Unpacking(uint64_t done, uint64_t total, const std::string& entry);

    // The line at nowMs; the entry's name is shortened until fits accepts
    // the line (an empty fits takes any).
    std::string Text(uint64_t nowMs, const TFitsLine& fits = {}) const;

  private:
    enum class TPhase { None, Manifest, Download, Reconnect, Unpack };
    std::string Size(int64_t bytes, TSizeUnit unit) const;
    std::string DownloadText() const;
    std::string ReconnectText(uint64_t nowMs) const;
    std::string UnpackText(const TFitsLine& fits) const;

    TNumberStyle FStyle;
    TPhase FPhase = TPhase::None;
    std::string FName;
    int FIndex = 0, FCount = 0;
    int64_t FReceived = 0, FTotal = -1;
    TTransferRate FRate;
    int FAttempt = 0;
    uint64_t FResumeAtMs = 0;
    uint64_t FDone = 0, FEntries = 0;
    std::string FEntry;
};

// Redraws the line at most every kIntervalMs, and only when its text changed.
class TStatusPacer {
  public:
    static constexpr uint64_t kIntervalMs = 250;
    // True when a text is due to be made at nowMs.
    bool Due(uint64_t nowMs) const { return !FShownOnce || nowMs - FShownAt >= kIntervalMs; }
    // True when text differs from what is shown: it is then taken as shown.
    bool Changed(const std::string& text, uint64_t nowMs);
    void Reset() { FShownOnce = false, FShown.clear(); }

  private:
    bool FShownOnce = false;
    uint64_t FShownAt = 0;
    std::string FShown;
};

} // namespace setup
