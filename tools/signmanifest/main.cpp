// signmanifest: makes and checks the signed release manifest that the wizard
// verifies before it takes an archive.
//
//   signmanifest keygen PRIVATE.pem PUBLIC.pem
//   signmanifest sign --key PRIVATE.pem --serial N [--expires TIME] [--file NAME]...
//                     [--out MANIFEST] FOLDER
//   signmanifest verify --key PUBLIC.pem [--key PUBLIC.pem] [--min-serial N]
//                       [--manifest MANIFEST] FOLDER
//   signmanifest embed --out SOURCE.cpp [--min-serial N] PUBLIC.pem [PUBLIC.pem]
//
// keygen writes a new P-256 key pair (the private key readable by its owner
// only). sign lists each archive of FOLDER (main.zip and upgrade.zip unless
// --file names others) with its size and SHA-256, and signs the list;
// TIME is YYYY-MM-DD (midnight UTC) or YYYY-MM-DDThh:mm:ssZ. The manifest
// goes to FOLDER/release.txt unless --out says otherwise. verify checks a
// manifest exactly as the wizard does (signature by one of the keys, form,
// serial, expiry) and then that every archive it lists is in FOLDER with
// that size and digest. embed writes the C++ source of the keys a build of
// the wizard trusts. Exit status 0 on success, 1 on a failed check, 2 on a
// usage error.
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "setup/release/ReleaseManifest.h"

namespace {

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw Failure("cannot write " + path);
    chmod(path.c_str(), mode);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw Failure("cannot write " + path);
}

// A P-256 key from a PEM file: the private key, or the public one alone.
PKey ReadKey(const std::string& path, bool isPrivate) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw Failure("cannot read " + path);
    EVP_PKEY* key = isPrivate ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr)
                              : PEM_read_PUBKEY(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    PKey owned(key, EVP_PKEY_free);
    char group[64] = {};
    if (!key || !EVP_PKEY_is_a(key, "EC") ||
        !EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                        nullptr) ||
        std::string(group) != "prime256v1")
        throw Failure(path + " holds no " + (isPrivate ? "private" : "public") + " P-256 key");
    return owned;
}

setup::TPublicKey PublicPoint(EVP_PKEY* key) {
    setup::TPublicKey point{};
    size_t length = 0;
    EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, "uncompressed");
    if (!EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(),
                                         point.size(), &length) ||
        length != point.size() || point[0] != 0x04)
        throw Failure("the key's public point cannot be read");
    return point;
}

// The signature of the bytes as r || s, 32 bytes each.
setup::TSignature Sign(EVP_PKEY* key, const std::string& bytes) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, nullptr, 0) != 1)
        throw Failure("signing failed");
    std::vector<uint8_t> der(length);
    if (EVP_DigestSign(ctx.get(), der.data(), &length,
                       reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) != 1)
        throw Failure("signing failed");
    const uint8_t* p = der.data();
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> sig(
        d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(length)), ECDSA_SIG_free);
    setup::TSignature rs{};
    if (!sig || BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), rs.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), rs.data() + 32, 32) != 32)
        throw Failure("signing failed");
    return rs;
}

// Size and SHA-256 of a file, read in pieces.
setup::TReleaseFile Describe(const std::string& folder, const std::string& name) {
    std::ifstream in(folder + "/" + name, std::ios::binary);
    if (!in) throw Failure("cannot read " + folder + "/" + name);
    setup::TReleaseFile file;
    file.Name = name;
    platform::Sha256 hash;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<size_t>(in.gcount()));
        file.Size += in.gcount();
    }
    if (!hash.Final(file.Sha256)) throw Failure("hashing failed");
    return file;
}

struct Options {
    std::vector<std::string> Keys, Files, Positional;
    std::string Out, Manifest, Expires;
    uint64_t Serial = 0, MinSerial = 0;
    bool HaveSerial = false;
};

uint64_t Number(const std::string& text) {
    int64_t value = 0;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 18)
        throw Usage("not a number: " + text);
    value = std::stoll(text);
    return static_cast<uint64_t>(value);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--key")
            o.Keys.push_back(value());
        else if (arg == "--file")
            o.Files.push_back(value());
        else if (arg == "--out")
            o.Out = value();
        else if (arg == "--manifest")
            o.Manifest = value();
        else if (arg == "--expires")
            o.Expires = value();
        else if (arg == "--serial")
            o.Serial = Number(value()), o.HaveSerial = true;
        else if (arg == "--min-serial")
            o.MinSerial = Number(value());
        else if (arg.rfind("--", 0) == 0)
            throw Usage("unknown option " + arg);
        else
            o.Positional.push_back(arg);
    }
    return o;
}

int KeyGen(const Options& o) {
    if (o.Positional.size() != 2) throw Usage("keygen takes PRIVATE.pem PUBLIC.pem");
    PKey key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key) throw Failure("key generation failed");
    auto pem = [&](bool isPrivate) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
        int ok = isPrivate ? PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0,
                                                      nullptr, nullptr)
                           : PEM_write_bio_PUBKEY(bio.get(), key.get());
        char* data = nullptr;
        long length = BIO_get_mem_data(bio.get(), &data);
        if (!ok || length <= 0) throw Failure("the key cannot be written");
        return std::string(data, static_cast<size_t>(length));
    };
    WriteFile(o.Positional[0], pem(true), 0600);
    WriteFile(o.Positional[1], pem(false));
    std::printf("public key %s\n", setup::ToHex(PublicPoint(key.get())).c_str());
    return 0;
}

