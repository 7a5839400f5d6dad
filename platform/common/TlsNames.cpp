// Whether a server certificate names the host it was presented for, in the
// way RFC 6125 section 6.4 describes, shared by every platform so that both
// TLS libraries accept exactly the same names.
#include "platform/Tls.h"

#include "platform/Unicode.h"

namespace platform {

namespace {

// Lower-cased, without the one trailing dot of an absolute name.
std::string Canonical(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    return AsciiLowerCase(name);
}

bool IsAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80 || c < 0x21) return false;
    return true;
}

// A presented name matches the host as a whole, or as "*." followed by at
// least two labels, the "*" standing for exactly the host's first label
// (RFC 6125 6.4.3; partial wildcards such as "w*" and "*" alone in front of
// a public suffix like "*.com" are not taken).
bool DnsNameMatches(std::string_view presented, const std::string& host) {
    std::string name = Canonical(presented);
    if (name.empty() || !IsAscii(name)) return false;
    if (name == host) return true;
    if (name.size() < 2 || name[0] != '*' || name[1] != '.') return false;
    std::string_view rest = std::string_view(name).substr(2);
    if (rest.find('.') == std::string_view::npos || rest.find('*') != std::string_view::npos)
        return false;
    size_t dot = host.find('.');
    if (dot == 0 || dot == std::string::npos) return false;
    return std::string_view(host).substr(dot + 1) == rest;
}

} // namespace

bool TlsNamesCoverHost(const TlsCertificateNames& names, const std::string& host,
                       const std::vector<uint8_t>& hostAddress) {
    // An address literal is matched against address entries only, byte by
    // byte, never against a DNS name that happens to read the same.
    if (!hostAddress.empty()) {
        for (const std::vector<uint8_t>& address : names.IpAddresses)
            if (address == hostAddress) return true;
        return false;
    }
    const std::string wanted = Canonical(host);
    if (wanted.empty()) return false;
    for (const std::string& name : names.DnsNames)
        if (DnsNameMatches(name, wanted)) return true;
    return false;
}

} // namespace platform
