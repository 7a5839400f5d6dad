// The runtime texts of every library against the real catalogs of po/: each
// text has its own id and loads as written without a catalog; the Dutch and
// French catalogs translate every one of them, placeholders kept; and the
// errors the libraries raise carry those translations.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "archive/ArcErrors.h"
#include "archive/codecs/CodecTexts.h"
#include "archive/deflate/DfErrors.h"
#include "archive/legacy/LegacyErrors.h"
#include "http/NetDownload.h"
#include "http/NetExceptions.h"
#include "platform/FileTimes.h"
#include "runtime/RuntimeTextTable.h"
#include "runtime/ScopeGuard.h"
#include "runtime/Streams.h"
#include "tests/TestSupport.h"
#include "tools/netget/Fetch.h"
#include "translation/Translator.h"

using testing_support::MessageOf;

namespace {

struct TTable {
    const char* Name;
    std::span<const rtl::RuntimeTextEntry> Entries;
    const rtl::TRuntimeTextTable* Table; // null: the runtime's own texts
};

std::vector<TTable> AllTables() {
    return {{"runtime", rtl::RuntimeTexts(), nullptr},
            {"http", net::NetTexts.Entries(), &net::NetTexts},
            {"download", net::NetDownloadTexts.Entries(), &net::NetDownloadTexts},
            {"archive", arc::ArcTexts.Entries(), &arc::ArcTexts},
            {"codecs", arc::CodecTexts.Entries(), &arc::CodecTexts},
            {"netget", netget::FetchTexts.Entries(), &netget::FetchTexts}};
}

// Writes a file whole over a read-only one, which the system refuses.
void ReplaceReadOnly(const std::string& target) {
    rtl::TReplacementFileStream file(target);
    file.WriteBuffer("new", 3);
    file.Commit();
}

std::string Load(const TTable& table, const rtl::RuntimeTextEntry& entry) {
    return table.Table ? table.Table->Load(*entry.Rec) : rtl::LoadResString(entry.Rec);
}

// Texts that read the same in the language (names, numbers, loan words).
const std::map<std::string, std::set<std::string>> kSameInLanguage = {
    {"nl", {"%s, ClassID: %s", "OK", "&Help"}},
    {"fr", {"%s, ClassID: %s", "OK", "Information"}},
};

// Switches the global layer to a language of the catalogs beside the test
// program and back to no translation afterwards.
class RuntimeTextCatalog : public ::testing::Test {
  protected:
    void TearDown() override { translator::GlobalInstance->UseLanguage("C"); }
    void Use(const std::string& language) { translator::GlobalInstance->UseLanguage(language); }
};

} // namespace

TEST_F(RuntimeTextCatalog, IdsAreUniqueAndEveryTextLoadsAsWrittenWithoutCatalog) {
    Use("C");
    std::map<unsigned, std::string> owners;
    for (const TTable& table : AllTables()) {
        ASSERT_FALSE(table.Entries.empty()) << table.Name;
        for (const rtl::RuntimeTextEntry& entry : table.Entries) {
            const unsigned id = entry.Rec->Identifier;
            EXPECT_LT(id, 65536u) << entry.Name;
            auto [it, fresh] = owners.emplace(id, entry.Name);
            EXPECT_TRUE(fresh) << entry.Name << " has the id " << id << " of " << it->second;
            EXPECT_EQ(Load(table, entry), std::string(entry.Text)) << entry.Name;
        }
    }
    // The socket texts are found by number, a number without one is empty.
    EXPECT_EQ(net::SocketErrorText(10061), "Connection refused.");
    EXPECT_EQ(net::SocketErrorText(11004), "Valid name, no data record of requested type.");
    EXPECT_EQ(net::SocketErrorText(10001), "");
    EXPECT_EQ(net::SocketErrorText(9999), "");
}

