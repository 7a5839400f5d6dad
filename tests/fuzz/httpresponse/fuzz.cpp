// Arbitrary response bytes through status, header and body reading: two GET
// runs on one client read the input as consecutive responses on one
// connection (a second connection is refused), received in pieces whose size
// the first input byte chooses.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/NetHTTP.h"
#include "runtime/Streams.h"
#include "tests/http/client/ReplayHandler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t piece = 1 + data[0] % 64 * 97;
    testing_support::ReplayConnection input{
        {std::string(reinterpret_cast<const char*>(data) + 1, size - 1)}, true};
    testing_support::ReplayHandler handler({input}, SIZE_MAX, piece);
    net::TNetHTTP http;
    http.SetIOHandler(&handler);
    http.ReadTimeout = 100;
    for (const char* url : {"http://fuzz.example/a/b.zip", "/c/d.zip"}) {
        rtl::TMemoryStream body;
        try {
            http.Get(url, body);
        } catch (const rtl::Exception&) {
        }
    }
    http.SetIOHandler(nullptr);
    return 0;
}
