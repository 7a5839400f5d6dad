// The system's reasons for failed file calls natively: the errno values that
// mean what a Windows code means take that code's text; any other keeps the
// system's own. A write to a full device names the file and says so.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

TEST(FileErrors, CommonCodesHaveTheirOwnTextsTheRestTheSystems) {
    const struct {
        int Code;
        const char* Text; // null: strerror's
    } cases[] = {
        {ENOSPC, "There is not enough space on the disk."},
        {EACCES, "Access is denied."},
        {EPERM, "Access is denied."},
        {ETXTBSY, "The process cannot access the file because it is being used by another "
                  "process."},
        {EROFS, "The media is write protected."},
        {ENOTDIR, "The system cannot find the path specified."},
        {EEXIST, "The file exists."},
        {ENOENT, nullptr},
        {EIO, nullptr},
        {EMFILE, nullptr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtl::SysErrorText(c.Code), c.Text ? c.Text : std::strerror(c.Code)) << c.Code;
}

TEST(FileErrors, AWriteToAFullDeviceNamesTheFileAndTheReason) {
    if (!platform::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    rtl::TFileStream full("/dev/full", rtl::fmOpenWrite);
    const char bytes[4096] = {};
    try {
        full.WriteBuffer(bytes, sizeof bytes);
        FAIL() << "written";
    } catch (const rtl::EWriteError& e) {
        EXPECT_EQ(e.Message(),
                  "Cannot write to file \"/dev/full\". There is not enough space on the disk.");
        EXPECT_EQ(e.ErrorCode, ENOSPC);
    }
}
