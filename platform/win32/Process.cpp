#include "platform/Process.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

using win32::Narrow;
using win32::Wide;

std::string ModuleFileName() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return Narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetEnvVar(const std::string& name) {
    std::wstring wname = Wide(name);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::wstring buffer(n, L'\0');
    n = GetEnvironmentVariableW(wname.c_str(), buffer.data(), n);
    buffer.resize(n);
    return Narrow(buffer);
}

bool SetEnvVar(const std::string& name, const std::string& value) {
    return SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str()) != 0;
}

unsigned long CurrentThreadId() { return GetCurrentThreadId(); }

ModuleHandle MainModule() { return GetModuleHandleW(nullptr); }

int LoadStringResource(ModuleHandle module, unsigned id, char16_t* buffer, int length) {
    return LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(buffer), length);
}

void RegisterStringResources(const StringResource*, size_t) {}

} // namespace platform
