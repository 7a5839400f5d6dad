// Set-Cookie values on arbitrary text: the first line is the URL they came
// from, every further line one "Set-Cookie" value. Checks what the store keeps
// and the "Cookie" header it builds, and the cookie-date reader's ranges.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/NetCookies.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    net::TNetURI uri(lines[0]);
    std::vector<std::string> values(lines.begin() + 1, lines.end());

    for (const std::string& value : values) {
        rtl::TDateTime utc;
        if (net::TryParseCookieDate(value, utc)) {
            Check(utc >= rtl::EncodeDate(1601, 1, 1));
            Check(utc < rtl::EncodeDate(9999, 12, 31) + 1);
        }
    }

    net::TNetCookieManager manager;
    manager.AddServerCookies(values, uri);
    {
        net::TNetCookieListLock lock(manager.CookieCollection(), net::caRead);
        Check(lock.List().size() <= values.size());
        for (const net::TNetCookie* cookie : lock.List()) {
            Check(!cookie->Name().empty());
            Check(!cookie->Domain().empty());
            Check(!cookie->Path().empty() && cookie->Path()[0] == '/');
            Check(cookie->Name().find(';') == std::string::npos);
            Check(cookie->Value().find(';') == std::string::npos);
            Check(cookie->Expires() <= net::CookieFarFuture());
            if (!cookie->HostOnly()) Check(net::CookieDomainMatch(uri.Host, cookie->Domain()));
        }
    }
    net::TNetHeaderList headers;
    manager.GenerateClientCookies(uri, true, headers);
    Check(headers.Count() <= 1);
    if (headers.Count() == 1) {
        Check(headers.Names(0) == "Cookie");
        Check(headers.Strings(0).find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}
