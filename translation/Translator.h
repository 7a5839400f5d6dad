#pragma once
// The program-wide translation function. Message texts are written in Dutch;
// the text is the message identifier and gettext returns what to show.
#include <string>
#include <string_view>

namespace translator {

// The translation of msgid in the current language, or msgid itself with
// every CR removed and every LF written as CR LF when there is none.
std::string gettext(std::string_view msgid);

} // namespace translator