int SignRelease(const Options& o) {
    if (o.Keys.size() != 1 || o.Positional.size() != 1 || !o.HaveSerial)
        throw Usage("sign takes --key PRIVATE.pem --serial N and a FOLDER");
    const std::string folder = o.Positional[0];
    PKey key = ReadKey(o.Keys[0], true);
    setup::TReleaseManifest manifest;
    manifest.Serial = o.Serial;
    if (!o.Expires.empty()) {
        int64_t when = 0;
        const std::string full = o.Expires.size() == 10 ? o.Expires + "T00:00:00Z" : o.Expires;
        if (!setup::ParseUtcTime(full, when)) throw Usage("not a time: " + o.Expires);
        if (when <= static_cast<int64_t>(std::time(nullptr)))
            std::fprintf(stderr, "signmanifest: warning: the manifest expires in the past\n");
        manifest.Expires = when;
    }
    for (const std::string& name :
         o.Files.empty() ? std::vector<std::string>{"main.zip", "upgrade.zip"} : o.Files)
        manifest.Files.push_back(Describe(folder, name));

    const std::string body = setup::ComposeManifestBody(manifest);
    const setup::TSignature signature = Sign(key.get(), body);
    const std::string text = body + setup::SignatureLine(signature);
    // The manifest must pass the wizard's own check with the matching key.
    setup::TReleaseKeys keys{{PublicPoint(key.get())}, o.Serial};
    setup::VerifyManifest(text, keys, manifest.Expires ? *manifest.Expires - 1 : 0);
    WriteFile(o.Out.empty() ? folder + "/" + setup::SManifestFileName : o.Out, text);
    std::fputs(text.c_str(), stdout);
    return 0;
}

int VerifyRelease(const Options& o) {
    if (o.Keys.empty() || o.Keys.size() > 2 || o.Positional.size() != 1)
        throw Usage("verify takes one or two --key PUBLIC.pem and a FOLDER");
    const std::string folder = o.Positional[0];
    setup::TReleaseKeys keys;
    keys.MinimumSerial = o.MinSerial;
    for (const std::string& path : o.Keys)
        keys.Keys.push_back(PublicPoint(ReadKey(path, false).get()));
    const std::string text =
        ReadFile(o.Manifest.empty() ? folder + "/" + setup::SManifestFileName : o.Manifest);
    const setup::TReleaseManifest manifest =
        setup::VerifyManifest(text, keys, static_cast<int64_t>(std::time(nullptr)));
    bool allMatch = true;
    for (const setup::TReleaseFile& listed : manifest.Files) {
        const setup::TReleaseFile found = Describe(folder, listed.Name);
        const bool match = found.Size == listed.Size && found.Sha256 == listed.Sha256;
        std::printf("%s: %s\n", listed.Name.c_str(), match ? "matches" : "DOES NOT MATCH");
        allMatch = allMatch && match;
    }
    std::printf("serial %llu%s%s\n", static_cast<unsigned long long>(manifest.Serial),
                manifest.Expires ? ", expires " : "",
                manifest.Expires ? setup::FormatUtcTime(*manifest.Expires).c_str() : "");
    return allMatch ? 0 : 1;
}

int Embed(const Options& o) {
    if (o.Out.empty() || o.Positional.empty() || o.Positional.size() > 2)
        throw Usage("embed takes --out SOURCE.cpp and one or two PUBLIC.pem");
    std::string source = "// Written by signmanifest embed: the release keys this build trusts.\n"
                         "#include \"setup/release/ReleaseKeys.h\"\n\nnamespace setup {\n\n"
                         "const TReleaseKeys& BuiltInReleaseKeys() {\n"
                         "    static const TReleaseKeys keys{{\n";
    for (const std::string& path : o.Positional) {
        const setup::TPublicKey point = PublicPoint(ReadKey(path, false).get());
        source += "        {";
        for (size_t i = 0; i < point.size(); ++i)
            source += (i % 13 == 0 ? "\n            " : " ") + std::to_string(point[i]) + ",";
        source += "\n        },\n";
    }
    source += "    }, " + std::to_string(o.MinSerial) +
              "u};\n    return keys;\n}\n\n} // namespace setup\n";
    WriteFile(o.Out, source);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        const Options o = Parse(argc, argv);
        if (command == "keygen") return KeyGen(o);
        if (command == "sign") return SignRelease(o);
        if (command == "verify") return VerifyRelease(o);
        if (command == "embed") return Embed(o);
        throw Usage("the command is keygen, sign, verify or embed");
    } catch (const Usage& e) {
        std::fprintf(stderr, "signmanifest: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        // Failures of the wizard's own check carry its message.
        const auto* refused = dynamic_cast<const rtl::Exception*>(&e);
        std::fprintf(stderr, "signmanifest: %s\n", refused ? refused->Message().c_str() : e.what());
        return 1;
    }
}
