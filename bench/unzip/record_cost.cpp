// What writing each file whole and recording it cost an extraction, with the
// wizard's own extractor and recorder: one archive extracted again and again,
// the ways taking turns, best wall time of RUNS each:
//
//   plain     the extractor's defaults (files written in place)
//   whole     eoReplaceWhole (a temporary file moved over each target)
//   recorded  whole, and every file recorded with its size and the CRC-32
//             the extractor checked (TInstallRecorder)
//
// each into an empty folder ("new") and over the files of the last
// extraction ("over", where whole flushes each replaced file first).
//
//   record_cost ARCHIVE OUT_DIR RUNS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "archive/UnZipper.h"
#include "platform/Files.h"
#include "setup/InstallRecord.h"

namespace {

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

enum class TWay { Plain, Whole, Recorded };
const char* const kWayNames[] = {"plain", "whole", "recorded"};
constexpr int kWays = 3;

// One extraction of archive into out; the files left there stay.
void Extract(const std::string& archive, const std::string& out, TWay way, int64_t& bytes) {
    arc::TArcUnZipper zip;
    int failures = 0;
    zip.OnProcessItemFailure = [&](arc::TArcArchiveItem&, arc::TArcProcessType, arc::TArcErrorClass,
                                   int, const std::string&) { ++failures; };
    zip.SetBaseDirectory(out);
    if (way != TWay::Plain) zip.SetExtractOptions({arc::eoCreateDirs, arc::eoReplaceWhole});
    setup::TInstallRecord record;
    setup::TInstallRecorder recorder(record, out);
    if (way == TWay::Recorded) recorder.Attach(zip);
    zip.OpenArchive(archive);
    zip.ExtractFiles("*.*");
    recorder.Detach();
    if (failures) std::fprintf(stderr, "%d entries failed\n", failures);
    bytes = 0;
    for (const setup::TRecordedFile& f : record.Files)
        bytes += f.Size;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: record_cost ARCHIVE OUT_DIR RUNS\n");
        return 2;
    }
    const std::string archive = argv[1], out = argv[2];
    const int runs = std::atoi(argv[3]);
    const TWay ways[kWays] = {TWay::Plain, TWay::Whole, TWay::Recorded};
    double fresh[kWays] = {1e9, 1e9, 1e9}, over[kWays] = {1e9, 1e9, 1e9};
    int64_t recorded = 0;
    for (int run = 0; run < runs; ++run)
        for (TWay way : ways) {
            const int w = static_cast<int>(way);
            int64_t bytes = 0;
            platform::DeleteTree(out);
            int error = 0;
            platform::CreateDirectoryChain(out, error);
            fresh[w] = std::min(fresh[w], Seconds([&] { Extract(archive, out, way, bytes); }));
            over[w] = std::min(over[w], Seconds([&] { Extract(archive, out, way, bytes); }));
            recorded = std::max(recorded, bytes);
        }
    platform::DeleteTree(out);
    std::printf("%-9s %9s %8s %9s %8s\n", "way", "new", "cost", "over", "cost");
    for (int w = 0; w < kWays; ++w)
        std::printf("%-9s %8.3fs %+7.1f%% %8.3fs %+7.1f%%\n", kWayNames[w], fresh[w],
                    (fresh[w] / fresh[0] - 1) * 100, over[w], (over[w] / over[0] - 1) * 100);
    std::printf("recorded: %lld bytes\n", static_cast<long long>(recorded));
    return 0;
}
