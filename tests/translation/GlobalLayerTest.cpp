// The layer as a program gets it: started before main, with the runtime's
// text loaders redirected through it.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Files.h"
#include "runtime/ResStrings.h"
#include "tests/TestSupport.h"
#include "tests/translation/MoBuilder.h"
#include "translation/ResourceStrings.h"
#include "translation/Translator.h"

using namespace translator;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

void RegisterLongTestString(unsigned id);

namespace {

// The id of a 3000-character test string (a string-table resource of the
// test program on Windows, a registered string on POSIX).
constexpr unsigned kLongStringId = 1000;

const char* const kHeader = "Content-Type: text/plain; charset=UTF-8\n";

// Points the global "default" domain at a private locale tree for one test
// and puts the program's own folder and language back afterwards.
class GlobalLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(GlobalInstance, nullptr);
        FOldLanguage = GlobalInstance->GetCurrentLanguage();
    }
    void TearDown() override {
        if (!GlobalInstance) Initialize();
        GlobalInstance->bindtextdomain("default", GlobalInstance->DefaultDomainDirectory());
        GlobalInstance->UseLanguage(FOldLanguage);
    }
    void UseCatalog(const std::map<std::string, std::string>& entries) {
        const std::string sep(1, platform::PathDelim());
        std::string folder = Dir.Path() + "locale" + sep + "xx" + sep + "LC_MESSAGES";
        int error = 0;
        ASSERT_TRUE(platform::CreateDirectoryChain(folder, error));
        WriteFileBytes(folder + sep + "default.mo", mo_builder::Build(entries).Bytes);
        GlobalInstance->bindtextdomain("default", Dir.Path() + "locale");
        GlobalInstance->UseLanguage("xx");
    }

    TempDir Dir;
    std::string FOldLanguage;
};

} // namespace

TEST_F(GlobalLayerTest, LoadersAreRedirectedAtStartAndGivenBackAtTeardown) {
    EXPECT_EQ(GlobalInstance->CreatorThread, platform::CurrentThreadId());
    EXPECT_EQ(ModuleFileName, platform::ModuleFileName());
    auto current = rtl::CurrentResStringLoaders();
    EXPECT_EQ(current.LoadResString, &TranslatedLoadResString);
    EXPECT_EQ(current.LoadStr, &TranslatedLoadStr);
    EXPECT_EQ(current.FmtLoadStr, &TranslatedFmtLoadStr);

    Finalize();
    EXPECT_EQ(GlobalInstance, nullptr);
    EXPECT_EQ(GlobalFileLocator, nullptr);
    auto restored = rtl::CurrentResStringLoaders();
    auto original = rtl::OriginalResStringLoaders();
    EXPECT_EQ(restored.LoadResString, original.LoadResString);
    EXPECT_EQ(restored.LoadStr, original.LoadStr);
    EXPECT_EQ(restored.FmtLoadStr, original.FmtLoadStr);
    // Texts still pass through, line ends normalised, after the layer is gone.
    EXPECT_EQ(translator::gettext("Bent u zeker ?\n"), "Bent u zeker ?\r\n");
    EXPECT_EQ(TranslateResourceString("Stream read error"), "Stream read error");
    EXPECT_EQ(rtl::LoadResString(&rtl::SReadError), "Stream read error");

    Initialize();
    ASSERT_NE(GlobalInstance, nullptr);
    EXPECT_EQ(rtl::CurrentResStringLoaders().LoadResString, &TranslatedLoadResString);
}

TEST_F(GlobalLayerTest, ResourceStringLoadingLimits) {
    rtl::TResStringRec tooLarge{nullptr, 65536};
    EXPECT_EQ(rtl::LoadResString(&tooLarge), "ERROR");
    rtl::TResStringRec largest{nullptr, 65535};
    EXPECT_EQ(rtl::LoadResString(&largest), "");

    RegisterLongTestString(kLongStringId);
    rtl::TResStringRec longRec{nullptr, kLongStringId};
    std::string text = rtl::LoadResString(&longRec);
    ASSERT_EQ(text.size(), 3000u);
    EXPECT_EQ(text.substr(0, 10), "0123456789");
    EXPECT_EQ(text.substr(2990), "0123456789");
    // The numeric loaders read into a fixed buffer of 1024 characters.
    EXPECT_EQ(rtl::LoadStr(static_cast<int>(kLongStringId)), text.substr(0, 1023));
}

TEST_F(GlobalLayerTest, RuntimeTextsAreTranslatedOnTheCreatorThreadOnly) {
    UseCatalog({{"", kHeader},
                {"Stream read error", "Lesefehler"},
                {"I/O error %d", "E/A-Fehler %d"},
                {"System Error.  Code: %d.\n%s", "Systemfehler %d.\n%s"}});
    EXPECT_EQ(rtl::LoadResString(&rtl::SReadError), "Lesefehler");
    EXPECT_EQ(rtl::LoadResString(&rtl::SWriteError), "Stream write error");
    EXPECT_EQ(rtl::LoadStr(static_cast<int>(rtl::SReadError.Identifier)), "Lesefehler");
    EXPECT_EQ(rtl::FmtLoadStr(static_cast<int>(rtl::SInOutError.Identifier), {5}), "E/A-Fehler 5");
    // A text with CR LF is looked up without the CR and keeps its CR LF.
    EXPECT_EQ(rtl::LoadResString(&rtl::SOSError), "Systemfehler %d.\r\n%s");

    std::string other, otherLoadStr, otherFmt;
    std::thread worker([&] {
        other = rtl::LoadResString(&rtl::SReadError);
        otherLoadStr = rtl::LoadStr(static_cast<int>(rtl::SReadError.Identifier));
        otherFmt = rtl::FmtLoadStr(static_cast<int>(rtl::SInOutError.Identifier), {7});
    });
    worker.join();
    EXPECT_EQ(other, "Stream read error");
    EXPECT_EQ(otherLoadStr, "Lesefehler");
    EXPECT_EQ(otherFmt, "E/A-Fehler 7");
}

