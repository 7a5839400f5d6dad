// A process killed while it writes an entry whole over an existing file: the
// old file stays byte for byte, and the temporary file it leaves is found by
// its name and removed before the next extraction, which then succeeds.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/UnZipper.h"
#include "platform/ReplacementFile.h"
#include "tests/archive/zip/ZipTestSupport.h"

using namespace arc;
using namespace ziptest;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

TEST(ReplaceWhole, AKilledProcessLeavesTheOldFileAndATemporaryOneTheNextRunRemoves) {
    Unzip u;
    std::string big(8 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFileBytes(u.Out("a.zip"), StoredArchive({{"TORVELIN.EXE", big}}));
    const std::string old(3 << 20, 'o');
    WriteFileBytes(u.Out("TORVELIN.EXE"), old);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Killed halfway through the entry, as a user ending the process would.
        u.zip.SetExtractOptions({eoCreateDirs, eoReplaceWhole});
        u.zip.OnArchiveItemProgress = [](TArcArchiveItem&, int percent, bool&) {
            if (percent >= 50) raise(SIGKILL);
        };
        u.ExtractAll(u.Out("a.zip"));
        _exit(0); // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    EXPECT_EQ(ReadFileBytes(u.Out("TORVELIN.EXE")), old);
    std::vector<std::string> left;
    for (const std::string& name : platform::ListDirectory(u.dir.Path()))
        if (platform::IsReplacementFileName(name)) left.push_back(name);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_GE(platform::FileSizeByName(u.Out(left[0])), 4 << 20) << "killed mid-entry";

    EXPECT_EQ(platform::RemoveReplacementFiles(u.dir.Path()), 1);
    u.zip.SetExtractOptions({eoCreateDirs, eoReplaceWhole});
    u.ExtractAll(u.Out("a.zip"));
    EXPECT_TRUE(u.failures.empty()) << u.Failures();
    EXPECT_TRUE(ReadFileBytes(u.Out("TORVELIN.EXE")) == big);
    EXPECT_EQ(platform::ListDirectory(u.dir.Path()).size(), 2u);
}
