#pragma once
// The user's language as the operating system knows it, as a code such as
// "nl_BE", "de" or "C" (no language, the program's own texts).
#include <string>
#include <string_view>

namespace platform {

// The system's idea of the user's language.
// Windows: the ISO 639 language and ISO 3166 country names of the user's
// default locale; when they are not both two letters, the thread locale id
// through LanguageCodeFromLocaleId.
// POSIX: the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty
// (the order the C library itself applies to message texts), through
// LanguageCodeFromPosixLocale; "C" when none is set.
std::string SystemLanguageCode();

// language + "_" + country when both names were reported with exactly two
// letters (the OS counts the terminator, so each length is 3), a language
// "no" becoming "nb"; empty otherwise.
std::string LanguageCodeFromIsoNames(std::string_view language, int languageLength,
                                     std::string_view country, int countryLength);

// The code of a Windows locale id from a fixed table, "C" for any id not in it.
std::string LanguageCodeFromLocaleId(unsigned localeId);

// A POSIX locale name without its codeset and modifier ("de_DE.UTF-8@euro"
// gives "de_DE"); "C" for an empty name and for "C" and "POSIX" themselves.
std::string LanguageCodeFromPosixLocale(std::string_view name);

} // namespace platform
