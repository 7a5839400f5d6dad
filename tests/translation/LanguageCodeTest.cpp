#include <gtest/gtest.h>

#include "platform/Locale.h"

using namespace platform;

TEST(LanguageCode, FromIsoNamesNeedsTwoLettersEach) {
    EXPECT_EQ(LanguageCodeFromIsoNames("nl", 3, "BE", 3), "nl_BE");
    EXPECT_EQ(LanguageCodeFromIsoNames("no", 3, "NO", 3), "nb_NO");
    EXPECT_EQ(LanguageCodeFromIsoNames("NO", 3, "NO", 3), "nb_NO");
    EXPECT_EQ(LanguageCodeFromIsoNames("nn", 3, "NO", 3), "nn_NO");
    // Three-letter names and failed calls fall through to the thread locale.
    EXPECT_EQ(LanguageCodeFromIsoNames("fil", 4, "PH", 3), "");
    EXPECT_EQ(LanguageCodeFromIsoNames("", 0, "DE", 3), "");
}

TEST(LanguageCode, FromLocaleIdTable) {
    EXPECT_EQ(LanguageCodeFromLocaleId(1043), "nl_NL");
    EXPECT_EQ(LanguageCodeFromLocaleId(2067), "nl_BE");
    EXPECT_EQ(LanguageCodeFromLocaleId(1034), "es_ES");
    EXPECT_EQ(LanguageCodeFromLocaleId(3082), "es_ES");
    EXPECT_EQ(LanguageCodeFromLocaleId(1042), "ko_KO");
    EXPECT_EQ(LanguageCodeFromLocaleId(4103), "de_LU");
    EXPECT_EQ(LanguageCodeFromLocaleId(1041), "C");
    EXPECT_EQ(LanguageCodeFromLocaleId(0), "C");
}

TEST(LanguageCode, FromPosixLocaleName) {
    EXPECT_EQ(LanguageCodeFromPosixLocale("de_DE.UTF-8"), "de_DE");
    EXPECT_EQ(LanguageCodeFromPosixLocale("sr_RS@latin"), "sr_RS");
    EXPECT_EQ(LanguageCodeFromPosixLocale("fr"), "fr");
    EXPECT_EQ(LanguageCodeFromPosixLocale("C.UTF-8"), "C");
    EXPECT_EQ(LanguageCodeFromPosixLocale("POSIX"), "C");
    EXPECT_EQ(LanguageCodeFromPosixLocale(""), "C");
}

TEST(LanguageCode, SystemLanguageIsNeverEmpty) {
    EXPECT_FALSE(SystemLanguageCode().empty());
}
