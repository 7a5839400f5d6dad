#include "tests/archive/zip/ZipTestSupport.h"

namespace ziptest {

Unzip::Unzip() {
    zip.SetBaseDirectory(dir.Path());
    zip.OnProcessItemFailure = [this](arc::TArcArchiveItem& item, arc::TArcProcessType,
                                      arc::TArcErrorClass c, int code, const std::string& message) {
        failures.push_back({item.FileName(), static_cast<int>(c), code, message});
    };
}

const Failure* Unzip::FailureOf(const std::string& name) const {
    for (const auto& f : failures)
        if (f.name == name) return &f;
    return nullptr;
}

void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void Put32(std::string& s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v));
    Put16(s, static_cast<uint16_t>(v >> 16));
}

std::string EndRecord(uint16_t entries, uint32_t dirSize, uint32_t dirOffset,
                      uint16_t commentLength, const std::string& comment) {
    std::string s;
    Put32(s, 0x06054B50);
    Put16(s, 0);
    Put16(s, 0);
    Put16(s, entries);
    Put16(s, entries);
    Put32(s, dirSize);
    Put32(s, dirOffset);
    Put16(s, commentLength);
    return s + comment;
}

} // namespace ziptest
