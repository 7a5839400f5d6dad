#include "setup/RunStatus.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/Format.h"

namespace setup {

// ---- TTransferRate ----------------------------------------------------------

void TTransferRate::Start(uint64_t nowMs, int64_t count) {
    FStarted = true;
    FStartMs = FLastMs = nowMs;
    FStartCount = FLastCount = FCount = count;
    FRate = 0;
    FRated = false;
}

void TTransferRate::Sample(uint64_t nowMs, int64_t count, int64_t total) {
    if (!FStarted) Start(nowMs, count);
    FCount = count;
    if (nowMs < FLastMs + kMinIntervalMs) return;
    const double elapsed = static_cast<double>(nowMs - FLastMs);
    const double rate =
        static_cast<double>(std::max<int64_t>(count - FLastCount, 0)) * 1000 / elapsed;
    // Over the first time constant the average since the start is the
    // better measure (a connection's first interval is slow to start); then
    // each interval weighs by how long it lasted, so a long stall counts
    // more than a short one.
    if (nowMs - FStartMs < kTimeConstantMs)
        FRate = static_cast<double>(std::max<int64_t>(count - FStartCount, 0)) * 1000 /
                static_cast<double>(nowMs - FStartMs);
    else
        FRate = FRate + (1 - std::exp(-elapsed / kTimeConstantMs)) * (rate - FRate);
    FRated = true;
    FLastMs = nowMs;
    FLastCount = count;
    if (total < 0 || FRate <= 0 || nowMs - FStartMs < kEstimateAfterMs) return;
    const double measured = static_cast<double>(std::max<int64_t>(total - count, 0)) / FRate;
    const double counted = std::max(FLeft - elapsed / 1000, 0.0);
    FLeft = FLeftKnown
                ? counted + (1 - std::exp(-elapsed / kTimeLeftConstantMs)) * (measured - counted)
                : measured;
    FLeftKnown = true;
}

bool TTransferRate::HasEstimate() const {
    return FRated && FRate > 0 && FLastMs - FStartMs >= kEstimateAfterMs;
}

// ---- Shortening ---------------------------------------------------------------

namespace {

constexpr const char* kEllipsis = "\u2026";

// Byte offsets where the characters of a UTF-8 text start.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    return starts;
}

} // namespace

std::string MiddleShortened(const std::string& name, size_t maxChars) {
    const std::vector<size_t> starts = CharacterStarts(name);
    if (starts.size() <= maxChars) return name;
    if (maxChars == 0) return std::string();
    const size_t kept = maxChars - 1; // the ellipsis takes one
    // The end keeps two thirds, or the file's own name with its separator
    // when that fits beside a character of the start.
    const size_t separator = name.find_last_of("/\\");
    const size_t nameChars = separator == std::string::npos
                                 ? starts.size()
                                 : CharacterStarts(name.substr(separator)).size();
    size_t tail = kept - kept / 3;
    if (nameChars > tail && nameChars < kept) tail = nameChars;
    const size_t head = kept - tail;
    // A part of no characters starts at the end of the name.
    auto at = [&](size_t index) { return index < starts.size() ? starts[index] : name.size(); };
    return name.substr(0, at(head)) + kEllipsis + name.substr(at(starts.size() - tail));
}

// ---- TRunStatus -----------------------------------------------------------------

void TRunStatus::Manifest() {
    FPhase = TPhase::Manifest;
}

void TRunStatus::Archive(const std::string& name, int index, int count) {
    FPhase = TPhase::Download;
    FName = name, FIndex = index, FCount = count;
    FReceived = 0, FTotal = -1;
    FRate = {};
    FEntry.clear();
}

void TRunStatus::TransferBegin(int64_t total) {
    FTotal = total > 0 ? total : -1;
    // The speed is measured from the attempt's first bytes on, which may
    // continue the file (a resume) or start it over.
    FRate = {};
}

void TRunStatus::Transfer(uint64_t nowMs, int64_t count) {
    // Data that flows again ends a reconnect.
    if (count > FReceived && FPhase == TPhase::Reconnect) FPhase = TPhase::Download;
    FReceived = count;
    FRate.Sample(nowMs, count, FTotal);
}

