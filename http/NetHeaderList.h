#pragma once
// Raw header lines ("Name: value") in the order they were added or received.
//
// A line's name is the text before its first ":" (not trimmed; a line without
// ":" has an empty name); names compare case-insensitively (ASCII). A line that
// begins with a space or tab continues the value of the line before it
// (obsolete line folding, RFC 7230 section 3.2.4). Lines are never folded on
// output.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace net {

class TNetHeaderList {
  public:
    static constexpr std::string_view NameValueSeparator = ": ";

    // Width at which values would be folded on output: never.
    int FoldLength = std::numeric_limits<int>::max();

    size_t Count() const { return FLines.size(); }
    // The raw line at index i (0-based); raises rtl::ERangeError outside.
    const std::string& Strings(size_t index) const;
    void SetStrings(size_t index, std::string_view line);

    // Appends one raw line. Line breaks inside it become spaces so that one
    // entry can never turn into two header lines on output.
    void Add(std::string_view line);
    // Appends "name: value" without looking for an existing line of that name.
    void AddValue(std::string_view name, std::string_view value);
    void Insert(size_t index, std::string_view line);
    void Delete(size_t index);
    void Clear() { FLines.clear(); }

    // All lines joined with CR LF (no line break after the last one).
    std::string Text() const;
    // Replaces the content with the lines of text (CR LF, LF or CR ends a line;
    // a trailing line break adds no empty line).
    void SetText(std::string_view text);

    // Name of the line at index: the text before its first ":".
    std::string Names(size_t index) const;
    // Value of the line at index with its continuation lines (the read rule of
    // Values).
    std::string ValueFromIndex(size_t index) const;
    // Index of the first line with that name, or -1.
    int IndexOfName(std::string_view name) const;

    // The value of the first line with that name: the text after its ":" with
    // the following continuation lines joined by one space, each piece and the
    // result trimmed. Empty when there is no such line.
    std::string Values(std::string_view name) const;
    // Replaces the first line of that name in place (dropping its continuation
    // lines) or appends a new line; an empty value deletes that line instead.
    void SetValues(std::string_view name, std::string_view value);
    // The values of every line with that name, in order (read rule as Values).
    std::vector<std::string> GetValues(std::string_view name) const;

  private:
    bool IsContinuation(size_t index) const;
    // Index one past the continuation lines that follow the line at index.
    size_t EndOfEntry(size_t index) const;
    bool NameIs(size_t index, std::string_view name) const;

    std::vector<std::string> FLines;
};

} // namespace net
