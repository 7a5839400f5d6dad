// The room check before a download or an unpack: the message names the
// drive, the megabytes needed (rounded up) and free (rounded down), and
// carries its English with the numbers as English writes them.
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "setup/DiskRoom.h"
#include "tests/TestSupport.h"

TEST(DiskRoom, SaysTheDriveAndTheMegabytesWhenTheyDoNotFit) {
    constexpr int64_t MB = 1024 * 1024;
    const setup::TNumberStyle nl = setup::NumberStyleForLanguage("nl");
    struct {
        const char* Folder;
        int64_t Needed, Free;
        bool Known;
        const char* Message; // empty: fits
        const char* English = "";
    } cases[] = {
        {"C:\\TORVELINNEW\\", 2 * MB, 2 * MB, true, ""},
        {"C:\\TORVELINNEW\\", 0, 0, true, ""},
        {"E:\\TORVELINNEW\\", 2 * MB + 1, 2 * MB, true,
         "Er is niet genoeg ruimte op schijf E: (3 MB nodig, 2 MB vrij).",
         "There is not enough space on drive E: (3 MB needed, 2 MB free)."},
        {"E:\\", 5000 * MB, MB - 1, true,
         "Er is niet genoeg ruimte op schijf E: (5.000 MB nodig, 0 MB vrij).",
         "There is not enough space on drive E: (5,000 MB needed, 0 MB free)."},
        {"/mnt/small/", 10 * MB, MB, true,
         "Er is niet genoeg ruimte op schijf /mnt/small/ (10 MB nodig, 1 MB vrij)."},
        // A volume that cannot tell: the write itself will say what is wrong.
        {"C:\\", 10 * MB, 0, false, ""},
    };
    for (const auto& c : cases) {
        auto free = [&](const std::string&, int64_t& bytes) {
            bytes = c.Free;
            return c.Known;
        };
        std::string message, english;
        try {
            setup::CheckRoom(c.Folder, c.Needed, nl, free);
        } catch (const setup::ENotEnoughRoom& e) {
            message = e.Message();
            english = e.EnglishMessage();
        }
        EXPECT_EQ(message, c.Message) << c.Folder << " " << c.Needed;
        if (*c.English) EXPECT_EQ(english, c.English) << c.Folder << " " << c.Needed;
    }
}

TEST(DiskRoom, TheSystemTellsTheFreeSpaceOfAnExistingFolderOnly) {
    int64_t bytes = -1;
    EXPECT_TRUE(setup::SystemFreeSpace(platform::TempDirectory(), bytes));
    EXPECT_GT(bytes, 0);
    EXPECT_FALSE(setup::SystemFreeSpace(platform::TempDirectory() + "no-such-folder-31", bytes));
}
