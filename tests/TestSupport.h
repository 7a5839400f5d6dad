#pragma once
// Helpers shared by the test programs.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Files.h"
#include "platform/Process.h"
#include "runtime/Exception.h"

namespace testing_support {

// A fresh, empty folder below the system's temporary folder, removed with its
// files (one level deep) when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return FPath; } // with a trailing delimiter
    std::string File(const std::string& name) const { return FPath + name; }

  private:
    std::string FPath;
};

// Whole content of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A fixture below tests/data.
std::string DataFile(const std::string& relative);

// The message of the error of type E that step raises, or "" when it raises
// none; an error of another type goes on to the test.
template <typename E = rtl::Exception, typename F> std::string MessageOf(F&& step) {
    try {
        step();
    } catch (const E& e) {
        return e.Message();
    }
    return "";
}

// Little-endian fields appended to records built by hand (ZIP headers, bitmaps).
inline void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

} // namespace testing_support