void TRunStatus::Idle(uint64_t nowMs) {
    if (FPhase == TPhase::Download && FRate.Started()) FRate.Sample(nowMs, FReceived, FTotal);
}

void TRunStatus::Reconnecting(int attempt, uint64_t resumeAtMs) {
    FPhase = TPhase::Reconnect;
    FAttempt = attempt;
    FResumeAtMs = resumeAtMs;
}

void TRunStatus::Unpacking(uint64_t done, uint64_t total, const std::string& entry) {
    FDone = done, FEntries = total;
    if (!entry.empty()) FEntry = entry;
    if (!FEntry.empty()) FPhase = TPhase::Unpack;
}

std::string TRunStatus::Size(int64_t bytes, TSizeUnit unit) const {
    return FormatSize(bytes, unit, FStyle);
}

std::string TRunStatus::DownloadText() const {
    const std::string index = FormatCount(static_cast<uint64_t>(FIndex), FStyle);
    const std::string count = FormatCount(static_cast<uint64_t>(FCount), FStyle);
    const std::string speed = FormatSpeed(FRate.BytesPerSecond(), FStyle);
    if (FTotal < 0) {
        const std::string received = Size(FReceived, SizeUnitFor(FReceived));
        return rtl::Format(translator::gettext(SStatusDownloadUnsized),
                           {FName, index, count, received, speed});
    }
    // Both sizes in the total's unit, so the received one reads as a part of it.
    const TSizeUnit unit = SizeUnitFor(FTotal);
    const std::string received = Size(FReceived, unit), total = Size(FTotal, unit);
    if (!FRate.HasEstimate())
        return rtl::Format(translator::gettext(SStatusDownload),
                           {FName, index, count, received, total, speed});
    return rtl::Format(
        translator::gettext(SStatusDownloadTimeLeft),
        {FName, index, count, received, total, speed, FormatTimeLeft(FRate.SecondsLeft(), FStyle)});
}

std::string TRunStatus::ReconnectText(uint64_t nowMs) const {
    const std::string attempt = FormatCount(static_cast<uint64_t>(FAttempt), FStyle);
    if (nowMs >= FResumeAtMs)
        return rtl::Format(translator::gettext(SStatusReconnecting), {FName, attempt});
    const uint64_t seconds = (FResumeAtMs - nowMs + 999) / 1000;
    const std::string pause =
        rtl::Format(translator::ngettext(SSeconds, seconds), {FormatCount(seconds, FStyle)});
    return rtl::Format(translator::gettext(SStatusReconnectIn), {FName, attempt, pause});
}

std::string TRunStatus::UnpackText(const TFitsLine& fits) const {
    const std::string format = translator::ngettext(SStatusUnpack, FEntries);
    const std::string done = FormatCount(FDone, FStyle), total = FormatCount(FEntries, FStyle);
    auto line = [&](const std::string& entry) {
        return rtl::Format(format, {FName, done, total, entry});
    };
    std::string text = line(FEntry);
    if (!fits || fits(text)) return text;
    // The longest middle-shortened name that still fits, found by halving.
    size_t low = 0, high = CharacterStarts(FEntry).size();
    while (low + 1 < high) {
        const size_t mid = (low + high) / 2;
        (fits(line(MiddleShortened(FEntry, mid))) ? low : high) = mid;
    }
    return line(MiddleShortened(FEntry, low));
}

std::string TRunStatus::Text(uint64_t nowMs, const TFitsLine& fits) const {
    switch (FPhase) {
    case TPhase::None:
        return std::string();
    case TPhase::Manifest:
        return translator::gettext(SStatusManifest);
    case TPhase::Download:
        return DownloadText();
    case TPhase::Reconnect:
        return ReconnectText(nowMs);
    case TPhase::Unpack:
        return UnpackText(fits);
    }
    return std::string();
}

// ---- TStatusPacer -----------------------------------------------------------------

bool TStatusPacer::Changed(const std::string& text, uint64_t nowMs) {
    FShownOnce = true;
    FShownAt = nowMs;
    if (text == FShown) return false;
    FShown = text;
    return true;
}

} // namespace setup
