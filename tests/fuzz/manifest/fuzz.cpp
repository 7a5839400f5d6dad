// The release manifest's reading on arbitrary bytes: the signature split, the
// body's grammar and the whole check with a fixed key. Besides memory errors
// it checks that every refusal is the manifest's own error, that a body that
// is taken is written back byte for byte (one spelling per manifest), and that
// no input passes the check without a signature of that key.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "setup/release/ReleaseManifest.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A real point of the curve whose private key was thrown away (other.pub.hex
// of tests/data/release): nothing may ever pass the check with it.
setup::TReleaseKeys Keys() {
    const std::string hex = "04bf6ad13a5e43387339e18346ae0b985e2c19dca261a0632fb85279feb3274f47"
                            "a66d1f3910f73877a9652f9ce02f0b76058478b475d7f65ce97e0e2107e314bc";
    std::vector<uint8_t> point;
    Check(setup::FromHex(hex, point) && point.size() == 65);
    setup::TReleaseKeys keys;
    keys.Keys.emplace_back();
    std::copy(point.begin(), point.end(), keys.Keys[0].begin());
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The body alone, as if its signature had been good.
    try {
        setup::TReleaseManifest manifest = setup::ParseManifestBody(text);
        Check(setup::ComposeManifestBody(manifest) == text);
        Check(!manifest.Files.empty());
        for (const setup::TReleaseFile& file : manifest.Files) {
            Check(file.Size >= 0);
            Check(manifest.Find(file.Name) == &file);
        }
    } catch (const setup::EReleaseRefused&) {
    }

    try {
        setup::TSignedText split = setup::SplitSignature(text);
        Check(split.Body.size() + 139 == text.size());
        Check(text.substr(split.Body.size()) == setup::SignatureLine(split.Signature));
    } catch (const setup::EReleaseRefused&) {
    }

    // No key signed anything here: the whole check never passes.
    static const setup::TReleaseKeys keys = Keys();
    try {
        setup::VerifyManifest(text, keys, 0);
        Check(false);
    } catch (const setup::EReleaseRefused&) {
    }
    return 0;
}
