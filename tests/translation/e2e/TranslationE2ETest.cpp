// The shipped Setup.exe under Wine in the user's language: the Cancel
// question, its caption and its Yes/No captions come from the catalogs
// appended to the program or from a locale folder beside it, and stay Dutch
// (with the runtime's own captions) when there is no catalog for the language.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "setup/win32/ControlIds.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000;

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// The build's Setup.exe, the file that is shipped (catalogs appended).
std::string ShippedSetup() {
    return EnvOr("SETUP_EXE", "B:\\setup\\Setup.exe");
}
// A copy of it alone in its folder.
std::string SetupWithAppendedCatalogs() {
    return EnvOr("SETUP_EXE_APPENDED", "");
}
// A copy with locale\de\LC_MESSAGES\default.mo (the German test catalog) beside it.
std::string SetupBesideGermanCatalog() {
    return EnvOr("SETUP_EXE_BESIDE", "");
}
// A copy with one catalog, for the language "xx", that does not declare UTF-8.
std::string SetupWithLatin1Catalog() {
    return EnvOr("SETUP_EXE_LATIN1", "");
}

struct TExpected {
    std::string Caption, Text, Yes, No;
};

const TExpected kDutch{"WAARSCHUWING", "De installatie is niet voltooid.\rBent u zeker ?", "&Yes",
                       "&No"};
const TExpected kFrench{"AVERTISSEMENT", "L'installation n'est pas terminée.\rÊtes-vous sûr ?",
                        "&Oui", "&Non"};

// Starts the program with LANG set, presses Cancel, reads the question and
// declines it, then closes the program.
void ExpectCancelQuestion(const std::string& exe, const std::string& lang,
                          const TExpected& expected) {
    SCOPED_TRACE(exe + " with LANG=" + lang);
    ASSERT_TRUE(SetEnvironmentVariableW(L"LANG", platform::win32::Wide(lang).c_str()));
    TSetupProcess process(exe);
    ASSERT_TRUE(process.Started()) << "cannot start " << exe;
    TWizardForm form = TWizardForm::Find(process.Id(), kStartMs);
    ASSERT_TRUE(form) << "no wizard window appeared";
    form.Click(setup::idBtCancel);
    TDialog d = WaitForDialog(process.Id(), kStepMs);
    ASSERT_TRUE(d) << "no question appeared";
    EXPECT_EQ(d.Caption, expected.Caption);
    EXPECT_EQ(d.Text, expected.Text);
    EXPECT_EQ(d.Buttons, (std::vector<std::string>{expected.Yes, expected.No}));
    EXPECT_TRUE(Answer(d, TAnswer::No, kStepMs));
    form.CloseByTitleBar();
    process.WaitForExit(kStepMs);
}

} // namespace

TEST(TranslatedWizard, CatalogsAppendedToTheProgramAloneInItsFolder) {
    const std::string exe = SetupWithAppendedCatalogs();
    ASSERT_FALSE(exe.empty()) << "SETUP_EXE_APPENDED is not set";
    ASSERT_FALSE(platform::DirectoryExists(platform::ExtractFilePath(exe) + "locale"));
    ExpectCancelQuestion(exe, "fr_FR.UTF-8", kFrench);
    ExpectCancelQuestion(
        exe, "en_GB.UTF-8",
        {"WARNING", "The installation has not been completed.\rAre you sure?", "&Yes", "&No"});
    // Dutch: the wizard's texts are Dutch already, the runtime's captions become Dutch.
    ExpectCancelQuestion(exe, "nl_BE.UTF-8", {kDutch.Caption, kDutch.Text, "&Ja", "&Nee"});
    ExpectCancelQuestion(exe, "de_DE.UTF-8", kDutch);
}

TEST(TranslatedWizard, LocaleFolderBesideTheProgramIsStillFound) {
    const std::string exe = SetupBesideGermanCatalog();
    ASSERT_FALSE(exe.empty()) << "SETUP_EXE_BESIDE is not set";
    ExpectCancelQuestion(
        exe, "de_DE.UTF-8",
        {"WARNUNG", "Die Installation ist nicht abgeschlossen.\rSind Sie sicher?", "&Yes", "&No"});
    // The languages the file carries come from inside it as before.
    ExpectCancelQuestion(exe, "fr_FR.UTF-8", kFrench);
}

TEST(TranslatedWizard, NoCatalogForTheLanguageKeepsTheDutchTexts) {
    ExpectCancelQuestion(ShippedSetup(), "de_DE.UTF-8", kDutch);
    ExpectCancelQuestion(ShippedSetup(), "C", kDutch);
}

TEST(TranslatedWizard, CatalogWithoutUtf8IsReportedOnceAndTurnedOff) {
    const std::string exe = SetupWithLatin1Catalog();
    ASSERT_FALSE(exe.empty()) << "SETUP_EXE_LATIN1 is not set";
    ASSERT_TRUE(SetEnvironmentVariableW(L"LANG", L"xx"));
    TSetupProcess process(exe);
    ASSERT_TRUE(process.Started()) << "cannot start " << exe;
    TWizardForm form = TWizardForm::Find(process.Id(), kStartMs);
    ASSERT_TRUE(form) << "no wizard window appeared";
    // The first lookup, for the Cancel question, opens the catalog and reports it.
    form.Click(setup::idBtCancel);
    TDialog box = WaitForDialog(process.Id(), kStepMs);
    ASSERT_TRUE(box) << "no message box appeared";
    EXPECT_EQ(box.Caption, "Localization problem");
    EXPECT_EQ(box.Text,
              "The translation for the language code xx (in " + platform::ExtractFilePath(exe) +
                  "locale\\xx\\LC_MESSAGES\\default.mo) does not have charset=utf-8 in its "
                  "Content-Type. Translations are turned off.");
    ASSERT_TRUE(Answer(box, TAnswer::Enter, kStepMs));
    // Then the question itself, untranslated; and no second report after that.
    TDialog d = WaitForDialog(process.Id(), kStepMs);
    ASSERT_TRUE(d) << "no question appeared";
    EXPECT_EQ(d.Caption, kDutch.Caption);
    EXPECT_EQ(d.Text, kDutch.Text);
    EXPECT_EQ(d.Buttons, (std::vector<std::string>{kDutch.Yes, kDutch.No}));
    ASSERT_TRUE(Answer(d, TAnswer::No, kStepMs));
    form.Click(setup::idBtCancel);
    d = WaitForDialog(process.Id(), kStepMs);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.Caption, kDutch.Caption);
    EXPECT_TRUE(Answer(d, TAnswer::No, kStepMs));
    form.CloseByTitleBar();
    process.WaitForExit(kStepMs);
}

// What Explorer shows of the file: its own icon, and a version resource that
// names the product (read by the same calls the file's properties use).
TEST(ShippedSetup, CarriesItsIconAndVersionResource) {
    const std::wstring exe = platform::win32::Wide(SetupWithAppendedCatalogs());
    ASSERT_FALSE(exe.empty());
    EXPECT_GE(ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr, small = nullptr;
    ASSERT_EQ(ExtractIconExW(exe.c_str(), 0, &large, &small, 1), 2u);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(large, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(large);
    DestroyIcon(small);

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
    auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\041304B0\\") + name;
        if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length))
            return std::string("(none)");
        return platform::win32::Narrow(text);
    };
    EXPECT_EQ(value(L"ProductName"), "Torvelin");
    EXPECT_EQ(value(L"FileDescription"), "Torvelin Setup");
    EXPECT_EQ(value(L"OriginalFilename"), "Setup.exe");
}
