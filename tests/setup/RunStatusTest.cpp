// The status line under the progress bar: each state's text in each language
// the wizard ships (against the real catalogs of po/), the numbers and units
// it is made of, the speed and time left, and how often it is redrawn.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "setup/QuantityText.h"
#include "setup/RunStatus.h"
#include "translation/Translator.h"

using setup::TRunStatus;

namespace {

constexpr int64_t MiB = 1024 * 1024;

// A state of the run and the moment the line is read.
struct TScene {
    const char* Name;
    std::function<void(TRunStatus&)> Tell;
    uint64_t Now;
    setup::TFitsLine Fits;
};

setup::TFitsLine AtMostChars(size_t n) {
    return [n](const std::string& text) {
        size_t chars = 0;
        for (unsigned char c : text)
            chars += (c & 0xC0) != 0x80;
        return chars <= n;
    };
}

// The scenes every language's table reads, in this order.
const std::vector<TScene>& Scenes() {
    static const std::vector<TScene> scenes = {
        {"manifest", [](TRunStatus& s) { s.Manifest(); }, 0, {}},
        {"first second at 100 kB/s: no time left yet",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.TransferBegin(58 * MiB);
             s.Transfer(0, 0);
             s.Transfer(1000, 102400);
         },
         1000,
         {}},
        {"three seconds in: the time left",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.TransferBegin(58 * MiB);
             s.Transfer(0, 0);
             s.Transfer(1000, 102400);
             s.Transfer(3000, 307200);
         },
         3000,
         {}},
        {"a stalled server: the speed falls",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.TransferBegin(58 * MiB);
             s.Transfer(0, 0);
             s.Transfer(1000, 102400);
             s.Idle(4000);
         },
         4000,
         {}},
        {"no announced length",
         [](TRunStatus& s) {
             s.Archive("upgrade.zip", 2, 2);
             s.TransferBegin(-1);
             s.Transfer(0, 0);
             s.Transfer(1000, 1536000);
         },
         1000,
         {}},
        {"reconnecting, pause left",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.Reconnecting(2, 5000);
         },
         2100,
         {}},
        {"reconnecting, last second",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.Reconnecting(3, 5000);
         },
         4500,
         {}},
        {"reconnecting, pause over",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.Reconnecting(2, 5000);
         },
         5000,
         {}},
        {"unpacking many",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.Unpacking(1, 3000, "data/a.txt");
         },
         0,
         {}},
        {"unpacking one",
         [](TRunStatus& s) {
             s.Archive("upgrade.zip", 2, 2);
             s.Unpacking(0, 1, "readme.txt");
         },
         0,
         {}},
        {"a long entry shortened in the middle to fit",
         [](TRunStatus& s) {
             s.Archive("main.zip", 1, 2);
             s.Unpacking(12, 3000, "programma/bibliotheek/onderdelen/verslagen/maandoverzicht.rpt");
         },
         0, AtMostChars(66)},
    };
    return scenes;
}

class RunStatusLine : public ::testing::Test {
  protected:
    void TearDown() override { translator::GlobalInstance->UseLanguage("C"); }

    void Check(const std::string& language, const std::vector<std::string>& expected) {
        translator::GlobalInstance->UseLanguage(language);
        ASSERT_EQ(expected.size(), Scenes().size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const TScene& scene = Scenes()[i];
            TRunStatus status;
            status.SetNumberStyle(setup::NumberStyleForLanguage(language));
            scene.Tell(status);
            EXPECT_EQ(status.Text(scene.Now, scene.Fits), expected[i]) << scene.Name;
        }
    }
};

} // namespace

