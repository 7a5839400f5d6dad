#include "platform/Locale.h"

#include "platform/Process.h"

namespace platform {

// A POSIX system has no separate "user locale": the environment is the
// user's choice, and LC_ALL overrides LC_MESSAGES, which overrides LANG.
// With none of them set the program runs in the "C" locale, which means its
// own texts.
std::string SystemLanguageCode() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value = GetEnvVar(name);
        if (!value.empty()) return LanguageCodeFromPosixLocale(value);
    }
    return "C";
}

} // namespace platform
