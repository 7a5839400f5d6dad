#include "platform/Locale.h"

#include "platform/Unicode.h"

namespace platform {

std::string LanguageCodeFromIsoNames(std::string_view language, int languageLength,
                                     std::string_view country, int countryLength) {
    if (languageLength != 3 || countryLength != 3) return {};
    std::string lang(language);
    // Norwegian Bokmål is "nb" in message catalogs; Windows still reports "no".
    if (SameTextAscii(lang, "no")) lang = "nb";
    return lang + "_" + std::string(country);
}

std::string LanguageCodeFromLocaleId(unsigned localeId) {
    struct Entry {
        unsigned Id;
        const char* Code;
    };
    static const Entry kTable[] = {
        {1030, "da_DK"}, {1031, "de_DE"}, {1032, "el_GR"}, {1033, "en_US"}, {1034, "es_ES"},
        {1035, "fi_FI"}, {1036, "fr_FR"}, {1039, "is_IS"}, {1040, "it_IT"}, {1042, "ko_KO"},
        {1043, "nl_NL"}, {1044, "nb_NO"}, {1045, "pl_PL"}, {1046, "pt_BR"}, {1049, "ru_RU"},
        {1053, "sv_SE"}, {2057, "en_GB"}, {2060, "fr_BE"}, {2067, "nl_BE"}, {2068, "nn_NO"},
        {2070, "pt_PT"}, {2077, "sv_FI"}, {3082, "es_ES"}, {3084, "fr_CA"}, {4103, "de_LU"},
    };
    for (const Entry& entry : kTable)
        if (entry.Id == localeId) return entry.Code;
    return "C";
}

std::string LanguageCodeFromPosixLocale(std::string_view name) {
    std::string_view code = name.substr(0, name.find_first_of(".@"));
    if (code.empty() || code == "C" || code == "POSIX") return "C";
    return std::string(code);
}

} // namespace platform
