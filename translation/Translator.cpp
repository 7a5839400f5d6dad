#include "translation/Translator.h"

#include "platform/Process.h"
#include "runtime/EnglishText.h"
#include "translation/ResourceStrings.h"

namespace translator {

std::string ModuleFileName;
TFileLocator* GlobalFileLocator = nullptr;
TGettextInstance* GlobalInstance = nullptr;

namespace {
std::string Untranslated(std::string_view msgid) {
    // The Dutch identifier is no English text for a message's English pass.
    rtl::NoEnglishRendering();
    return ExpandLineFeeds(RemoveCarriageReturns(msgid));
}
} // namespace

// The program's texts must always be shown, so the program-wide functions
// never fail: a catalog that cannot be read leaves the text untranslated (and
// is tried again on the next lookup). The instance's own operations raise.
std::string gettext(std::string_view msgid) {
    if (TGettextInstance* instance = GlobalInstance) {
        try {
            return instance->gettext(msgid);
        } catch (const rtl::Exception&) {
        }
    }
    return Untranslated(msgid);
}

std::string dgettext(std::string_view domain, std::string_view msgid) {
    if (TGettextInstance* instance = GlobalInstance) {
        try {
            return instance->dgettext(domain, msgid);
        } catch (const rtl::Exception&) {
        }
    }
    return Untranslated(msgid);
}

std::string ngettext(std::string_view singular, std::string_view plural, uint64_t n) {
    if (TGettextInstance* instance = GlobalInstance) {
        try {
            return instance->ngettext(singular, plural, n);
        } catch (const rtl::Exception&) {
        }
    }
    return Untranslated(GermanicPluralForm(n) ? plural : singular);
}

std::string dngettext(std::string_view domain, std::string_view singular, std::string_view plural,
                      uint64_t n) {
    if (TGettextInstance* instance = GlobalInstance) {
        try {
            return instance->dngettext(domain, singular, plural, n);
        } catch (const rtl::Exception&) {
        }
    }
    return Untranslated(GermanicPluralForm(n) ? plural : singular);
}

rtl::TText ComposeMessage(const char* msgid, std::initializer_list<rtl::FormatArg> args) {
    return rtl::Compose([&] { return rtl::Format(gettext(msgid), args); });
}

void Initialize() {
    if (GlobalInstance) return;
    ModuleFileName = platform::ModuleFileName();
    GlobalFileLocator = new TFileLocator(ModuleFileName);
    GlobalFileLocator->Analyze();
    CreateResourceStringDomains();
    GlobalInstance = new TGettextInstance(*GlobalFileLocator, ModuleFileName);
    RedirectResourceStrings(true);
}

void Finalize() {
    if (!GlobalInstance) return;
    // The instance first (its domains hand their catalogs back), then the
    // runtime-text domains, the loaders, and the locator last.
    TGettextInstance* instance = GlobalInstance;
    GlobalInstance = nullptr;
    delete instance;
    DestroyResourceStringDomains();
    RedirectResourceStrings(false);
    delete GlobalFileLocator;
    GlobalFileLocator = nullptr;
}

namespace {
// Linking this unit is enough: the layer is up before main and down at exit.
struct TTranslatorUnit {
    TTranslatorUnit() { Initialize(); }
    ~TTranslatorUnit() { Finalize(); }
} gTranslatorUnit;
} // namespace

} // namespace translator
