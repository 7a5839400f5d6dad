#pragma once
// Text formatting for messages: %s, %d, %u, %x (also with width, '-' and '0'
// flags), and %%. A directive that does not fit its argument, or a missing
// argument, raises EConvertError.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace rtl {

class FormatArg {
public:
    enum class Kind { Text, Integer };
    FormatArg(std::string_view text) : FKind(Kind::Text), FText(text) {}
    FormatArg(const std::string& text) : FKind(Kind::Text), FText(text) {}
    FormatArg(const char* text) : FKind(Kind::Text), FText(text ? text : "") {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    FormatArg(T value) : FKind(Kind::Integer), FInteger(static_cast<int64_t>(value)) {}

    Kind GetKind() const { return FKind; }
    std::string_view Text() const { return FText; }
    int64_t Integer() const { return FInteger; }

private:
    Kind FKind;
    std::string_view FText;
    int64_t FInteger = 0;
};

std::string Format(std::string_view format, std::span<const FormatArg> args);
inline std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
    return Format(format, std::span<const FormatArg>(args.begin(), args.size()));
}

std::string IntToStr(int64_t value);
// Reads a whole decimal integer with an optional sign; false when the text is
// empty, holds anything else, or is out of the 64-bit range.
bool TryStrToInt64(std::string_view text, int64_t& value);
std::string Trim(std::string_view text);      // removes blanks and control characters at both ends
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

} // namespace rtl
