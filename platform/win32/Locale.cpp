#include "platform/Locale.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

namespace {
// Asks for one locale item into a buffer of 10 characters; returns the count
// the OS reports (terminator included, 0 on failure) and the text.
int UserLocaleItem(LCTYPE item, std::string& text) {
    wchar_t buffer[10] = {};
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, 10);
    text = n > 0 ? win32::Narrow(std::wstring_view(buffer, static_cast<size_t>(n - 1)))
                 : std::string();
    return n;
}
} // namespace

std::string SystemLanguageCode() {
    std::string language, country;
    int languageLength = UserLocaleItem(LOCALE_SISO639LANGNAME, language);
    int countryLength = UserLocaleItem(LOCALE_SISO3166CTRYNAME, country);
    std::string code = LanguageCodeFromIsoNames(language, languageLength, country, countryLength);
    if (!code.empty()) return code;
    return LanguageCodeFromLocaleId(static_cast<unsigned>(GetThreadLocale()));
}

} // namespace platform
