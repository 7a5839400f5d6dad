#pragma once
// Byte streams: the interface every reader and writer of the program uses,
// a file stream over an OS file and a memory stream.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/ReplacementFile.h"

namespace rtl {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Sets the size; the position is kept, or moved back to the new end.
    virtual void SetSize(int64_t newSize) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Reads exactly count bytes or raises EReadError "Stream read error".
    void ReadBuffer(void* buffer, size_t count);
    // Writes exactly count bytes or raises EWriteError "Stream write error".
    void WriteBuffer(const void* buffer, size_t count);
    // Copies count bytes from source's position (a negative count: up to its end).
    // Returns the bytes copied; a short source raises EReadError.
    int64_t CopyFrom(TStream& source, int64_t count);

protected:
    // The errors of a ReadBuffer or WriteBuffer that cannot go on: "Stream
    // read error" and "Stream write error". A stream that knows why (a file
    // and the system's reason) raises its own.
    [[noreturn]] virtual void RaiseReadError();
    [[noreturn]] virtual void RaiseWriteError();
};

// File open modes: one access value combined with one share value, or fmCreate.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00, // a new empty file (replacing one of that name), read and write
};

// A stream over an open OS file handle, which it owns.
class THandleStream : public TStream {
public:
    explicit THandleStream(platform::FileHandle handle) : FHandle(handle) {}
    ~THandleStream() override;
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    platform::FileHandle Handle() const { return FHandle; }
    // The OS error code of the last Read or Write, 0 when it did not fail.
    int LastError() const { return FLastError; }

protected:
    platform::FileHandle FHandle;
    int FLastError = 0;
};

// Opens or creates a file. Failures raise EFCreateError "Cannot create file
// "%s". %s" or EFOpenError "Cannot open file "%s". %s" with the expanded file
// name and the system's reason (SysErrorText: translated for the common
// failures). A read or write that the system refuses makes ReadBuffer and
// WriteBuffer raise EReadError "Cannot read file "%s". %s" or EWriteError
// "Cannot write to file "%s". %s" in the same way ("... There is not enough
// space on the disk."), each with the OS code in ErrorCode.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& fileName, unsigned mode);
    const std::string& FileName() const { return FFileName; }

protected:
    // An open handle and the name its errors give.
    TFileStream(platform::FileHandle handle, std::string fileName);
    [[noreturn]] void RaiseReadError() override;
    [[noreturn]] void RaiseWriteError() override;

private:
    std::string FFileName;
};

// A file written whole (platform/ReplacementFile.h): the bytes go to a new
// temporary file beside fileName, and Commit moves it over fileName once it
// is complete. Destroyed without a Commit, the stream deletes the temporary
// file and fileName was never touched; an existing fileName keeps its old
// content until the moment of the Commit. Errors name fileName, the file the
// caller asked for, never the temporary one.
class TReplacementFileStream : public TFileStream {
public:
    // Raises EFCreateError "Cannot create file "%s". %s" when the folder
    // refuses a new file. known: what the caller has just seen of fileName
    // (platform::ReplacementTarget).
    explicit TReplacementFileStream(
        const std::string& fileName,
        platform::ReplacementTarget known = platform::ReplacementTarget::Unknown);
    ~TReplacementFileStream() override;
    // Puts the written content in fileName's place (flushed to the disk
    // first when an old file is replaced) and closes the stream, which takes
    // no more bytes. A refusal (a read-only or busy old file) raises
    // EFCreateError "Cannot replace file "%s". %s"; the old file stays and
    // the temporary file is gone.
    void Commit();
    const std::string& TempFileName() const { return FTempName; }

private:
    struct TCreated {
        platform::FileHandle Handle;
        std::string TempName;
    };
    static TCreated Create(const std::string& fileName);
    TReplacementFileStream(const std::string& fileName, TCreated created,
                           platform::ReplacementTarget known);

    std::string FTempName;
    platform::ReplacementTarget FKnown;
    bool FDone = false;
};

class TMemoryStream : public TStream {
public:
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }

    uint8_t* Memory() { return FData.data(); }
    const std::vector<uint8_t>& Bytes() const { return FData; }
    void Clear();
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

} // namespace rtl
