#include <gtest/gtest.h>

#include "platform/Files.h"
#include "tests/TestSupport.h"
#include "tests/translation/MoBuilder.h"
#include "translation/CatalogBlock.h"
#include "translation/GettextInstance.h"
#include "translation/MoFile.h"

using namespace translator;
using testing_support::DataFile;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A catalog of one plural entry "een bestand"/"bestanden" with the forms given.
std::string PluralCatalog(const char* pluralForms, const std::string& forms) {
    std::string header = "Content-Type: text/plain; charset=UTF-8\n";
    if (pluralForms) header += std::string("Plural-Forms: ") + pluralForms + "\n";
    return mo_builder::Build({{"", header}, {std::string("een bestand\0bestanden", 21), forms}})
        .Bytes;
}

// The translation instance of an executable at exe, its messages shown nowhere.
struct TLayer {
    explicit TLayer(const std::string& exe) : Locator(exe), Instance(Locator, exe) {
        Locator.Analyze();
        Instance.ShowMessage = nullptr;
    }
    TFileLocator Locator;
    TGettextInstance Instance;
};

} // namespace

// plural-oracle.sh (a CTest fixture) had GNU msgfmt make a catalog for each
// rule of plural-rules.txt and GNU's ngettext program choose the form of
// every count from 0 to 1000; the layer must choose the same.
TEST(PluralForms, EveryCountTakesTheFormGnuNgettextTakes) {
    std::string dir = SETUP_PLURAL_ORACLE_DIR;
    for (char& c : dir)
        if (c == '/') c = platform::PathDelim();
    dir = platform::IncludeTrailingPathDelimiter(dir);
    const std::vector<std::string> codes = Lines(ReadFileBytes(dir + "rules"));
    ASSERT_GE(codes.size(), 10u) << "no choices of GNU ngettext in " << dir;
    TLayer layer(dir + "Setup.exe");
    for (const std::string& code : codes) {
        const std::vector<std::string> gnu = Lines(ReadFileBytes(dir + code + ".choices"));
        ASSERT_EQ(gnu.size(), 1001u) << code;
        layer.Instance.UseLanguage(code);
        int differences = 0;
        for (uint64_t n = 0; n <= 1000; ++n) {
            const std::string ours = layer.Instance.ngettext("een bestand", "bestanden", n);
            if (ours != gnu[n] && ++differences <= 3)
                ADD_FAILURE() << code << ", n = " << n << ": " << ours << ", GNU " << gnu[n];
        }
        EXPECT_EQ(differences, 0) << code;
        const TMoFile* mo = layer.Instance.FindOrAddDomain("default", "", "")->mofile();
        ASSERT_NE(mo, nullptr) << code;
        EXPECT_TRUE(mo->PluralForms().Valid()) << code;
    }
}

// Each rule that cannot be taken falls back to the Germanic one (n != 1), for
// the whole catalog or for one count or entry only; the forms chosen for the
// counts 0, 1, 2, 3, 5 and 12, as digits.
TEST(PluralForms, RulesThatCannotBeTakenFallBackToTheGermanicRule) {
    const std::string two("f0\0f1", 5), three("f0\0f1\0f2", 8), one("f0");
    auto parenthesised = [](size_t depth) {
        std::string rule(depth, '(');
        rule += "n > 1";
        return rule.append(depth, ')');
    };
    const std::string deepParens = parenthesised(200), allowedParens = parenthesised(90);
    std::string longChain;
    for (int i = 0; i < 150; ++i)
        longChain += "0 + ";
    longChain += "(n > 1)";
    struct Row {
        std::string Rule; // "-" for a header without the line
        std::string Forms, Expected;
    } rows[] = {
        {"-", two, "101111"},
        {"nplurals=2; plural=n>1", two, "001111"},
        {"plural=n>1;", two, "101111"},
        {"nplurals=2;", two, "101111"},
        {"nplurals=x; plural=n>1;", two, "101111"},
        {"nplurals=0; plural=0;", two, "101111"},
        {"nplurals=18446744073709551617; plural=0;", two, "101111"}, // not wrapped to 1
        {"nplurals=2; plural=(n > 1;", two, "101111"},
        {"nplurals=2; plural=n > 1);", two, "101111"},
        {"nplurals=2; plural=n >> 1;", two, "101111"},
        {"nplurals=2; plural=n & 0;", two, "101111"},
        {"nplurals=2; plural=n = 0;", two, "101111"},
        {"nplurals=2; plural=n > 1 ? 1;", two, "101111"},
        {"nplurals=2; plural=-n > 1;", two, "101111"},
        {"nplurals=2; plural=N > 1;", two, "101111"},
        {"nplurals=2; plural=n > 1 n;", two, "101111"},
        {"nplurals=2; plural=;", two, "101111"},
        {"nplurals=2; plural=" + deepParens, two, "101111"},
        {"nplurals=2; plural=" + allowedParens, two, "001111"},
        {"nplurals=2; plural=" + longChain, two, "101111"},
        {"nplurals=2; plural=12 % n > 100;", two, "100000"}, // divides by zero for 0 only
        {"nplurals=2; plural=n % 4;", two, "011110"},        // 2 and 3 name no form
        {"nplurals=3; plural=n==0 ? 0 : n==1 ? 1 : 2;", three, "012222"},
        {"nplurals=3; plural=n==0 ? 0 : n==1 ? 1 : 2;", two, "101111"}, // the entry has two
        {"nplurals=1; plural=0;", one, "000000"},
        {"-", one, "000000"},
    };
    TempDir dir;
    for (const Row& row : rows) {
        const std::string path = dir.File("plural.mo");
        WriteFileBytes(path,
                       PluralCatalog(row.Rule == "-" ? nullptr : row.Rule.c_str(), row.Forms));
        TMoFile mo(path, 0, 0);
        std::string chosen;
        for (uint64_t n : {0, 1, 2, 3, 5, 12}) {
            std::string form;
            EXPECT_TRUE(mo.ngettext("een bestand", n, form));
            chosen += form.substr(1);
        }
        EXPECT_EQ(chosen, row.Expected) << row.Rule.substr(0, 60);
    }
}