TEST_F(RuntimeTextCatalog, DutchAndFrenchTranslateEveryText) {
    for (const std::string language : {"nl", "fr"}) {
        Use(language);
        ASSERT_EQ(translator::GlobalInstance->GetCurrentLanguage(), language);
        for (const TTable& table : AllTables())
            for (const rtl::RuntimeTextEntry& entry : table.Entries) {
                const std::string text = Load(table, entry);
                if (kSameInLanguage.at(language).count(entry.Text)) continue;
                EXPECT_NE(text, std::string(entry.Text))
                    << entry.Name << " has no " << language << " translation";
            }
    }
}

TEST_F(RuntimeTextCatalog, RaisedErrorsCarryTheTranslation) {
    testing_support::TempDir dir;
    const std::string readOnly = dir.File("README");
    testing_support::WriteFileBytes(readOnly, "old");
    platform::SetFileAttributesByName(readOnly, platform::faReadOnly);
    rtl::TScopeExit writable([&] { platform::SetFileAttributesByName(readOnly, 0); });
    struct TCase {
        const char* Language;
        std::function<void()> Raise;
        std::string Message;
    };
    const std::vector<TCase> cases = {
        {"C", [] { net::RaiseSocketError(10061); }, "Socket Error # 10061\r\nConnection refused."},
        {"nl", [] { net::RaiseSocketError(10061); },
         "Socketfout nr. 10061\r\nKan geen verbinding maken omdat de doelcomputer de verbinding "
         "actief heeft geweigerd."},
        {"fr", [] { net::RaiseSocketError(10054); },
         "Erreur de socket n° 10054\r\nUne connexion existante a dû être fermée par l'hôte "
         "distant."},
        {"en", [] { net::RaiseSocketError(11001); },
         "Socket Error # 11001\r\nNo such host is known."},
        // A number without a text of its own keeps an empty second line.
        {"nl", [] { net::RaiseSocketError(10001); }, "Socketfout nr. 10001\r\n"},
        {"nl", [] { throw arc::EArcZipInvalidMethod(); },
         "Kan het bestand niet uitpakken - de compressiemethode wordt niet ondersteund"},
        {"fr",
         [] { throw arc::EArcInflateError(arc::ArcTexts.Load(arc::kDfCauseStoredLengthRes)); },
         "Erreur de décompression, le flux compressé est peut-être endommagé. (Cause interne : "
         "bloc "
         "non compressé non valide (la longueur et son complément ne correspondent pas) "
         "[InflateStoredBlock])"},
        {"nl", [] { throw arc::EArcZipLegacyData(arc::kArcMsgShrinkInvalidCodeRes); },
         "Ongeldige Shrink-gegevens - de code staat niet in de codetabel"},
        // The status line stays as the server sent it, with the catalog's words around it.
        {"C",
         [] {
             throw rtl::Exception(
                 net::NetTexts.Format(net::RSHTTPErrorStatusRes, {"HTTP/1.1 404 Not Found"}));
         },
         "HTTP/1.1 404 Not Found"},
        {"nl",
         [] {
             throw rtl::Exception(
                 net::NetTexts.Format(net::RSHTTPErrorStatusRes, {"HTTP/1.1 404 Not Found"}));
         },
         "De server meldt een fout: HTTP/1.1 404 Not Found"},
        {"fr",
         [] {
             throw rtl::Exception(
                 net::NetTexts.Format(net::RSHTTPErrorStatusRes, {"HTTP/1.0 503 %s d"}));
         },
         "Le serveur a signalé une erreur : HTTP/1.0 503 %s d"},
        {"fr",
         [] {
             throw rtl::Exception(
                 netget::FetchTexts.Format(netget::SBodyIncompleteRes, {"http://h/x", "3", "9"}));
         },
         "Le corps de http://h/x s'est arrêté après 3 des 9 octets annoncés."},
        // The system's reason comes from the catalog too.
        {"nl", [&] { ReplaceReadOnly(readOnly); },
         "Kan bestand \"" + readOnly + "\" niet vervangen. Toegang geweigerd."},
        {"fr", [&] { ReplaceReadOnly(readOnly); },
         "Impossible de remplacer le fichier \"" + readOnly + "\". Accès refusé."},
    };
    for (const TCase& c : cases) {
        Use(c.Language);
        EXPECT_EQ(MessageOf(c.Raise), c.Message) << c.Language;
    }
}
