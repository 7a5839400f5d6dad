#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/UnZipper.h"
#include "tests/TestSupport.h"

namespace ziptest {

// A fixture under tests/data/zip.
inline std::string Fixture(const std::string& name) {
    return testing_support::DataFile("zip/" + name);
}
inline std::string Source(const std::string& name) {
    return testing_support::DataFile("zip/src/" + name);
}

// One failure report of the component.
struct Failure {
    std::string name;
    int errorClass;
    int code;
    std::string message;
};

// An unzipper into a fresh folder that records every failure report.
struct Unzip {
    testing_support::TempDir dir;
    arc::TArcUnZipper zip;
    std::vector<Failure> failures;
    Unzip();
    std::string Out(const std::string& name) const { return dir.File(name); }
    const Failure* FailureOf(const std::string& name) const;
    // Opens the archive and extracts every entry into the folder.
    void ExtractAll(const std::string& archive);
    // The recorded failures as "name: message" lines, for assertion messages.
    std::string Failures() const;
};

// Where an item's data starts in the archive's bytes: after its local
// header with that header's own name and extra field lengths.
size_t DataOffset(const std::string& archiveBytes, const arc::TArcZipItem& item);

// A stored (method 0) archive of entries with the given names and data;
// an entry may carry a checksum that does not match its data, another DOS
// date than 1980-01-01 (0 cannot be converted) and general purpose flags.
struct StoredEntry {
    std::string name;
    std::string data;
    bool badCrc = false;
    uint16_t date = 0x21;
    uint16_t flags = 0;
};
std::string StoredArchive(const std::vector<StoredEntry>& entries);
// An end-of-directory record with the given comment length field and comment.
std::string EndRecord(uint16_t entries, uint32_t dirSize, uint32_t dirOffset,
                      uint16_t commentLength, const std::string& comment);

} // namespace ziptest
