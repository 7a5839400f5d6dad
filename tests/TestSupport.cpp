#include "tests/TestSupport.h"

#include <random>

#include "runtime/Streams.h"

namespace testing_support {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::string base = platform::TempDirectory() + "setup-test-" + std::to_string(rd()) + "-" +
                       std::to_string(counter++);
    int error = 0;
    platform::CreateDirectoryChain(base, error);
    FPath = platform::IncludeTrailingPathDelimiter(base);
}

TempDir::~TempDir() {
    platform::DeleteTree(FPath);
}

std::string ReadFileBytes(const std::string& path) {
    try {
        rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyNone);
        std::string bytes(static_cast<size_t>(file.Size()), '\0');
        file.ReadBuffer(bytes.data(), bytes.size());
        return bytes;
    } catch (const std::exception&) {
        return {};
    }
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    rtl::TFileStream file(path, rtl::fmCreate);
    file.WriteBuffer(bytes.data(), bytes.size());
}

std::string DataFile(const std::string& relative) {
    std::string path = std::string(SETUP_TEST_DATA_DIR) + "/" + relative;
    for (char& c : path)
        if (c == '/' || c == '\\') c = platform::PathDelim();
    return path;
}

} // namespace testing_support
