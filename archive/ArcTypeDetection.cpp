#include "archive/ArcTypeDetection.h"

#include <cstring>

#include "archive/ZipFormat.h"
#include "platform/Files.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"
#include "runtime/Exception.h"

namespace arc {

namespace {

std::string UpperExtension(const std::string& fileName) {
    std::string name = platform::ExtractFileName(fileName);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : platform::AsciiUpperCase(name.substr(dot));
}

TArcArchiveType ProbeTar(rtl::TStream& s) {
    uint8_t b[262] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, sizeof b) == sizeof b && std::memcmp(b + 257, "ustar", 5) == 0
               ? atTar
               : atUnknown;
}
TArcArchiveType ProbeGzip(rtl::TStream& s) {
    uint8_t b[2] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 2) == 2 && b[0] == 0x1F && b[1] == 0x8B ? atGzip : atUnknown;
}
TArcArchiveType ProbeBzip2(rtl::TStream& s) {
    uint8_t b[3] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 3) == 3 && std::memcmp(b, "BZh", 3) == 0 ? atBzip2 : atUnknown;
}
TArcArchiveType ProbeCab(rtl::TStream& s) {
    uint8_t b[4] = {};
    s.SetPosition(0);
    return ReadPlain(s, b, 4) == 4 && std::memcmp(b, "MSCF", 4) == 0 ? atCab : atUnknown;
}

} // namespace

TArcArchiveType ProbeZipStream(rtl::TStream& stream) {
    int64_t remembered = stream.Position();
    TArcArchiveType result = atUnknown;
    try {
        uint8_t head[4] = {};
        stream.SetPosition(0);
        if (ReadPlain(stream, head, 4) == 4 && rtl::LoadLE32(head) == kSpannedSetMarker) {
            result = atSpannedZip;
        } else if (LocateEndOfDirectory(stream) >= 0) {
            uint8_t record[kEndOfDirectorySize];
            stream.ReadBuffer(record, sizeof record);
            if (rtl::LoadLE32(record) == kEndOfDirectorySignature)
                result = rtl::LoadLE16(record + 4) == 0 ? atZip : atSpannedZip;
        }
    } catch (const rtl::EReadError&) {
        result = atUnknown;
    }
    stream.SetPosition(remembered);
    return result;
}

TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream) {
    int64_t remembered = stream.Position();
    uint8_t head[4] = {};
    stream.SetPosition(0);
    size_t got = ReadPlain(stream, head, 4);
    stream.SetPosition(remembered);
    if (StartsLikeExecutable(head, got) && ProbeZipStream(stream) == atZip) return atSelfExtZip;
    return atUnknown;
}

TArcArchiveType GuessArchiveType(const std::string& fileName) {
    std::string ext = UpperExtension(fileName);
    TArcArchiveType guess = atUnknown;
    if (ext == ".ZIP" || ext == ".JAR")
        guess = atZip;
    else if (ext == ".EXE")
        guess = atSelfExtZip;
    else if (ext == ".TAR")
        guess = atTar;
    else if (ext == ".GZ")
        guess = atGzip;
    else if (ext == ".TGZ")
        guess = atGzippedTar;
    else if (ext == ".CAB")
        guess = atCab;
    else if (ext == ".BZ2")
        guess = atBzip2;
    else if (ext == ".TBZ")
        guess = atBzippedTar;

    if (!platform::FileExists(fileName) || platform::FileSizeByName(fileName) <= 0) return guess;
    rtl::TFileStream probe(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    switch (guess) {
    case atZip:
        return ProbeZipStream(probe);
    case atSelfExtZip:
        return ProbeSelfExtractingZip(probe);
    case atUnknown:
        for (auto fn :
             {ProbeSelfExtractingZip, ProbeZipStream, ProbeTar, ProbeGzip, ProbeBzip2, ProbeCab}) {
            TArcArchiveType t = fn(probe);
            if (t != atUnknown) return t;
        }
        return atUnknown;
    default:
        return guess;
    }
}

} // namespace arc
