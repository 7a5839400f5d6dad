#include "setup/release/ReleaseManifest.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "runtime/DateTime.h"
#include "runtime/Format.h"

namespace setup {

namespace {

[[noreturn]] void Refuse(const char* format, std::initializer_list<rtl::FormatArg> args = {}) {
    throw EReleaseRefused(translator::ComposeMessage(format, args));
}

[[noreturn]] void Invalid(const char* reason, std::initializer_list<rtl::FormatArg> args = {}) {
    throw EReleaseRefused(rtl::Compose([&] {
        return rtl::Format(translator::gettext(SManifestInvalid),
                           {rtl::Format(translator::gettext(reason), args)});
    }));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number as the grammar writes it: no sign, no leading zero, below 2^63.
bool ParseNumber(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    value = static_cast<int64_t>(v);
    return true;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '.' || c == '_' ||
           c == '-';
}

bool ValidName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && name[0] != '.' &&
           std::all_of(name.begin(), name.end(), IsNameChar);
}

// The calendar is the runtime's: whole days since 1970-01-01 and back, in
// integers, so that a time of the manifest is read and written to the second.
using rtl::CivilFromDays;
using rtl::DaysFromCivil;
using rtl::DaysInMonth;

// Splits "name value" at its first space; the name is lower-case letters.
bool SplitField(std::string_view line, std::string_view& name, std::string_view& value) {
    size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos || space + 1 == line.size()) return false;
    name = line.substr(0, space);
    value = line.substr(space + 1);
    return std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool ParseFile(std::string_view value, TReleaseFile& file) {
    size_t first = value.find(' ');
    if (first == std::string_view::npos) return false;
    size_t second = value.find(' ', first + 1);
    if (second == std::string_view::npos) return false;
    std::vector<uint8_t> digest;
    if (!ValidName(value.substr(0, first)) ||
        !ParseNumber(value.substr(first + 1, second - first - 1), file.Size) ||
        !FromHex(value.substr(second + 1), digest) || digest.size() != file.Sha256.size())
        return false;
    file.Name = std::string(value.substr(0, first));
    std::copy(digest.begin(), digest.end(), file.Sha256.begin());
    return true;
}

// Printable ASCII only: no control characters (CR and tab among them).
bool PrintableLine(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

} // namespace

const TReleaseFile* TReleaseManifest::Find(std::string_view name) const {
    for (const TReleaseFile& file : Files)
        if (file.Name == name) return &file;
    return nullptr;
}

std::string ToHex(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

bool FromHex(std::string_view hex, std::vector<uint8_t>& bytes) {
    if (hex.size() % 2 != 0) return false;
    auto nibble = [](char c) {
        return IsDigit(c) ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

bool ParseUtcTime(std::string_view text, int64_t& unixSeconds) {
    // YYYY-MM-DDThh:mm:ssZ: digits at every place but these.
    constexpr std::string_view shape = "0000-00-00T00:00:00Z";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? !IsDigit(text[i]) : text[i] != shape[i]) return false;
    auto number = [&](size_t at, size_t length) {
        unsigned v = 0;
        for (size_t i = at; i < at + length; ++i)
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
        return v;
    };
    const int64_t year = number(0, 4);
    const unsigned month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 ||
        static_cast<int>(day) > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    unixSeconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string FormatUtcTime(int64_t unixSeconds) {
    int64_t days = unixSeconds / 86400, rest = unixSeconds % 86400;
    if (rest < 0) rest += 86400, --days;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<long long>(year), month, day, static_cast<unsigned>(rest / 3600),
                  static_cast<unsigned>(rest / 60 % 60), static_cast<unsigned>(rest % 60));
    return text;
}

TSignedText SplitSignature(std::string_view text) {
    if (text.size() > kManifestMaxSize)
        Refuse(SManifestTooLarge, {rtl::IntToStr(static_cast<int64_t>(kManifestMaxSize))});
    constexpr std::string_view prefix = "signature ";
    constexpr size_t lineSize = prefix.size() + 2 * platform::kP256SignatureSize + 1;
    // The last line, which must be the whole signature line and end the text.
    const size_t start = text.size() >= lineSize ? text.size() - lineSize : 0;
    const std::string_view line = text.substr(start);
    std::vector<uint8_t> signature;
    if (line.size() != lineSize || (start > 0 && text[start - 1] != '\n') ||
        line.substr(0, prefix.size()) != prefix || line.back() != '\n' ||
        !FromHex(line.substr(prefix.size(), lineSize - prefix.size() - 1), signature))
        Invalid(SManifestNoSignatureLine);
    TSignedText signedText;
    signedText.Body = text.substr(0, start);
    std::copy(signature.begin(), signature.end(), signedText.Signature.begin());
    return signedText;
}

TReleaseManifest ParseManifestBody(std::string_view body) {
    TReleaseManifest manifest;
    bool haveSerial = false;
    size_t lineNumber = 0;
    while (!body.empty()) {
        ++lineNumber;
        const size_t end = body.find('\n');
        // The body ends where the signature line starts: its last line has
        // its line feed, so a line without one is never seen here.
        const std::string_view line = body.substr(0, end);
        body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
        if (end == std::string_view::npos || !PrintableLine(line))
            Invalid(SManifestBadLine, {rtl::IntToStr(lineNumber)});
        if (lineNumber == 1) {
            if (line != kManifestFirstLine) Invalid(SManifestBadFirstLine);
            continue;
        }
        std::string_view name, value;
        if (!SplitField(line, name, value)) Invalid(SManifestBadLine, {rtl::IntToStr(lineNumber)});
        const std::string field(name), at = rtl::IntToStr(lineNumber);
        if (name == "serial") {
            int64_t serial = 0;
            if (haveSerial) Invalid(SManifestRepeated, {at, field});
            if (!ParseNumber(value, serial)) Invalid(SManifestBadValue, {at, field});
            manifest.Serial = static_cast<uint64_t>(serial);
            haveSerial = true;
        } else if (name == "expires") {
            int64_t expires = 0;
            if (manifest.Expires) Invalid(SManifestRepeated, {at, field});
            if (!ParseUtcTime(value, expires)) Invalid(SManifestBadValue, {at, field});
            manifest.Expires = expires;
        } else if (name == "file") {
            TReleaseFile file;
            if (!ParseFile(value, file)) Invalid(SManifestBadValue, {at, field});
            if (manifest.Find(file.Name)) Invalid(SManifestRepeated, {at, file.Name});
            manifest.Files.push_back(std::move(file));
        } else {
            Invalid(SManifestUnknownField, {at, field});
        }
    }
    if (lineNumber == 0) Invalid(SManifestBadFirstLine);
    if (!haveSerial) Invalid(SManifestMissingField, {"serial"});
    if (manifest.Files.empty()) Invalid(SManifestMissingField, {"file"});
    return manifest;
}

TReleaseManifest VerifyManifest(std::string_view text, const TReleaseKeys& keys, int64_t nowUnix) {
    const TSignedText signedText = SplitSignature(text);
    const auto body =
        std::span(reinterpret_cast<const uint8_t*>(signedText.Body.data()), signedText.Body.size());
    int signer = -1;
    bool unavailable = false;
    for (size_t i = 0; i < keys.Keys.size(); ++i) {
        platform::SignatureCheck check =
            platform::VerifyP256Sha256(keys.Keys[i], body, signedText.Signature);
        if (check == platform::SignatureCheck::Valid && signer < 0) signer = static_cast<int>(i);
        unavailable = unavailable || check == platform::SignatureCheck::Unavailable;
    }
    if (signer < 0) Refuse(unavailable ? SReleaseCheckUnavailable : SManifestSignature);

    TReleaseManifest manifest = ParseManifestBody(signedText.Body);
    manifest.VerifiedByKey = signer;
    if (manifest.Serial < keys.MinimumSerial)
        Refuse(SManifestOldSerial,
               {std::to_string(manifest.Serial), std::to_string(keys.MinimumSerial)});
    if (manifest.Expires && *manifest.Expires <= nowUnix)
        Refuse(SManifestExpired, {FormatUtcTime(*manifest.Expires)});
    return manifest;
}

std::string ComposeManifestBody(const TReleaseManifest& manifest) {
    std::string body = std::string(kManifestFirstLine) + "\n";
    body += "serial " + std::to_string(manifest.Serial) + "\n";
    if (manifest.Expires) body += "expires " + FormatUtcTime(*manifest.Expires) + "\n";
    for (const TReleaseFile& file : manifest.Files)
        body +=
            "file " + file.Name + " " + std::to_string(file.Size) + " " + ToHex(file.Sha256) + "\n";
    return body;
}

std::string SignatureLine(std::span<const uint8_t> signature) {
    return "signature " + ToHex(signature) + "\n";
}

} // namespace setup
