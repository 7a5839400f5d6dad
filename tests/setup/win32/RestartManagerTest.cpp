// Which files are in use, against the system itself: a file this test holds
// open without sharing and a program image of a process started here are
// reported, free and read-only files are not. Under Wine the Restart Manager
// gives no answer, so the files are found by opening them and the program
// by its image; on Windows the Restart Manager answers and names the
// suspended program.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/win32/Wide.h"
#include "setup/win32/RestartManager.h"
#include "tests/TestSupport.h"

using namespace setup;
using platform::win32::Wide;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

// A process of a copy of this test program, created suspended: its image is
// mapped from the copy, as a running Torvelin's is from TORVELIN.EXE.
class TSuspendedCopy {
  public:
    explicit TSuspendedCopy(const std::string& path) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        EXPECT_TRUE(CopyFileW(self, Wide(path).c_str(), FALSE));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + Wide(path) + L"\" --gtest_list_tests";
        EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                   CREATE_SUSPENDED, nullptr, nullptr, &startup, &FProcess))
            << GetLastError();
    }
    ~TSuspendedCopy() {
        if (!FProcess.hProcess) return;
        TerminateProcess(FProcess.hProcess, 1);
        WaitForSingleObject(FProcess.hProcess, 10000);
        CloseHandle(FProcess.hThread);
        CloseHandle(FProcess.hProcess);
    }
    TSuspendedCopy(const TSuspendedCopy&) = delete;
    TSuspendedCopy& operator=(const TSuspendedCopy&) = delete;

  private:
    PROCESS_INFORMATION FProcess{};
};

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace

TEST(FilesInUse, HeldFilesAndRunningProgramsAreFoundFreeOnesAreNot) {
    TempDir dir;
    const std::string held = dir.File("SETUP.DAT"), free = dir.File("LEES.TXT"),
                      readOnly = dir.File("VAST.TXT"), program = dir.File("TORVELIN.EXE"),
                      missing = dir.File("GEEN.DLL");
    for (const std::string& file : {held, free, readOnly})
        WriteFileBytes(file, "x");
    platform::SetFileAttributesByName(readOnly, platform::faReadOnly);

    TInUseReport before = FindFilesInUse({held, free, readOnly, missing});
    EXPECT_TRUE(before.Files.empty()) << before.Files.front().File;

    HANDLE h = CreateFileW(Wide(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        TSuspendedCopy running(program);
        const TInUseReport report = FindFilesInUse({free, held, readOnly, program, missing});
        std::string files;
        for (const TFileInUse& f : report.Files)
            files += platform::ExtractFileName(f.File) + ";";
        EXPECT_EQ(files, "SETUP.DAT;TORVELIN.EXE;");
        if (RunningUnderWine() && report.Files.size() == 2) {
            // Wine's Restart Manager lists no one: the files were opened, and
            // the one that is a running program's image names that program.
            EXPECT_EQ(report.Files[0].Application, "") << "only the file is known";
            EXPECT_EQ(report.Files[1].Application, "TORVELIN.EXE");
        } else if (report.Files.size() == 2) {
            // Windows: the Restart Manager names the suspended copy.
            EXPECT_TRUE(report.RestartManagerAnswered);
            EXPECT_FALSE(report.Files[1].Application.empty());
        }
    }
    CloseHandle(h);
    const TInUseReport after = FindFilesInUse({held, program});
    EXPECT_TRUE(after.Files.empty()) << "free again once let go";
    platform::SetFileAttributesByName(readOnly, 0);
}
