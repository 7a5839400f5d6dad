// arcunzip: lists, tests or extracts the entries of a ZIP archive.
//
//   arcunzip [-l | -t] [-d DIR] [-r] [-w] ARCHIVE [MASK...]
//
// Extraction uses the component's default options (every file lands in DIR
// under its bare name); -r keeps the stored folders; -w writes each file
// whole (a temporary file beside it, moved over the old one once complete and
// checked), after removing the temporary files a killed run left in DIR. Each entry that fails is
// reported with its message; the exit code is 1 when any entry failed or the
// archive could not be opened, 2 for a usage error.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/ArcErrors.h"
#include "archive/UnZipper.h"
#include "archive/ZipFormat.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "runtime/Format.h"

namespace {

const char* const kUsage = "usage: arcunzip [-l | -t] [-d DIR] [-r] [-w] ARCHIVE [MASK...]\n";

enum class Mode { Extract, List, Test };

const char* MethodName(int method) {
    using M = arc::TArcZipMethod;
    switch (static_cast<M>(method)) {
    case M::Stored:
        return "Stored";
    case M::Shrunk:
        return "Shrunk";
    case M::Reduced1:
    case M::Reduced2:
    case M::Reduced3:
    case M::Reduced4:
        return "Reduced";
    case M::Imploded:
        return "Implode";
    case M::Deflated:
        return "Deflate";
    case M::Deflate64:
        return "Defl64";
    case M::BZip2:
        return "BZip2";
    case M::Lzma:
        return "LZMA";
    case M::WavPack:
        return "WavPack";
    case M::PPMd:
        return "PPMd";
    }
    return "Unknown";
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void List(arc::TArcUnZipper& zip, const std::string& mask) {
    Print("  Length    Packed  Method  Date       Time   Name\n");
    int64_t total = 0, packed = 0;
    int shown = 0;
    for (int i = 0; i < zip.Count(); ++i) {
        arc::TArcZipItem& item = zip.Items(i);
        if (!arc::MatchesStoredName(item, mask)) continue;
        uint16_t d = item.LastModFileDate(), t = item.LastModFileTime();
        char line[128];
        std::snprintf(line, sizeof line, "%9lld %9lld  %-7s %04d-%02d-%02d %02d:%02d  ",
                      static_cast<long long>(item.UncompressedSize()),
                      static_cast<long long>(item.CompressedSize()),
                      MethodName(item.CompressionMethod()), 1980 + (d >> 9), (d >> 5) & 15, d & 31,
                      t >> 11, (t >> 5) & 63);
        Print(line + item.FileName() + (item.IsEncrypted() ? " (encrypted)" : "") + "\n");
        total += item.UncompressedSize();
        packed += item.CompressedSize();
        ++shown;
    }
    char line[128];
    std::snprintf(line, sizeof line, "%9lld %9lld  %d entries\n", static_cast<long long>(total),
                  static_cast<long long>(packed), shown);
    Print(line);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
    Mode mode = Mode::Extract;
    std::string dir, archive, mask;
    bool restorePath = false, whole = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (archive.empty() && a == "-l")
            mode = Mode::List;
        else if (archive.empty() && a == "-t")
            mode = Mode::Test;
        else if (archive.empty() && a == "-r")
            restorePath = true;
        else if (archive.empty() && a == "-w")
            whole = true;
        else if (archive.empty() && a == "-d" && i + 1 < args.size())
            dir = args[++i];
        else if (archive.empty() && !a.empty() && a[0] == '-') {
            std::fputs(kUsage, stderr);
            return 2;
        } else if (archive.empty())
            archive = a;
        else
            mask += (mask.empty() ? "" : ";") + a;
    }
    if (archive.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (mask.empty()) mask = "*.*";

    arc::TArcUnZipper zip;
    int failures = 0;
    zip.OnProcessItemFailure = [&](arc::TArcArchiveItem& item, arc::TArcProcessType,
                                   arc::TArcErrorClass, int, const std::string& message) {
        ++failures;
        std::fprintf(stderr, "%s: %s\n", item.FileName().c_str(), message.c_str());
    };
    try {
        if (mode == Mode::Extract) {
            std::string base =
                dir.empty() ? platform::ExtractFilePath(platform::ExpandFileName(archive)) : dir;
            if (!dir.empty() && !platform::DirectoryExists(base)) {
                int error = 0;
                if (!platform::CreateDirectoryChain(base, error))
                    throw rtl::Exception("Cannot create folder " + base + ": " +
                                         platform::SysErrorMessage(error));
            }
            zip.SetBaseDirectory(base);
            arc::TArcExtractOptions options{arc::eoCreateDirs};
            if (restorePath) options.insert(arc::eoRestorePath);
            if (whole) {
                options.insert(arc::eoReplaceWhole);
                platform::RemoveReplacementFiles(base);
            }
            zip.SetExtractOptions(options);
        }
        zip.OpenArchive(archive);
        switch (mode) {
        case Mode::List:
            List(zip, mask);
            break;
        case Mode::Extract:
            zip.ExtractFiles(mask);
            break;
        case Mode::Test: {
            int tested = 0;
            for (int i = 0; i < zip.Count(); ++i) {
                bool take =
                    arc::MatchesStoredName(zip.Items(i), mask) && !zip.Items(i).IsDirectory();
                zip.Items(i).SetTagged(take);
                tested += take;
            }
            zip.TestTaggedItems();
            std::printf("%d entries tested, %d failed\n", tested, failures);
            break;
        }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", archive.c_str(), e.what());
        return 1;
    }
    return failures ? 1 : 0;
}
