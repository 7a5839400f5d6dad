// Which host names and addresses a server certificate's names cover (the
// check both TLS implementations share).
#include <gtest/gtest.h>

#include "platform/Sockets.h"
#include "platform/Tls.h"

using platform::TlsCertificateNames;

namespace {

bool Covers(const TlsCertificateNames& names, const std::string& host) {
    std::vector<uint8_t> address;
    platform::AddressLiteralBytes(host, address);
    return platform::TlsNamesCoverHost(names, host, address);
}

} // namespace

TEST(TlsNames, HostNamesWildcardsAndAddresses) {
    const TlsCertificateNames names{
        {"Download.Example.COM.", "*.cdn.example.com", "w*.example.org", "*.com", "127.0.0.1",
         std::string("evil\0.example.net", 17), "*.*.example.info"},
        {{10, 0, 0, 7}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}};
    struct Case {
        const char* Host;
        bool Covered;
    } cases[] = {
        {"download.example.com", true}, // case and the trailing dot do not count
        {"download.example.com.", true},
        {"example.com", false},
        {"a.cdn.example.com", true},    // "*" is one whole label
        {"cdn.example.com", false},     // ... not none
        {"a.b.cdn.example.com", false}, // ... nor two
        {"www.example.org", false},     // partial wildcards are not taken
        {"anything.com", false},        // nor a wildcard over a single label
        {"x.y.example.info", false},
        {"evil", false},      // a name with a NUL in it names nothing
        {"127.0.0.1", false}, // an address only against address entries
        {"10.0.0.7", true},
        {"10.0.0.8", false},
        {"::1", true},
        {"0:0:0:0:0:0:0:1", true}, // the bytes count, not the spelling
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Covers(names, c.Host), c.Covered) << c.Host;
    EXPECT_FALSE(Covers({}, "download.example.com")) << "no names: nothing is covered";
}
