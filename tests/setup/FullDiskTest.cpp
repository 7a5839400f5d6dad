// An unpack onto a file system that fills up: the message names the file
// and says that the disk is full, in the user's language, and the file that
// did not fit is gone (written in place) or the old one stays (written
// whole). run-full-disk.sh makes the file system (a small tmpfs of the
// test's own) and the archive, and names them in SETUP_TEST_FULL_DIR and
// SETUP_TEST_FULL_ARCHIVE; without them the test is skipped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "runtime/Exception.h"
#include "setup/Unpack.h"
#include "tests/TestSupport.h"
#include "translation/Translator.h"

using namespace testing_support;

TEST(FullDisk, TheMessageNamesTheFileAndSaysTheDiskIsFull) {
    const char* full = std::getenv("SETUP_TEST_FULL_DIR");
    const char* archive = std::getenv("SETUP_TEST_FULL_ARCHIVE");
    if (!full || !archive) GTEST_SKIP() << "run by run-full-disk.sh only";
    const std::string folder = platform::IncludeTrailingPathDelimiter(full);
    const std::string zipBytes = ReadFileBytes(archive);
    ASSERT_FALSE(zipBytes.empty()) << archive;
    const std::string big = platform::ExpandFileName(folder + "BIG.DAT");
    const std::string old(100000, 'o');

    const struct {
        const char* Language;
        std::string Message;
    } languages[] = {
        {"C", "Het bestand \"BIG.DAT\" uit full.zip kon niet worden uitgepakt: Cannot write to "
              "file \"" + big + "\". There is not enough space on the disk."},
        {"nl", "Het bestand \"BIG.DAT\" uit full.zip kon niet worden uitgepakt: Kan niet "
               "schrijven naar bestand \"" + big + "\". Er is niet genoeg ruimte op de schijf."},
        {"fr", "Le fichier \"BIG.DAT\" de full.zip n'a pas pu être décompressé : Impossible "
               "d'écrire dans le fichier \"" + big + "\". Il n'y a pas assez d'espace sur le "
               "disque."},
    };
    for (const auto& language : languages)
        for (const bool whole : {false, true}) {
            SCOPED_TRACE(std::string(language.Language) + (whole ? ", whole" : ", in place"));
            translator::GlobalInstance->UseLanguage(language.Language);
            WriteFileBytes(folder + "BIG.DAT", old);
            WriteFileBytes(folder + "full.zip", zipBytes);
            arc::TArcUnZipper unzipper;
            if (whole) unzipper.SetExtractOptions({arc::eoCreateDirs, arc::eoReplaceWhole});
            EXPECT_EQ(MessageOf([&] { setup::UnpackArchive(unzipper, folder + "full.zip"); }),
                      language.Message);
            EXPECT_EQ(ReadFileBytes(folder + "A.TXT"), "small");
            if (whole)
                EXPECT_TRUE(ReadFileBytes(folder + "BIG.DAT") == old) << "the old file stays";
            else
                EXPECT_FALSE(platform::FileExists(folder + "BIG.DAT")) << "no partial file";
            EXPECT_EQ(platform::RemoveReplacementFiles(folder), 0) << "no temporary file stays";
            for (const std::string& name : platform::ListDirectory(folder))
                platform::DeleteFileByName(folder + name);
        }
    translator::GlobalInstance->UseLanguage("C");
}
