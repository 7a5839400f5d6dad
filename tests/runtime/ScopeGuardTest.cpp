#include "runtime/ScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ScopeGuardTest, UndoesOnEveryExitUnlessDismissedAndNeverThrowsFromUnwinding) {
    int undone = 0;
    {
        rtl::TScopeGuard g([&] { ++undone; });
    }
    EXPECT_EQ(undone, 1);
    {
        rtl::TScopeGuard g([&] { ++undone; });
        g.Dismiss();
    }
    EXPECT_EQ(undone, 1);
    // The guard's own failure while an error unwinds is swallowed: the
    // first error is the one that arrives.
    try {
        rtl::TScopeGuard g([&] {
            ++undone;
            throw std::runtime_error("undo failed");
        });
        throw std::logic_error("work failed");
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "work failed");
    }
    EXPECT_EQ(undone, 2);
}

} // namespace
