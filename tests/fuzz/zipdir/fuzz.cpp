// Reads the central directory of arbitrary bytes, then walks every item:
// names, attributes, times, local headers, decryption and stored data.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/UnZipper.h"
#include "runtime/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto stream = std::make_unique<rtl::TMemoryStream>();
    if (size) stream->WriteBuffer(data, size);
    arc::TArcZipArchive archive(std::move(stream), "fuzz.zip");
    archive.FPassword = "x";
    archive.FPasswordRetries = 1;
    archive.FTestHelper = arc::TestUnzip;
    archive.FHooks.OnProcessItemFailure = [](arc::TArcArchiveItem&, arc::TArcProcessType,
                                             arc::TArcErrorClass, int, const std::string&) {};
    try {
        archive.Load();
    } catch (const rtl::Exception&) {
    }
    for (int i = 0; i < archive.Count(); ++i) {
        arc::TArcZipItem& item = archive.ZipItem(i);
        (void)item.IsDirectory();
        (void)item.NativeFileAttributes();
        (void)arc::MatchesStoredName(item, "*.txt;a?c\\*");
        try {
            (void)item.LastModTimeAsDateTime();
        } catch (const rtl::Exception&) {
        }
        item.SetTagged(true);
    }
    if (archive.Status() != arc::asInvalid) archive.TestTaggedItems();
    return 0;
}
