#pragma once
// The output stream of the decoder fuzz targets: keeps what is written in
// memory and raises a write error once more than a cap would be held, so that
// inputs which expand enormously stay fast.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace fuzzing {

class TCappedSink : public rtl::TStream {
  public:
    explicit TCappedSink(size_t aCap) : FCap(aCap) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        if (FBytes.size() + count > FCap) throw rtl::EWriteError("output cap");
        const auto* p = static_cast<const uint8_t*>(buffer);
        FBytes.insert(FBytes.end(), p, p + count);
        return count;
    }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return static_cast<int64_t>(FBytes.size()); }
    void SetSize(int64_t) override {}
    std::vector<uint8_t> FBytes;

  private:
    size_t FCap;
};

} // namespace fuzzing
