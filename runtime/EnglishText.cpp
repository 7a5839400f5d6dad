#include "runtime/EnglishText.h"

namespace rtl {

namespace {

struct TEnglishPass {
    bool Active = false;
    bool Lacking = false;
};
thread_local TEnglishPass gPass;

} // namespace

bool ComposingInEnglish() {
    return gPass.Active;
}

void NoEnglishRendering() {
    if (gPass.Active) gPass.Lacking = true;
}

std::string NestedText(const TText& text) {
    if (!gPass.Active) return text.Text;
    if (text.English.empty()) {
        gPass.Lacking = true;
        return text.Text;
    }
    return text.English;
}

TText Compose(const std::function<std::string()>& compose) {
    if (gPass.Active) {
        std::string english = compose();
        return {english, english};
    }
    TText text(compose());
    gPass = {true, false};
    try {
        text.English = compose();
    } catch (...) {
        gPass.Lacking = true;
    }
    if (gPass.Lacking) text.English.clear();
    gPass = {};
    return text;
}

} // namespace rtl
