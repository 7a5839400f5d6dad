#include "runtime/Streams.h"

#include <algorithm>
#include <cstring>

#include "runtime/Exception.h"
#include "runtime/ResStrings.h"

namespace rtl {

int64_t TStream::Size() {
    int64_t position = Seek(0, TSeekOrigin::soCurrent);
    int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        size_t n = Read(p, count);
        if (n == 0) RaiseReadError();
        p += n, count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        size_t n = Write(p, count);
        if (n == 0) RaiseWriteError();
        p += n, count -= n;
    }
}

void TStream::RaiseReadError() {
    throw EReadError(Compose([] { return LoadResString(&SReadError); }));
}

void TStream::RaiseWriteError() {
    throw EWriteError(Compose([] { return LoadResString(&SWriteError); }));
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count < 0) count = source.Size() - source.Position();
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), 65536)));
    int64_t done = 0;
    while (done < count) {
        size_t n = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size())));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        done += static_cast<int64_t>(n);
    }
    return done;
}

THandleStream::~THandleStream() { platform::FileClose(FHandle); }

size_t THandleStream::Read(void* buffer, size_t count) {
    int64_t n = platform::FileRead(FHandle, buffer, count);
    FLastError = n < 0 ? platform::LastOsError() : 0;
    return n < 0 ? 0 : static_cast<size_t>(n);
}

size_t THandleStream::Write(const void* buffer, size_t count) {
    int64_t n = platform::FileWrite(FHandle, buffer, count);
    FLastError = n < 0 ? platform::LastOsError() : 0;
    return n < 0 ? 0 : static_cast<size_t>(n);
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
    auto o = origin == TSeekOrigin::soBeginning ? platform::SeekOrigin::Begin
             : origin == TSeekOrigin::soCurrent ? platform::SeekOrigin::Current
                                                : platform::SeekOrigin::End;
    return platform::FileSeek(FHandle, offset, o);
}

void THandleStream::SetSize(int64_t newSize) {
    int64_t position = Position();
    if (!platform::FileSetSize(FHandle, newSize)) RaiseLastOSError(platform::LastOsError());
    if (position > newSize) SetPosition(newSize);
}

namespace {

// A file call's failure: the file's full name and the system's reason.
TText FileError(const TResStringRec& text, const std::string& fileName, int error) {
    return Compose([&] {
        return Format(LoadResString(&text),
                      {platform::ExpandFileName(fileName), SysErrorText(error)});
    });
}

unsigned ShareOf(unsigned mode) {
    switch (mode & 0xF0) {
    case fmShareExclusive: return platform::ShareNone;
    case fmShareDenyWrite: return platform::ShareRead;
    case fmShareDenyRead: return platform::ShareWrite;
    case fmShareDenyNone: return platform::ShareRead | platform::ShareWrite;
    default: return platform::ShareNone;
    }
}

platform::FileHandle OpenForStream(const std::string& fileName, unsigned mode) {
    int error = 0;
    platform::FileHandle h;
    if ((mode & fmCreate) == fmCreate) {
        // A created file is not shared with anyone while it is open.
        h = platform::FileOpen(fileName, platform::FileAccess::ReadWrite, platform::ShareNone,
                               platform::FileDisposition::CreateAlways, error);
        if (h == platform::kInvalidFileHandle)
            throw EFCreateError(FileError(SFCreateErrorEx, fileName, error), error);
        return h;
    }
    auto access = (mode & 3) == fmOpenWrite       ? platform::FileAccess::Write
                  : (mode & 3) == fmOpenReadWrite ? platform::FileAccess::ReadWrite
                                                  : platform::FileAccess::Read;
    h = platform::FileOpen(fileName, access, ShareOf(mode), platform::FileDisposition::OpenExisting, error);
    if (h == platform::kInvalidFileHandle)
        throw EFOpenError(FileError(SFOpenErrorEx, fileName, error), error);
    return h;
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, unsigned mode)
    : THandleStream(OpenForStream(fileName, mode)), FFileName(fileName) {}

TFileStream::TFileStream(platform::FileHandle handle, std::string fileName)
    : THandleStream(handle), FFileName(std::move(fileName)) {}

void TFileStream::RaiseReadError() {
    if (FLastError == 0) TStream::RaiseReadError(); // the file ended early
    throw EReadError(FileError(SFReadErrorEx, FFileName, FLastError), FLastError);
}

void TFileStream::RaiseWriteError() {
    if (FLastError == 0) TStream::RaiseWriteError();
    throw EWriteError(FileError(SFWriteErrorEx, FFileName, FLastError), FLastError);
}

TReplacementFileStream::TCreated TReplacementFileStream::Create(const std::string& fileName) {
    TCreated created{platform::kInvalidFileHandle, {}};
    int error = 0;
    created.Handle = platform::CreateReplacementFile(fileName, created.TempName, error);
    if (created.Handle == platform::kInvalidFileHandle)
        throw EFCreateError(FileError(SFCreateErrorEx, fileName, error), error);
    return created;
}

TReplacementFileStream::TReplacementFileStream(const std::string& fileName,
                                               platform::ReplacementTarget known)
    : TReplacementFileStream(fileName, Create(fileName), known) {}

TReplacementFileStream::TReplacementFileStream(const std::string& fileName, TCreated created,
                                               platform::ReplacementTarget known)
    : TFileStream(created.Handle, fileName), FTempName(std::move(created.TempName)),
      FKnown(known) {}

TReplacementFileStream::~TReplacementFileStream() {
    if (!FDone) platform::DiscardReplacementFile(FHandle, FTempName);
    FHandle = platform::kInvalidFileHandle; // closed above or by the commit
}

void TReplacementFileStream::Commit() {
    if (FDone) TStream::RaiseWriteError(); // committed or failed already: nothing to move
    FDone = true;
    int error = 0;
    const bool moved =
        platform::CommitReplacementFile(FHandle, FTempName, FileName(), error, FKnown);
    FHandle = platform::kInvalidFileHandle;
    if (!moved) throw EFCreateError(FileError(SFReplaceErrorEx, FileName(), error), error);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (FPosition >= Size()) return 0;
    size_t n = std::min(count, static_cast<size_t>(Size() - FPosition));
    std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += static_cast<int64_t>(n);
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    size_t end = static_cast<size_t>(FPosition) + count;
    if (end > FData.size()) {
        if (end > FData.capacity()) FData.reserve(std::max(end, FData.capacity() * 2));
        FData.resize(end);
    }
    std::memcpy(FData.data() + FPosition, buffer, count);
    FPosition = static_cast<int64_t>(end);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPosition : Size();
    FPosition = std::max<int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(0, newSize)));
    if (FPosition > newSize) FPosition = std::max<int64_t>(0, newSize);
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    Clear();
    SetSize(file.Size());
    file.ReadBuffer(FData.data(), FData.size());
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(FData.data(), FData.size());
}

} // namespace rtl
