#include <gtest/gtest.h>

#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "tests/TestSupport.h"

using namespace platform;
using testing_support::TempDir;

TEST(Files, CreateDirectoryChainMakesEveryMissingParent) {
    TempDir dir;
    const char d = PathDelim();
    std::string deep = dir.Path() + "a" + d + "b" + d + "c";
    int error = -1;
    EXPECT_TRUE(CreateDirectoryChain(deep, error));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(CreateDirectoryChain(deep, error)) << "an existing folder is success";
    EXPECT_TRUE(CreateDirectoryChain(deep + d, error)) << "a trailing delimiter is fine";
}

TEST(Files, CreateDirectoryChainFailsBelowAFile) {
    TempDir dir;
    testing_support::WriteFileBytes(dir.File("plain"), "x");
    int error = 0;
    EXPECT_FALSE(CreateDirectoryChain(dir.File("plain") + PathDelim() + "sub", error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(SysErrorMessage(error).empty());
}

TEST(Files, FilesAndFoldersAreToldApart) {
    TempDir dir;
    testing_support::WriteFileBytes(dir.File("f.txt"), "12345");
    EXPECT_TRUE(FileExists(dir.File("f.txt")));
    EXPECT_FALSE(DirectoryExists(dir.File("f.txt")));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_EQ(FileSizeByName(dir.File("f.txt")), 5);
    EXPECT_EQ(FileSizeByName(dir.File("none")), -1);
    EXPECT_TRUE(DeleteFileByName(dir.File("f.txt")));
    EXPECT_FALSE(FileExists(dir.File("f.txt")));
}

TEST(Files, DeleteTreeRemovesNestedContent) {
    TempDir dir;
    const char d = PathDelim();
    std::string root = dir.Path() + "tree";
    int error;
    ASSERT_TRUE(CreateDirectoryChain(root + d + "x" + d + "y", error));
    testing_support::WriteFileBytes(root + d + "x" + d + "y" + d + "f", "1");
    testing_support::WriteFileBytes(root + d + "g", "2");
    EXPECT_EQ(ListDirectory(root).size(), 2u);
    EXPECT_TRUE(DeleteTree(root));
    EXPECT_FALSE(DirectoryExists(root));
}

TEST(Files, PathPartsSplitAtTheLastDelimiter) {
    const std::string d(1, PathDelim());
    EXPECT_EQ(ExtractFilePath("x" + d + "TORVELINNEW" + d + "main.zip"), "x" + d + "TORVELINNEW" + d);
    EXPECT_EQ(ExtractFileName("x" + d + "main.zip"), "main.zip");
    EXPECT_EQ(ExtractFilePath("main.zip"), "");
    EXPECT_EQ(IncludeTrailingPathDelimiter("a"), "a" + d);
    EXPECT_EQ(IncludeTrailingPathDelimiter("a" + d), "a" + d);
}

TEST(Files, DiskFreeSpaceOfAFolderAndOfNone) {
    TempDir dir;
    int64_t before = -1;
    int error = -1;
    ASSERT_TRUE(DiskFreeSpace(dir.Path(), before, error));
    EXPECT_EQ(error, 0);
    EXPECT_GT(before, 0);
    int64_t bytes = 0;
    EXPECT_FALSE(DiskFreeSpace(dir.File("missing") + PathDelim() + "deeper", bytes, error));
    EXPECT_NE(error, 0);
}

// A target replaced through a temporary file: at every step it holds its old
// content or the whole new one, and no temporary file stays behind.
TEST(ReplacementFile, TheTargetHoldsTheOldOrTheWholeNewContent) {
    TempDir dir;
    const std::string target = dir.File("PROG.EXE");
    testing_support::WriteFileBytes(target, "old program");
    auto write = [](FileHandle h, const std::string& text) {
        return FileWrite(h, text.data(), text.size()) == static_cast<int64_t>(text.size());
    };
    std::string temp;
    int error = 0;

    FileHandle h = CreateReplacementFile(target, temp, error);
    ASSERT_NE(h, kInvalidFileHandle) << SysErrorMessage(error);
    EXPECT_EQ(ExtractFilePath(temp), dir.Path()) << "beside the target, on its volume";
    EXPECT_TRUE(IsReplacementFileName(ExtractFileName(temp))) << temp;
    ASSERT_TRUE(write(h, "half"));
    EXPECT_EQ(testing_support::ReadFileBytes(target), "old program");
    DiscardReplacementFile(h, temp);
    EXPECT_EQ(testing_support::ReadFileBytes(target), "old program");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"PROG.EXE"});

    h = CreateReplacementFile(target, temp, error);
    ASSERT_TRUE(write(h, "new program, whole"));
    EXPECT_EQ(testing_support::ReadFileBytes(target), "old program") << "until the commit";
    ASSERT_TRUE(CommitReplacementFile(h, temp, target, error)) << SysErrorMessage(error);
    EXPECT_EQ(testing_support::ReadFileBytes(target), "new program, whole");

    // A name that did not exist yet.
    h = CreateReplacementFile(dir.File("NEW.DLL"), temp, error);
    ASSERT_TRUE(write(h, "fresh"));
    ASSERT_TRUE(CommitReplacementFile(h, temp, dir.File("NEW.DLL"), error));
    EXPECT_EQ(testing_support::ReadFileBytes(dir.File("NEW.DLL")), "fresh");
    EXPECT_EQ(ListDirectory(dir.Path()).size(), 2u);
}

