#include <gtest/gtest.h>

#include "tests/TestSupport.h"
#include "tests/translation/MoBuilder.h"
#include "translation/GettextErrors.h"
#include "translation/MoFile.h"

using namespace translator;
using testing_support::DataFile;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Lookup(const TMoFile& mo, std::string_view id, bool* foundOut = nullptr) {
    bool found = false;
    std::string result = mo.gettext(id, found);
    if (foundOut) *foundOut = found;
    return result;
}

std::string IoErrorOf(const std::string& path, int64_t offset = 0, int64_t size = 0) {
    try {
        TMoFile mo(path, offset, size);
    } catch (const EGettextIOError& e) {
        return e.Message();
    }
    return "(opened)";
}

const char* const kNotValid = "This file is not a valid GNU gettext mo file: ";

} // namespace

TEST(MoFile, BothByteOrdersGiveTheSameAnswers) {
    TMoFile little(DataFile("translation/sample.mo"), 0, 0);
    TMoFile big(DataFile("translation/sample-be.mo"), 0, 0);
    EXPECT_FALSE(little.ByteSwapped());
    EXPECT_TRUE(big.ByteSwapped());
    ASSERT_EQ(little.Count(), 8u);
    ASSERT_EQ(big.Count(), 8u);
    for (const char* id :
         {"", "Bent u zeker ?", "WAARSCHUWING", "Line one\nLine two", "Überprüfung",
          "Stream read error", "De installatie is niet voltooid.", "not there"}) {
        bool foundLittle = false, foundBig = false;
        EXPECT_EQ(Lookup(little, id, &foundLittle), Lookup(big, id, &foundBig)) << id;
        EXPECT_EQ(foundLittle, foundBig) << id;
    }
    EXPECT_EQ(Lookup(big, "Bent u zeker ?"), "Sind Sie sicher?");
    EXPECT_EQ(Lookup(big, "Überprüfung"), "Prüfung ✓");
}

TEST(MoFile, HeaderPluralAndMisses) {
    TMoFile mo(DataFile("translation/sample.mo"), 0, 0);
    bool found = false;
    std::string header = Lookup(mo, "", &found);
    EXPECT_TRUE(found);
    EXPECT_NE(header.find("Content-Type: text/plain; charset=UTF-8\n"), std::string::npos);

    // A plural entry is keyed by singular NUL plural and holds its forms NUL-separated.
    EXPECT_EQ(Lookup(mo, std::string("%d file\0%d files", 16), &found),
              std::string("%d Datei\0%d Dateien", 19));
    EXPECT_TRUE(found);

    // Before the first entry (after the header), after the last, between two,
    // and a proper prefix of an entry.
    for (const char* id : {"!", "\xff\xff", "C", "Bent u", "WAARSCHUWING!"}) {
        EXPECT_EQ(Lookup(mo, id, &found), id);
        EXPECT_FALSE(found) << id;
    }
}

TEST(MoFile, HalvingSearchFindsEveryEntryOfEverySize) {
    TempDir dir;
    for (int n = 0; n <= 70; ++n) {
        std::map<std::string, std::string> entries;
        for (int i = 0; i < n; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "k%03d", 2 * i + 1);
            entries[key] = "v" + std::string(key);
        }
        std::string path = dir.File("n" + std::to_string(n) + ".mo");
        WriteFileBytes(path, mo_builder::Build(entries, n % 2 == 1).Bytes);
        TMoFile mo(path, 0, 0);
        for (const auto& [id, text] : entries)
            EXPECT_EQ(Lookup(mo, id), text) << "n=" << n << " " << id;
        // Every gap between entries, and both ends, is a miss.
        for (int i = 0; i <= n; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "k%03d", 2 * i);
            bool found = true;
            EXPECT_EQ(Lookup(mo, key, &found), key);
            EXPECT_FALSE(found) << "n=" << n << " " << key;
        }
        bool found = true;
        EXPECT_EQ(Lookup(mo, "", &found), "");
        EXPECT_FALSE(found) << "a catalog without a header has no empty identifier";
    }
}

