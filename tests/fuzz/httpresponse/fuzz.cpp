// Arbitrary response bytes through status, header and body reading: two GET
// runs on one client read the input as consecutive responses, received in
// pieces whose size the first input byte chooses.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "http/NetHTTP.h"
#include "runtime/Streams.h"

namespace {

class ReplayHandler : public net::TNetIOHandlerStack {
  public:
    ReplayHandler(const uint8_t* data, size_t size, size_t piece)
        : FData(data), FSize(size), FPiece(piece) {}
    void ConnectClient() override { FAllocated = true; }

  protected:
    bool SocketAllocated() const override { return FAllocated; }
    void CloseSocket() override { FAllocated = false; }
    int WaitReadable(int, int&) override { return 1; }
    int64_t Recv(uint8_t* buffer, size_t count, int&) override {
        size_t n = std::min({count, FPiece, FSize - FAt});
        std::memcpy(buffer, FData + FAt, n);
        FAt += n;
        return static_cast<int64_t>(n);
    }
    int64_t TryRecv(uint8_t* buffer, size_t count, int& error) override {
        return Recv(buffer, count, error);
    }
    int64_t Send(const uint8_t*, size_t count, int&) override {
        return static_cast<int64_t>(count);
    }

  private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPiece;
    size_t FAt = 0;
    bool FAllocated = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t piece = 1 + data[0] % 64 * 97;
    ReplayHandler handler(data + 1, size - 1, piece);
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
