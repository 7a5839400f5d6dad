#include <gtest/gtest.h>

#include "platform/Files.h"
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
