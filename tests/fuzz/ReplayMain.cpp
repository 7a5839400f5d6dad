// Replays saved fuzz inputs through a target's entry point without libFuzzer,
// so that every test run checks the corpus and the kept findings with the
// ordinary toolchain (and, in the sanitizer build, under ASan and UBSan).
//
//   replay_NAME PATH...   each PATH a file or a folder of files
//
// A crash, a sanitizer report or an escaping exception fails the run; so does
// a run that found no input at all, since an empty corpus would prove nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end()); // the same order on every run
    } else if (std::filesystem::is_regular_file(path)) {
        files.push_back(path);
    }
    return files;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        size_t before = count;
        for (const auto& file : InputsOf(argv[i])) {
            std::vector<uint8_t> bytes = ReadAll(file);
            // A copy of exactly the input's size, so that ASan sees a read
            // past its end, as libFuzzer's own buffer would show.
            std::vector<uint8_t> exact(bytes);
            LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
            ++count;
        }
        std::printf("%s: %zu inputs\n", argv[i], count - before);
    }
    if (count == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
