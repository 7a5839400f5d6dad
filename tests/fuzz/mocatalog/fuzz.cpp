// Catalog parsing and lookup, and appended-catalog discovery, on arbitrary
// bytes. The first byte chooses: even, the rest is an MO catalog opened from
// a file and searched; odd, the rest is an executable whose appended block
// is discovered and whose catalogs are then opened and searched.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "translation/FileLocator.h"
#include "translation/MoFile.h"

namespace {

std::string ScratchFile() {
    static const std::string path = "/tmp/fuzz-mocatalog-" + std::to_string(::getpid()) + ".bin";
    return path;
}

void WriteScratch(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(ScratchFile().c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void Search(const translator::TMoFile& mo, const uint8_t* data, size_t size) {
    bool found = false;
    mo.gettext("", found);
    mo.gettext("Bent u zeker ?", found);
    mo.gettext("\xff\xff\xff", found);
    // Plural entries: found by the singular, split into forms by the rule.
    std::string form;
    for (uint64_t n : {0, 1, 2, 5, 1000})
        mo.ngettext("%d file", n, form);
    // Identifiers cut from the input reach entries the fixed ones miss.
    for (size_t at = 0; at + 1 < size && at < 64; at += 8)
        mo.gettext(std::string_view(reinterpret_cast<const char*>(data + at),
                                    std::min<size_t>(size - at, 12)),
                   found);
    if (size > 8)
        mo.ngettext(std::string_view(reinterpret_cast<const char*>(data) + 1, 7), size, form);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool discover = data[0] & 1;
    ++data;
    --size;
    WriteScratch(data, size);
    try {
        if (!discover) {
            translator::TMoFile mo(ScratchFile(), 0, 0);
            Search(mo, data, size);
            return 0;
        }
        translator::TFileLocator locator(ScratchFile());
        locator.Analyze();
        for (const std::string& name : locator.EmbeddedFileNames()) {
            std::string path = locator.BaseDirectory() + name;
            if (!locator.FileExists(path)) continue;
            try {
                translator::TMoFile* mo = locator.GetMoFile(path);
                Search(*mo, data, size);
                locator.ReleaseMoFile(mo);
            } catch (const rtl::Exception&) {
            }
        }
    } catch (const rtl::Exception&) {
        // Refusing a damaged catalog is the expected answer.
    }
    return 0;
}
