#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Process.h"
#include "tests/TestSupport.h"
#include "translation/CatalogBlock.h"
#include "translation/GettextErrors.h"
#include "translation/GettextInstance.h"

using namespace translator;
using testing_support::DataFile;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Sep() {
    return std::string(1, platform::PathDelim());
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::string& value)
        : FName(std::move(name)), FOld(platform::GetEnvVar(FName)) {
        platform::SetEnvVar(FName, value);
    }
    ~ScopedEnv() { platform::SetEnvVar(FName, FOld); }

  private:
    std::string FName, FOld;
};

// An executable's folder with a locale tree, a locator and an instance, and
// the message boxes the instance would have shown.
class GettextInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { Exe = Dir.File("Setup.exe"); }

    std::string CatalogDir(const std::string& lang) {
        return Dir.Path() + "locale" + Sep() + lang + Sep() + "LC_MESSAGES";
    }
    void InstallCatalog(const std::string& lang, const std::string& fixture,
                        const std::string& domain = "default") {
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(CatalogDir(lang), error));
        WriteFileBytes(CatalogDir(lang) + Sep() + domain + ".mo",
                       ReadFileBytes(DataFile("translation/" + fixture)));
    }
    TGettextInstance& Instance(const std::string& lang) {
        Locator = std::make_unique<TFileLocator>(Exe);
        Locator->Analyze();
        FInstance = std::make_unique<TGettextInstance>(*Locator, Exe);
        FInstance->ShowMessage = [this](const std::string& caption, const std::string& text) {
            Boxes.push_back(caption + "|" + text);
        };
        FInstance->UseLanguage(lang);
        return *FInstance;
    }

    TempDir Dir;
    std::string Exe;
    std::unique_ptr<TFileLocator> Locator;
    std::unique_ptr<TGettextInstance> FInstance;
    std::vector<std::string> Boxes;
};

} // namespace

TEST_F(GettextInstanceTest, StartsWithTheDefaultDomainBesideTheExecutable) {
    auto& gi = Instance("de");
    EXPECT_EQ(gi.getcurrenttextdomain(), "default");
    EXPECT_EQ(gi.DefaultDomainDirectory(), Dir.Path() + "locale");
    EXPECT_EQ(gi.FindOrAddDomain("DEFAULT", "elsewhere", "xx")->Directory(),
              Dir.Path() + "locale" + Sep());
    EXPECT_EQ(gi.DomainCount(), 1u);
    EXPECT_EQ(gi.CreatorThread, platform::CurrentThreadId());
}

TEST_F(GettextInstanceTest, WithoutCatalogsIdentifiersComeBackAndTheFailureIsRemembered) {
    auto& gi = Instance("de");
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Bent u zeker ?");
    EXPECT_EQ(gi.gettext("one\ntwo\r\nthree\r"), "one\r\ntwo\r\nthree");
    TDomain* domain = gi.FindOrAddDomain("default", "", "");
    EXPECT_TRUE(domain->OpenHasFailedBefore);
    // A catalog that appears later is not looked for again...
    InstallCatalog("de", "sample.mo");
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Bent u zeker ?");
    EXPECT_EQ(domain->mofile(), nullptr);
    // ...until the language changes.
    gi.UseLanguage("de");
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Sind Sie sicher?");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(GettextInstanceTest, LanguageFromLangCutAtTheDotWithFallbackToTheLanguage) {
    ScopedEnv lang("LANG", "de_DE.UTF-8");
    auto& gi = Instance("");
    gi.UseLanguage("");
    EXPECT_EQ(gi.GetCurrentLanguage(), "de_DE");
    InstallCatalog("de", "sample.mo");
    EXPECT_EQ(gi.gettext("WAARSCHUWING"), "WARNUNG");

    // A regional catalog wins over the language's own.
    InstallCatalog("de_DE", "sample-be.mo");
    gi.UseLanguage("");
    EXPECT_EQ(gi.gettext("WAARSCHUWING"), "WARNUNG");
    EXPECT_TRUE(gi.FindOrAddDomain("default", "", "")->mofile()->ByteSwapped());

    // A code handed in is used as it stands.
    gi.UseLanguage("de_DE.ISO-8859-1");
    EXPECT_EQ(gi.GetCurrentLanguage(), "de_DE.ISO-8859-1");
    EXPECT_EQ(gi.FindOrAddDomain("default", "", "")->curlang, "de_DE.ISO-8859-1");
}

