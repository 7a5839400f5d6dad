#include "platform/Process.h"

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

#include "platform/Unicode.h"

namespace platform {

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string GetEnvVar(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

bool SetEnvVar(const std::string& name, const std::string& value) {
    return (value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1)) == 0;
}

unsigned long CurrentThreadId() { return static_cast<unsigned long>(pthread_self()); }

namespace {
// The built-in string table that stands in for the executable's resources.
std::map<unsigned, std::u16string>& StringTable() {
    static std::map<unsigned, std::u16string> table;
    return table;
}
std::mutex& StringTableLock() {
    static std::mutex lock;
    return lock;
}
int kMainModule;
} // namespace

ModuleHandle MainModule() { return &kMainModule; }

int LoadStringResource(ModuleHandle module, unsigned id, char16_t* buffer, int length) {
    if (module != MainModule() || !buffer || length <= 0) return 0;
    std::lock_guard<std::mutex> guard(StringTableLock());
    auto it = StringTable().find(id);
    if (it == StringTable().end()) {
        buffer[0] = 0;
        return 0;
    }
    // Like the Windows string-table read: copy what fits and terminate.
    int n = static_cast<int>(it->second.size());
    if (n > length - 1) n = length - 1;
    it->second.copy(buffer, static_cast<size_t>(n));
    buffer[n] = 0;
    return n;
}

void RegisterStringResources(const StringResource* table, size_t count) {
    std::lock_guard<std::mutex> guard(StringTableLock());
    for (size_t i = 0; i < count; ++i) StringTable()[table[i].Id] = Utf8ToUtf16(table[i].Text);
}

} // namespace platform
