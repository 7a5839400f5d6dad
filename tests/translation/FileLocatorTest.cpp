#include <gtest/gtest.h>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "tests/TestSupport.h"
#include "tests/translation/MoBuilder.h"
#include "translation/CatalogBlock.h"
#include "translation/FileLocator.h"

using namespace translator;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Sep() {
    return std::string(1, platform::PathDelim());
}

int64_t FindIn(const std::string& bytes, const std::string& signature) {
    rtl::TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), bytes.size());
    return TFileLocator::FindSignaturePos(signature, stream);
}

void PutInt64(std::string& bytes, size_t at, int64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A stand-in executable: some program bytes, then the block.
const std::string kProgram = "MZ" + std::string(5000, 'p');

std::vector<std::string> Discover(const std::string& bytes) {
    TFileLocator locator("ignored" + Sep() + "Setup.exe");
    rtl::TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), bytes.size());
    locator.AnalyzeStream(stream);
    return locator.EmbeddedFileNames();
}

} // namespace

TEST(FindSignaturePos, FindsTheFirstOccurrenceAcrossBlockBoundaries) {
    const std::string sig = BeginSignature();
    ASSERT_EQ(sig.size(), kSignatureLength);
    EXPECT_EQ(FindIn(std::string(1000, 'x'), sig), 0);
    EXPECT_EQ(FindIn("abc" + sig + "def", ""), 0);
    EXPECT_EQ(FindIn("abc" + sig, sig), 3);
    // Straddling the first and second 100000-byte blocks, and deep in the file.
    EXPECT_EQ(FindIn(std::string(99990, 'x') + sig + "tail", sig), 99990);
    EXPECT_EQ(FindIn(std::string(250000, 'x') + sig + std::string(10, 'y') + sig, sig), 250000);
    // Exactly one full block before it, and the signature at the very end.
    EXPECT_EQ(FindIn(std::string(100000, 'x') + sig, sig), 100000);
    EXPECT_EQ(FindIn(std::string(199961, 'x') + sig, sig), 199961);
}

TEST(AppendedCatalogs, DiscoveredAndReadFromTheExecutable) {
    TempDir dir;
    std::string nl = mo_builder::Build({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                                        {"Cancel", "Annuleren"}})
                         .Bytes;
    std::string fr = mo_builder::Build({{"Cancel", "Annuler"}}, true).Bytes;
    std::string exe = dir.File("Setup.exe");
    WriteFileBytes(exe, kProgram +
                            BuildCatalogBlock({{"locale\\NL\\LC_MESSAGES\\default.mo", nl},
                                               {"  locale\\fr\\LC_MESSAGES\\default.mo\r\n", fr}}));
    TFileLocator locator(exe);
    locator.Analyze();
    EXPECT_EQ(locator.BaseDirectory(), dir.Path());
    ASSERT_EQ(locator.EmbeddedFileNames().size(), 2u);

    // Names compare without regard to case and the trimmed name counts.
    const std::string nlPath =
        dir.Path() + "locale" + Sep() + "nl" + Sep() + "LC_MESSAGES" + Sep() + "default.mo";
    const std::string frPath =
        dir.Path() + "locale" + Sep() + "fr" + Sep() + "LC_MESSAGES" + Sep() + "default.mo";
    EXPECT_TRUE(locator.FileExists(nlPath));
    EXPECT_TRUE(locator.FileExists(frPath));
    EXPECT_FALSE(locator.FileExists(dir.Path() + "locale" + Sep() + "de" + Sep() + "LC_MESSAGES" +
                                    Sep() + "default.mo"));
    // Only below the executable's own folder.
    EXPECT_FALSE(locator.FileExists("elsewhere" + Sep() + "locale" + Sep() + "nl" + Sep() +
                                    "LC_MESSAGES" + Sep() + "default.mo"));

    TMoFile* nlMo = locator.GetMoFile(nlPath);
    TMoFile* frMo = locator.GetMoFile(frPath);
    bool found = false;
    EXPECT_EQ(nlMo->gettext("Cancel", found), "Annuleren");
    EXPECT_EQ(frMo->gettext("Cancel", found), "Annuler");
    EXPECT_TRUE(frMo->ByteSwapped());
    locator.ReleaseMoFile(nlMo);
    locator.ReleaseMoFile(frMo);
    EXPECT_EQ(locator.OpenCatalogCount(), 0u);
}

