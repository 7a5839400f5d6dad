#include <string>

#include "platform/Process.h"

// Registers the 3000-character test string that the Windows build carries as
// a string-table resource.
void RegisterLongTestString(unsigned id) {
    static const std::string text = [] {
        std::string t;
        while (t.size() < 3000)
            t += "0123456789";
        return t;
    }();
    platform::StringResource entry{id, text.c_str()};
    platform::RegisterStringResources(&entry, 1);
}
