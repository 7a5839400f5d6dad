#include "translation/GettextInstance.h"

#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Unicode.h"
#include "runtime/EnglishText.h"
#include "translation/ResourceStrings.h"

namespace translator {

namespace {

const char* const kDefaultDomain = "default";
const char* const kEnglish = "en";
const char* const kLocaleFolder = "locale";
const char* const kMessagesFolder = "LC_MESSAGES";
const char* const kCatalogExtension = ".mo";
const char* const kContentType = "Content-Type";
const char* const kUtf8Charset = "CHARSET=UTF-8";
const char* const kLocalizationProblemCaption = "Localization problem";
const char* const kCharsetProblem1 = "The translation for the language code ";
const char* const kCharsetProblem2 = " (in ";
const char* const kCharsetProblem3 =
    ") does not have charset=utf-8 in its Content-Type. Translations are turned off.";
// The largest resource-string id a string table can hold, plus one.
constexpr unsigned kResourceIdLimit = 65536;
const char* const kResourceIdError = "ERROR";

} // namespace

std::string RemoveCarriageReturns(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

std::string ExpandLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// --- TDomain ---------------------------------------------------------------

TDomain::TDomain(TFileLocator& locator, const TMessageBoxProc& showMessage)
    : FLocator(locator), FShowMessage(showMessage) {}

TDomain::~TDomain() {
    CloseCatalog();
}

void TDomain::CloseCatalog() {
    if (FMoFile) {
        TMoFile* mofile = FMoFile;
        FMoFile = nullptr;
        FLocator.ReleaseMoFile(mofile);
    }
    OpenHasFailedBefore = false;
}

void TDomain::SetLanguageCode(const std::string& langcode) {
    CloseCatalog();
    curlang = langcode;
}

void TDomain::SetDirectory(const std::string& directory) {
    vDirectory = platform::IncludeTrailingPathDelimiter(directory);
    CloseCatalog();
}

void TDomain::OpenCatalog() {
    const std::string delim(1, platform::PathDelim());
    const std::string tail = delim + kMessagesFolder + delim + Domain + kCatalogExtension;
    std::string path = vDirectory + curlang + tail;
    auto exists = [this](const std::string& p) {
        return FLocator.FileExists(p) || platform::FileExists(p);
    };
    // A regional code such as nl_BE falls back to the language's own catalog.
    if (!exists(path)) path = vDirectory + curlang.substr(0, 2) + tail;
    if (!exists(path)) {
        OpenHasFailedBefore = true;
        return;
    }
    FMoFile = FLocator.GetMoFile(path);
    std::string contentType = platform::AsciiUpperCase(GetTranslationProperty(kContentType));
    if (contentType.find(kUtf8Charset) == std::string::npos) {
        CloseCatalog();
        // Off before the box is shown: the box handles messages, and a lookup
        // made meanwhile must not open the catalog again and show a second one.
        Enabled = false;
        if (FShowMessage)
            FShowMessage(kLocalizationProblemCaption,
                         kCharsetProblem1 + curlang + kCharsetProblem2 + path + kCharsetProblem3);
    }
}

const TMoFile* TDomain::Catalog() {
    if (!Enabled) return nullptr;
    if (!FMoFile && !OpenHasFailedBefore) OpenCatalog();
    return FMoFile;
}

std::string TDomain::gettext(std::string_view msgid) {
    if (const TMoFile* mofile = Catalog()) {
        bool found = false;
        return mofile->gettext(msgid, found);
    }
    return std::string(msgid);
}

std::string TDomain::ngettext(std::string_view singular, std::string_view plural, uint64_t n) {
    std::string form;
    if (const TMoFile* mofile = Catalog())
        if (mofile->ngettext(singular, n, form)) return form;
    return std::string(GermanicPluralForm(n) ? plural : singular);
}

bool TDomain::Lookup(std::string_view msgid, std::string& translation) {
    const TMoFile* mofile = Catalog();
    if (!mofile) return false;
    bool found = false;
    std::string text = mofile->gettext(msgid, found);
    if (found) translation = std::move(text);
    return found;
}

bool TDomain::LookupPlural(std::string_view singular, uint64_t n, std::string& form) {
    const TMoFile* mofile = Catalog();
    return mofile && mofile->ngettext(singular, n, form);
}

std::string TDomain::GetTranslationProperty(std::string_view Propertyname) {
    return CatalogHeaderField(gettext(""), Propertyname);
}

// --- TGettextInstance --------------------------------------------------------

TGettextInstance::TGettextInstance(TFileLocator& locator, const std::string& moduleFileName)
    : CreatorThread(platform::CurrentThreadId()), ShowMessage(platform::ShowMessageBox),
      FLocator(locator) {
    curmsgdomain = kDefaultDomain;
    FDefaultDomainDirectory = platform::ExtractFilePath(moduleFileName) + kLocaleFolder;
    UseLanguage("");
    bindtextdomain(kDefaultDomain, FDefaultDomainDirectory);
    textdomain(kDefaultDomain);
}

TGettextInstance::~TGettextInstance() = default;

std::string TGettextInstance::gettext(std::string_view szMsgId) {
    return dgettext(curmsgdomain, szMsgId);
}

std::string TGettextInstance::dgettext(std::string_view szDomain, std::string_view szMsgId) {
    if (rtl::ComposingInEnglish()) {
        // The English pass of a message: the English catalog's text, and
        // never the Dutch identifier passed off as English.
        std::string english;
        if (EnglishText(szDomain, szMsgId, english)) return english;
        rtl::NoEnglishRendering();
    }
    TDomain* domain = FindOrAddDomain(szDomain, FDefaultDomainDirectory, curlang);
    return ExpandLineFeeds(domain->gettext(RemoveCarriageReturns(szMsgId)));
}

std::string TGettextInstance::ngettext(std::string_view szMsgId, std::string_view szMsgIdPlural,
                                       uint64_t n) {
    return dngettext(curmsgdomain, szMsgId, szMsgIdPlural, n);
}

std::string TGettextInstance::dngettext(std::string_view szDomain, std::string_view szMsgId,
                                        std::string_view szMsgIdPlural, uint64_t n) {
    if (rtl::ComposingInEnglish()) {
        std::string english;
        if (EnglishPlural(szDomain, szMsgId, n, english)) return english;
        rtl::NoEnglishRendering();
    }
    TDomain* domain = FindOrAddDomain(szDomain, FDefaultDomainDirectory, curlang);
    return ExpandLineFeeds(
        domain->ngettext(RemoveCarriageReturns(szMsgId), RemoveCarriageReturns(szMsgIdPlural), n));
}

void TGettextInstance::UseLanguage(std::string LanguageCode) {
    if (LanguageCode.empty()) {
        LanguageCode = platform::GetEnvVar("LANG");
        if (LanguageCode.empty()) LanguageCode = platform::SystemLanguageCode();
        size_t dot = LanguageCode.find('.');
        if (dot != std::string::npos) LanguageCode.erase(dot);
    }
    curlang = LanguageCode;
    for (auto& domain : domainlist)
        domain->SetLanguageCode(curlang);
}

void TGettextInstance::bindtextdomain(std::string_view szDomain, std::string_view szDirectory) {
    TDomain* domain = FindOrAddDomain(szDomain, FDefaultDomainDirectory, curlang);
    domain->SetDirectory(std::string(szDirectory));
}

std::string TGettextInstance::GetTranslationProperty(std::string_view Propertyname) {
    return FindOrAddDomain(curmsgdomain, FDefaultDomainDirectory, curlang)
        ->GetTranslationProperty(Propertyname);
}

TDomain* TGettextInstance::FindOrAddDomain(std::string_view name, const std::string& directory,
                                           const std::string& language) {
    for (auto& domain : domainlist)
        if (platform::SameTextAscii(domain->Domain, name)) return domain.get();
    auto domain = std::make_unique<TDomain>(FLocator, ShowMessage);
    domain->Domain = std::string(name);
    domain->SetDirectory(directory);
    domain->curlang = language;
    domainlist.push_back(std::move(domain));
    return domainlist.back().get();
}

TDomain* TGettextInstance::EnglishDomain(std::string_view name) {
    // The twin follows its domain's folder, should that be bound anew.
    const std::string& directory =
        FindOrAddDomain(name, FDefaultDomainDirectory, curlang)->Directory();
    for (auto& domain : FEnglishDomains) {
        if (!platform::SameTextAscii(domain->Domain, name)) continue;
        if (domain->Directory() != directory) domain->SetDirectory(directory);
        return domain.get();
    }
    auto domain = std::make_unique<TDomain>(FLocator, ShowMessage);
    domain->Domain = std::string(name);
    domain->SetDirectory(directory);
    domain->curlang = kEnglish;
    FEnglishDomains.push_back(std::move(domain));
    return FEnglishDomains.back().get();
}

bool TGettextInstance::EnglishText(std::string_view szDomain, std::string_view szMsgId,
                                   std::string& english) {
    TDomain* domain = EnglishDomain(szDomain);
    if (!domain->Lookup(RemoveCarriageReturns(szMsgId), english)) return false;
    english = ExpandLineFeeds(english);
    return true;
}

bool TGettextInstance::EnglishPlural(std::string_view szDomain, std::string_view szMsgId,
                                     uint64_t n, std::string& english) {
    TDomain* domain = EnglishDomain(szDomain);
    if (!domain->LookupPlural(RemoveCarriageReturns(szMsgId), n, english)) return false;
    english = ExpandLineFeeds(english);
    return true;
}

std::string TGettextInstance::LoadResString(const rtl::TResStringRec* ResStringRec) {
    if (!ResStringRec) return {};
    if (ResStringRec->Identifier >= kResourceIdLimit) return kResourceIdError;
    rtl::RegisterRuntimeTexts();
    platform::ModuleHandle module = rtl::FindResourceModule(ResStringRec);
    // Every supported system stores strings as UTF-16 and reports how much
    // it copied, so the buffer grows until the whole text fits.
    std::u16string buffer;
    int loaded = 0;
    while (loaded + 1 >= static_cast<int>(buffer.size())) {
        buffer.resize(buffer.empty() ? 1024 : buffer.size() * 2);
        loaded = platform::LoadStringResource(module, ResStringRec->Identifier, buffer.data(),
                                              static_cast<int>(buffer.size()));
        if (loaded < 0) loaded = 0;
    }
    buffer.resize(static_cast<size_t>(loaded));
    std::string text = platform::Utf16ToUtf8(buffer);
    if (platform::CurrentThreadId() == CreatorThread) text = TranslateResourceString(text);
    return text;
}

} // namespace translator
