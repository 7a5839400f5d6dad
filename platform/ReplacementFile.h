#pragma once
// Writing a file whole, for files that must never be seen half written (the
// program files an upgrade replaces). The new content goes to a temporary
// file in the target's own folder, on the same volume, so that the last step
// is one move: a failure, a power cut once committed, or a killed process
// leaves the old file or the new one, never a mix.
//
//     std::string temp;
//     FileHandle h = CreateReplacementFile(target, temp, error);   // then write to h
//     if (!complete) DiscardReplacementFile(h, temp);
//     else if (!CommitReplacementFile(h, temp, target, error)) ...   // target as it was
//
// The temporary files are named "~arc" + 8 hex digits + ".tmp". A killed
// process leaves its file behind; RemoveReplacementFiles, run before the
// next unpack into that folder, finds such files by their name and deletes
// them. Nothing here raises; failures give the system's error code.
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace platform {

// Creates a new, empty temporary file beside target, open for reading and
// writing (others may read it), and gives its path. kInvalidFileHandle with
// error set when the folder refuses it.
FileHandle CreateReplacementFile(const std::string& target, std::string& tempPath, int& error);

// What the caller knows of the target when it commits: a caller that has
// just seen that no file of that name exists spares the look at it before
// the move (one call per file; a file that appeared meanwhile is replaced
// without the flush and the read-only check).
enum class ReplacementTarget { Unknown, Absent };

// Puts the written file in target's place in one step and closes handle in
// every case. When an old target is replaced, the new data is first flushed
// to the disk, so that a power cut after the move cannot leave the name with
// data the disk never got; a new name needs no flush, having no old content
// to lose. A read-only target is refused with the system's access-denied
// code, as Windows refuses it (on POSIX: a file without any write bit; the
// new file takes the old one's permission bits). Windows moves with
// MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), POSIX with
// rename(2). On failure (the old file read-only or in use, say) the
// temporary file is deleted, target is left as it was, and error tells why.
bool CommitReplacementFile(FileHandle handle, const std::string& tempPath,
                           const std::string& target, int& error,
                           ReplacementTarget known = ReplacementTarget::Unknown);

// Closes handle and deletes the temporary file: target was never touched.
void DiscardReplacementFile(FileHandle handle, const std::string& tempPath);

// Whether a bare file name has the temporary files' pattern.
bool IsReplacementFileName(std::string_view name);

// Deletes the temporary files a killed run left in folder (not below it) and
// returns how many were deleted. Call it before writing into the folder,
// never while another writer uses it.
int RemoveReplacementFiles(const std::string& folder);

} // namespace platform
