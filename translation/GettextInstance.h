#pragma once
// Text domains, the language in use and the lookups behind gettext.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ResStrings.h"
#include "translation/FileLocator.h"

namespace translator {

// Shows a message to the user: caption, text.
using TMessageBoxProc = std::function<void(const std::string& caption, const std::string& text)>;

// Every CR byte removed.
std::string RemoveCarriageReturns(std::string_view text);
// Every LF that does not follow a CR written as CR LF.
std::string ExpandLineFeeds(std::string_view text);

// One text domain and the catalog it holds for its language.
//
// Fresh: no catalog, the next lookup searches for one. Open: a catalog is
// held. Failed: none was found, and lookups touch no file until the language
// or folder changes. Disabled: the catalog failed the character-set test;
// lookups return identifiers until the program ends.
class TDomain {
  public:
    TDomain(TFileLocator& locator, const TMessageBoxProc& showMessage);
    ~TDomain();
    TDomain(const TDomain&) = delete;
    TDomain& operator=(const TDomain&) = delete;

    bool Enabled = true;
    std::string Domain;
    std::string curlang;
    bool OpenHasFailedBefore = false;

    // Closes the catalog, then takes the new language.
    void SetLanguageCode(const std::string& langcode);
    const std::string& Directory() const { return vDirectory; }
    // The folder holding the language folders (a trailing delimiter is
    // added); closes the catalog.
    void SetDirectory(const std::string& directory);

    // UTF-8 in and out: the translation, or msgid when there is none.
    std::string gettext(std::string_view msgid);
    // The form that n takes of the entry whose singular is singular, chosen
    // by the catalog's plural rule; without one, singular or plural by the
    // Germanic rule (plural for every n but 1).
    std::string ngettext(std::string_view singular, std::string_view plural, uint64_t n);
    // The catalog's translation of msgid, or of the form n takes; false
    // when the domain has no catalog or the catalog no such entry.
    bool Lookup(std::string_view msgid, std::string& translation);
    bool LookupPlural(std::string_view singular, uint64_t n, std::string& form);
    // A header value of the catalog, found without regard to the name's case.
    std::string GetTranslationProperty(std::string_view Propertyname);
    // Hands the catalog back and forgets a failed search; Enabled stays.
    void CloseCatalog();

    const TMoFile* mofile() const { return FMoFile; }

  private:
    void OpenCatalog();
    // The catalog to search, opened first when needed; null when there is
    // none or the domain is disabled.
    const TMoFile* Catalog();

    std::string vDirectory;
    TMoFile* FMoFile = nullptr;
    TFileLocator& FLocator;
    const TMessageBoxProc& FShowMessage;
};

class TGettextInstance {
  public:
    // Chooses the language from the environment and binds the domain
    // "default" to the folder "locale" beside moduleFileName.
    TGettextInstance(TFileLocator& locator, const std::string& moduleFileName);
    virtual ~TGettextInstance();
    TGettextInstance(const TGettextInstance&) = delete;
    TGettextInstance& operator=(const TGettextInstance&) = delete;

    virtual std::string gettext(std::string_view szMsgId);
    virtual std::string dgettext(std::string_view szDomain, std::string_view szMsgId);
    // Plural forms: the form that n takes, line ends treated as by gettext.
    virtual std::string ngettext(std::string_view szMsgId, std::string_view szMsgIdPlural,
                                 uint64_t n);
    virtual std::string dngettext(std::string_view szDomain, std::string_view szMsgId,
                                  std::string_view szMsgIdPlural, uint64_t n);

    // An empty code takes LANG, else the system's language, cut before the
    // first "."; a code handed in is used as it stands.
    void UseLanguage(std::string LanguageCode);
    const std::string& GetCurrentLanguage() const { return curlang; }
    void textdomain(std::string_view szDomain) { curmsgdomain = std::string(szDomain); }
    const std::string& getcurrenttextdomain() const { return curmsgdomain; }
    void bindtextdomain(std::string_view szDomain, std::string_view szDirectory);
    std::string GetTranslationProperty(std::string_view Propertyname);

    // The English catalog's entry for msgid in a domain (bound to that
    // domain's folder), without touching the language in use; false when
    // there is no English catalog or it lacks the entry.
    bool EnglishText(std::string_view szDomain, std::string_view szMsgId, std::string& english);
    bool EnglishPlural(std::string_view szDomain, std::string_view szMsgId, uint64_t n,
                       std::string& english);

    // A runtime text loaded from the string resources, translated when the
    // calling thread created this instance.
    std::string LoadResString(const rtl::TResStringRec* ResStringRec);

    TDomain* FindOrAddDomain(std::string_view name, const std::string& directory,
                             const std::string& language);
    const std::string& DefaultDomainDirectory() const { return FDefaultDomainDirectory; }
    size_t DomainCount() const { return domainlist.size(); }

    const unsigned long CreatorThread;
    // Shows the "Localization problem" box; replaceable so a program can
    // route it elsewhere.
    TMessageBoxProc ShowMessage;

  private:
    std::string curlang;
    std::string curmsgdomain;
    std::string FDefaultDomainDirectory;
    std::vector<std::unique_ptr<TDomain>> domainlist;
    // The domains' English twins, made on the first English lookup.
    std::vector<std::unique_ptr<TDomain>> FEnglishDomains;
    TFileLocator& FLocator;

    TDomain* EnglishDomain(std::string_view name);
};

} // namespace translator
