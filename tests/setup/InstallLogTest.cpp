// The run's log: its stamps, the name /LOG gives a new file, lines that are on
// disk as soon as they are written, one line per event, the size cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "setup/InstallLog.h"
#include "tests/TestSupport.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;

// 2026-12-10 07:05:09.042 UTC.
constexpr int64_t kDec10 = 1796886309042;

TEST(InstallLogTest, StampsAndNamesFollowTheLocalDate) {
    const struct {
        int64_t UtcMs, Offset;
        const char* Stamp;
    } cases[] = {
        {kDec10, 0, "2026-12-10 07:05:09.042"},
        {kDec10, 3600, "2026-12-10 08:05:09.042"},
        {kDec10 + 17 * 3600000LL, 3600, "2026-12-11 01:05:09.042"},
        {kDec10 - 8 * 3600000LL, -5 * 3600, "2026-12-09 18:05:09.042"},
        {-1, 0, "1969-12-31 23:59:59.999"},
        {951782400000, 0, "2000-02-29 00:00:00.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(setup::LogTimeStamp(c.UtcMs, c.Offset), c.Stamp);
        // The file's date is the stamp's.
        EXPECT_EQ(setup::NewLogFileName("T\\", c.UtcMs, c.Offset, [](auto&) { return false; }),
                  std::string("T\\Setup Log ") + std::string(c.Stamp, 10) + " #001.txt");
    }
    std::set<std::string> taken{"T\\Setup Log 2026-12-10 #001.txt",
                                "T\\Setup Log 2026-12-10 #002.txt",
                                "T\\Setup Log 2026-12-10 #004.txt"};
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    EXPECT_EQ(setup::NewLogFileName("T\\", kDec10, 0, exists), "T\\Setup Log 2026-12-10 #003.txt");
    EXPECT_EQ(setup::NewLogFileName("T\\", kDec10, 0, [](auto&) { return true; }), "");
}

TEST(InstallLogTest, EachEventIsOneLineOnDiskAtOnceAndAppended) {
    TempDir dir;
    const std::string path = dir.File("setup.log");
    testing_support::WriteFileBytes(path, "earlier run\r\n");
    setup::TInstallLog log(path);
    const struct {
        const char* Text;
        const char* Line;
    } cases[] = {
        {"Started", "2026-12-10 07:05:09.042  Started\r\n"},
        {"Fout:\r\nDe download\nis onvolledig.\r\n",
         "2026-12-10 07:05:09.042  Fout: | De download | is onvolledig. | \r\n"},
        {"Café — 100 %s", "2026-12-10 07:05:09.042  Café — 100 %s\r\n"},
    };
    std::string expected = "earlier run\r\n";
    for (const auto& c : cases) {
        log.LineAt(kDec10, 0, c.Text);
        expected += c.Line;
        // Read back while the log is still open: nothing waits in a buffer.
        EXPECT_EQ(ReadFileBytes(path), expected) << c.Text;
    }
}

TEST(InstallLogTest, SizeIsCappedButTheEndIsStillWritten) {
    TempDir dir;
    const std::string path = dir.File("flood.log");
    {
        setup::TInstallLog log(path);
        const std::string line(1000, 'x');
        for (int i = 0; i < 2000; ++i)
            log.LineAt(kDec10, 0, line);
        log.LineAt(kDec10, 0, "Exit code 3", true);
    }
    const std::string text = ReadFileBytes(path);
    EXPECT_LE(text.size(), static_cast<size_t>(setup::kInstallLogMaxBytes) + 200);
    EXPECT_GE(text.size(), static_cast<size_t>(setup::kInstallLogMaxBytes) - 1100);
    EXPECT_NE(text.find("size limit"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), "Exit code 3\r\n");
}

TEST(InstallLogTest, AFileThatCannotBeWrittenIsRefusedAtOnce) {
    TempDir dir;
    for (const std::string& path : {dir.File("missing-folder/x/setup.log"), dir.Path()}) {
        const std::string message = testing_support::MessageOf<setup::EInstallLogError>(
            [&] { setup::TInstallLog l(path); });
        EXPECT_EQ(message.rfind("Het logbestand " + path + " kan niet worden geschreven: ", 0), 0u)
            << message;
    }
}

TEST(InstallLogTest, ProgressStepsGiveADozenLinesWhateverTheSize) {
    const struct {
        int64_t Expected, Piece;
        int Lines;
    } cases[] = {
        {1000, 1, 10},     {1000, 7, 10}, {1000, 1000, 1}, {int64_t(300) << 20, 128 << 10, 10},
        {0, 128 << 10, 6}, // 100 MiB with no length
    };
    for (const auto& c : cases) {
        setup::TLogProgressSteps steps;
        steps.Begin(c.Expected);
        const int64_t total = c.Expected > 0 ? c.Expected : int64_t(100) << 20;
        int lines = 0;
        for (int64_t got = 0; got < total;) {
            got = std::min(got + c.Piece, total);
            lines += steps.Crossed(got);
        }
        EXPECT_EQ(lines, c.Lines) << c.Expected << " by " << c.Piece;
    }
}

} // namespace