TEST(AppendedCatalogs, IncompleteOrDamagedBlocks) {
    std::string mo = mo_builder::Build({{"a", "b"}}).Bytes;
    std::string block = BuildCatalogBlock(
        {{"locale\\nl\\LC_MESSAGES\\default.mo", mo}, {"locale\\fr\\LC_MESSAGES\\default.mo", mo}});
    EXPECT_EQ(Discover(kProgram + block).size(), 2u);
    // Begin signature without end signature, and the other way round.
    EXPECT_TRUE(Discover(kProgram + block.substr(0, block.size() - kSignatureLength)).empty());
    EXPECT_TRUE(Discover(kProgram + block.substr(kSignatureLength)).empty());
    // A block at position 0 is not recognised (0 means "not found").
    EXPECT_TRUE(Discover(block).empty());

    const size_t base = kProgram.size() + kSignatureLength;
    const size_t footer = kProgram.size() + block.size() - kSignatureLength - 8;
    const int64_t firstEntry = static_cast<int64_t>(2 * mo.size());
    const size_t secondEntry = base + static_cast<size_t>(firstEntry) + 24 + 32;
    auto damaged = [&](size_t at, int64_t value) {
        std::string bytes = kProgram + block;
        PutInt64(bytes, at, value);
        return Discover(bytes);
    };
    // First-entry position outside the block, negative or huge.
    EXPECT_TRUE(damaged(footer, -5).empty());
    EXPECT_TRUE(damaged(footer, INT64_MAX).empty());
    EXPECT_TRUE(damaged(footer, static_cast<int64_t>(block.size())).empty());
    // The second entry's "next" points back to the first entry, or far
    // beyond the file, or its data lies outside: the first entry stays.
    EXPECT_EQ(damaged(secondEntry, firstEntry).size(), 1u);
    EXPECT_EQ(damaged(secondEntry, INT64_MAX - 3).size(), 1u);
    EXPECT_EQ(damaged(secondEntry + 8, INT64_MAX).size(), 1u);
    EXPECT_EQ(damaged(secondEntry + 16, INT64_MAX).size(), 1u);
    EXPECT_EQ(damaged(secondEntry + 16, -1).size(), 1u);

    // A name that occurs twice ends discovery at the second one.
    std::string twice = BuildCatalogBlock({{"x.mo", mo}, {"X.MO", mo}, {"y.mo", mo}});
    EXPECT_EQ(Discover(kProgram + twice), std::vector<std::string>{"x.mo"});
}

TEST(AppendedCatalogs, UnreadableExecutableHasNone) {
    TempDir dir;
    TFileLocator locator(dir.File("no-such.exe"));
    locator.Analyze();
    EXPECT_TRUE(locator.EmbeddedFileNames().empty());
}

TEST(CatalogSharing, OneMappingPerFileUntilTheLastUserReleasesIt) {
    TempDir dir;
    WriteFileBytes(dir.File("a.mo"), mo_builder::Build({{"x", "y"}}).Bytes);
    TFileLocator locator(dir.File("Setup.exe"));
    TMoFile* first = locator.GetMoFile(dir.File("a.mo"));
    TMoFile* second = locator.GetMoFile(dir.File("a.mo"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->Users, 2);
    EXPECT_EQ(locator.OpenCatalogCount(), 1u);
    locator.ReleaseMoFile(first);
    EXPECT_EQ(locator.OpenCatalogCount(), 1u);
    locator.ReleaseMoFile(second);
    EXPECT_EQ(locator.OpenCatalogCount(), 0u);

    // A catalog that fails to open leaves nothing behind.
    WriteFileBytes(dir.File("bad.mo"), "not a catalog");
    EXPECT_THROW(locator.GetMoFile(dir.File("bad.mo")), rtl::Exception);
    EXPECT_EQ(locator.OpenCatalogCount(), 0u);

    try {
        locator.ReleaseMoFile(nullptr);
        FAIL() << "no assertion";
    } catch (const rtl::EAssertionFailed& e) {
        EXPECT_NE(e.Message().find("translator"), std::string::npos) << e.Message();
    }
}
