#include "tests/archive/zip/ZipTestSupport.h"

#include "archive/Crc32.h"
#include "archive/ZipFormat.h"
#include "runtime/Bytes.h"

namespace ziptest {

using testing_support::Put16;
using testing_support::Put32;

Unzip::Unzip() {
    zip.SetBaseDirectory(dir.Path());
    zip.OnProcessItemFailure = [this](arc::TArcArchiveItem& item, arc::TArcProcessType,
                                      arc::TArcErrorClass c, int code, const std::string& message) {
        failures.push_back({item.FileName(), static_cast<int>(c), code, message});
    };
}

void Unzip::ExtractAll(const std::string& archive) {
    zip.OpenArchive(archive);
    zip.ExtractFiles("*.*");
}

std::string Unzip::Failures() const {
    std::string lines;
    for (const auto& f : failures)
        lines += f.name + ": " + f.message + "\n";
    return lines;
}

const Failure* Unzip::FailureOf(const std::string& name) const {
    for (const auto& f : failures)
        if (f.name == name) return &f;
    return nullptr;
}

std::string StoredArchive(const std::vector<StoredEntry>& entries) {
    std::string zip, central;
    for (const StoredEntry& e : entries) {
        // The fields shared by the local (APPNOTE 4.3.7) and central (4.3.12)
        // headers, from the version needed on.
        std::string shared;
        Put16(shared, 20), Put16(shared, e.flags), Put16(shared, 0), Put16(shared, 0);
        Put16(shared, e.date);
        const uint32_t crc = arc::TArcCrc32::Of(e.data.data(), e.data.size());
        Put32(shared, e.badCrc ? crc ^ 0xFFFFFFFFu : crc);
        Put32(shared, static_cast<uint32_t>(e.data.size()));
        Put32(shared, static_cast<uint32_t>(e.data.size()));
        Put16(shared, static_cast<uint16_t>(e.name.size()));
        Put16(shared, 0);
        const auto offset = static_cast<uint32_t>(zip.size());
        Put32(zip, 0x04034B50);
        zip += shared + e.name + e.data;
        Put32(central, 0x02014B50);
        Put16(central, 20);
        central += shared;
        Put16(central, 0), Put16(central, 0), Put16(central, 0), Put32(central, 0);
        Put32(central, offset);
        central += e.name;
    }
    const auto count = static_cast<uint16_t>(entries.size());
    return zip + central +
           EndRecord(count, static_cast<uint32_t>(central.size()),
                     static_cast<uint32_t>(zip.size()), 0, "");
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

size_t DataOffset(const std::string& archiveBytes, const arc::TArcZipItem& item) {
    const auto* local =
        reinterpret_cast<const uint8_t*>(archiveBytes.data()) + item.FRelativeOffset;
    return static_cast<size_t>(item.FRelativeOffset) + arc::kLocalFileHeaderSize +
           rtl::LoadLE16(local + 26) + rtl::LoadLE16(local + 28);
}

} // namespace ziptest