TEST_F(GettextInstanceTest, LineEndsAreNormalisedAroundTheLookup) {
    InstallCatalog("de", "sample.mo");
    auto& gi = Instance("de");
    EXPECT_EQ(gi.gettext("Line one\r\nLine two"), "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(gi.gettext("Line one\nLine two"), "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(gi.gettext("Not here\nat all"), "Not here\r\nat all");
    EXPECT_EQ(gi.gettext("Überprüfung"), "Prüfung ✓");
}

TEST_F(GettextInstanceTest, HeaderPropertiesIgnoreTheNameCase) {
    InstallCatalog("de", "sample.mo");
    auto& gi = Instance("de");
    EXPECT_EQ(gi.GetTranslationProperty("content-type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(gi.GetTranslationProperty("x-padded-value"), "spaced out");
    EXPECT_EQ(gi.GetTranslationProperty("LANGUAGE"), "de");
    EXPECT_EQ(gi.GetTranslationProperty("Language-Team"), "");
    EXPECT_EQ(gi.GetTranslationProperty("Content"), "");
}

TEST_F(GettextInstanceTest, CatalogWithoutUtf8DisablesItsDomainForGood) {
    InstallCatalog("fr", "latin1.mo");
    InstallCatalog("de", "sample.mo");
    auto& gi = Instance("fr");
    // A real box handles messages while it is shown, and a lookup made then
    // must not show a second one.
    gi.ShowMessage = [&](const std::string& caption, const std::string& text) {
        Boxes.push_back(caption + "|" + text);
        if (Boxes.size() == 1) {
            EXPECT_EQ(gi.gettext("WAARSCHUWING"), "WAARSCHUWING");
        }
    };
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Bent u zeker ?");
    ASSERT_EQ(Boxes.size(), 1u);
    const std::string path = CatalogDir("fr") + Sep() + "default.mo";
    EXPECT_EQ(
        Boxes[0],
        "Localization problem|The translation for the language code fr (in " + path +
            ") does not have charset=utf-8 in its Content-Type. Translations are turned off.");
    EXPECT_EQ(Locator->OpenCatalogCount(), 0u);

    gi.UseLanguage("de");
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Bent u zeker ?");
    EXPECT_EQ(gi.GetTranslationProperty("Content-Type"), "");
    EXPECT_EQ(Boxes.size(), 1u);
    // Another domain is not affected.
    gi.bindtextdomain("other", Dir.Path() + "locale");
    InstallCatalog("de", "sample.mo", "other");
    EXPECT_EQ(gi.dgettext("other", "Bent u zeker ?"), "Sind Sie sicher?");
}

TEST_F(GettextInstanceTest, DomainsOnTheSameFileShareOneMapping) {
    InstallCatalog("de", "sample.mo");
    auto& gi = Instance("de");
    // A second instance on the same locator: its "default" domain names the same file.
    TGettextInstance other(*Locator, Exe);
    other.UseLanguage("de");
    EXPECT_EQ(gi.gettext("WAARSCHUWING"), "WARNUNG");
    EXPECT_EQ(other.gettext("WAARSCHUWING"), "WARNUNG");
    const TMoFile* mine = gi.FindOrAddDomain("default", "", "")->mofile();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine, other.FindOrAddDomain("default", "", "")->mofile());
    EXPECT_EQ(mine->Users, 2);
    EXPECT_EQ(Locator->OpenCatalogCount(), 1u);
    gi.UseLanguage("xx");
    EXPECT_EQ(Locator->OpenCatalogCount(), 1u);
    EXPECT_EQ(mine->Users, 1);
    other.bindtextdomain("default", Dir.Path() + "locale" + Sep());
    EXPECT_EQ(other.FindOrAddDomain("default", "", "")->Directory(), Dir.Path() + "locale" + Sep());
    EXPECT_EQ(Locator->OpenCatalogCount(), 0u);
}

TEST_F(GettextInstanceTest, BrokenCatalogRaisesOnEveryLookupAndStaysFresh) {
    int error = 0;
    ASSERT_TRUE(platform::CreateDirectoryChain(CatalogDir("de"), error));
    WriteFileBytes(CatalogDir("de") + Sep() + "default.mo", "this is no catalog");
    auto& gi = Instance("de");
    EXPECT_THROW(gi.gettext("WAARSCHUWING"), EGettextIOError);
    EXPECT_THROW(gi.GetTranslationProperty("Content-Type"), EGettextIOError);
    TDomain* domain = gi.FindOrAddDomain("default", "", "");
    EXPECT_FALSE(domain->OpenHasFailedBefore);
    EXPECT_TRUE(domain->Enabled);
    // Once the file is mended, the next lookup reads it.
    InstallCatalog("de", "sample.mo");
    EXPECT_EQ(gi.gettext("WAARSCHUWING"), "WARNUNG");
}

TEST_F(GettextInstanceTest, AppendedCatalogsServeWithoutALocaleFolder) {
    std::string catalog = ReadFileBytes(DataFile("translation/sample.mo"));
    WriteFileBytes(Exe, "MZ" + std::string(300, '\0') +
                            BuildCatalogBlock({{"locale\\DE\\LC_MESSAGES\\default.mo", catalog}}));
    auto& gi = Instance("de_AT");
    EXPECT_EQ(gi.gettext("Bent u zeker ?"), "Sind Sie sicher?");
    EXPECT_FALSE(platform::DirectoryExists(Dir.Path() + "locale"));
}
