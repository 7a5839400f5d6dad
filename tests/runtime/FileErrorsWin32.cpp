// The system's reasons for failed file calls on Windows: the codes a user can
// act on take the program's own texts (which the catalogs translate), any
// other keeps the system's text.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/Files.h"
#include "runtime/Exception.h"

TEST(FileErrors, CommonCodesHaveTheirOwnTextsTheRestTheSystems) {
    const struct {
        int Code;
        const char* Text; // null: FormatMessage's
    } cases[] = {
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_HANDLE_DISK_FULL, "The disk is full."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used "
                                  "by another process."},
        {ERROR_LOCK_VIOLATION, "The process cannot access the file because another process has "
                               "locked a portion of the file."},
        {ERROR_WRITE_PROTECT, "The media is write protected."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_INVALID_NAME, nullptr},
        {ERROR_NOT_READY, nullptr},
    };
    for (const auto& c : cases) {
        const std::string text = rtl::SysErrorText(c.Code);
        EXPECT_EQ(text, c.Text ? c.Text : platform::SysErrorMessage(c.Code)) << c.Code;
        EXPECT_FALSE(text.empty()) << c.Code;
    }
}