TEST_F(RunStatusLine, Dutch) {
    Check("nl", {
                    "Het releasemanifest wordt opgehaald en gecontroleerd",
                    "main.zip, 1 van 2: 0,1 MB van 58,0 MB, 100 kB/s",
                    "main.zip, 1 van 2: 0,3 MB van 58,0 MB, 100 kB/s, nog 10 minuten",
                    "main.zip, 1 van 2: 0,1 MB van 58,0 MB, 37 kB/s, nog 27 minuten",
                    "upgrade.zip, 2 van 2: 1,5 MB ontvangen, 1,5 MB/s",
                    "main.zip: verbinding verbroken, poging 2 over 3 seconden",
                    "main.zip: verbinding verbroken, poging 3 over 1 seconde",
                    "main.zip: verbinding verbroken, poging 2 wordt gestart",
                    "main.zip uitpakken: 1 van 3.000 bestanden, data/a.txt",
                    "upgrade.zip uitpakken: 0 van 1 bestand, readme.txt",
                    "main.zip uitpakken: 12 van 3.000 bestanden, pr…/maandoverzicht.rpt",
                });
}

TEST_F(RunStatusLine, French) {
    Check("fr", {
                    "Récupération et vérification du manifeste de la version",
                    "main.zip, 1 sur 2 : 0,1 Mo sur 58,0 Mo, 100 Ko/s",
                    "main.zip, 1 sur 2 : 0,3 Mo sur 58,0 Mo, 100 Ko/s, encore 10 minutes",
                    "main.zip, 1 sur 2 : 0,1 Mo sur 58,0 Mo, 37 Ko/s, encore 27 minutes",
                    "upgrade.zip, 2 sur 2 : 1,5 Mo reçus, 1,5 Mo/s",
                    "main.zip : connexion interrompue, tentative 2 dans 3 secondes",
                    "main.zip : connexion interrompue, tentative 3 dans 1 seconde",
                    "main.zip : connexion interrompue, tentative 2 en cours",
                    "Extraction de main.zip : 1 sur 3\u202f000 fichiers, data/a.txt",
                    "Extraction de upgrade.zip : 0 sur 1 fichier, readme.txt",
                    "Extraction de main.zip : 12 sur 3\u202f000 fichiers, progr…verzicht.rpt",
                });
}

TEST_F(RunStatusLine, English) {
    Check("en", {
                    "Fetching and checking the release manifest",
                    "main.zip, 1 of 2: 0.1 MB of 58.0 MB, 100 kB/s",
                    "main.zip, 1 of 2: 0.3 MB of 58.0 MB, 100 kB/s, 10 minutes left",
                    "main.zip, 1 of 2: 0.1 MB of 58.0 MB, 37 kB/s, 27 minutes left",
                    "upgrade.zip, 2 of 2: 1.5 MB received, 1.5 MB/s",
                    "main.zip: connection lost, attempt 2 in 3 seconds",
                    "main.zip: connection lost, attempt 3 in 1 second",
                    "main.zip: connection lost, starting attempt 2",
                    "Unpacking main.zip: 1 of 3,000 files, data/a.txt",
                    "Unpacking upgrade.zip: 0 of 1 file, readme.txt",
                    "Unpacking main.zip: 12 of 3,000 files, program…/maandoverzicht.rpt",
                });
}

