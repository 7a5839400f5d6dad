#include "http/NetHeaderList.h"

#include "platform/Unicode.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ResStrings.h"

namespace net {

namespace {

// A raw line never holds a line break of its own: it would become a second
// header line (or end the head early) when the list is written out.
std::string SingleLine(std::string_view line) {
    std::string result(line);
    for (char& c : result)
        if (c == '\r' || c == '\n') c = ' ';
    return result;
}

std::string_view NameOf(std::string_view line) {
    size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

[[noreturn]] void RaiseIndexError(size_t index) {
    throw rtl::ERangeError(
        rtl::Format(rtl::LoadResString(&rtl::SListIndexError), {static_cast<int64_t>(index)}));
}

} // namespace

const std::string& TNetHeaderList::Strings(size_t index) const {
    if (index >= FLines.size()) RaiseIndexError(index);
    return FLines[index];
}

void TNetHeaderList::SetStrings(size_t index, std::string_view line) {
    if (index >= FLines.size()) RaiseIndexError(index);
    FLines[index] = SingleLine(line);
}

void TNetHeaderList::Add(std::string_view line) {
    FLines.push_back(SingleLine(line));
}

void TNetHeaderList::AddValue(std::string_view name, std::string_view value) {
    std::string line(name);
    line += NameValueSeparator;
    line += value;
    Add(line);
}

void TNetHeaderList::Insert(size_t index, std::string_view line) {
    if (index > FLines.size()) RaiseIndexError(index);
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(index), SingleLine(line));
}

void TNetHeaderList::Delete(size_t index) {
    if (index >= FLines.size()) RaiseIndexError(index);
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TNetHeaderList::Text() const {
    std::string result;
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (i > 0) result += "\r\n";
        result += FLines[i];
    }
    return result;
}

void TNetHeaderList::SetText(std::string_view text) {
    FLines.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            FLines.emplace_back(text.substr(start));
            break;
        }
        FLines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

std::string TNetHeaderList::Names(size_t index) const {
    return std::string(NameOf(Strings(index)));
}

bool TNetHeaderList::IsContinuation(size_t index) const {
    const std::string& line = FLines[index];
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

size_t TNetHeaderList::EndOfEntry(size_t index) const {
    size_t end = index + 1;
    while (end < FLines.size() && IsContinuation(end))
        ++end;
    return end;
}

bool TNetHeaderList::NameIs(size_t index, std::string_view name) const {
    return platform::SameTextAscii(NameOf(FLines[index]), name);
}

std::string TNetHeaderList::ValueFromIndex(size_t index) const {
    const std::string& line = Strings(index);
    size_t colon = line.find(':');
    std::string value =
        colon == std::string::npos ? std::string() : rtl::Trim(line.substr(colon + 1));
    size_t end = EndOfEntry(index);
    for (size_t i = index + 1; i < end; ++i) {
        std::string piece = rtl::Trim(FLines[i]);
        if (piece.empty()) continue;
        value += ' ';
        value += piece;
    }
    return rtl::Trim(value);
}

int TNetHeaderList::IndexOfName(std::string_view name) const {
    for (size_t i = 0; i < FLines.size(); i = EndOfEntry(i))
        if (NameIs(i, name)) return static_cast<int>(i);
    return -1;
}

std::string TNetHeaderList::Values(std::string_view name) const {
    int index = IndexOfName(name);
    return index < 0 ? std::string() : ValueFromIndex(static_cast<size_t>(index));
}

void TNetHeaderList::SetValues(std::string_view name, std::string_view value) {
    int found = IndexOfName(name);
    if (found >= 0) {
        size_t index = static_cast<size_t>(found);
        FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index + 1),
                     FLines.begin() + static_cast<std::ptrdiff_t>(EndOfEntry(index)));
        if (value.empty()) {
            FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(index));
        } else {
            std::string line(name);
            line += NameValueSeparator;
            line += value;
            FLines[index] = SingleLine(line);
        }
    } else if (!value.empty()) {
        AddValue(name, value);
    }
}

std::vector<std::string> TNetHeaderList::GetValues(std::string_view name) const {
    std::vector<std::string> result;
    for (size_t i = 0; i < FLines.size(); i = EndOfEntry(i))
        if (NameIs(i, name)) result.push_back(ValueFromIndex(i));
    return result;
}

} // namespace net
