#include "translation/Translator.h"

namespace translator {

// Until message catalogs are read, every identifier is its own translation;
// only its line ends are normalised as a catalog lookup would leave them.
std::string gettext(std::string_view msgid) {
    std::string text;
    text.reserve(msgid.size());
    for (char c : msgid)
        if (c != '\r') text += c;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace translator
