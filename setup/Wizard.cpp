#include "setup/Wizard.h"

#include "translation/Translator.h"

namespace setup {

void TWizard::SetPageIndex(int index) {
    if (index < 0 || index >= PageCount() || index == FState.PageIndex) return;
    FState.PageIndex = index;
    Changed();
}

void TWizard::SetNextEnabled(bool enabled) {
    if (FState.NextEnabled == enabled) return;
    FState.NextEnabled = enabled;
    Changed();
}

void TWizard::SetCancelVisible(bool visible) {
    if (FState.CancelVisible == visible) return;
    FState.CancelVisible = visible;
    Changed();
}

void TWizard::BringFinishToFront() {
    if (FState.Front == TFrontButton::Finish) return;
    FState.Front = TFrontButton::Finish;
    Changed();
}

void TWizard::SetCursor(TAppCursor cursor) {
    if (FState.Cursor == cursor) return;
    FState.Cursor = cursor;
    Changed();
}

TNextAction TWizard::Next() {
    if (FState.PageIndex == pgProxySettings) return TNextAction::StartInstallation;
    int before = FState.PageIndex;
    SetPageIndex(before + 1);
    return FState.PageIndex != before ? TNextAction::PageShown : TNextAction::None;
}

std::string TWizard::CancelQuestion() {
    return translator::gettext(SCancelNotFinished) + '\r' + translator::gettext(SCancelAreYouSure);
}

bool TWizard::Cancel(const std::function<bool(const std::string&)>& confirm) {
    if (!confirm || !confirm(CancelQuestion())) return false;
    ShowAbortPage();
    return true;
}

void TWizard::ShowAbortPage() {
    SetPageIndex(PageCount() - 1);
    SetCancelVisible(false);
    BringFinishToFront();
}

void TWizard::Changed() {
    if (OnChange) OnChange();
}

} // namespace setup
