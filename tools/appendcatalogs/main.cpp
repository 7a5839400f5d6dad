// appendcatalogs: carries message catalogs inside an executable.
//
//   appendcatalogs [-o OUTPUT] EXECUTABLE LOCALE_FOLDER
//
// Every LOCALE_FOLDER/<language>/LC_MESSAGES/<domain>.mo is appended to
// EXECUTABLE (or to a copy written to OUTPUT) under the name
// locale\<language>\LC_MESSAGES\<domain>.mo, which is where the program
// would otherwise look for it beside itself. A block appended before is
// replaced. Each catalog is opened first, so a damaged one is refused.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "translation/CatalogBlock.h"
#include "translation/MoFile.h"

namespace {

std::string ReadWhole(const std::string& path) {
    rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

bool EndsWithMo(const std::string& name) {
    return name.size() > 3 && (name.compare(name.size() - 3, 3, ".mo") == 0 ||
                               name.compare(name.size() - 3, 3, ".MO") == 0);
}

std::vector<translator::TCatalogBlockEntry> CollectCatalogs(const std::string& localeFolder) {
    const std::string sep(1, platform::PathDelim());
    const std::string root = platform::IncludeTrailingPathDelimiter(localeFolder);
    std::vector<translator::TCatalogBlockEntry> entries;
    std::vector<std::string> languages = platform::ListDirectory(root);
    std::sort(languages.begin(), languages.end());
    for (const std::string& lang : languages) {
        const std::string messages = root + lang + sep + "LC_MESSAGES" + sep;
        if (!platform::DirectoryExists(messages)) continue;
        std::vector<std::string> files = platform::ListDirectory(messages);
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            if (!EndsWithMo(file) || !platform::FileExists(messages + file)) continue;
            translator::TMoFile check(messages + file, 0, 0); // raises for a damaged catalog
            entries.push_back(
                {"locale\\" + lang + "\\LC_MESSAGES\\" + file, ReadWhole(messages + file)});
        }
    }
    return entries;
}

int Usage() {
    std::fprintf(stderr, "usage: appendcatalogs [-o OUTPUT] EXECUTABLE LOCALE_FOLDER\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string output;
    if (args.size() >= 2 && args[0] == "-o") {
        output = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2) return Usage();
    const std::string& executable = args[0];
    if (output.empty()) output = executable;
    try {
        std::vector<translator::TCatalogBlockEntry> entries = CollectCatalogs(args[1]);
        if (entries.empty()) {
            std::fprintf(stderr, "appendcatalogs: no catalogs below %s\n", args[1].c_str());
            return 1;
        }
        std::string program = ReadWhole(executable);
        program.resize(translator::ProgramLength(program));
        std::string block = translator::BuildCatalogBlock(entries);
        rtl::TFileStream out(output, rtl::fmCreate);
        out.WriteBuffer(program.data(), program.size());
        out.WriteBuffer(block.data(), block.size());
        for (const auto& entry : entries)
            std::printf("%s (%zu bytes)\n", entry.Name.c_str(), entry.Data.size());
        std::printf("appended %zu catalogs, %zu bytes, to %s\n", entries.size(), block.size(),
                    output.c_str());
        return 0;
    } catch (const rtl::Exception& e) {
        std::fprintf(stderr, "appendcatalogs: %s\n", e.Message().c_str());
        return 1;
    }
}
