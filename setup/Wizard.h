#pragma once
// The wizard's navigation state and rules, apart from any window: which page
// is shown, whether Next is enabled, whether Cancel is visible, which of Next
// and Finish lies in front, and the application's cursor. The form shows this
// state and forwards its button clicks here.
#include <functional>
#include <string>

#include "translation/Translator.h"

namespace setup {

// Page indexes of Notebook1.
enum TWizardPage : int {
    pgSelectTaal = 0,
    pgStart = 1,
    pgLocatie = 2,
    pgProxySettings = 3,
    pgInstallMain = 4,
    pgData = 5,
    pgInstallData = 6,
    pgEinde = 7,
    pgAbort = 8,
    WizardPageCount = 9,
};

enum class TFrontButton { Next, Finish };
enum class TAppCursor { Default, HourGlass };

struct TWizardState {
    int PageIndex = pgSelectTaal; // the container's design page until FormCreate
    bool NextEnabled = true;
    bool CancelVisible = true;
    TFrontButton Front = TFrontButton::Next;
    TAppCursor Cursor = TAppCursor::Default;

    bool operator==(const TWizardState&) const = default;
};

// What a press of Next asks of the form.
enum class TNextAction {
    None,              // nothing changed (no later page)
    PageShown,         // the following page is shown
    StartInstallation, // the ProxySettings page: the installation run decides
};

// Texts of the Cancel question, translated through gettext at run time.
inline constexpr const char* SCancelNotFinished = translator::gettext_noop("De installatie is niet voltooid.");
inline constexpr const char* SCancelAreYouSure = translator::gettext_noop("Bent u zeker ?");
inline constexpr const char* SConfirmCaption = translator::gettext_noop("WAARSCHUWING");

class TWizard {
  public:
    // Called after every change of the state.
    std::function<void()> OnChange;

    const TWizardState& State() const { return FState; }
    int PageIndex() const { return FState.PageIndex; }
    int PageCount() const { return WizardPageCount; }

    // Shows a page. An index outside the pages, or the current one, changes nothing.
    void SetPageIndex(int index);
    void SetNextEnabled(bool enabled);
    void SetCancelVisible(bool visible);
    void BringFinishToFront();
    void SetCursor(TAppCursor cursor);

    // The Next button: on ProxySettings it asks for the installation run and
    // changes nothing itself; elsewhere it shows the following page, if any.
    TNextAction Next();

    // The question the Cancel button asks: two translated texts joined by a
    // single carriage return.
    static std::string CancelQuestion();
    // The Cancel button: asks `confirm` the question and, only when it
    // answers yes, shows the abort page. Returns whether it did.
    bool Cancel(const std::function<bool(const std::string&)>& confirm);
    // The abort page, the last one, with Cancel hidden and Finish in front.
    void ShowAbortPage();

  private:
    void Changed();

    TWizardState FState;
};

} // namespace setup