TEST(ReplacementFile, AReadOnlyTargetIsRefusedAndKept) {
    TempDir dir;
    const std::string target = dir.File("README");
    testing_support::WriteFileBytes(target, "old");
    ASSERT_TRUE(SetFileAttributesByName(target, faReadOnly));
    std::string temp;
    int error = 0;
    FileHandle h = CreateReplacementFile(target, temp, error);
    ASSERT_NE(h, kInvalidFileHandle);
    ASSERT_EQ(FileWrite(h, "new", 3), 3);
    EXPECT_FALSE(CommitReplacementFile(h, temp, target, error));
    EXPECT_EQ(ClassifyFileError(error), FileErrorKind::AccessDenied) << SysErrorMessage(error);
    SetFileAttributesByName(target, 0);
    EXPECT_EQ(testing_support::ReadFileBytes(target), "old");
    EXPECT_EQ(ListDirectory(dir.Path()), std::vector<std::string>{"README"});
}

TEST(ReplacementFile, LeftoversOfAKilledRunAreFoundByTheirNameAlone) {
    TempDir dir;
    const std::vector<std::pair<std::string, bool>> names = {
        {"~arc0123abcd.tmp", true},      {"~arcffffffff.tmp", true},   {"~arc4567ABCD.tmp", false},
        {"~arc0123abc.tmp", false},      {"~arc0123abcde.tmp", false}, {"x~arc0123abcd.tmp", false},
        {"~arc0123abcd.tmp.bak", false}, {"~arc0123abcz.tmp", false},  {"SETUP.INI", false},
    };
    for (const auto& [name, ours] : names) {
        EXPECT_EQ(IsReplacementFileName(name), ours) << name;
        testing_support::WriteFileBytes(dir.File(name), "x");
    }
    int error = 0;
    ASSERT_TRUE(CreateDir(dir.File("~arc00000000.tmp"), error)) << "a folder is never ours";
    EXPECT_EQ(RemoveReplacementFiles(dir.Path()), 2);
    for (const auto& [name, ours] : names)
        EXPECT_EQ(FileExists(dir.File(name)), !ours) << name;
    EXPECT_TRUE(DirectoryExists(dir.File("~arc00000000.tmp")));
    EXPECT_TRUE(RemoveDir(dir.File("~arc00000000.tmp")));
}
