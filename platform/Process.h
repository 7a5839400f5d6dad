#pragma once
// Process-wide information: the executable, the environment and string
// resources.
#include <string>
#include <vector>

namespace platform {

// Full path of the running executable.
std::string ModuleFileName();
// Value of an environment variable, empty when it is unset.
std::string GetEnvVar(const std::string& name);
bool SetEnvVar(const std::string& name, const std::string& value);

// Id of the calling thread.
unsigned long CurrentThreadId();

// Opaque module handle: on Windows an HMODULE; on POSIX only the main program
// exists and string resources come from tables registered at start-up.
using ModuleHandle = void*;
ModuleHandle MainModule();

// Loads string resource `id` of `module` into buffer (at most length - 1
// characters plus a terminating 0) and returns the number of characters
// stored, 0 when the module has no such string. This is the plain
// string-table read; callers decide how to grow the buffer.
int LoadStringResource(ModuleHandle module, unsigned id, char16_t* buffer, int length);

struct StringResource {
    unsigned Id;
    const char* Text; // UTF-8
};
// POSIX only: makes a table of strings loadable through LoadStringResource from
// MainModule(). On Windows the executable's string table serves and this does nothing.
void RegisterStringResources(const StringResource* table, size_t count);

} // namespace platform
