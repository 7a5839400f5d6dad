#include "setup/InstallLog.h"

#include <cstdio>

#include "platform/Clock.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"

namespace setup {

namespace {

constexpr int64_t kMsPerDay = 86400000;

struct TLocalTime {
    int64_t Year;
    unsigned Month, Day;
    int64_t MsOfDay;
};

TLocalTime LocalTimeOf(int64_t utcMs, int64_t offsetSeconds) {
    const int64_t local = utcMs + offsetSeconds * 1000;
    // Floor division: an instant before 1970 still falls on its own day.
    int64_t days = local / kMsPerDay, ms = local % kMsPerDay;
    if (ms < 0) ms += kMsPerDay, --days;
    TLocalTime t{};
    rtl::CivilFromDays(days, t.Year, t.Month, t.Day);
    t.MsOfDay = ms;
    return t;
}

std::string DateText(const TLocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(t.Year), t.Month,
                  t.Day);
    return text;
}

int64_t NowUtcMs() {
    return static_cast<int64_t>(platform::UtcNowUnixSeconds() * 1000.0);
}

} // namespace

std::string LogTimeStamp(int64_t utcMs, int64_t offsetSeconds) {
    const TLocalTime t = LocalTimeOf(utcMs, offsetSeconds);
    const int64_t s = t.MsOfDay / 1000;
    char time[24];
    std::snprintf(time, sizeof time, " %02d:%02d:%02d.%03d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60),
                  static_cast<int>(t.MsOfDay % 1000));
    return DateText(t) + time;
}

std::string NewLogFileName(const std::string& folder, int64_t utcMs, int64_t offsetSeconds,
                           const std::function<bool(const std::string&)>& exists) {
    const std::string date = DateText(LocalTimeOf(utcMs, offsetSeconds));
    for (int n = 1; n <= 999; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "%03d", n);
        std::string path = folder + "Setup Log " + date + " #" + number + ".txt";
        if (!exists(path)) return path;
    }
    return {};
}

TInstallLog::TInstallLog(const std::string& path) : FPath(path) {
    int error = 0;
    FHandle = platform::FileOpen(path, platform::FileAccess::Write,
                                 platform::ShareRead | platform::ShareWrite,
                                 platform::FileDisposition::OpenAlways, error);
    if (FHandle == platform::kInvalidFileHandle)
        throw EInstallLogError(rtl::Format(translator::gettext(SLogNotWritable),
                                           {path, platform::SysErrorMessage(error)}));
    const int64_t end = platform::FileSeek(FHandle, 0, platform::SeekOrigin::End);
    if (end < 0) {
        const int code = platform::LastOsError();
        platform::FileClose(FHandle);
        throw EInstallLogError(rtl::Format(translator::gettext(SLogNotWritable),
                                           {path, platform::SysErrorMessage(code)}));
    }
}

TInstallLog::~TInstallLog() {
    if (FHandle != platform::kInvalidFileHandle) platform::FileClose(FHandle);
}

void TInstallLog::Line(std::string_view text, bool last) {
    const int64_t utcMs = NowUtcMs();
    LineAt(utcMs, platform::LocalOffsetSecondsAt(utcMs / 1000), text, last);
}

void TInstallLog::LineAt(int64_t utcMs, int64_t offsetSeconds, std::string_view text, bool last) {
    if (FCapped && !last) return;
    std::string line = LogTimeStamp(utcMs, offsetSeconds) + "  ";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
                ++i;
            line += " | ";
        } else {
            line += text[i];
        }
    }
    // CR LF: the log is read in Notepad on the shop's own machine.
    line += "\r\n";
    if (!last && FWritten + static_cast<int64_t>(line.size()) > kInstallLogMaxBytes) {
        FCapped = true;
        line = LogTimeStamp(utcMs, offsetSeconds) +
               "  The log has reached its size limit; only the end of the run follows.\r\n";
    }
    Append(line);
}

void TInstallLog::Append(const std::string& bytes) {
    // Unbuffered: each line goes to the system at once, so it survives the
    // process being killed. At the end each time: another Setup.exe told to
    // log into the same file (and refused as a second start) appends too.
    platform::FileSeek(FHandle, 0, platform::SeekOrigin::End);
    const int64_t n = platform::FileWrite(FHandle, bytes.data(), bytes.size());
    if (n > 0) FWritten += n;
}

namespace {
TInstallLog* GRunLog = nullptr;
} // namespace

void SetRunLog(TInstallLog* log) {
    GRunLog = log;
}

TInstallLog* RunLog() {
    return GRunLog;
}

void LogLine(std::string_view text, bool last) {
    if (GRunLog) GRunLog->Line(text, last);
}

void TLogProgressSteps::Begin(int64_t expected) {
    FStep = expected > 0 ? (expected + 9) / 10 : int64_t(16) << 20;
    FNext = FStep;
}

bool TLogProgressSteps::Crossed(int64_t received) {
    if (FStep <= 0 || received < FNext) return false;
    FNext = (received / FStep + 1) * FStep;
    return true;
}

} // namespace setup