TEST(QuantityText, SizesSpeedsAndTimesLeftInDutch) {
    const setup::TNumberStyle nl = setup::NumberStyleForLanguage("nl_BE");
    struct {
        std::string Got, Expected;
    } cases[] = {
        {setup::FormatCount(0, nl), "0"},
        {setup::FormatCount(999, nl), "999"},
        {setup::FormatCount(1234567, nl), "1.234.567"},
        {setup::FormatSize(0, setup::SizeUnitFor(0), nl), "0,0 kB"},
        {setup::FormatSize(403, setup::SizeUnitFor(403), nl), "0,4 kB"},
        {setup::FormatSize(MiB - 1, setup::SizeUnitFor(MiB - 1), nl), "1.024,0 kB"},
        {setup::FormatSize(MiB, setup::SizeUnitFor(MiB), nl), "1,0 MB"},
        {setup::FormatSize(12 * MiB + MiB * 3 / 10, setup::TSizeUnit::MB, nl), "12,3 MB"},
        {setup::FormatSize(5 * 1024 * MiB, setup::SizeUnitFor(5 * 1024 * MiB), nl), "5,0 GB"},
        {setup::FormatSpeed(0, nl), "0 kB/s"},
        {setup::FormatSpeed(-5, nl), "0 kB/s"},
        {setup::FormatSpeed(999.4 * 1024, nl), "999 kB/s"},
        {setup::FormatSpeed(999.5 * 1024, nl), "1,0 MB/s"},
        {setup::FormatSpeed(150.0 * MiB, nl), "150,0 MB/s"},
        {setup::FormatTimeLeft(0, nl), "nog ongeveer 5 seconden"},
        {setup::FormatTimeLeft(36, nl), "nog ongeveer 40 seconden"},
        {setup::FormatTimeLeft(55, nl), "nog ongeveer 55 seconden"},
        {setup::FormatTimeLeft(56, nl), "nog 1 minuut"},
        {setup::FormatTimeLeft(170, nl), "nog 3 minuten"},
        {setup::FormatTimeLeft(89 * 60, nl), "nog 89 minuten"},
        {setup::FormatTimeLeft(90 * 60, nl), "nog 2 uur"},
        {setup::FormatTimeLeft(30 * 3600, nl), "nog 30 uur"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Got, c.Expected);
}

TEST(QuantityText, EntryNamesShortenInTheMiddleByCharacters) {
    struct {
        const char* Name;
        size_t Max;
        const char* Expected;
    } cases[] = {
        {"abc", 3, "abc"},
        {"abc", 10, "abc"},
        {"abcdefghij", 7, "ab…ghij"},
        // The file's own name stays whole when the start keeps a character.
        {"dir/sub/name.txt", 11, "d…/name.txt"},
        {"dir/sub/name.txt", 9, "di…me.txt"},
        {"abcdefghij", 1, "…"},
        {"abcdefghij", 0, ""},
        // Characters, not bytes: an accented letter is never cut in two.
        {"déjà/vu/éèêë.txt", 8, "dé…ë.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(setup::MiddleShortened(c.Name, c.Max), c.Expected) << c.Name << " " << c.Max;
}

TEST(TransferRate, EstimatesAfterTwoSecondsFollowTheLineAndShrinkSteadily) {
    setup::TTransferRate rate;
    rate.Start(0, 0);
    const int64_t total = 10 * MiB;
    double lastLeft = 1e18;
    // 100 kB/s in bursts of 32 KiB: the time left appears after two seconds
    // and then only shrinks.
    uint64_t t = 320;
    for (uint64_t count = 32768; count <= 3 * MiB; t += 320, count += 32768) {
        rate.Sample(t, static_cast<int64_t>(count), total);
        EXPECT_EQ(rate.HasEstimate(), t >= setup::TTransferRate::kEstimateAfterMs) << t;
        if (!rate.HasEstimate()) continue;
        const double left = rate.SecondsLeft();
        EXPECT_LE(left, lastLeft + 0.01) << t;
        lastLeft = left;
    }
    EXPECT_NEAR(rate.BytesPerSecond(), 102400, 1024);
    // A stall: with no new bytes the speed falls, not at once to nothing.
    const uint64_t stallStart = t - 320;
    rate.Sample(stallStart + 1000, 3 * MiB, total);
    EXPECT_LT(rate.BytesPerSecond(), 102400 * 0.8);
    EXPECT_GT(rate.BytesPerSecond(), 102400 * 0.5);
    // A burst closer than the minimum interval does not count as a rate.
    const double before = rate.BytesPerSecond();
    rate.Sample(stallStart + 1001, 4 * MiB, total);
    EXPECT_EQ(rate.BytesPerSecond(), before);
}

TEST(StatusPacer, DrawsAtMostEveryQuarterSecondAndOnlyChanges) {
    setup::TStatusPacer pacer;
    EXPECT_TRUE(pacer.Due(0));
    EXPECT_TRUE(pacer.Changed("a", 0));
    EXPECT_FALSE(pacer.Due(249));
    EXPECT_TRUE(pacer.Due(250));
    EXPECT_FALSE(pacer.Changed("a", 250)); // the same text is not drawn again
    EXPECT_FALSE(pacer.Due(499));
    EXPECT_TRUE(pacer.Changed("b", 500));
    pacer.Reset();
    EXPECT_TRUE(pacer.Due(501));
    EXPECT_TRUE(pacer.Changed("b", 501));
}
