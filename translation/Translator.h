#pragma once
// The program-wide translation function and the translation layer's state.
//
// Message texts are written in Dutch; the text is the message identifier and
// gettext returns what to show. The layer starts itself before main: it looks
// for catalogs appended to the executable, chooses the language (LANG first,
// then the system's), binds the domain "default" to the folder "locale"
// beside the executable and puts translation in front of the runtime's text
// loaders. At exit it takes all of that down again.
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/EnglishText.h"
#include "runtime/Format.h"
#include "translation/FileLocator.h"
#include "translation/GettextErrors.h"
#include "translation/GettextInstance.h"

namespace translator {

// The translation of msgid in the current language, or msgid itself with
// every CR removed and every LF written as CR LF when there is none (also
// when the catalog cannot be read: this never fails).
std::string gettext(std::string_view msgid);
// Marks a message text kept in a named constant, so the catalog template's
// extraction finds it; the text itself is translated later, through gettext.
constexpr const char* gettext_noop(const char* msgid) {
    return msgid;
}

// The same in a named domain.
std::string dgettext(std::string_view domain, std::string_view msgid);

// A count's form of a message: the catalog's "Plural-Forms" rule chooses
// among the entry's forms; without a translation, plural for every n but 1,
// else singular (line ends as gettext treats them). Never fails.
std::string ngettext(std::string_view singular, std::string_view plural, uint64_t n);
std::string dngettext(std::string_view domain, std::string_view singular, std::string_view plural,
                      uint64_t n);

// A message with plural forms kept in a named constant.
struct TPluralText {
    const char* Singular;
    const char* Plural;
};
// Marks such a constant for the catalog template's extraction, like
// gettext_noop: constexpr TPluralText kFiles = ngettext_noop("%s bestand", "%s bestanden");
constexpr TPluralText ngettext_noop(const char* singular, const char* plural) {
    return {singular, plural};
}
inline std::string ngettext(const TPluralText& text, uint64_t n) {
    return ngettext(text.Singular, text.Plural, n);
}

// A message that may end a run, with its English text for the log
// (runtime/EnglishText.h): msgid translated, then formatted with args, once
// in the language in use and once in English. An argument that is itself a
// message goes in through rtl::NestedText or rtl::NestedMessage inside an
// rtl::Compose of the caller's own.
rtl::TText ComposeMessage(const char* msgid, std::initializer_list<rtl::FormatArg> args = {});

// The executable's full path, the locator of its catalogs and the one
// translation instance; null before start-up and after teardown.
extern std::string ModuleFileName;
extern TFileLocator* GlobalFileLocator;
extern TGettextInstance* GlobalInstance;

// Start-up and teardown of the layer. Both run on their own around main;
// they are callable for a program that must restart the layer, and each does
// nothing when the layer is already in that state.
void Initialize();
void Finalize();

} // namespace translator
