#include <gtest/gtest.h>

#include "runtime/ResStrings.h"

using namespace rtl;

// Every runtime text loads whole and unchanged: on Windows this reads the
// string table generated into the executable, on POSIX the built-in table.
TEST(ResStrings, EveryRuntimeTextLoadsAsWritten) {
    ASSERT_GT(RuntimeTexts().size(), 20u);
    for (const RuntimeTextEntry& entry : RuntimeTexts())
        EXPECT_EQ(LoadResString(entry.Rec), entry.Text) << entry.Name;
    EXPECT_EQ(LoadResString(&SFCreateErrorEx), "Cannot create file \"%s\". %s");
    EXPECT_EQ(LoadResString(&SOSError), "System Error.  Code: %d.\r\n%s");
    EXPECT_EQ(LoadStr(static_cast<int>(SMsgDlgYes.Identifier)), "&Yes");
    EXPECT_EQ(FmtLoadStr(static_cast<int>(SIniFileWriteError.Identifier), {"C:\\TORVELINNEW\\SETUP.INI"}),
              "Unable to write to C:\\TORVELINNEW\\SETUP.INI");
}

TEST(ResStrings, UnknownIdLoadsEmpty) {
    TResStringRec missing{nullptr, 12345};
    EXPECT_EQ(LoadResString(&missing), "");
    EXPECT_EQ(LoadStr(12345), "");
}

namespace {
std::string Shout(const TResStringRec* rec) { return "[" + OriginalResStringLoaders().LoadResString(rec) + "]"; }
std::string ShoutStr(int id) { return "<" + OriginalResStringLoaders().LoadStr(id) + ">"; }
} // namespace

TEST(ResStrings, ReplacedLoadersSeeEveryLoadAndCanBeRestored) {
    TResStringLoaders before = SetResStringLoaders({Shout, ShoutStr, nullptr});
    EXPECT_EQ(LoadResString(&SReadError), "[Stream read error]");
    EXPECT_EQ(LoadStr(static_cast<int>(SWriteError.Identifier)), "<Stream write error>");
    // An unset slot keeps the original routine.
    EXPECT_EQ(FmtLoadStr(static_cast<int>(SInOutError.Identifier), {5}), "I/O error 5");
    SetResStringLoaders(before);
    EXPECT_EQ(LoadResString(&SReadError), "Stream read error");
}
