// URL splitting, joining, the path merge and the header list read rules on
// arbitrary text. Besides memory errors it checks the shape of every result.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/NetHeaderList.h"
#include "http/NetURI.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);

    net::TNetURI uri(text);
    Check(uri.StoredURI() == text);
    Check(uri.Document.find('/') == std::string::npos);
    Check(uri.Params.find('#') == std::string::npos);
    Check(uri.Path.empty() || uri.Path.back() == '/');
    if (!uri.Protocol.empty()) {
        Check(!uri.Path.empty() && uri.Path[0] == '/');
        Check(uri.Host.find('/') == std::string::npos);
        if (uri.Username.empty()) Check(uri.Password.empty());
    }
    if (!uri.Protocol.empty() && !uri.Host.empty()) {
        std::string joined = uri.URI();
        Check(joined.compare(0, uri.Protocol.size() + 3, uri.Protocol + "://") == 0);
        Check(uri.StoredURI() == uri.GetFullURI());
        // Splitting the join again gives the same path, document and params
        // when the host holds nothing that the split reads as a delimiter.
        if (uri.Host.find_first_of(":@[]?#\\") == std::string::npos &&
            uri.Port.find_first_of("@[]?#\\") == std::string::npos) {
            net::TNetURI again(joined);
            Check(again.Host == uri.Host);
            Check(again.Path + again.Document == uri.Path + uri.Document);
            Check(again.Params == uri.Params);
        }
    } else {
        try {
            uri.URI();
            Check(false);
        } catch (const net::ENetURIException&) {
        }
    }

    size_t half = text.find('\n');
    std::string previous = half == std::string::npos ? text : text.substr(0, half);
    std::string next = half == std::string::npos ? std::string() : text.substr(half + 1);
    std::string merged = net::MergeURIPath(previous, next);
    if (!next.empty() && next[0] == '/') {
        Check(merged == next);
    } else {
        Check(merged.find("//") == std::string::npos);
        Check(merged.find("/../") == std::string::npos || merged.compare(0, 1, "/") != 0);
    }

    net::TNetHeaderList headers;
    headers.SetText(text);
    for (size_t i = 0; i < headers.Count(); ++i) {
        const std::string& line = headers.Strings(i);
        Check(line.find_first_of("\r\n") == std::string::npos);
        std::string name = headers.Names(i);
        if (!name.empty() && name[0] != ' ' && name[0] != '\t') {
            std::string value = headers.Values(name);
            Check(!headers.GetValues(name).empty());
            headers.SetValues(name, value + "\r\nX: 1");
            Check(headers.IndexOfName("X") < 0 || text.find("X:") != std::string::npos ||
                  text.find("x:") != std::string::npos);
            headers.SetValues(name, "");
        }
    }
    return 0;
}
