// The release manifest: what its grammar takes and refuses (with the reason
// a user is shown), the signature line, and the whole check of a manifest
// signed by the signing tool (tests/data/release) against keys, serials and
// clocks. Runs natively and under Wine: libcrypto and CNG must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/release/ReleaseManifest.h"
#include "tests/TestSupport.h"

using namespace setup;
using testing_support::DataFile;
using testing_support::MessageOf;
using testing_support::ReadFileBytes;

namespace {

const std::string kHash(64, 'a');
const std::string kHead = "release-manifest 1\nserial 5\n";

std::string Invalid(const std::string& reason) {
    return "Het releasemanifest is ongeldig: " + reason + ".";
}

TPublicKey KeyFromHexFile(const std::string& name) {
    std::string hex = ReadFileBytes(DataFile("release/" + name));
    hex.erase(hex.find_last_not_of("\r\n") + 1);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(FromHex(hex, bytes)) << name;
    TPublicKey key{};
    if (bytes.size() == key.size()) std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

} // namespace

TEST(ReleaseManifest, BodiesAreReadOrRefusedWithTheirReason) {
    struct Case {
        const char* Name;
        std::string Body, Message; // empty message: accepted
    } cases[] = {
        {"smallest", kHead + "file main.zip 0 " + kHash + "\n", ""},
        {"every field",
         kHead + "expires 2030-02-28T23:59:59Z\nfile a.zip 12 " + kHash +
             "\nfile B_2-x.ZIP 9223372036854775807 " + kHash + "\n",
         ""},
        {"nothing", "", Invalid("de eerste regel is niet \"release-manifest 1\"")},
        {"other version", "release-manifest 2\nserial 5\n",
         Invalid("de eerste regel is niet \"release-manifest 1\"")},
        {"carriage return", "release-manifest 1\r\nserial 5\n",
         Invalid("regel 1 heeft niet de vorm \"veld waarde\"")},
        {"tab", kHead + "file\tmain.zip 0 " + kHash + "\n",
         Invalid("regel 3 heeft niet de vorm \"veld waarde\"")},
        {"empty line", kHead + "\n", Invalid("regel 3 heeft niet de vorm \"veld waarde\"")},
        {"no value", kHead + "serial \n", Invalid("regel 3 heeft niet de vorm \"veld waarde\"")},
        {"unknown field", kHead + "comment hello\n", Invalid("regel 3: onbekend veld \"comment\"")},
        {"serial twice", kHead + "serial 6\n",
         Invalid("regel 3: \"serial\" komt meer dan eens voor")},
        {"serial leading zero", "release-manifest 1\nserial 05\n",
         Invalid("regel 2: ongeldige waarde voor \"serial\"")},
        {"serial 2^63", "release-manifest 1\nserial 9223372036854775808\n",
         Invalid("regel 2: ongeldige waarde voor \"serial\"")},
        {"no serial", "release-manifest 1\nfile a 1 " + kHash + "\n",
         Invalid("het veld \"serial\" ontbreekt")},
        {"no file", kHead, Invalid("het veld \"file\" ontbreekt")},
        {"expiry 29 February of a common year", kHead + "expires 2027-02-29T00:00:00Z\n",
         Invalid("regel 3: ongeldige waarde voor \"expires\"")},
        {"expiry twice", kHead + "expires 2027-01-01T00:00:00Z\nexpires 2028-01-01T00:00:00Z\n",
         Invalid("regel 4: \"expires\" komt meer dan eens voor")},
        {"upper-case hash", kHead + "file a 1 " + std::string(64, 'A') + "\n",
         Invalid("regel 3: ongeldige waarde voor \"file\"")},
        {"path in a name", kHead + "file ../a 1 " + kHash + "\n",
         Invalid("regel 3: ongeldige waarde voor \"file\"")},
        {"name too long", kHead + "file " + std::string(65, 'n') + " 1 " + kHash + "\n",
         Invalid("regel 3: ongeldige waarde voor \"file\"")},
        {"file twice", kHead + "file a 1 " + kHash + "\nfile a 2 " + kHash + "\n",
         Invalid("regel 4: \"a\" komt meer dan eens voor")},
        {"no final line feed", kHead + "file a 1 " + kHash,
         Invalid("regel 3 heeft niet de vorm \"veld waarde\"")},
    };
    for (const Case& c : cases) {
        TReleaseManifest manifest;
        EXPECT_EQ(MessageOf([&] { manifest = ParseManifestBody(c.Body); }), c.Message) << c.Name;
        // What is taken is written back the same way.
        if (c.Message.empty()) {
            EXPECT_EQ(ComposeManifestBody(manifest), c.Body) << c.Name;
        }
    }
}

TEST(ReleaseManifest, TimesAreReadAndWrittenInUtc) {
    struct Case {
        const char* Text;
        int64_t Unix; // -1: refused
    } cases[] = {
        {"1970-01-01T00:00:00Z", 0},          {"2000-02-29T12:34:56Z", 951827696},
        {"2038-01-19T03:14:08Z", 2147483648}, {"9999-12-31T23:59:59Z", 253402300799},
        {"1969-12-31T23:59:59Z", -1},         {"2100-02-29T00:00:00Z", -1},
        {"2027-13-01T00:00:00Z", -1},         {"2027-04-31T00:00:00Z", -1},
        {"2027-01-01T24:00:00Z", -1},         {"2027-01-01T00:60:00Z", -1},
        {"2027-01-01 00:00:00Z", -1},         {"2027-1-01T00:00:00Z", -1},
    };
    for (const Case& c : cases) {
        int64_t unix = -1;
        EXPECT_EQ(ParseUtcTime(c.Text, unix), c.Unix >= 0) << c.Text;
        if (c.Unix < 0) continue;
        EXPECT_EQ(unix, c.Unix) << c.Text;
        EXPECT_EQ(FormatUtcTime(unix), c.Text);
    }
}

TEST(ReleaseManifest, SignedManifestIsCheckedForKeySerialExpiryAndEveryByte) {
    const std::string good = ReadFileBytes(DataFile("release/release.txt"));
    ASSERT_FALSE(good.empty());
    const TPublicKey test = KeyFromHexFile("test.pub.hex"), other = KeyFromHexFile("other.pub.hex");
    int64_t expires = 0;
    ASSERT_TRUE(ParseUtcTime("2099-12-31T00:00:00Z", expires));
    const int64_t now = expires - 86400;
    const std::string signature = Invalid("de laatste regel is geen handtekening");
    const std::string forged =
        "De handtekening van het releasemanifest is ongeldig: de release komt niet van de maker "
        "of is onderweg gewijzigd.";
    auto changed = [&](size_t at, char to) {
        std::string text = good;
        text[at] = to;
        return text;
    };
    const size_t hashDigit = good.find("file main.zip 17 ") + 17;
    const size_t sigDigit = good.find("signature ") + 10;
    struct Case {
        const char* Name;
        std::string Text;
        std::vector<TPublicKey> Keys;
        uint64_t MinimumSerial;
        int64_t Now;
        std::string Message;
    } cases[] = {
        {"as signed", good, {test}, 5, now, ""},
        {"the next key beside it", good, {other, test}, 0, now, ""},
        {"another key", good, {other}, 0, now, forged},
        {"a digit of a hash",
         changed(hashDigit, good[hashDigit] == '0' ? '1' : '0'),
         {test},
         0,
         now,
         forged},
        {"a digit of the signature",
         changed(sigDigit, good[sigDigit] == '0' ? '1' : '0'),
         {test},
         0,
         now,
         forged},
        {"serial below the minimum",
         good,
         {test},
         6,
         now,
         "Het releasemanifest heeft volgnummer 5; dit installatieprogramma aanvaardt pas "
         "volgnummer 6 of hoger."},
        {"expired",
         good,
         {test},
         0,
         expires,
         "Het releasemanifest is verlopen op 2099-12-31T00:00:00Z (UTC)."},
        {"text after the signature", good + "x", {test}, 0, now, signature},
        {"line feed after the signature", good + "\n", {test}, 0, now, signature},
        {"signature line cut", good.substr(0, good.size() - 2) + "\n", {test}, 0, now, signature},
        {"signature in capitals",
         good.substr(0, sigDigit) + "A" + good.substr(sigDigit + 1),
         {test},
         0,
         now,
         signature},
        {"no signature", good.substr(0, good.find("signature ")), {test}, 0, now, signature},
        {"larger than 64 KiB",
         std::string(65537, 'x'),
         {test},
         0,
         now,
         "Het releasemanifest is groter dan 65536 bytes."},
    };
    for (const Case& c : cases) {
        TReleaseManifest manifest;
        EXPECT_EQ(MessageOf([&] {
                      manifest = VerifyManifest(c.Text, {c.Keys, c.MinimumSerial}, c.Now);
                  }),
                  c.Message)
            << c.Name;
        if (!c.Message.empty()) continue;
        EXPECT_EQ(manifest.VerifiedByKey, static_cast<int>(c.Keys.size()) - 1) << c.Name;
        EXPECT_EQ(manifest.Serial, 5u);
        ASSERT_EQ(manifest.Files.size(), 2u);
        const TReleaseFile* main = manifest.Find("main.zip");
        ASSERT_TRUE(main);
        EXPECT_EQ(main->Size, 17);
        platform::Sha256Digest digest;
        ASSERT_TRUE(platform::Sha256Of(
            std::span(reinterpret_cast<const uint8_t*>("the main archive\n"), 17), digest));
        EXPECT_EQ(main->Sha256, digest);
    }
}
