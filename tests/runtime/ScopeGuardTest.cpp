#include "runtime/ScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

TEST(ScopeGuardTest, UndoesOnEveryExitUnlessDismissedAndNeverThrowsFromUnwinding) {
    int undone = 0;
    {
        rtl::TScopeExit g([&] { ++undone; });
    }
    EXPECT_EQ(undone, 1);
    {
        rtl::TScopeExit g([&] { ++undone; });
        g.Dismiss();
    }
    EXPECT_EQ(undone, 1);
    // The guard's own failure while an error unwinds is swallowed: the
    // first error is the one that arrives.
    try {
        rtl::TScopeExit g([&] {
            ++undone;
            throw std::runtime_error("undo failed");
        });
        throw std::logic_error("work failed");
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "work failed");
    }
    EXPECT_EQ(undone, 2);
}

TEST(ScopeGuardTest, ExitPassesItsFailureOnANormalExitAndFailRunsOnlyWhenAnErrorLeaves) {
    int ran = 0;
    auto failing = [&](const char* what) {
        return [&ran, what] {
            ++ran;
            throw std::runtime_error(what);
        };
    };
    // The scope ended normally: the exit action's error is the caller's.
    std::string caught;
    try {
        rtl::TScopeExit g(failing("end failed"));
    } catch (const std::runtime_error& e) {
        caught = e.what();
    }
    EXPECT_EQ(caught, "end failed");
    EXPECT_EQ(ran, 1);
    // Undo on failure only: not after a normal exit, and while an error
    // leaves, its own error gives way to that one.
    { rtl::TScopeFail g(failing("undo ran")); }
    EXPECT_EQ(ran, 1);
    try {
        rtl::TScopeFail g(failing("undo failed"));
        throw std::logic_error("work failed");
    } catch (const std::logic_error& e) {
        caught = e.what();
    }
    EXPECT_EQ(caught, "work failed");
    EXPECT_EQ(ran, 2);
    // A scope inside a destructor that runs while an error unwinds ends
    // normally for its own guards: their errors still reach their caller.
    struct Cleanup {
        int& Ran;
        std::string& Caught;
        ~Cleanup() {
            try {
                rtl::TScopeExit g([this] {
                    ++Ran;
                    throw std::runtime_error("inner end failed");
                });
            } catch (const std::runtime_error& e) {
                Caught = e.what();
            }
        }
    };
    try {
        Cleanup c{ran, caught};
        throw std::logic_error("outer failed");
    } catch (const std::logic_error&) {
    }
    EXPECT_EQ(caught, "inner end failed");
    EXPECT_EQ(ran, 3);
}

} // namespace
