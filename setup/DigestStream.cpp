#include "setup/DigestStream.h"

#include "runtime/ResStrings.h"

namespace setup {

TDigestStream::TDigestStream(rtl::TStream& target, int64_t limit, std::string fullMessage)
    : FTarget(target), FLimit(limit), FFullMessage(std::move(fullMessage)) {
    Restart();
}

size_t TDigestStream::Read(void*, size_t) {
    return 0;
}

size_t TDigestStream::Write(const void* buffer, size_t count) {
    if (count > static_cast<uint64_t>(FLimit - FWritten)) throw EDigestStreamFull(FFullMessage);
    FTarget.WriteBuffer(buffer, count);
    FHash.Update(buffer, count);
    FWritten += static_cast<int64_t>(count);
    return count;
}

int64_t TDigestStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    const int64_t position = origin == rtl::TSeekOrigin::soBeginning ? offset : FWritten + offset;
    if (position == 0) {
        if (FWritten != 0) Restart();
    } else if (position != FWritten) {
        throw rtl::EWriteError(rtl::LoadResString(&rtl::SWriteError));
    }
    return FWritten;
}

void TDigestStream::SetSize(int64_t newSize) {
    if (newSize == 0) {
        if (FWritten != 0) Restart();
    } else if (newSize < FWritten) {
        throw rtl::EWriteError(rtl::LoadResString(&rtl::SWriteError));
    }
}

void TDigestStream::Restart() {
    FTarget.SetSize(0);
    FTarget.SetPosition(0);
    FHash.Reset();
    FWritten = 0;
}

bool TDigestStream::Finish(platform::Sha256Digest& digest) {
    return FHash.Final(digest);
}

} // namespace setup
