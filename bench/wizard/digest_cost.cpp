// What checking a download against a release costs, with the platform's own
// SHA-256: the same file fetched from the same server with the wizard's own
// download step, plain and held to its listed size and SHA-256 (hashed on
// the side as it lands), taking turns; the best wall time of each is
// printed, and the time of the hash alone over as many bytes in memory,
// which is what a checked download cannot go below.
//
//   digest_cost BASE_URL RELATIVE_PATH SIZE SHA256_HEX RUNS OUT_FILE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "http/NetHTTP.h"
#include "platform/Crypto.h"
#include "setup/CheckedDownload.h"
#include "setup/release/ReleaseManifest.h"

namespace {

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: digest_cost BASE_URL PATH SIZE SHA256_HEX RUNS OUT_FILE\n");
        return 2;
    }
    const std::string base = argv[1], path = argv[2], out = argv[6];
    setup::TReleaseFile listed;
    listed.Name = path.substr(path.rfind('/') + 1);
    listed.Size = std::atoll(argv[3]);
    const std::string hex = argv[4];
    for (size_t i = 0; i < listed.Sha256.size(); ++i)
        listed.Sha256[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    const int runs = std::atoi(argv[5]);

    net::TNetIOHandlerTLS handler;
    net::TNetHTTP http;
    setup::ConfigureHTTPClient(http);
    setup::ConfigureIOHandler(http, handler);
    double plain = 1e9, checked = 1e9, hashOnly = 1e9;
    std::vector<uint8_t> piece(1024 * 1024, 0x5a);
    for (int i = 0; i < runs; ++i) {
        hashOnly = std::min(hashOnly, Seconds([&] {
            platform::Sha256 hash;
            for (int64_t left = listed.Size; left > 0; left -= static_cast<int64_t>(piece.size()))
                hash.Update(piece.data(), std::min<int64_t>(left, piece.size()));
            platform::Sha256Digest digest;
            if (!hash.Final(digest)) std::fprintf(stderr, "the hash failed\n");
        }));
        plain = std::min(plain, Seconds([&] { setup::DownloadToFile(http, base, path, out); }));
        checked = std::min(
            checked, Seconds([&] { setup::DownloadToFile(http, base, path, out, listed); }));
    }
    std::printf("plain %.3f s, checked %.3f s: %+.1f %% (the hash alone %.3f s)\n", plain,
                checked, (checked / plain - 1) * 100, hashOnly);
    return 0;
}