TEST(MoFile, RefusesWhatIsNotACatalog) {
    TempDir dir;
    EXPECT_EQ(IoErrorOf(dir.File("missing.mo")), "Cannot open file " + dir.File("missing.mo"));

    WriteFileBytes(dir.File("empty.mo"), "");
    EXPECT_EQ(IoErrorOf(dir.File("empty.mo")),
              "Cannot create memory map on file " + dir.File("empty.mo"));

    std::string bytes = mo_builder::Build({{"a", "b"}}).Bytes;
    bytes[0] = 'X';
    WriteFileBytes(dir.File("magic.mo"), bytes);
    EXPECT_EQ(IoErrorOf(dir.File("magic.mo")), kNotValid + dir.File("magic.mo"));

    WriteFileBytes(dir.File("short.mo"), mo_builder::Build({}).Bytes.substr(0, 12));
    EXPECT_EQ(IoErrorOf(dir.File("short.mo")), kNotValid + dir.File("short.mo"));

    std::string huge = mo_builder::Build({}).Bytes;
    mo_builder::PutWord(huge, 8, 0x80000000u, false);
    WriteFileBytes(dir.File("huge.mo"), huge);
    EXPECT_THROW(TMoFile(dir.File("huge.mo"), 0, 0), rtl::ERangeError);
}

TEST(MoFile, TablesOutsideTheCatalogAreRefused) {
    TempDir dir;
    auto catalog = mo_builder::Build({{"a", "1"}, {"b", "2"}});
    std::string bytes = catalog.Bytes;
    mo_builder::PutWord(bytes, 12, static_cast<uint32_t>(bytes.size()) - 8,
                        false); // O near the end
    WriteFileBytes(dir.File("o.mo"), bytes);
    EXPECT_EQ(IoErrorOf(dir.File("o.mo")), kNotValid + dir.File("o.mo"));

    bytes = catalog.Bytes;
    mo_builder::PutWord(bytes, 16, 0xFFFFFFF0u, false); // T far beyond the file
    WriteFileBytes(dir.File("t.mo"), bytes);
    EXPECT_EQ(IoErrorOf(dir.File("t.mo")), kNotValid + dir.File("t.mo"));

    bytes = catalog.Bytes;
    mo_builder::PutWord(bytes, 8, 1000, false); // more entries than the tables hold
    WriteFileBytes(dir.File("n.mo"), bytes);
    EXPECT_EQ(IoErrorOf(dir.File("n.mo")), kNotValid + dir.File("n.mo"));
}

TEST(MoFile, StringsOutsideTheCatalogAreNotFound) {
    TempDir dir;
    auto catalog = mo_builder::Build({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    std::string bytes = catalog.Bytes;
    // Identifier "b" (the first probe) points past the end; translation of "c" too long.
    mo_builder::PutWord(bytes, catalog.O + 8 * 1 + 4, 0x7FFFFFF0u, false);
    mo_builder::PutWord(bytes, catalog.T + 8 * 2, 0xFFFFFFFFu, false);
    WriteFileBytes(dir.File("s.mo"), bytes);
    TMoFile mo(dir.File("s.mo"), 0, 0);
    bool found = true;
    EXPECT_EQ(Lookup(mo, "a", &found), "a");
    EXPECT_FALSE(found);
    EXPECT_EQ(Lookup(mo, "c", &found), "c");
    EXPECT_FALSE(found);
}

TEST(MoFile, CatalogInsideALargerFileIsBoundedByItsSize) {
    TempDir dir;
    std::string catalog = mo_builder::Build({{"a", "1"}}).Bytes;
    WriteFileBytes(dir.File("host.bin"), "PREFIX" + catalog + "TRAILING BYTES");
    TMoFile mo(dir.File("host.bin"), 6, static_cast<int64_t>(catalog.size()));
    EXPECT_EQ(Lookup(mo, "a"), "1");
    // The same catalog given too small a size does not fit and is refused.
    EXPECT_EQ(IoErrorOf(dir.File("host.bin"), 6, 20), kNotValid + dir.File("host.bin"));
    EXPECT_EQ(IoErrorOf(dir.File("host.bin"), 100000, 0), kNotValid + dir.File("host.bin"));
}
