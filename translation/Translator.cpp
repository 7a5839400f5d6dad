#include "translation/Translator.h"

#include "platform/Process.h"
#include "translation/ResourceStrings.h"

namespace translator {

std::string ModuleFileName;
TFileLocator* GlobalFileLocator = nullptr;
TGettextInstance* GlobalInstance = nullptr;

std::string gettext(std::string_view msgid) {
    if (TGettextInstance* instance = GlobalInstance) return instance->gettext(msgid);
    return ExpandLineFeeds(RemoveCarriageReturns(msgid));
}

std::string dgettext(std::string_view domain, std::string_view msgid) {
    if (TGettextInstance* instance = GlobalInstance) return instance->dgettext(domain, msgid);
    return ExpandLineFeeds(RemoveCarriageReturns(msgid));
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
