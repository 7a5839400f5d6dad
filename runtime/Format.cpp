#include "runtime/Format.h"

#include <charconv>
#include <limits>

#include "runtime/Exception.h"
#include "runtime/ResStrings.h"

namespace rtl {

namespace {

[[noreturn]] void FormatError(std::string_view format) {
    throw EConvertError(Format(LoadResString(&SInvalidFormat), {format}));
}

std::string Pad(std::string text, int width, bool left, bool zero) {
    if (width <= 0 || text.size() >= static_cast<size_t>(width)) return text;
    size_t missing = static_cast<size_t>(width) - text.size();
    if (left) return text + std::string(missing, ' ');
    if (zero) {
        size_t signAt = (!text.empty() && text[0] == '-') ? 1 : 0;
        return text.insert(signAt, std::string(missing, '0'));
    }
    return std::string(missing, ' ') + text;
}

std::string ToBase(uint64_t value, int base, bool upper) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    std::string text(buffer, result.ptr);
    if (upper)
        for (char& c : text)
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

std::string Format(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= format.size()) FormatError(format);
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        bool left = false, zero = false;
        for (; i < format.size() && (format[i] == '-' || format[i] == '0'); ++i)
            (format[i] == '-' ? left : zero) = true;
        int width = 0;
        for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i)
            width = width * 10 + (format[i] - '0');
        if (i >= format.size() || next >= args.size()) FormatError(format);
        const FormatArg& arg = args[next++];
        std::string piece;
        switch (format[i]) {
        case 's':
            if (arg.GetKind() != FormatArg::Kind::Text) FormatError(format);
            piece = std::string(arg.Text());
            zero = false;
            break;
        case 'd':
            if (arg.GetKind() != FormatArg::Kind::Integer) FormatError(format);
            piece = IntToStr(arg.Integer());
            break;
        case 'u':
            if (arg.GetKind() != FormatArg::Kind::Integer) FormatError(format);
            piece = ToBase(static_cast<uint64_t>(arg.Integer()), 10, false);
            break;
        case 'x':
        case 'X':
            if (arg.GetKind() != FormatArg::Kind::Integer) FormatError(format);
            piece = ToBase(static_cast<uint64_t>(arg.Integer()), 16, format[i] == 'X');
            break;
        default:
            FormatError(format);
        }
        out += Pad(std::move(piece), width, left, zero);
    }
    return out;
}

std::string IntToStr(int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    bool negative = false;
    size_t i = 0;
    if (text[0] == '+' || text[0] == '-') negative = text[0] == '-', i = 1;
    if (i >= text.size()) return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        unsigned digit = static_cast<unsigned>(c - '0');
        if (magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

std::string TrimLeft(std::string_view text) {
    size_t b = 0;
    while (b < text.size() && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text) {
    size_t e = text.size();
    while (e > 0 && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(0, e));
}

std::string Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

} // namespace rtl