TEST_F(GlobalLayerTest, WithoutACatalogRuntimeTextsStayAsTheyAre) {
    GlobalInstance->bindtextdomain("default", Dir.Path() + "locale");
    GlobalInstance->UseLanguage("xx");
    EXPECT_EQ(rtl::LoadResString(&rtl::SReadError), "Stream read error");
    EXPECT_EQ(rtl::LoadResString(&rtl::SOSError), "System Error.  Code: %d.\r\n%s");
    EXPECT_EQ(rtl::FmtLoadStr(static_cast<int>(rtl::SInOutError.Identifier), {3}), "I/O error 3");
    EXPECT_EQ(translator::gettext("Bent u zeker ?"), "Bent u zeker ?");
}

// The program's own catalogs, compiled from po/ and installed beside this
// test program.
TEST_F(GlobalLayerTest, ShippedCatalogs) {
    // The form the open catalog's plural rule gives 0 of two.
    auto formOfZero = [] {
        return GlobalInstance->FindOrAddDomain("default", "", "")
            ->mofile()
            ->PluralForms()
            .Choose(0, 2);
    };
    GlobalInstance->UseLanguage("fr_FR");
    EXPECT_EQ(translator::gettext("Bent u zeker ?"), "Êtes-vous sûr ?");
    EXPECT_EQ(translator::gettext("WAARSCHUWING"), "AVERTISSEMENT");
    EXPECT_EQ(rtl::LoadResString(&rtl::SMsgDlgYes), "&Oui");
    EXPECT_EQ(GlobalInstance->GetTranslationProperty("language"), "fr");
    EXPECT_EQ(formOfZero(), 0u);
    // A text the catalog lacks takes the Dutch plural by the Germanic rule.
    EXPECT_EQ(translator::ngettext("een bestand", "bestanden", 0), "bestanden");

    GlobalInstance->UseLanguage("en_GB");
    EXPECT_EQ(translator::gettext("De installatie is niet voltooid."),
              "The installation has not been completed.");
    EXPECT_EQ(rtl::LoadResString(&rtl::SMsgDlgNo), "&No");
    EXPECT_EQ(formOfZero(), 1u);

    // Dutch: the wizard's texts are already Dutch, the runtime's become Dutch.
    GlobalInstance->UseLanguage("nl_BE");
    EXPECT_EQ(translator::gettext("Bent u zeker ?"), "Bent u zeker ?");
    EXPECT_EQ(rtl::LoadResString(&rtl::SMsgDlgYes), "&Ja");
    EXPECT_EQ(rtl::LoadResString(&rtl::SReadError), "Leesfout in gegevensstroom");
    EXPECT_EQ(translator::gettext("HTTP Error:"), "HTTP-fout:");
}

// Opening a catalog that claims 2^31 strings raises the runtime's range
// error, whose text is itself a runtime text: loading it must not reopen the
// same catalog (endless recursion) or wait for the locator's own lock. The
// instance raises; the program-wide function and the runtime's loaders give
// the untranslated text, so no real error is replaced by the catalog's.
TEST_F(GlobalLayerTest, UnreadableCatalogNeitherRecursesNorHidesTexts) {
    std::string huge = mo_builder::Build({}).Bytes;
    mo_builder::PutWord(huge, 8, 0x80000000u, false);
    const std::string sep(1, platform::PathDelim());
    std::string folder = Dir.Path() + "locale" + sep + "xx" + sep + "LC_MESSAGES";
    int error = 0;
    ASSERT_TRUE(platform::CreateDirectoryChain(folder, error));
    WriteFileBytes(folder + sep + "default.mo", huge);
    GlobalInstance->bindtextdomain("default", Dir.Path() + "locale");
    GlobalInstance->UseLanguage("xx");
    for (int round = 0; round < 2; ++round) {
        try {
            GlobalInstance->gettext("Bent u zeker ?");
            ADD_FAILURE() << "no error";
        } catch (const rtl::ERangeError& e) {
            EXPECT_EQ(e.Message(), "Range check error");
        }
        EXPECT_EQ(translator::gettext("Bent u zeker ?\n"), "Bent u zeker ?\r\n");
        EXPECT_EQ(rtl::LoadResString(&rtl::SReadError), "Stream read error");
        EXPECT_EQ(rtl::FmtLoadStr(static_cast<int>(rtl::SInOutError.Identifier), {2}),
                  "I/O error 2");
    }
    EXPECT_EQ(GlobalFileLocator->OpenCatalogCount(), 0u);
}
