// Lookup cost: a search in a large catalog, a miss in it, and a lookup in a
// domain whose catalog search has failed (no file-system call may happen).
//   build/linux/bench/translation/bench_translation
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/Files.h"
#include "tests/translation/MoBuilder.h"
#include "translation/GettextInstance.h"
#include "translation/MoFile.h"

namespace {

constexpr int kEntries = 20000;

std::string Key(int i) {
    char key[48];
    std::snprintf(key, sizeof key, "Message text number %06d of the program", 2 * i + 1);
    return key;
}

const std::string& CatalogPath() {
    static const std::string path = [] {
        std::map<std::string, std::string> entries;
        entries[""] = "Content-Type: text/plain; charset=UTF-8\n";
        for (int i = 0; i < kEntries; ++i)
            entries[Key(i)] = "Vertaalde tekst " + std::to_string(i);
        std::string p = platform::TempDirectory() + "bench-translation.mo";
        FILE* f = std::fopen(p.c_str(), "wb");
        std::string bytes = mo_builder::Build(entries).Bytes;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_CatalogHit(benchmark::State& state) {
    translator::TMoFile mo(CatalogPath(), 0, 0);
    int i = 0;
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(mo.gettext(Key(i), found));
        i = (i + 7919) % kEntries;
    }
}
BENCHMARK(BM_CatalogHit);

void BM_CatalogMiss(benchmark::State& state) {
    translator::TMoFile mo(CatalogPath(), 0, 0);
    const std::string missing = "Message text number 001000 of the program";
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(mo.gettext(missing, found));
    }
}
BENCHMARK(BM_CatalogMiss);

void BM_NoCatalog(benchmark::State& state) {
    std::string exe =
        platform::TempDirectory() + "no-such-folder" + platform::PathDelim() + "Setup.exe";
    translator::TFileLocator locator(exe);
    translator::TGettextInstance instance(locator, exe);
    instance.UseLanguage("nl_BE");
    for (auto _ : state)
        benchmark::DoNotOptimize(instance.gettext("Bent u zeker ?"));
}
BENCHMARK(BM_NoCatalog);

} // namespace

BENCHMARK_MAIN();
