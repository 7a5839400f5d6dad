#include "translation/ResourceStrings.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>

#include "platform/RWLock.h"
#include <vector>

#include "platform/Unicode.h"
#include "runtime/EnglishText.h"
#include "translation/Translator.h"

namespace translator {

namespace {

struct TResourceStringDomains {
    platform::TRWLock Lock;
    std::vector<std::string> Names;
};

std::atomic<TResourceStringDomains*> ResourceStringDomains{nullptr};

// The loaders in use before the redirection, and whether it is in place.
rtl::TResStringLoaders gPreviousLoaders{};
bool gRedirected = false;

// A runtime text loaded by LoadStr holds at most 1023 characters, as the
// classic loader's fixed buffer allows.
constexpr int kLoadStrBufferLength = 1024;

thread_local bool gTranslating = false;
struct TTranslatingScope {
    TTranslatingScope() { gTranslating = true; }
    ~TTranslatingScope() { gTranslating = false; }
};

} // namespace

void CreateResourceStringDomains() {
    if (ResourceStringDomains.load()) return;
    auto* domains = new TResourceStringDomains;
    domains->Names.push_back("default");
    ResourceStringDomains.store(domains);
}

void DestroyResourceStringDomains() {
    TResourceStringDomains* domains = ResourceStringDomains.exchange(nullptr);
    if (!domains) return;
    // Wait for readers still inside a translation before the lock goes.
    { std::unique_lock<platform::TRWLock> lock(domains->Lock); }
    delete domains;
}

std::string TranslateResourceString(const std::string& text) {
    if (text.empty()) return text;
    TResourceStringDomains* domains = ResourceStringDomains.load();
    TGettextInstance* instance = GlobalInstance;
    if (!domains || !instance) return text;
    // A runtime text needed while a lookup is under way on this thread (an
    // error raised while a catalog is being opened) stays untranslated:
    // translating it would open the same catalog again, without end.
    if (gTranslating) return text;
    TTranslatingScope scope;
    std::shared_lock<platform::TRWLock> lock(domains->Lock);
    std::string result = text;
    try {
        // A runtime text's source is English: the English catalog may word
        // it otherwise, and without an entry there the source is the English.
        if (rtl::ComposingInEnglish()) {
            for (const std::string& domain : domains->Names)
                if (instance->EnglishText(domain, text, result)) return result;
            return text;
        }
        for (const std::string& domain : domains->Names) {
            result = instance->dgettext(domain, text);
            if (result != text) break;
        }
    } catch (const rtl::Exception&) {
        // A catalog that cannot be read must not replace the error or caption
        // being loaded with an error of its own: the text stays untranslated.
        return text;
    }
    return result;
}

std::string TranslatedLoadResString(const rtl::TResStringRec* ResStringRec) {
    if (TGettextInstance* instance = GlobalInstance) return instance->LoadResString(ResStringRec);
    return gPreviousLoaders.LoadResString
               ? gPreviousLoaders.LoadResString(ResStringRec)
               : rtl::OriginalResStringLoaders().LoadResString(ResStringRec);
}

std::string TranslatedLoadStr(int Ident) {
    rtl::RegisterRuntimeTexts();
    std::string text;
    for (platform::ModuleHandle module : rtl::ResourceModules()) {
        char16_t buffer[kLoadStrBufferLength];
        int n = platform::LoadStringResource(module, static_cast<unsigned>(Ident), buffer,
                                             kLoadStrBufferLength);
        if (n > 0) {
            text = platform::Utf16ToUtf8(std::u16string_view(buffer, static_cast<size_t>(n)));
            break;
        }
    }
    return TranslateResourceString(text);
}

std::string TranslatedFmtLoadStr(int Ident, std::span<const rtl::FormatArg> Args) {
    return rtl::Format(TranslatedLoadStr(Ident), Args);
}

void RedirectResourceStrings(bool enable) {
    if (enable == gRedirected) return;
    if (enable) {
        gPreviousLoaders = rtl::SetResStringLoaders(
            {TranslatedLoadResString, TranslatedLoadStr, TranslatedFmtLoadStr});
        gRedirected = true;
        return;
    }
    // Each routine gets back exactly what it replaced, one at a time.
    rtl::TResStringLoaders loaders = rtl::CurrentResStringLoaders();
    loaders.FmtLoadStr = gPreviousLoaders.FmtLoadStr;
    rtl::SetResStringLoaders(loaders);
    loaders.LoadStr = gPreviousLoaders.LoadStr;
    rtl::SetResStringLoaders(loaders);
    loaders.LoadResString = gPreviousLoaders.LoadResString;
    rtl::SetResStringLoaders(loaders);
    gRedirected = false;
}

} // namespace translator
