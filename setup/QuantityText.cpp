#include "setup/QuantityText.h"

#include <cmath>

#include "runtime/Format.h"

namespace setup {

namespace {

constexpr double kKiB = 1024.0;

// value with one decimal, rounded half away from zero.
std::string OneDecimal(double value, const TNumberStyle& style) {
    const auto tenths = static_cast<uint64_t>(std::llround(std::max(value, 0.0) * 10));
    return FormatCount(tenths / 10, style) + style.Decimal + std::to_string(tenths % 10);
}

std::string Counted(const translator::TPluralText& text, uint64_t n, const TNumberStyle& style) {
    return rtl::Format(translator::ngettext(text, n), {FormatCount(n, style)});
}

std::string Unit(const char* text, const std::string& number) {
    return rtl::Format(translator::gettext(text), {number});
}

} // namespace

TNumberStyle NumberStyleForLanguage(const std::string& languageCode) {
    const std::string language = languageCode.substr(0, 2);
    if (language == "nl") return {",", "."};
    // A narrow no-break space, as the system's French locale groups digits.
    if (language == "fr") return {",", "\u202f"};
    return {".", ","};
}

std::string FormatCount(uint64_t n, const TNumberStyle& style) {
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += style.Thousands;
        out += digits[i];
    }
    return out;
}

TSizeUnit SizeUnitFor(int64_t bytes) {
    if (bytes >= kKiB * kKiB * kKiB) return TSizeUnit::GB;
    if (bytes >= kKiB * kKiB) return TSizeUnit::MB;
    return TSizeUnit::kB;
}

std::string FormatSize(int64_t bytes, TSizeUnit unit, const TNumberStyle& style) {
    switch (unit) {
    case TSizeUnit::GB:
        return Unit(SUnitGB, OneDecimal(static_cast<double>(bytes) / (kKiB * kKiB * kKiB), style));
    case TSizeUnit::MB:
        return Unit(SUnitMB, OneDecimal(static_cast<double>(bytes) / (kKiB * kKiB), style));
    case TSizeUnit::kB:
        break;
    }
    return Unit(SUnitKB, OneDecimal(static_cast<double>(bytes) / kKiB, style));
}

std::string FormatSpeed(double bytesPerSecond, const TNumberStyle& style) {
    const double kilobytes = std::max(bytesPerSecond, 0.0) / kKiB;
    // 999.5 kB/s would round to "1.000 kB/s": shown as megabytes instead.
    if (kilobytes < 999.5)
        return Unit(SUnitKBps, FormatCount(static_cast<uint64_t>(std::llround(kilobytes)), style));
    return Unit(SUnitMBps, OneDecimal(kilobytes / kKiB, style));
}

std::string FormatTimeLeft(double seconds, const TNumberStyle& style) {
    seconds = std::max(seconds, 0.0);
    if (seconds <= 55) {
        const auto steps = static_cast<uint64_t>(std::ceil(seconds / 5));
        return Counted(STimeLeftSeconds, std::max<uint64_t>(steps, 1) * 5, style);
    }
    const double minutes = seconds / 60;
    if (minutes < 90)
        return Counted(STimeLeftMinutes, std::max<uint64_t>(std::llround(minutes), 1), style);
    return Counted(STimeLeftHours, static_cast<uint64_t>(std::llround(minutes / 60)), style);
}

} // namespace setup
