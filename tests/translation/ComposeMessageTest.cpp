// A message that ends a run, composed in the language in use and in English:
// through the English catalog for the program's own texts, from the source
// for runtime texts, and with nothing passed off as English that is not.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/ResStrings.h"
#include "runtime/Streams.h"
#include "tests/TestSupport.h"
#include "tests/translation/MoBuilder.h"
#include "translation/Translator.h"

using namespace translator;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

const char* const kHeader = "Content-Type: text/plain; charset=UTF-8\n";
using TEntries = std::map<std::string, std::string>;

// The user's language "xx", always with a catalog; English with the given
// catalog, or none at all.
const TEntries kUser = {{"", kHeader},
                        {"Het bestand %s is te groot.", "Fichier %s trop grand."},
                        {"Kon %s niet ophalen: %s", "Impossible d'obtenir %s : %s"},
                        {"Alleen in het Nederlands.", "Seulement ici."},
                        {"Stream read error", "Erreur de lecture"},
                        {"There is not enough space on the disk.", "Disque plein."}};
const TEntries kEnglish = {{"", kHeader},
                           {"Het bestand %s is te groot.", "The file %s is too large."},
                           {"Kon %s niet ophalen: %s", "Could not fetch %s: %s"},
                           {"Stream read error", "Stream could not be read"}};

class ComposeMessageTest : public ::testing::Test {
  protected:
    void SetUp() override { FOldLanguage = GlobalInstance->GetCurrentLanguage(); }
    void TearDown() override {
        GlobalInstance->bindtextdomain("default", GlobalInstance->DefaultDomainDirectory());
        GlobalInstance->UseLanguage(FOldLanguage);
    }
    // A locale tree of its own for each case (the layer keeps a catalog it
    // opened until its folder or language changes).
    void UseCatalogs(const std::string& tree, const std::optional<TEntries>& english) {
        const std::string locale = Dir.Path() + tree;
        Write(locale, "xx", kUser);
        if (english) Write(locale, "en", *english);
        GlobalInstance->bindtextdomain("default", locale);
        GlobalInstance->UseLanguage("xx");
    }
    void Write(const std::string& locale, const std::string& language, const TEntries& entries) {
        const std::string sep(1, platform::PathDelim());
        const std::string folder = locale + sep + language + sep + "LC_MESSAGES";
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(folder, error));
        WriteFileBytes(folder + sep + "default.mo", mo_builder::Build(entries).Bytes);
    }

    TempDir Dir;
    std::string FOldLanguage;
};

rtl::TText Raised(const std::function<void()>& raise) {
    try {
        raise();
    } catch (const rtl::Exception& e) {
        return e.Text();
    }
    return {};
}

// The system's code for a full disk (ENOSPC, ERROR_DISK_FULL).
int DiskFullCode() {
    for (int code = 1; code < 1000; ++code)
        if (platform::ClassifyFileError(code) == platform::FileErrorKind::DiskFull) return code;
    return 0;
}

} // namespace

TEST_F(ComposeMessageTest, EachMessageCarriesItsEnglishOrNone) {
    const struct {
        const char* Name;
        bool EnglishCatalog;
        std::function<rtl::TText()> Compose;
        const char* Text;
        const char* English; // empty: none
    } cases[] = {
        {"format arguments", true,
         [] { return ComposeMessage("Het bestand %s is te groot.", {"main.zip"}); },
         "Fichier main.zip trop grand.", "The file main.zip is too large."},
        {"a text the English catalog lacks", true,
         [] { return ComposeMessage("Alleen in het Nederlands."); }, "Seulement ici.", ""},
        {"no English catalog at all", false,
         [] { return ComposeMessage("Het bestand %s is te groot.", {"main.zip"}); },
         "Fichier main.zip trop grand.", ""},
        {"a nested message with English", true,
         [] {
             const rtl::TText inner = ComposeMessage("Het bestand %s is te groot.", {"main.zip"});
             return rtl::Compose([&] {
                 return rtl::Format(translator::gettext("Kon %s niet ophalen: %s"),
                                    {"release.txt", rtl::NestedText(inner)});
             });
         },
         "Impossible d'obtenir release.txt : Fichier main.zip trop grand.",
         "Could not fetch release.txt: The file main.zip is too large."},
        {"a nested error without English", true,
         [] {
             const rtl::Exception plain("Fichier absent");
             return rtl::Compose([&] {
                 return rtl::Format(translator::gettext("Kon %s niet ophalen: %s"),
                                    {"release.txt", rtl::NestedMessage(plain)});
             });
         },
         "Impossible d'obtenir release.txt : Fichier absent", ""},
        {"an error the runtime raises", true,
         [] {
             return Raised([] {
                 rtl::TMemoryStream empty;
                 char byte;
                 empty.ReadBuffer(&byte, 1);
             });
         },
         "Erreur de lecture", "Stream could not be read"},
        {"a runtime text the English catalog leaves to its source", true,
         [] { return rtl::Compose([] { return rtl::SysErrorText(DiskFullCode()); }); },
         "Disque plein.", "There is not enough space on the disk."},
        {"a runtime text without any English catalog", false,
         [] { return rtl::Compose([] { return rtl::LoadResString(&rtl::SReadError); }); },
         "Erreur de lecture", "Stream read error"},
    };
    int tree = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        UseCatalogs("locale" + std::to_string(++tree),
                    c.EnglishCatalog ? std::optional<TEntries>(kEnglish) : std::nullopt);
        const rtl::TText text = c.Compose();
        EXPECT_EQ(text.Text, c.Text);
        EXPECT_EQ(text.English, c.English);
        // The language in use is what it was: the English pass borrowed
        // nothing from it.
        EXPECT_EQ(translator::gettext("Alleen in het Nederlands."), "Seulement ici.");
    }
}
