// Navigation rules of the wizard, apart from its windows.
#include <gtest/gtest.h>

#include "setup/Wizard.h"

using namespace setup;

namespace {

// A wizard as FormCreate leaves it, on the Start page.
TWizard Started() {
    TWizard w;
    w.SetPageIndex(pgStart);
    return w;
}

TEST(WizardNavigation, StartsWithNextInFrontEnabledAndCancelVisible) {
    TWizard w = Started();
    const TWizardState& s = w.State();
    EXPECT_EQ(s.PageIndex, pgStart);
    EXPECT_TRUE(s.NextEnabled);
    EXPECT_TRUE(s.CancelVisible);
    EXPECT_EQ(s.Front, TFrontButton::Next);
    EXPECT_EQ(s.Cursor, TAppCursor::Default);
}

TEST(WizardNavigation, NextWalksStartLocatieProxySettingsThenAsksForTheRun) {
    TWizard w = Started();
    EXPECT_EQ(w.Next(), TNextAction::PageShown);
    EXPECT_EQ(w.PageIndex(), pgLocatie);
    EXPECT_EQ(w.Next(), TNextAction::PageShown);
    EXPECT_EQ(w.PageIndex(), pgProxySettings);
    TWizardState before = w.State();
    EXPECT_EQ(w.Next(), TNextAction::StartInstallation);
    EXPECT_EQ(w.State(), before) << "the run, not Next, decides where the wizard goes";
}

TEST(WizardNavigation, NextOnTheLastPageHasNoEffect) {
    TWizard w = Started();
    w.ShowAbortPage();
    TWizardState before = w.State();
    EXPECT_EQ(w.Next(), TNextAction::None);
    EXPECT_EQ(w.State(), before);
}

TEST(WizardNavigation, PageIndexOutsideTheRangeOrUnchangedIsIgnoredWithoutNotice) {
    TWizard w = Started();
    int changes = 0;
    w.OnChange = [&] { ++changes; };
    w.SetPageIndex(-1);
    w.SetPageIndex(WizardPageCount);
    w.SetPageIndex(pgStart);
    EXPECT_EQ(w.PageIndex(), pgStart);
    EXPECT_EQ(changes, 0);
    w.SetPageIndex(pgEinde);
    EXPECT_EQ(w.PageIndex(), pgEinde);
    EXPECT_EQ(changes, 1);
}

TEST(WizardCancel, QuestionIsTheTwoTextsJoinedByASingleCarriageReturn) {
    EXPECT_EQ(TWizard::CancelQuestion(), "De installatie is niet voltooid.\rBent u zeker ?");
}

TEST(WizardCancel, DeclinedChangesNothing) {
    for (int page : {pgStart, pgLocatie, pgProxySettings, pgEinde}) {
        TWizard w = Started();
        w.SetPageIndex(page);
        TWizardState before = w.State();
        std::string asked;
        EXPECT_FALSE(w.Cancel([&](const std::string& q) {
            asked = q;
            return false;
        }));
        EXPECT_EQ(asked, TWizard::CancelQuestion());
        EXPECT_EQ(w.State(), before) << "page " << page;
    }
}

TEST(WizardCancel, ConfirmedShowsAbortPageWithCancelHiddenAndFinishInFront) {
    for (int page : {pgStart, pgLocatie, pgProxySettings, pgEinde}) {
        TWizard w = Started();
        w.SetPageIndex(page);
        EXPECT_TRUE(w.Cancel([](const std::string&) { return true; }));
        EXPECT_EQ(w.PageIndex(), pgAbort) << "from page " << page;
        EXPECT_FALSE(w.State().CancelVisible);
        EXPECT_EQ(w.State().Front, TFrontButton::Finish);
    }
}

TEST(WizardCancel, WithoutAnyoneToAskNothingIsAbandoned) {
    TWizard w = Started();
    EXPECT_FALSE(w.Cancel(nullptr));
    EXPECT_EQ(w.PageIndex(), pgStart);
}

TEST(WizardState, FinishStaysInFrontOnceBroughtThere) {
    TWizard w = Started();
    int changes = 0;
    w.OnChange = [&] { ++changes; };
    w.BringFinishToFront();
    w.BringFinishToFront();
    EXPECT_EQ(w.State().Front, TFrontButton::Finish);
    EXPECT_EQ(changes, 1);
}

} // namespace
