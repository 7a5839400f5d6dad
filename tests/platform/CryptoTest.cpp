// The platform's SHA-256 and ECDSA P-256 check: published answers for the
// hash, fed whole and in every split, and every Wycheproof P1363 vector with
// its verdict. The same test runs natively (libcrypto) and under Wine (CNG):
// two providers that must agree on every case.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "tests/TestSupport.h"

using platform::SignatureCheck;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string ToHex(const platform::Sha256Digest& digest) {
    std::string hex;
    char two[3];
    for (uint8_t b : digest) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// One verification case of the Wycheproof file: the group's key and the
// test's message, signature and verdict.
struct Vector {
    int Id = 0;
    std::vector<uint8_t> Key, Message, Signature;
    bool Valid = false;
};

// The quoted value of `"name" : "value"` on a line, or the bare number of
// `"name" : 12,`; empty when the line is not that field.
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\" : ";
    size_t at = line.find(key);
    if (at == std::string::npos) return {};
    std::string rest = line.substr(at + key.size());
    if (!rest.empty() && rest[0] == '"') return rest.substr(1, rest.find('"', 1) - 1);
    return rest.substr(0, rest.find(','));
}

// The file holds one field per line; the key comes before its group's tests.
std::vector<Vector> ReadVectors(const std::string& json) {
    std::vector<Vector> vectors;
    std::vector<uint8_t> key;
    size_t start = 0;
    while (start < json.size()) {
        size_t end = json.find('\n', start);
        if (end == std::string::npos) end = json.size();
        const std::string line = json.substr(start, end - start);
        start = end + 1;
        if (std::string v = Field(line, "uncompressed"); !v.empty()) key = FromHex(v);
        if (std::string v = Field(line, "tcId"); !v.empty()) {
            vectors.emplace_back();
            vectors.back().Id = std::stoi(v);
            vectors.back().Key = key;
        }
        if (vectors.empty()) continue;
        if (line.find("\"msg\" : ") != std::string::npos)
            vectors.back().Message = FromHex(Field(line, "msg"));
        if (line.find("\"sig\" : ") != std::string::npos)
            vectors.back().Signature = FromHex(Field(line, "sig"));
        if (std::string v = Field(line, "result"); !v.empty()) vectors.back().Valid = v == "valid";
    }
    return vectors;
}

} // namespace

TEST(Crypto, Sha256GivesThePublishedDigestsWholeAndSplitAnywhere) {
    struct Case {
        std::string Message, Digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        platform::Sha256Digest digest;
        ASSERT_TRUE(platform::Sha256Of(Bytes(c.Message), digest));
        EXPECT_EQ(ToHex(digest), c.Digest) << c.Message.size() << " bytes whole";
        if (c.Message.size() > 100) continue;
        platform::Sha256 hash;
        hash.Update("stale", 5);
        hash.Reset(); // what came before a reset is forgotten
        for (size_t cut = 0; cut <= c.Message.size(); ++cut) {
            hash.Update(c.Message.data(), cut);
            hash.Update(c.Message.data() + cut, c.Message.size() - cut);
            ASSERT_TRUE(hash.Final(digest)); // and starts over for the next cut
            EXPECT_EQ(ToHex(digest), c.Digest) << "cut at " << cut;
        }
        EXPECT_FALSE(hash.Failed());
    }
}

// The valid vectors that the provider of this run is known to refuse, from
// SETUP_TEST_REFUSED_VALID_VECTORS ("204,..."; set by tests/platform for the
// run under Wine, whose CNG verifies through Debian's nettle 3.8.1, which
// refuses Wycheproof's "point duplication" case 204). A refusal fails
// closed; a listed case that passes, or any other disagreement, still fails.
std::set<int> RefusedValidVectors() {
    std::set<int> ids;
    const char* list = std::getenv("SETUP_TEST_REFUSED_VALID_VECTORS");
    for (const char* p = list ? list : ""; *p;) {
        char* end = nullptr;
        ids.insert(static_cast<int>(std::strtol(p, &end, 10)));
        p = *end ? end + 1 : end;
    }
    return ids;
}

TEST(Crypto, EveryWycheproofP1363VectorGetsItsVerdict) {
    const std::vector<Vector> vectors = ReadVectors(testing_support::ReadFileBytes(
        testing_support::DataFile("wycheproof/ecdsa_secp256r1_sha256_p1363_test.json")));
    ASSERT_EQ(vectors.size(), 252u);
    const std::set<int> refused = RefusedValidVectors();
    int valid = 0, agreed = 0;
    for (const Vector& v : vectors) {
        SignatureCheck got = platform::VerifyP256Sha256(v.Key, v.Message, v.Signature);
        SignatureCheck want = v.Valid ? SignatureCheck::Valid : SignatureCheck::Invalid;
        if (v.Valid && refused.count(v.Id)) want = SignatureCheck::Invalid;
        EXPECT_EQ(got, want) << "tcId " << v.Id;
        valid += v.Valid;
        agreed += got == (v.Valid ? SignatureCheck::Valid : SignatureCheck::Invalid);
    }
    EXPECT_EQ(valid, 169);
    std::printf("Wycheproof P1363: %d of %zu verdicts as published\n", agreed, vectors.size());

    // The first valid case, with its key spoiled: never valid.
    const Vector& first = vectors[0];
    ASSERT_TRUE(first.Valid);
    std::vector<uint8_t> compressed(first.Key.begin(), first.Key.begin() + 33);
    compressed[0] = 0x02;
    std::vector<uint8_t> offCurve = first.Key;
    offCurve[64] ^= 1;
    EXPECT_EQ(platform::VerifyP256Sha256(compressed, first.Message, first.Signature),
              SignatureCheck::BadKey);
    EXPECT_NE(platform::VerifyP256Sha256(offCurve, first.Message, first.Signature),
              SignatureCheck::Valid);
}

// Not a pass/fail check: how fast the provider hashes what a download gives
// it, in the 64 KiB pieces the HTTP client writes.
TEST(Crypto, Sha256Throughput) {
    const std::string piece(64 * 1024, 'x');
    constexpr int kPieces = 1024; // 64 MiB
    platform::Sha256 hash;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPieces; ++i)
        hash.Update(piece.data(), piece.size());
    platform::Sha256Digest digest;
    ASSERT_TRUE(hash.Final(digest));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("SHA-256: 64 MiB in %.3f s, %.0f MB/s\n", seconds, 64 * 1.048576 / seconds);
}