// Through the layer: catalogs on disk in both byte orders and appended to the
// executable, entries found by their singular alone, and the Dutch texts by
// the Germanic rule whenever no form is there.
TEST(PluralForms, TheLayerFindsFormsOnDiskAndAppendedAndElseChoosesTheDutchKey) {
    TempDir dir;
    const std::string sep(1, platform::PathDelim());
    for (const char* lang : {"de", "de_BE"}) {
        const std::string folder = dir.Path() + "locale" + sep + lang + sep + "LC_MESSAGES";
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(folder, error));
        const bool bigEndian = std::string(lang) == "de_BE";
        const char* fixture = bigEndian ? "translation/sample-be.mo" : "translation/sample.mo";
        WriteFileBytes(folder + sep + "default.mo", ReadFileBytes(DataFile(fixture)));
    }
    const std::string polish = PluralCatalog(
        "nplurals=3; plural=n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2;",
        std::string("plik\0pliki\0plik\xc3\xb3w", 19));
    const std::string gaps = PluralCatalog("nplurals=2; plural=n != 1;", std::string("f0\0", 3));
    WriteFileBytes(dir.File("Setup.exe"),
                   "MZ" + BuildCatalogBlock({{"locale\\pl\\LC_MESSAGES\\default.mo", polish},
                                             {"locale\\xx\\LC_MESSAGES\\default.mo", gaps}}));
    TLayer layer(dir.File("Setup.exe"));
    TGettextInstance& gi = layer.Instance;
    struct Row {
        const char* Lang;
        const char* Singular;
        const char* Plural;
        uint64_t N;
        std::string Expected;
    } rows[] = {
        {"de", "%d file", "%d files", 1, "%d Datei"},
        {"de", "%d file", "%d files", 0, "%d Dateien"},
        {"de_BE", "%d file", "%d files", 2, "%d Dateien"},
        {"de", "%d file", "anders", 7, "%d Dateien"},
        {"de", "een\nbestand", "twee\r\nbestanden", 1, "een\r\nbestand"},
        {"de", "een\nbestand", "twee\r\nbestanden", 2, "twee\r\nbestanden"},
        {"pl", "een bestand", "bestanden", 1, "plik"},
        {"pl", "een bestand", "bestanden", 22, "pliki"},
        {"pl", "een bestand", "bestanden", 25, "plik\xc3\xb3w"},
        {"xx", "een bestand", "bestanden", 1, "f0"},
        {"xx", "een bestand", "bestanden", 2, "bestanden"}, // that form is empty
        {"nl", "een bestand", "bestanden", 1, "een bestand"},
        {"nl", "een bestand", "bestanden", 0, "bestanden"},
    };
    for (const Row& row : rows) {
        gi.UseLanguage(row.Lang);
        EXPECT_EQ(gi.ngettext(row.Singular, row.Plural, row.N), row.Expected)
            << row.Lang << " " << row.Singular << " " << row.N;
    }
    EXPECT_TRUE(gi.FindOrAddDomain("default", "", "")->OpenHasFailedBefore);
}
