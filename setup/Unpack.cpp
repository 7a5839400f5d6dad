#include "setup/Unpack.h"

#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "runtime/Exception.h"
#include "runtime/Format.h"
#include "runtime/ScopeGuard.h"

namespace setup {

namespace {

// True when the failure is the item's own DOS date or time that cannot be
// converted: the file was written whole and checked before the extractor set
// its time, so it is complete and merely keeps the current time.
bool IsDateFailure(arc::TArcArchiveItem& item, const std::string& message) {
    auto* zipItem = dynamic_cast<arc::TArcZipItem*>(&item);
    if (!zipItem) return false;
    try {
        zipItem->LastModTimeAsDateTime();
    } catch (const rtl::EConvertError& e) {
        return e.Message() == message;
    }
    return false;
}

} // namespace

void UnpackArchive(
    arc::TArcUnZipper& unzipper, const std::string& archiveFile,
    const std::function<void(const std::vector<std::string>& replaced)>& beforeReplacing) {
    struct FirstFailure {
        bool Seen = false;
        std::string Entry;
        rtl::TText Message;
    } failure;
    // The extractor skips an entry that fails (and keeps one whose checksum
    // does not match) without telling its caller; remember the first one so
    // an incomplete unpack never passes for a complete one.
    auto handler = [&](arc::TArcArchiveItem& item, arc::TArcProcessType, arc::TArcErrorClass, int,
                       const rtl::TText& message) {
        if (failure.Seen || IsDateFailure(item, message)) return;
        failure = {true, item.FileName(), message};
    };
    // On every path, also when extraction raises, the caller's handler comes
    // back and the archive is released, so its file is not held open (and
    // locked, on Windows) while the run reports the error.
    rtl::TScopeExit session([&unzipper, previous = unzipper.OnProcessItemFailure] {
        unzipper.OnProcessItemFailure = previous;
        unzipper.CloseArchive();
    });
    unzipper.OnProcessItemFailure = handler;
    const std::string folder = platform::ExtractFilePath(archiveFile);
    unzipper.SetBaseDirectory(folder);
    // A run killed while it wrote a file whole left its temporary file.
    platform::RemoveReplacementFiles(folder);
    unzipper.OpenArchive(archiveFile);
    if (beforeReplacing) {
        const std::vector<std::string> replaced = unzipper.ExistingTargets("*.*");
        if (!replaced.empty()) beforeReplacing(replaced);
    }
    unzipper.ExtractFiles("*.*");
    unzipper.CloseArchive();
    platform::DeleteFileByName(archiveFile);

    if (failure.Seen)
        throw rtl::Exception(rtl::Compose([&] {
            return rtl::Format(translator::gettext(SEntryNotUnpacked),
                               {failure.Entry, platform::ExtractFileName(archiveFile),
                                rtl::NestedText(failure.Message)});
        }));
}

} // namespace setup
