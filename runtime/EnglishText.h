#pragma once
// A message in the user's language together with its English text.
//
// Messages are composed where they are raised, in the run's language. The
// support desk that reads a shop's log reads English, so a message that ends
// a run is composed a second time in English: Compose runs the composing code
// twice, the second time with this thread in its English pass, during which
// the translation layer answers from the English catalog, the runtime texts
// keep their English source and the system's error texts are asked for in
// English. A part that has no English rendering (a catalog without the
// text, a nested message that had none) leaves the whole without one: an
// English text is never guessed.
#include <functional>
#include <string>

namespace rtl {

struct TText {
    TText() = default;
    TText(std::string text) : Text(std::move(text)) {}
    TText(const char* text) : Text(text ? text : "") {}
    TText(std::string text, std::string english)
        : Text(std::move(text)), English(std::move(english)) {}
    // Where a plain text is expected, a message is what the user is shown.
    operator const std::string&() const { return Text; }
    // What the user is shown.
    std::string Text;
    // The same message in English; empty when it has no English rendering.
    std::string English;
};

// True on this thread while Compose runs its English pass.
bool ComposingInEnglish();
// Said by a part of the message being composed in the English pass that has
// no English rendering: the message then has none either.
void NoEnglishRendering();

// A text nested in a message being composed: its English in the English
// pass (none there when it has none), else the text itself.
std::string NestedText(const TText& text);

// The message compose gives, and what it gives in the English pass (empty
// when a part said it had none, or when the second pass fails: a message is
// never lost for the sake of its English). Inside an English pass it simply
// composes once, in English.
TText Compose(const std::function<std::string()>& compose);

} // namespace rtl
